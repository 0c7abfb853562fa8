// UrlEscape and s256to62, each read back by what the service uses to read
// them (mailwarden's PercentDecode and DecodeName); and getSChar.
//
// Input: the text; its first two bytes are also a digit value for getSChar.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "protocol/encoding.h"
#include "service/requests/bad_request.h"
#include "service/requests/form.h"
#include "service/requests/recipients.h"
#include "support/check.h"

namespace {

bool IsAlphanumeric(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}
bool IsUpperHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  using namespace corvanta::protocol;

  const std::string escaped = UrlEscape(text);
  std::size_t kept = 0;
  for (std::size_t at = 0; at < escaped.size(); ++at) {
    if (IsAlphanumeric(escaped[at])) {
      ++kept;
      continue;
    }
    const bool escape =
        escaped[at] == '%' && at + 2 < escaped.size() && IsUpperHex(escaped[at + 1]) && IsUpperHex(escaped[at + 2]);
    fuzz::Require(escape, "UrlEscape gives only letters, digits and %XX");
    at += 2;
  }
  std::size_t alphanumeric = 0;
  for (const char c : text) alphanumeric += IsAlphanumeric(c) ? 1 : 0;
  fuzz::Require(kept == alphanumeric, "letters and digits stay as they are, nothing else does");
  fuzz::Require(escaped.size() == kept + 3 * (text.size() - kept), "each byte is itself or three symbols");
  const auto decoded = mailwarden::PercentDecode(escaped);
  if (!decoded || *decoded != text) {
    fuzz::Fail("the service decodes UrlEscape's output back to the text", fuzz::Shown(text));
  }

  // UrlEscape works a block of 4096 bytes at a time: with letters in front
  // the block's end falls inside the text, and nothing changes.
  const std::string letters(4096 - text.size() / 2 % 4096, 'x');
  fuzz::Require(UrlEscape(letters + text) == letters + escaped, "escaping does not depend on where a block ends");

  const std::string symbols = s256to62(text);
  fuzz::Require(symbols.size() == 2 * text.size(), "s256to62 gives two symbols per character");
  for (const char c : symbols) fuzz::Require(IsAlphanumeric(c), "s256to62 gives only letters and digits");
  try {
    fuzz::Require(mailwarden::DecodeName(symbols) == text, "the service reads a base-62 name back");
  } catch (const mailwarden::BadRequest& refused) {
    fuzz::Fail("the service reads a base-62 name back", refused.what());
  }

  if (size >= 2) {
    const auto n = static_cast<std::int16_t>(data[0] | data[1] << 8);
    try {
      const std::string symbol = getSChar(n);
      fuzz::Require(symbol.size() == 1, "getSChar gives one character");
      if (n >= 0) fuzz::Require(IsAlphanumeric(symbol[0]), "getSChar of a digit value is a letter or digit");
      if (n >= 62) fuzz::Require(symbol == "A", "getSChar of 62 and above is A");
    } catch (const std::out_of_range&) {
      fuzz::Require(n < -65, "getSChar refuses only values with no character");
    }
  }
  return 0;
}
