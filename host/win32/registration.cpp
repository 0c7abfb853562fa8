#include "host/win32/registration.h"

#include <string>
#include <vector>

#include "host/win32/clsid.h"
#include "host/win32/text.h"

namespace host::win32 {
namespace {

const std::string kClasses = "Software\\Classes\\";
const std::string kClassKey = kClasses + "CLSID\\" + kClsidText;
const std::string kProgIdKey = kClasses + kProgId;

class RegKey {
 public:
  RegKey() = default;
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  HKEY* put() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

LONG SetString(HKEY root, const std::string& path, const char* name, const std::string& value) {
  RegKey key;
  LONG status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                key.put(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  // The text goes in wide, so a module path in any language stays whole.
  const std::wstring wide = Widen(value);
  return RegSetValueExW(key.get(), name ? Widen(name).c_str() : nullptr, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(wide.c_str()),
                        static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

LONG SetDword(HKEY root, const std::string& path, const char* name, DWORD value) {
  RegKey key;
  LONG status = RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                                key.put(), nullptr);
  if (status != ERROR_SUCCESS) return status;
  return RegSetValueExA(key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// Deletes a key with everything below it. RegDeleteTree is not on the older
// Windows that Outlook 2000 runs on, so the sub-keys go one by one.
LONG DeleteTree(HKEY root, const std::string& path) {
  {
    RegKey key;
    LONG status = RegOpenKeyExA(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, key.put());
    if (status != ERROR_SUCCESS) return status;
    std::vector<std::string> children;
    char name[256];
    for (DWORD index = 0;; ++index) {
      DWORD length = sizeof name;
      status = RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (status != ERROR_SUCCESS) break;
      children.emplace_back(name, length);
    }
    for (const auto& child : children) {
      status = DeleteTree(root, path + "\\" + child);
      if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return status;
    }
  }
  return RegDeleteKeyA(root, path.c_str());
}

bool Removed(LONG status) {
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// An administrator's install registers the class for the machine; anyone
// else's for the user, which needs no administrator.
HKEY ClassesHive() {
  RegKey probe;
  LONG status = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kClassKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE, nullptr, probe.put(), nullptr);
  return status == ERROR_SUCCESS ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

}  // namespace

HRESULT RegisterServer(HINSTANCE module) {
  wchar_t widePath[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameW(module, widePath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
  const std::string path = Narrow(widePath, length);

  HKEY root = ClassesHive();
  bool written = SetString(root, kClassKey, nullptr, kProgId) == ERROR_SUCCESS &&
                 SetString(root, kClassKey + "\\InprocServer32", nullptr, path) == ERROR_SUCCESS &&
                 SetString(root, kClassKey + "\\InprocServer32", "ThreadingModel", "Apartment") == ERROR_SUCCESS &&
                 SetString(root, kClassKey + "\\ProgID", nullptr, kProgId) == ERROR_SUCCESS &&
                 SetString(root, kProgIdKey, nullptr, kProgId) == ERROR_SUCCESS &&
                 SetString(root, kProgIdKey + "\\CLSID", nullptr, kClsidText) == ERROR_SUCCESS &&
                 SetString(HKEY_CURRENT_USER, kAddinKey, "FriendlyName", kFriendlyName) == ERROR_SUCCESS &&
                 SetString(HKEY_CURRENT_USER, kAddinKey, "Description", kDescription) == ERROR_SUCCESS &&
                 SetDword(HKEY_CURRENT_USER, kAddinKey, "LoadBehavior", kLoadAtStartup) == ERROR_SUCCESS;
  if (written) return S_OK;
  UnregisterServer();
  return SELFREG_E_CLASS;
}

HRESULT UnregisterServer() {
  bool removed = true;
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    removed = Removed(DeleteTree(root, kClassKey)) && removed;
    removed = Removed(DeleteTree(root, kProgIdKey)) && removed;
  }
  removed = Removed(DeleteTree(HKEY_CURRENT_USER, kAddinKey)) && removed;
  return removed ? S_OK : SELFREG_E_CLASS;
}

}  // namespace host::win32
