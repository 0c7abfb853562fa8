#pragma once
// The add-in key and the signature it puts on a request. A sender with a key
// appends "&kt=" (the time, UTC seconds) and "&ks=" (the HMAC-SHA256, with the
// key, of everything before "&ks=") after all a request carries without one;
// without a key a request stays as it was, byte for byte.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvanta::protocol {

// 256 random bits, written as 64 hexadecimal digits.
using AddinKey = std::array<std::uint8_t, 32>;

// Reads a key as the sender pastes it: blanks and '-' ignored, either case.
std::optional<AddinKey> ParseAddinKey(std::string_view text);
std::string AddinKeyText(const AddinKey& key);

// "&kt=TIME&ks=SIGNATURE", for the end of a request's query or form body.
std::string SignRequest(std::string_view request, const AddinKey& key, std::int64_t unixTime);

// A request's text taken apart at its signature, for the service.
struct SignedRequest {
  std::string_view unsignedText;  // the request as an add-in without a key sends it
  std::string_view signedText;    // that and "&kt=TIME": what the signature covers
  std::int64_t time = 0;
  std::string_view signature;
};
// Nothing when the text does not end in a well-formed "&kt=...&ks=...".
std::optional<SignedRequest> SplitSignature(std::string_view request);
// Whether the signature is the key's over the text and time (compared in constant time).
bool CheckSignature(const SignedRequest& request, const AddinKey& key);

}  // namespace corvanta::protocol
