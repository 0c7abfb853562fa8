#pragma once
// The registry and INI-file calls the settings store makes, with the
// platform's status codes (0 success, 2 not found, 234 more data, ...), so
// the settings store is the same code on every platform.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace host {

using Key = std::uintptr_t;

// The predefined hive handles, with their Win32 values: 32-bit numbers widened
// with their sign, as Windows defines them, so that on 64-bit Windows a hive is
// 0xFFFFFFFF80000001 and not a handle the registry does not know.
constexpr Key PredefinedKey(std::uint32_t value) {
  return static_cast<Key>(static_cast<std::intptr_t>(static_cast<std::int32_t>(value)));
}
constexpr Key HKEY_CLASSES_ROOT = PredefinedKey(0x80000000u);
constexpr Key HKEY_CURRENT_USER = PredefinedKey(0x80000001u);
constexpr Key HKEY_LOCAL_MACHINE = PredefinedKey(0x80000002u);
constexpr Key HKEY_USERS = PredefinedKey(0x80000003u);
constexpr Key HKEY_CURRENT_CONFIG = PredefinedKey(0x80000005u);
constexpr Key HKEY_DYN_DATA = PredefinedKey(0x80000006u);

constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;

constexpr std::int32_t ERROR_SUCCESS = 0;
constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
constexpr std::int32_t ERROR_ACCESS_DENIED = 5;
constexpr std::int32_t ERROR_INVALID_HANDLE = 6;
constexpr std::int32_t ERROR_MORE_DATA = 234;

class Registry {
 public:
  virtual ~Registry() = default;

  // RegOpenKeyExA with KEY_QUERY_VALUE.
  virtual std::int32_t OpenKey(Key root, const std::string& subKey, Key& result) = 0;
  // RegCreateKeyExA: non-volatile, KEY_SET_VALUE | KEY_CREATE_SUB_KEY, empty class.
  virtual std::int32_t CreateKey(Key root, const std::string& subKey, Key& result) = 0;
  // RegQueryValueExA. With data null only the size is asked for. When the
  // buffer is too small the answer is 234 and size holds the size needed.
  virtual std::int32_t QueryValue(Key key, const std::string& valueName, std::uint32_t& type, std::uint8_t* data,
                                  std::uint32_t& size) = 0;
  // RegSetValueExA.
  virtual std::int32_t SetValue(Key key, const std::string& valueName, std::uint32_t type, const std::uint8_t* data,
                                std::uint32_t size) = 0;
  virtual std::int32_t CloseKey(Key key) = 0;

  // FindFirstFileA over ordinary files only (no directories, hidden or
  // system files): the first matching name, or empty when none or on failure.
  virtual std::string FindPlainFile(const std::string& pattern) = 0;
  // GetPrivateProfileStringA into a buffer of bufferSize characters (so at
  // most bufferSize - 1 come back).
  virtual std::string GetPrivateProfileString(const std::string& section, const std::string& entry,
                                              const std::string& defaultText, std::uint32_t bufferSize,
                                              const std::string& file) = 0;
  // GetPrivateProfileIntA.
  virtual std::uint32_t GetPrivateProfileInt(const std::string& section, const std::string& entry,
                                             std::int32_t defaultValue, const std::string& file) = 0;
  // WritePrivateProfileStringA; creates the file, section and entry as needed.
  virtual bool WritePrivateProfileString(const std::string& section, const std::string& entry, const std::string& value,
                                         const std::string& file) = 0;

  // A secret kept among the settings, sealed with the current user's own key
  // (CryptProtectData, CryptUnprotectData) so that another account on the
  // machine, or a copy of the hive, cannot read it. The sealed form is text a
  // REG_SZ value holds. Protect gives nothing when the platform cannot seal;
  // Unprotect gives nothing for text this user's key did not seal.
  virtual std::optional<std::string> ProtectData(const std::string& secret) = 0;
  virtual std::optional<std::string> UnprotectData(const std::string& sealed) = 0;
};

}  // namespace host
