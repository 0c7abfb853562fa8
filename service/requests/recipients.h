#pragma once
// The address list and name list of the stamp request and the upload: per
// recipient an address (or the display name standing in for it) and the
// display name in base 62, each followed by one space.
#include <string>
#include <string_view>
#include <vector>

namespace mailwarden {

struct Recipient {
  std::string address;
  std::string name;
};

// More recipients than this in one request is refused.
inline constexpr std::size_t kMaxRecipients = 1000;

// Reverses s256to62: each pair of symbols is one character. Throws BadRequest
// on an odd length, a symbol outside the alphabet or a code above 255.
std::string DecodeName(std::string_view encoded);

// Pairs the two lists. The name list decides the count (its names hold no
// spaces); an address may hold spaces only where the display name stands in
// for it. Throws BadRequest when the lists are malformed or do not match.
std::vector<Recipient> ParseRecipients(std::string_view addressList, std::string_view nameList);

}  // namespace mailwarden
