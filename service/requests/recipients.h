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

// More recipients than this in one request is refused. Mail servers need take
// only 100 recipients per message (RFC 5321) and a tracked send goes to
// people, not to a mailing list: 500 is well past what one sender addresses
// by hand in Outlook, and keeps the pairing and the stamps of one request small.
inline constexpr std::size_t kMaxRecipients = 500;
inline constexpr const char* kTooManyRecipients = "Too many recipients.";

// Refuses the two lists by their size alone, before anything costlier reads
// them: either list longer than longest bytes, or more names than
// kMaxRecipients (each name is followed by one space).
void CheckListSizes(std::string_view addressList, std::string_view nameList, std::size_t longest);

// Reverses s256to62: each pair of symbols is one character. Throws BadRequest
// on an odd length, a symbol outside the alphabet or a code above 255.
std::string DecodeName(std::string_view encoded);

// Pairs the two lists. The name list decides the count (its names hold no
// spaces); an address may hold spaces only where the display name stands in
// for it. Throws BadRequest when the lists are malformed or do not match.
std::vector<Recipient> ParseRecipients(std::string_view addressList, std::string_view nameList);

}  // namespace mailwarden
