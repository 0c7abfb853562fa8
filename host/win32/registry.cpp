#include "host/win32/registry.h"

#include <vector>

#include "host/win32/win32_api.h"

namespace host::win32 {
namespace {

HKEY ToHkey(Key key) {
  return reinterpret_cast<HKEY>(key);
}
Key FromHkey(HKEY key) {
  return reinterpret_cast<Key>(key);
}

// Attributes that make a file other than a plain one.
constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

}  // namespace

std::int32_t Registry::OpenKey(Key root, const std::string& subKey, Key& result) {
  HKEY opened = nullptr;
  LONG status = RegOpenKeyExA(ToHkey(root), subKey.c_str(), 0, KEY_QUERY_VALUE, &opened);
  if (status == ERROR_SUCCESS) result = FromHkey(opened);
  return status;
}

std::int32_t Registry::CreateKey(Key root, const std::string& subKey, Key& result) {
  HKEY created = nullptr;
  DWORD disposition = 0;
  char emptyClass[] = "";
  LONG status = RegCreateKeyExA(ToHkey(root), subKey.c_str(), 0, emptyClass, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, &created, &disposition);
  if (status == ERROR_SUCCESS) result = FromHkey(created);
  return status;
}

std::int32_t Registry::QueryValue(Key key, const std::string& valueName, std::uint32_t& type, std::uint8_t* data,
                                  std::uint32_t& size) {
  DWORD storedType = 0;
  DWORD length = data ? size : 0;
  LONG status = RegQueryValueExA(ToHkey(key), valueName.c_str(), nullptr, &storedType, data, &length);
  type = storedType;
  size = length;
  return status;
}

std::int32_t Registry::SetValue(Key key, const std::string& valueName, std::uint32_t type, const std::uint8_t* data,
                                std::uint32_t size) {
  return RegSetValueExA(ToHkey(key), valueName.c_str(), 0, type, data, size);
}

std::int32_t Registry::CloseKey(Key key) {
  return RegCloseKey(ToHkey(key));
}

std::string Registry::FindPlainFile(const std::string& pattern) {
  if (pattern.empty()) return {};
  WIN32_FIND_DATAA found{};
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  std::string name;
  do {
    if ((found.dwFileAttributes & kNotPlain) == 0) {
      name = found.cFileName;
      break;
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return name;
}

std::string Registry::GetPrivateProfileString(const std::string& section, const std::string& entry,
                                              const std::string& defaultText, std::uint32_t bufferSize,
                                              const std::string& file) {
  if (bufferSize == 0) return {};
  std::vector<char> buffer(bufferSize, '\0');
  DWORD length = GetPrivateProfileStringA(section.c_str(), entry.c_str(), defaultText.c_str(), buffer.data(),
                                          bufferSize, file.c_str());
  return std::string(buffer.data(), length < bufferSize ? length : bufferSize - 1);
}

std::uint32_t Registry::GetPrivateProfileInt(const std::string& section, const std::string& entry,
                                             std::int32_t defaultValue, const std::string& file) {
  return GetPrivateProfileIntA(section.c_str(), entry.c_str(), defaultValue, file.c_str());
}

bool Registry::WritePrivateProfileString(const std::string& section, const std::string& entry, const std::string& value,
                                         const std::string& file) {
  return WritePrivateProfileStringA(section.c_str(), entry.c_str(), value.c_str(), file.c_str()) != FALSE;
}

}  // namespace host::win32
