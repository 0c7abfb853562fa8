#include "host/win32/registry.h"

#include <cstring>
#include <optional>
#include <vector>

#include "host/win32/text.h"
#include "host/win32/win32_api.h"

namespace host::win32 {
namespace {

HKEY ToHkey(Key key) {
  return reinterpret_cast<HKEY>(key);
}
Key FromHkey(HKEY key) {
  return reinterpret_cast<Key>(key);
}

bool IsText(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// UTF-16 text (with its NULs) as UTF-8 bytes, and back.
std::vector<std::uint8_t> TextBytes(const std::vector<BYTE>& stored, DWORD size) {
  std::wstring wide(size / sizeof(wchar_t), L'\0');
  if (!wide.empty()) std::memcpy(wide.data(), stored.data(), wide.size() * sizeof(wchar_t));
  const std::string text = Narrow(wide);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<BYTE> WideBytes(const std::uint8_t* data, std::uint32_t size) {
  const std::wstring wide = data ? Widen(std::string(reinterpret_cast<const char*>(data), size)) : std::wstring();
  std::vector<BYTE> bytes(wide.size() * sizeof(wchar_t));
  if (!bytes.empty()) std::memcpy(bytes.data(), wide.data(), bytes.size());
  return bytes;
}

// Attributes that make a file other than a plain one.
constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

}  // namespace

std::int32_t Registry::OpenKey(Key root, const std::string& subKey, Key& result) {
  HKEY opened = nullptr;
  LONG status = RegOpenKeyExW(ToHkey(root), Widen(subKey).c_str(), 0, KEY_QUERY_VALUE, &opened);
  if (status == ERROR_SUCCESS) result = FromHkey(opened);
  return status;
}

std::int32_t Registry::CreateKey(Key root, const std::string& subKey, Key& result) {
  HKEY created = nullptr;
  DWORD disposition = 0;
  wchar_t emptyClass[] = L"";
  LONG status = RegCreateKeyExW(ToHkey(root), Widen(subKey).c_str(), 0, emptyClass, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, &created, &disposition);
  if (status == ERROR_SUCCESS) result = FromHkey(created);
  return status;
}

// Text values pass as UTF-8 with their NUL, so sizes are in UTF-8 bytes:
// the value is read whole in UTF-16 first. A value that an ANSI program
// wrote reads the same, since the registry keeps it in UTF-16 too.
std::int32_t Registry::QueryValue(Key key, const std::string& valueName, std::uint32_t& type, std::uint8_t* data,
                                  std::uint32_t& size) {
  const std::wstring name = Widen(valueName);
  DWORD storedType = 0;
  DWORD length = 0;
  LONG status = RegQueryValueExW(ToHkey(key), name.c_str(), nullptr, &storedType, nullptr, &length);
  std::vector<BYTE> stored;
  while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
    stored.resize(length + sizeof(wchar_t));
    length = static_cast<DWORD>(stored.size());
    status = RegQueryValueExW(ToHkey(key), name.c_str(), nullptr, &storedType, stored.data(), &length);
    if (status == ERROR_SUCCESS) break;
  }
  if (status != ERROR_SUCCESS) return status;
  std::vector<std::uint8_t> bytes = IsText(storedType)
                                        ? TextBytes(stored, length)
                                        : std::vector<std::uint8_t>(stored.begin(), stored.begin() + length);
  type = storedType;
  const auto needed = static_cast<std::uint32_t>(bytes.size());
  if (!data) {
    size = needed;
    return ERROR_SUCCESS;
  }
  if (size < needed) {
    size = needed;
    return ERROR_MORE_DATA;
  }
  if (needed) std::memcpy(data, bytes.data(), needed);
  size = needed;
  return ERROR_SUCCESS;
}

std::int32_t Registry::SetValue(Key key, const std::string& valueName, std::uint32_t type, const std::uint8_t* data,
                                std::uint32_t size) {
  const std::wstring name = Widen(valueName);
  if (IsText(type)) {
    const std::vector<BYTE> wide = WideBytes(data, size);
    return RegSetValueExW(ToHkey(key), name.c_str(), 0, type, wide.data(), static_cast<DWORD>(wide.size()));
  }
  return RegSetValueExW(ToHkey(key), name.c_str(), 0, type, data, size);
}

std::int32_t Registry::CloseKey(Key key) {
  return RegCloseKey(ToHkey(key));
}

std::string Registry::FindPlainFile(const std::string& pattern) {
  if (pattern.empty()) return {};
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(Widen(pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return {};
  std::string name;
  do {
    if ((found.dwFileAttributes & kNotPlain) == 0) {
      name = Narrow(found.cFileName, wcslen(found.cFileName));
      break;
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return name;
}

namespace {

constexpr char kSealedPrefix[] = "dpapi:";
constexpr char kHexDigits[] = "0123456789abcdef";

// The blob LocalAlloc'ed by the data-protection calls, freed with it.
struct LocalBlob {
  DATA_BLOB blob{};
  LocalBlob() = default;
  LocalBlob(const LocalBlob&) = delete;
  LocalBlob& operator=(const LocalBlob&) = delete;
  ~LocalBlob() {
    if (blob.pbData) {
      SecureZeroMemory(blob.pbData, blob.cbData);
      LocalFree(blob.pbData);
    }
  }
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

// No prompt and no user interface: the add-in may run while Outlook starts
// unattended, and a sealed secret is for this user on any of their machines.
std::optional<std::string> Registry::ProtectData(const std::string& secret) {
  std::vector<BYTE> bytes(secret.begin(), secret.end());
  DATA_BLOB in{static_cast<DWORD>(bytes.size()), bytes.data()};
  LocalBlob out;
  const BOOL sealed =
      CryptProtectData(&in, L"Corvanta", nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out.blob);
  SecureZeroMemory(bytes.data(), bytes.size());
  if (!sealed) return std::nullopt;
  std::string text = kSealedPrefix;
  for (DWORD i = 0; i < out.blob.cbData; ++i) {
    text += kHexDigits[out.blob.pbData[i] >> 4];
    text += kHexDigits[out.blob.pbData[i] & 15];
  }
  return text;
}

std::optional<std::string> Registry::UnprotectData(const std::string& sealed) {
  const std::size_t prefix = sizeof kSealedPrefix - 1;
  if (sealed.compare(0, prefix, kSealedPrefix) != 0 || (sealed.size() - prefix) % 2 != 0) return std::nullopt;
  std::vector<BYTE> bytes;
  for (std::size_t i = prefix; i < sealed.size(); i += 2) {
    const int high = HexValue(sealed[i]), low = HexValue(sealed[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes.push_back(static_cast<BYTE>(high << 4 | low));
  }
  DATA_BLOB in{static_cast<DWORD>(bytes.size()), bytes.data()};
  LocalBlob out;
  if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN, &out.blob))
    return std::nullopt;
  return std::string(reinterpret_cast<const char*>(out.blob.pbData), out.blob.cbData);
}

// INI files: the wide calls read a file that an ANSI program wrote through
// the code page, as it was written, and write back in the file's own
// encoding (the code page, or UTF-16 for a file that starts with its mark).
std::string Registry::GetPrivateProfileString(const std::string& section, const std::string& entry,
                                              const std::string& defaultText, std::uint32_t bufferSize,
                                              const std::string& file) {
  if (bufferSize == 0) return {};
  std::vector<wchar_t> buffer(bufferSize, L'\0');
  DWORD length = GetPrivateProfileStringW(Widen(section).c_str(), Widen(entry).c_str(), Widen(defaultText).c_str(),
                                          buffer.data(), bufferSize, Widen(file).c_str());
  std::size_t kept = length < bufferSize ? length : bufferSize - 1;
  // A cut never leaves half a character.
  if (kept > 0 && buffer[kept - 1] >= 0xD800 && buffer[kept - 1] <= 0xDBFF) --kept;
  return Narrow(buffer.data(), kept);
}

std::uint32_t Registry::GetPrivateProfileInt(const std::string& section, const std::string& entry,
                                             std::int32_t defaultValue, const std::string& file) {
  return GetPrivateProfileIntW(Widen(section).c_str(), Widen(entry).c_str(), defaultValue, Widen(file).c_str());
}

bool Registry::WritePrivateProfileString(const std::string& section, const std::string& entry, const std::string& value,
                                         const std::string& file) {
  return WritePrivateProfileStringW(Widen(section).c_str(), Widen(entry).c_str(), Widen(value).c_str(),
                                    Widen(file).c_str()) != FALSE;
}

}  // namespace host::win32
