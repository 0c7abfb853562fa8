#include "service/links/form_token.h"

#include <sodium.h>

#include <stdexcept>
#include <string>

namespace mailwarden {
namespace {

std::string Hex(const unsigned char* bytes, std::size_t size) {
  std::string hex(size * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), bytes, size);
  hex.pop_back();
  return hex;
}

}  // namespace

std::string NewFormKey() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
  unsigned char key[crypto_auth_hmacsha256_KEYBYTES];
  randombytes_buf(key, sizeof key);
  return Hex(key, sizeof key);
}

std::string FormKey::Get() {
  std::lock_guard lock(mutex_);
  if (key_.empty()) key_ = store_.ServiceKey("form", NewFormKey());
  return key_;
}

std::string FormToken(std::string_view key, std::string_view action, std::string_view stamp) {
  crypto_auth_hmacsha256_state state;
  crypto_auth_hmacsha256_init(&state, reinterpret_cast<const unsigned char*>(key.data()), key.size());
  // The action and the stamp apart: no stamp may pass for another action's.
  const std::string message = std::string(action) + '\n' + std::string(stamp);
  crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(message.data()), message.size());
  unsigned char mac[crypto_auth_hmacsha256_BYTES];
  crypto_auth_hmacsha256_final(&state, mac);
  return Hex(mac, sizeof mac);
}

bool FormTokenMatches(std::string_view key, std::string_view action, std::string_view stamp, std::string_view token) {
  const std::string expected = FormToken(key, action, stamp);
  return token.size() == expected.size() && sodium_memcmp(token.data(), expected.data(), expected.size()) == 0;
}

}  // namespace mailwarden
