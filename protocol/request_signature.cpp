#include "protocol/request_signature.h"

#include <charconv>

#include "protocol/hmac_sha256.h"

namespace corvanta::protocol {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

template <std::size_t N>
std::string Hex(const std::array<std::uint8_t, N>& bytes) {
  std::string text;
  text.reserve(N * 2);
  for (std::uint8_t byte : bytes) {
    text += kHexDigits[byte >> 4];
    text += kHexDigits[byte & 15];
  }
  return text;
}

std::string Signature(std::string_view signedText, const AddinKey& key) {
  return Hex(HmacSha256(key, Bytes(signedText)));
}

}  // namespace

std::optional<AddinKey> ParseAddinKey(std::string_view text) {
  AddinKey key{};
  std::size_t digits = 0;
  for (char c : text) {
    if (c == ' ' || c == '-' || c == '\t') continue;
    const int value = HexValue(c);
    if (value < 0 || digits >= key.size() * 2) return std::nullopt;
    key[digits / 2] = static_cast<std::uint8_t>(key[digits / 2] << 4 | value);
    ++digits;
  }
  if (digits != key.size() * 2) return std::nullopt;
  return key;
}

std::string AddinKeyText(const AddinKey& key) {
  return Hex(key);
}

std::string SignRequest(std::string_view request, const AddinKey& key, std::int64_t unixTime) {
  const std::string time = "&kt=" + std::to_string(unixTime);
  return time + "&ks=" + Signature(std::string(request) + time, key);
}

std::optional<SignedRequest> SplitSignature(std::string_view request) {
  const std::size_t ks = request.rfind("&ks=");
  const std::size_t kt = ks == std::string_view::npos ? ks : request.rfind("&kt=", ks);
  if (kt == std::string_view::npos) return std::nullopt;
  SignedRequest parts;
  parts.unsignedText = request.substr(0, kt);
  parts.signedText = request.substr(0, ks);
  const std::string_view time = request.substr(kt + 4, ks - kt - 4);
  const auto [end, error] = std::from_chars(time.data(), time.data() + time.size(), parts.time);
  if (error != std::errc() || end != time.data() + time.size() || time.empty()) return std::nullopt;
  parts.signature = request.substr(ks + 4);
  if (parts.signature.size() != 64) return std::nullopt;
  return parts;
}

bool CheckSignature(const SignedRequest& request, const AddinKey& key) {
  const std::string expected = Signature(request.signedText, key);
  if (expected.size() != request.signature.size()) return false;
  unsigned difference = 0;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    difference |= static_cast<unsigned>(expected[i] ^ request.signature[i]);
  }
  return difference == 0;
}

}  // namespace corvanta::protocol
