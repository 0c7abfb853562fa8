#include "service/keys/sealing.h"

#include <sodium.h>

#include <stdexcept>
#include <vector>

namespace mailwarden::keys {
namespace {

constexpr std::string_view kPrefix = "sb1:";

void Ready() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot start");
}

}  // namespace

corvanta::protocol::AddinKey NewAddinKey() {
  Ready();
  corvanta::protocol::AddinKey key;
  randombytes_buf(key.data(), key.size());
  return key;
}

SealingKey NewSealingKey() {
  Ready();
  SealingKey key;
  crypto_secretbox_keygen(key.data());
  return key;
}

std::string Seal(const corvanta::protocol::AddinKey& key, const SealingKey& sealing) {
  static_assert(sizeof(SealingKey) == crypto_secretbox_KEYBYTES);
  Ready();
  std::vector<unsigned char> sealed(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + key.size());
  randombytes_buf(sealed.data(), crypto_secretbox_NONCEBYTES);
  crypto_secretbox_easy(sealed.data() + crypto_secretbox_NONCEBYTES, key.data(), key.size(), sealed.data(),
                        sealing.data());
  std::string hex(sealed.size() * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), sealed.data(), sealed.size());
  hex.pop_back();
  return std::string(kPrefix) + hex;
}

std::optional<corvanta::protocol::AddinKey> Open(std::string_view sealed, const SealingKey& sealing) {
  Ready();
  if (sealed.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
  sealed.remove_prefix(kPrefix.size());
  corvanta::protocol::AddinKey key;
  std::vector<unsigned char> bytes(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + key.size());
  std::size_t length = 0;
  if (sodium_hex2bin(bytes.data(), bytes.size(), sealed.data(), sealed.size(), nullptr, &length, nullptr) != 0 ||
      length != bytes.size() || sealed.size() != bytes.size() * 2) {
    return std::nullopt;
  }
  if (crypto_secretbox_open_easy(key.data(), bytes.data() + crypto_secretbox_NONCEBYTES,
                                 bytes.size() - crypto_secretbox_NONCEBYTES, bytes.data(), sealing.data()) != 0) {
    return std::nullopt;
  }
  return key;
}

}  // namespace mailwarden::keys
