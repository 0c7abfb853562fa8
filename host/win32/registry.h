#pragma once
// The registry and INI files on the ANSI Win32 calls, with their own status codes.
#include "host/registry.h"

namespace host::win32 {

class Registry final : public host::Registry {
 public:
  std::int32_t OpenKey(Key root, const std::string& subKey, Key& result) override;
  std::int32_t CreateKey(Key root, const std::string& subKey, Key& result) override;
  std::int32_t QueryValue(Key key, const std::string& valueName, std::uint32_t& type, std::uint8_t* data,
                          std::uint32_t& size) override;
  std::int32_t SetValue(Key key, const std::string& valueName, std::uint32_t type, const std::uint8_t* data,
                        std::uint32_t size) override;
  std::int32_t CloseKey(Key key) override;

  std::string FindPlainFile(const std::string& pattern) override;
  std::string GetPrivateProfileString(const std::string& section, const std::string& entry,
                                      const std::string& defaultText, std::uint32_t bufferSize,
                                      const std::string& file) override;
  std::uint32_t GetPrivateProfileInt(const std::string& section, const std::string& entry, std::int32_t defaultValue,
                                     const std::string& file) override;
  bool WritePrivateProfileString(const std::string& section, const std::string& entry, const std::string& value,
                                 const std::string& file) override;
  // The sealed form: "dpapi:" and the data blob in hexadecimal digits.
  std::optional<std::string> ProtectData(const std::string& secret) override;
  std::optional<std::string> UnprotectData(const std::string& sealed) override;
};

}  // namespace host::win32
