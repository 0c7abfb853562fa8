#include "registry_values.h"

#include "host/error.h"

namespace standin {
namespace {

class Key {
 public:
  Key(HKEY root, const std::string& path, REGSAM access, bool create) {
    status_ = create ? RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, access, nullptr, &key_, nullptr)
                     : RegOpenKeyExA(root, path.c_str(), 0, access, &key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (status_ == ERROR_SUCCESS) RegCloseKey(key_);
  }
  bool ok() const { return status_ == ERROR_SUCCESS; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
  LONG status_;
};

}  // namespace

std::optional<DWORD> ReadDword(HKEY root, const std::string& key, const char* name) {
  Key opened(root, key, KEY_QUERY_VALUE, false);
  if (!opened.ok()) return std::nullopt;
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExA(opened.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return std::nullopt;
  return value;
}

std::optional<std::string> ReadString(HKEY root, const std::string& key, const char* name) {
  Key opened(root, key, KEY_QUERY_VALUE, false);
  if (!opened.ok()) return std::nullopt;
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(opened.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
    return std::nullopt;
  std::string value(size, '\0');
  if (RegQueryValueExA(opened.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  value.resize(strnlen(value.c_str(), value.size()));
  return value;
}

bool KeyExists(HKEY root, const std::string& key) {
  return Key(root, key, KEY_READ, false).ok();
}

void WriteDword(HKEY root, const std::string& key, const char* name, DWORD value) {
  Key opened(root, key, KEY_SET_VALUE, true);
  if (!opened.ok() || RegSetValueExA(opened.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                     sizeof value) != ERROR_SUCCESS)
    throw host::Error("cannot write " + key + "\\" + name);
}

void WriteString(HKEY root, const std::string& key, const char* name, const std::string& value) {
  Key opened(root, key, KEY_SET_VALUE, true);
  if (!opened.ok() || RegSetValueExA(opened.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
    throw host::Error("cannot write " + key + "\\" + name);
}

void DeleteValue(HKEY root, const std::string& key, const char* name) {
  Key opened(root, key, KEY_SET_VALUE, false);
  if (opened.ok()) RegDeleteValueA(opened.get(), name);
}

}  // namespace standin
