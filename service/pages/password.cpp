#include "service/pages/password.h"

#include <sodium.h>

#include <stdexcept>

namespace mailwarden::pages {

namespace {

void StartSodium() {
  if (sodium_init() < 0) throw std::runtime_error("libsodium could not start");
}

}  // namespace

std::string HashPassword(std::string_view password) {
  StartSodium();
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                        crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
    throw std::runtime_error("not enough memory to hash the password");
  }
  return hash;
}

bool VerifyPassword(std::string_view hash, std::string_view password) {
  StartSodium();
  if (hash.empty() || hash.size() >= crypto_pwhash_STRBYTES) return false;
  const std::string terminated(hash);
  return crypto_pwhash_str_verify(terminated.c_str(), password.data(), password.size()) == 0;
}

}  // namespace mailwarden::pages
