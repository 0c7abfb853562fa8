#pragma once
// SHA-256 (FIPS 180-4) and HMAC-SHA256 (RFC 2104), for the add-in key's request
// signatures. In the portable core because Windows 2000's CryptoAPI has no SHA-256.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace corvanta::protocol {

using Digest = std::array<std::uint8_t, 32>;

Digest Sha256(std::span<const std::uint8_t> message);
Digest HmacSha256(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message);

inline std::span<const std::uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace corvanta::protocol
