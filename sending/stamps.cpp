#include "sending/stamps.h"

#include <algorithm>
#include <string_view>

namespace corvanta::sending {

std::vector<std::string> SplitStamps(const std::string& reply) {
  std::vector<std::string> stamps;
  if (reply.size() <= 3) return stamps;
  std::string_view rest(reply);
  rest.remove_prefix(3);
  // A line break ending the reply is no part of the last stamp.
  if (rest.ends_with("\r\n")) {
    rest.remove_suffix(2);
  } else if (rest.ends_with('\n') || rest.ends_with('\r')) {
    rest.remove_suffix(1);
  }
  if (rest.empty()) return stamps;
  for (;;) {
    const auto blank = rest.find(' ');
    stamps.emplace_back(rest.substr(0, blank));
    if (blank == std::string_view::npos) break;
    rest.remove_prefix(blank + 1);
  }
  return stamps;
}

bool IsSafeStamp(const std::string& stamp) {
  // What would end the link's attribute, the address or its query, or is no
  // character of a link at all: blanks, control characters, " < > # \ and
  // anything outside ASCII. Everything else a query may hold is a stamp's.
  constexpr std::string_view kRefused = "\"<>#\\";
  return !stamp.empty() && std::all_of(stamp.begin(), stamp.end(), [&](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte < 0x7F && kRefused.find(c) == std::string_view::npos;
  });
}

std::string StampProblem(const std::vector<std::string>& stamps, int recipientCount) {
  const int have = static_cast<int>(stamps.size());
  if (have < recipientCount) {
    return "The service sent " + std::to_string(have) + " stamp(s) for " + std::to_string(recipientCount) +
           " recipients.\r\nNothing was sent; please try again later.";
  }
  for (int i = 1; i <= recipientCount; ++i) {
    if (!IsSafeStamp(stamps[i - 1])) {
      return "The service sent an unusable stamp for recipient " + std::to_string(i) +
             ".\r\nNothing was sent; please try again later.";
    }
  }
  return {};
}

}  // namespace corvanta::sending
