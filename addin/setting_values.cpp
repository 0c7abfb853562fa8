#include "addin/setting_values.h"

#include <cmath>
#include <limits>
#include <type_traits>
#include <variant>

#include "host/error.h"
#include "settings/mod_registry.h"

namespace corvanta::addin {
namespace {

constexpr const char* kLocation = "HKCU";

// A read leaves a variant of the type the value had; numbers of any width and
// truth values all count, anything else keeps the default.
std::int32_t AsNumber(const modRegistry::Value& value, std::int32_t defaultValue) {
  return std::visit(
      [&](const auto& held) -> std::int32_t {
        using T = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<T, bool>) {
          return held ? -1 : 0;
        } else if constexpr (std::is_integral_v<T>) {
          return static_cast<std::int32_t>(held);
        } else if constexpr (std::is_same_v<T, double>) {
          if (!std::isfinite(held) || held < std::numeric_limits<std::int32_t>::min() ||
              held > std::numeric_limits<std::int32_t>::max()) {
            return defaultValue;
          }
          return static_cast<std::int32_t>(std::nearbyint(held));
        } else {
          return defaultValue;
        }
      },
      value);
}

}  // namespace

std::int32_t ReadNumber(host::Registry& registry, const std::string& key, const std::string& valueName,
                        std::int32_t defaultValue) {
  modRegistry::Value value;
  modRegistry::ReadSetting(registry, kLocation, key, valueName, "D", defaultValue, value);
  return AsNumber(value, defaultValue);
}

std::string ReadText(host::Registry& registry, const std::string& key, const std::string& valueName,
                     const std::string& defaultValue) {
  modRegistry::Value value;
  modRegistry::ReadSetting(registry, kLocation, key, valueName, "S", defaultValue, value);
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return defaultValue;
}

void WriteNumber(host::Registry& registry, const std::string& key, const std::string& valueName, std::int32_t value) {
  // The store reports its status and nobody acts on it: a value that could
  // not be written is simply asked for again at the next start.
  modRegistry::WriteSetting(registry, kLocation, key, valueName, "D", value);
}

void WriteText(host::Registry& registry, const std::string& key, const std::string& valueName,
               const std::string& value) {
  modRegistry::WriteSetting(registry, kLocation, key, valueName, "S", value);
}

std::int16_t ToInteger16(std::int32_t value) {
  if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max()) {
    throw host::Error(6, "Overflow");
  }
  return static_cast<std::int16_t>(value);
}

}  // namespace corvanta::addin
