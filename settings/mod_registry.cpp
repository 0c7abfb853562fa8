#include "settings/mod_registry.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "settings/value_text.h"

namespace corvanta::modRegistry {
namespace {

// Strings go to the platform as given; the INI string reader gets a buffer
// of 255 characters, as it always has.
constexpr std::uint32_t kIniBufferSize = 255;

std::string Upper(std::string text) {
  for (char& ch : text) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return text;
}

// Closes the key whatever happens between opening and the end of the call.
class OpenedKey {
 public:
  OpenedKey(host::Registry& platform, host::Key key) : platform_(platform), key_(key) {}
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  ~OpenedKey() {
    try {
      platform_.CloseKey(key_);
    } catch (...) {
      // Nothing more can be done about a key that will not close.
    }
  }
  host::Key get() const { return key_; }

 private:
  host::Registry& platform_;
  host::Key key_;
};

std::int32_t ReadIni(host::Registry& platform, const std::string& file, const std::string& section,
                     const std::string& entry, const std::string& type, const Value& defaultValue, Value& value) {
  if (type == "S") {
    // The default's text form must be known before anything is asked.
    std::string defaultText = ValueToText(defaultValue);
    value = platform.GetPrivateProfileString(section, entry, defaultText, kIniBufferSize, file);
    return 0;
  }
  std::uint32_t number = platform.GetPrivateProfileInt(section, entry, 0, file);
  value = static_cast<std::int32_t>(number);
  return 0;
}

// One query of the value into a buffer of the given size; the read fills the
// result only when the platform answers 0.
std::int32_t ReadRegistry(host::Registry& platform, host::Key key, const std::string& valueName,
                          const std::string& type, Value& value) {
  std::uint32_t storedType = 0;
  if (type == "S") {
    // A size of 0 with a real (empty) buffer: the platform answers 234 and
    // the size it needs, NUL included.
    std::uint8_t empty = 0;
    std::uint32_t size = 0;
    std::int32_t status = platform.QueryValue(key, valueName, storedType, &empty, size);
    if (status == host::ERROR_MORE_DATA) {
      std::string buffer(size, '\0');
      status = platform.QueryValue(key, valueName, storedType, reinterpret_cast<std::uint8_t*>(buffer.data()), size);
      if (status == 0 && size > 0) {
        buffer.resize(size - 1);  // drops the NUL
        value = std::move(buffer);
      }
      return status;
    }
    // 0 here means a value of zero bytes: nothing to shorten, the default stays.
    return status;
  }
  if (type == "D") {
    std::array<std::uint8_t, 4> buffer{};
    std::uint32_t size = 4;
    std::int32_t status = platform.QueryValue(key, valueName, storedType, buffer.data(), size);
    if (status == 0) {
      std::uint32_t word = static_cast<std::uint32_t>(buffer[0]) | static_cast<std::uint32_t>(buffer[1]) << 8 |
                           static_cast<std::uint32_t>(buffer[2]) << 16 | static_cast<std::uint32_t>(buffer[3]) << 24;
      value = static_cast<std::int32_t>(word);
    }
    return status;
  }
  if (type == "B") {
    std::array<std::uint8_t, 2> buffer{};
    std::uint32_t size = 2;
    std::int32_t status = platform.QueryValue(key, valueName, storedType, buffer.data(), size);
    if (status == 0) value = (buffer[0] | buffer[1]) != 0;
    return status;
  }
  return 0;  // an unknown letter reads nothing
}

std::int32_t WriteRegistry(host::Registry& platform, host::Key key, const std::string& valueName,
                           const std::string& type, const Value& value, std::int32_t& status) {
  if (type == "S") {
    std::string text = ValueToText(value);
    return platform.SetValue(key, valueName, host::REG_SZ, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                             static_cast<std::uint32_t>(text.size() + 1));
  }
  if (type == "B") {
    std::optional<bool> truth = ValueToBool(value);
    if (!truth) return status;  // not a truth value: nothing stored
    const std::uint8_t word = *truth ? 0xFF : 0x00;
    const std::array<std::uint8_t, 2> data{word, word};
    return platform.SetValue(key, valueName, host::REG_BINARY, data.data(), 2);
  }
  if (type == "D") {
    std::optional<std::int32_t> number = TextToLong(ValueToText(value));
    if (!number) return status;  // out of the 32-bit range: nothing stored
    const auto word = static_cast<std::uint32_t>(*number);
    const std::array<std::uint8_t, 4> data{static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8),
                                           static_cast<std::uint8_t>(word >> 16),
                                           static_cast<std::uint8_t>(word >> 24)};
    return platform.SetValue(key, valueName, host::REG_DWORD, data.data(), 4);
  }
  return 0;  // an unknown letter stores nothing
}

host::Key HiveOf(const std::string& upperLocation) {
  if (upperLocation == "HKCU") return host::HKEY_CURRENT_USER;
  if (upperLocation == "HKLM") return host::HKEY_LOCAL_MACHINE;
  if (upperLocation == "HKU") return host::HKEY_USERS;
  if (upperLocation == "HKDD") return host::HKEY_DYN_DATA;
  if (upperLocation == "HKCC") return host::HKEY_CURRENT_CONFIG;
  if (upperLocation == "HKCR") return host::HKEY_CLASSES_ROOT;
  return 0;
}

}  // namespace

host::Key ResolveLocation(host::Registry& platform, const std::string& location) {
  if (host::Key hive = HiveOf(Upper(location))) return hive;
  try {
    if (!platform.FindPlainFile(location).empty()) return kIniMode;
  } catch (...) {
    // A bad path or a missing drive: not a location we know.
  }
  return 0;
}

std::int32_t ReadSetting(host::Registry& platform, const std::string& location, const std::string& key,
                         const std::string& valueName, const std::string& type, const Value& defaultValue,
                         Value& value) {
  std::int32_t status = kUnrecognised;
  value = defaultValue;
  try {
    const host::Key root = ResolveLocation(platform, location);
    if (root == 0) return kUnrecognised;
    const std::string letter = Upper(type);
    // The read lands in a scratch value, so a failure half-way leaves the default.
    Value result = defaultValue;
    if (root == kIniMode) {
      status = ReadIni(platform, location, key, valueName, letter, defaultValue, result);
    } else {
      host::Key opened = 0;
      status = platform.OpenKey(root, key, opened);
      if (status != 0) return status;
      OpenedKey guard(platform, opened);
      status = ReadRegistry(platform, opened, valueName, letter, result);
    }
    if (status == 0) value = std::move(result);
    return status;
  } catch (...) {
    value = defaultValue;
    return status;
  }
}

std::int32_t WriteSetting(host::Registry& platform, const std::string& location, const std::string& key,
                          const std::string& valueName, const std::string& type, const Value& value) {
  std::int32_t status = kUnrecognised;
  try {
    const host::Key root = ResolveLocation(platform, location);
    if (root == 0) return kUnrecognised;
    const std::string letter = Upper(type);
    if (root == kIniMode) {
      if (letter != "S") return kUnrecognised;
      platform.WritePrivateProfileString(key, valueName, ValueToText(value), location);
      return 0;  // whatever the platform says
    }
    host::Key created = 0;
    status = platform.CreateKey(root, key, created);
    if (status != 0) return status;
    OpenedKey guard(platform, created);
    status = WriteRegistry(platform, created, valueName, letter, value, status);
    return status;
  } catch (...) {
    return status;
  }
}

}  // namespace corvanta::modRegistry
