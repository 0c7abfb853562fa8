#include "service/notices/webhook_secret.h"

#include <sodium.h>

namespace mailwarden::notices {
namespace {

constexpr std::string_view kPrefix = "whsec_";

std::string Text(const corvanta::protocol::AddinKey& key) {
  char hex[sizeof key * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, key.data(), key.size());
  return std::string(kPrefix) + hex;
}

}  // namespace

WebhookSecret NewWebhookSecret(const keys::SealingKey& sealing) {
  // A key of the add-in keys' size, sealed the same way.
  const corvanta::protocol::AddinKey key = keys::NewAddinKey();
  return WebhookSecret{Text(key), keys::Seal(key, sealing)};
}

std::optional<std::string> OpenWebhookSecret(std::string_view sealed, const keys::SealingKey& sealing) {
  const auto key = keys::Open(sealed, sealing);
  if (!key) return std::nullopt;
  return Text(*key);
}

}  // namespace mailwarden::notices
