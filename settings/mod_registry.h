#pragma once
// modRegistry: one named, typed value at a time, in the registry or in an
// INI file. Never throws: each call returns a status (0, 99, or the
// platform's code) and a read leaves the default in place on any failure.
#include <cstdint>
#include <string>
#include <variant>

#include "host/registry.h"

namespace corvanta::modRegistry {

// A variant as the callers hold it.
using Value = std::variant<std::monostate, std::string, std::int16_t, std::int32_t, double, bool>;

constexpr std::int32_t kUnrecognised = 99;
constexpr host::Key kIniMode = 1;

// A hive handle, 1 for an existing INI file, or 0.
host::Key ResolveLocation(host::Registry& platform, const std::string& location);

std::int32_t ReadSetting(host::Registry& platform, const std::string& location, const std::string& key,
                         const std::string& valueName, const std::string& type, const Value& defaultValue,
                         Value& value);

std::int32_t WriteSetting(host::Registry& platform, const std::string& location, const std::string& key,
                          const std::string& valueName, const std::string& type, const Value& value);

}  // namespace corvanta::modRegistry
