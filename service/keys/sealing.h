#pragma once
// The senders' add-in keys at rest: an HMAC key cannot be kept as a one-way
// hash, so each is kept encrypted (libsodium's secretbox) with the service's
// own key, which lives outside the database (a key file or the environment).
// A stolen database alone gives no add-in key.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/request_signature.h"

namespace mailwarden::keys {

using SealingKey = std::array<std::uint8_t, 32>;

// 256 random bits.
corvanta::protocol::AddinKey NewAddinKey();
SealingKey NewSealingKey();

// "sb1:" and the nonce and box in hexadecimal digits.
std::string Seal(const corvanta::protocol::AddinKey& key, const SealingKey& sealing);
// Nothing for text not sealed with this sealing key.
std::optional<corvanta::protocol::AddinKey> Open(std::string_view sealed, const SealingKey& sealing);

}  // namespace mailwarden::keys
