// The stamps of a reply: splitting them off, the check of each stamp, and
// the verdict on a reply for a number of recipients.
//
// Input: the first byte is the number of recipients (0 to 63, the rest of the
// byte ignored); the rest is the reply.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sending/stamps.h"
#include "support/check.h"

namespace {

// Safe unescaped in a URL query and in a double-quoted HTML attribute:
// printable ASCII but for the blank and " < > # \.
bool SafeCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte > 0x20 && byte < 0x7F && std::string_view("\"<>#\\").find(c) == std::string_view::npos;
}

// The reply's payload without one line break that ends it.
std::string_view Payload(const std::string& reply) {
  std::string_view payload = std::string_view(reply).substr(3);
  if (payload.ends_with("\r\n")) return payload.substr(0, payload.size() - 2);
  if (payload.ends_with('\n') || payload.ends_with('\r')) return payload.substr(0, payload.size() - 1);
  return payload;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const int recipients = data[0] & 63;
  const std::string reply(reinterpret_cast<const char*>(data) + 1, size - 1);
  using namespace corvanta::sending;

  const std::vector<std::string> stamps = SplitStamps(reply);
  if (reply.size() <= 3 || Payload(reply).empty()) {
    fuzz::Require(stamps.empty(), "no payload, no stamps");
  } else {
    std::string joined;
    for (std::size_t i = 0; i < stamps.size(); ++i) {
      fuzz::Require(stamps[i].find(' ') == std::string::npos, "a stamp holds no blank");
      joined += (i ? " " : "") + stamps[i];
    }
    fuzz::Require(joined == Payload(reply), "the stamps joined by blanks are the payload without its line break");
  }

  std::size_t safe = 0;  // how many stamps from the first on are accepted
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    const std::string& stamp = stamps[i];
    const bool accepted = IsSafeStamp(stamp);
    if (accepted) {
      fuzz::Require(!stamp.empty(), "an accepted stamp is not empty");
      fuzz::Require(std::all_of(stamp.begin(), stamp.end(), SafeCharacter),
                    "an accepted stamp holds only safe characters");
    } else {
      fuzz::Require(stamp.empty() || !std::all_of(stamp.begin(), stamp.end(), SafeCharacter),
                    "a stamp of safe characters is accepted");
    }
    if (accepted && safe == i) ++safe;
  }

  // Usable exactly when the first stamps, one per recipient, are all safe.
  const std::string problem = StampProblem(stamps, recipients);
  const bool usable =
      stamps.size() >= static_cast<std::size_t>(recipients) && safe >= static_cast<std::size_t>(recipients);
  fuzz::Require(problem.empty() == usable, "the stamps are refused exactly when one is missing or unsafe");
  if (!usable) fuzz::Require(problem.find("Nothing was sent") != std::string::npos, "a refusal says nothing was sent");
  return 0;
}
