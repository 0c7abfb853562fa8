#pragma once
// The add-in's settings as plain numbers and text: every read goes to "HKCU"
// through modRegistry, and the default stays whenever nothing could be read.
#include <cstdint>
#include <string>

#include "host/registry.h"

namespace corvanta::addin {

// The key under which Outlook lists the add-in; its own settings live there.
inline constexpr const char* kCvxRegPath = "Software\\Microsoft\\Office\\Outlook\\Addins\\Corvix.Connect";

std::int32_t ReadNumber(host::Registry& registry, const std::string& key, const std::string& valueName,
                        std::int32_t defaultValue);
std::string ReadText(host::Registry& registry, const std::string& key, const std::string& valueName,
                     const std::string& defaultValue);
void WriteNumber(host::Registry& registry, const std::string& key, const std::string& valueName, std::int32_t value);
void WriteText(host::Registry& registry, const std::string& key, const std::string& valueName,
               const std::string& value);

// A number kept in a 16-bit member: one that does not fit is an overflow
// error (host::Error), not a silently wrapped value.
std::int16_t ToInteger16(std::int32_t value);

}  // namespace corvanta::addin
