#include "service/store/attempt_key.h"

#include <sodium.h>

#include "service/store/address_key.h"

namespace mailwarden::store {

std::string AttemptKey(std::string_view text) {
  unsigned char digest[16];
  crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(text.data()), text.size(), nullptr,
                     0);
  char hex[sizeof digest * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}

std::string RecentAttemptKey(std::string_view text) {
  return AttemptKey(text) + "-recent";
}

std::string SignInFailureKind(std::string_view address) {
  return "signin-failed:" + AttemptKey(AddressKey(address));
}

}  // namespace mailwarden::store
