#include "installed_addin.h"

#include <vector>

#include "checks.h"
#include "registry_values.h"

namespace standin {
namespace {

constexpr const char* kAddinsKey = "Software\\Microsoft\\Office\\Outlook\\Addins";

std::vector<std::string> SubKeys(HKEY root, const std::string& path) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS) return names;
  char name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof name;
    if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

// A default value of the classes as Windows 2000 and later merge them: the
// user's own (HKCU\Software\Classes) before the machine's. Wine does not merge
// them into HKEY_CLASSES_ROOT, so the two are read here one after the other.
std::optional<std::string> ClassValue(const std::string& path, const char* name, bool* fromUser = nullptr) {
  if (auto value = ReadString(HKEY_CURRENT_USER, "Software\\Classes\\" + path, name)) {
    if (fromUser) *fromUser = true;
    return value;
  }
  if (fromUser) *fromUser = false;
  return ReadString(HKEY_CLASSES_ROOT, path, name);
}

}  // namespace

std::optional<InstalledAddin> FindInstalledAddin() {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    for (const auto& progId : SubKeys(root, kAddinsKey)) {
      if (ReadDword(root, std::string(kAddinsKey) + "\\" + progId, "LoadBehavior").value_or(0) != 3) continue;
      InstalledAddin addin;
      addin.progId = progId;
      bool userProgId = false;
      addin.clsid = ClassValue(progId + "\\CLSID", nullptr, &userProgId).value_or("");
      if (addin.clsid.empty()) continue;
      addin.dll = ClassValue("CLSID\\" + addin.clsid + "\\InprocServer32", nullptr, &addin.perUser).value_or("");
      addin.perUser = addin.perUser && userProgId;
      if (!addin.dll.empty()) return addin;
    }
  }
  return std::nullopt;
}

IUnknown* CreateInstalledAddin(const InstalledAddin& addin) {
  CLSID clsid{};
  std::wstring text(addin.clsid.begin(), addin.clsid.end());
  if (!Check(CLSIDFromString(text.c_str(), &clsid) == S_OK, "the registered CLSID " + addin.clsid + " is well formed"))
    return nullptr;
  HMODULE module = LoadLibraryA(addin.dll.c_str());
  if (!Check(module != nullptr, "the registered DLL loads: " + addin.dll)) return nullptr;
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  if (!Check(get != nullptr, "it exports DllGetClassObject")) return nullptr;
  IClassFactory* factory = nullptr;
  if (!Check(get(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK && factory,
             "it gives the class factory of " + addin.clsid))
    return nullptr;
  IUnknown* object = nullptr;
  HRESULT hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
  factory->Release();
  Check(hr == S_OK && object, "the factory makes the add-in object");
  return hr == S_OK ? object : nullptr;
}

}  // namespace standin
