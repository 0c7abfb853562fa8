// SHA-256 as FIPS 180-4 section 6.2 gives it, and HMAC over it as RFC 2104 does.
#include "protocol/hmac_sha256.h"

#include <algorithm>
#include <bit>

namespace corvanta::protocol {

namespace {

constexpr std::array<std::uint32_t, 64> kRoundConstants{
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::size_t kBlockSize = 64;

class Sha256State {
 public:
  void Update(std::span<const std::uint8_t> data) {
    for (std::uint8_t byte : data) {
      block_[used_++] = byte;
      if (used_ == kBlockSize) {
        Compress();
        used_ = 0;
      }
    }
    length_ += data.size();
  }

  Digest Finish() {
    const std::uint64_t bits = length_ * 8;
    const std::uint8_t one = 0x80, zero = 0;
    Update({&one, 1});
    while (used_ != kBlockSize - 8) Update({&zero, 1});
    for (int shift = 56; shift >= 0; shift -= 8) {
      const auto byte = static_cast<std::uint8_t>(bits >> shift);
      Update({&byte, 1});
    }
    Digest digest{};
    for (std::size_t i = 0; i < 8; ++i) {
      for (std::size_t j = 0; j < 4; ++j) digest[i * 4 + j] = static_cast<std::uint8_t>(hash_[i] >> (24 - 8 * j));
    }
    return digest;
  }

 private:
  void Compress() {
    std::array<std::uint32_t, 64> w{};
    for (std::size_t t = 0; t < 16; ++t) {
      w[t] = std::uint32_t{block_[t * 4]} << 24 | std::uint32_t{block_[t * 4 + 1]} << 16 |
             std::uint32_t{block_[t * 4 + 2]} << 8 | std::uint32_t{block_[t * 4 + 3]};
    }
    for (std::size_t t = 16; t < 64; ++t) {
      const std::uint32_t s0 = std::rotr(w[t - 15], 7) ^ std::rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
      const std::uint32_t s1 = std::rotr(w[t - 2], 17) ^ std::rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
      w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    std::array<std::uint32_t, 8> v = hash_;
    for (std::size_t t = 0; t < 64; ++t) {
      const std::uint32_t e = v[4], a = v[0];
      const std::uint32_t t1 = v[7] + (std::rotr(e, 6) ^ std::rotr(e, 11) ^ std::rotr(e, 25)) +
                               ((e & v[5]) ^ (~e & v[6])) + kRoundConstants[t] + w[t];
      const std::uint32_t t2 =
          (std::rotr(a, 2) ^ std::rotr(a, 13) ^ std::rotr(a, 22)) + ((a & v[1]) ^ (a & v[2]) ^ (v[1] & v[2]));
      v = {t1 + t2, v[0], v[1], v[2], v[3] + t1, v[4], v[5], v[6]};
    }
    for (std::size_t i = 0; i < 8; ++i) hash_[i] += v[i];
  }

  std::array<std::uint32_t, 8> hash_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                     0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  std::array<std::uint8_t, kBlockSize> block_{};
  std::size_t used_ = 0;
  std::uint64_t length_ = 0;
};

}  // namespace

Digest Sha256(std::span<const std::uint8_t> message) {
  Sha256State state;
  state.Update(message);
  return state.Finish();
}

Digest HmacSha256(std::span<const std::uint8_t> key, std::span<const std::uint8_t> message) {
  // A key longer than a block is hashed first; a shorter one is padded with zeros.
  std::array<std::uint8_t, kBlockSize> block{};
  if (key.size() > kBlockSize) {
    const Digest hashed = Sha256(key);
    std::copy(hashed.begin(), hashed.end(), block.begin());
  } else {
    std::copy(key.begin(), key.end(), block.begin());
  }
  std::array<std::uint8_t, kBlockSize> inner{}, outer{};
  for (std::size_t i = 0; i < kBlockSize; ++i) {
    inner[i] = block[i] ^ 0x36;
    outer[i] = block[i] ^ 0x5c;
  }
  Sha256State first;
  first.Update(inner);
  first.Update(message);
  const Digest innerDigest = first.Finish();
  Sha256State second;
  second.Update(outer);
  second.Update(innerDigest);
  return second.Finish();
}

}  // namespace corvanta::protocol
