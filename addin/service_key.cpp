#include "addin/service_key.h"

#include "addin/setting_values.h"

namespace corvanta::addin {

namespace {
constexpr const char* kValueName = "ServiceKey";
}  // namespace

std::optional<protocol::AddinKey> ReadServiceKey(host::Registry& registry, const std::string& key) {
  const std::string stored = ReadText(registry, key, kValueName, "");
  if (stored.empty()) return std::nullopt;
  if (const auto plain = protocol::ParseAddinKey(stored)) {
    const std::string digits = protocol::AddinKeyText(*plain);
    const std::optional<std::string> sealed = registry.ProtectData(digits);
    // A platform that keeps secrets as they are (the stand-in) leaves the value alone.
    if (sealed && *sealed != digits) WriteText(registry, key, kValueName, *sealed);
    return plain;
  }
  if (const auto unsealed = registry.UnprotectData(stored)) return protocol::ParseAddinKey(*unsealed);
  return std::nullopt;
}

}  // namespace corvanta::addin
