#pragma once
// Senders' passwords, kept only as Argon2id hashes (libsodium's
// crypto_pwhash_str form, with its own salt and cost in the text).
#include <string>
#include <string_view>

namespace mailwarden::pages {

// Throws std::runtime_error when libsodium cannot start or runs out of memory.
std::string HashPassword(std::string_view password);

// False for a wrong password and for an empty or malformed hash.
bool VerifyPassword(std::string_view hash, std::string_view password);

// The shortest password the pages and the administrator's command accept.
inline constexpr std::size_t kMinPasswordLength = 8;

}  // namespace mailwarden::pages
