// WordWrap at any width: the fast wrap against a plain transcription of the
// rule, one character at a time, and the shape of what it gives.
//
// Input: the first byte is the width (byte - 16, so -16 to 223), or from
// 0xF0 up, the next four bytes are it (little-endian: huge and negative
// widths); the rest is the text, read as UTF-8 (a stray byte counts as one
// character), its width counted in UTF-16 units.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "host/utf8.h"
#include "support/check.h"
#include "tests/support/word_wrap_by_the_rule.h"
#include "text/word_wrap.h"

namespace {

using testsupport::WrapByTheRule;

std::string Without(std::string text, const std::string& what) {
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at)) text.erase(at, what.size());
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  std::int32_t width = static_cast<std::int32_t>(data[0]) - 16;
  std::size_t used = 1;
  if (data[0] >= 0xF0) {
    if (size < 5) return 0;
    std::uint32_t raw = 0;
    for (int i = 4; i >= 1; --i) raw = raw << 8 | data[i];
    std::memcpy(&width, &raw, sizeof width);
    used = 5;
  }
  const std::string text(reinterpret_cast<const char*>(data) + used, size - used);

  const std::string wrapped = corvanta::modWordWrap::WordWrap(text, width);
  if (wrapped != WrapByTheRule(text, width)) {
    fuzz::Fail("WordWrap follows the rule", "width " + std::to_string(width) + ", text \"" + fuzz::Shown(text) +
                                                "\" gave \"" + fuzz::Shown(wrapped) + "\"");
  }
  if (width < 1) fuzz::Require(wrapped == text, "a width below 1 leaves the text as it is");

  // Without carriage returns in the text every line break is the wrap's own:
  // no line is longer than the width (but for one character of two units
  // at width 1, which cannot be cut), no line break falls inside a character,
  // and only blanks are lost.
  if (width >= 1 && text.find('\r') == std::string::npos) {
    std::size_t start = 0, unitsInLines = 0;
    while (start <= wrapped.size()) {
      std::size_t end = wrapped.find("\r\n", start);
      if (end == std::string::npos) end = wrapped.size();
      const std::string_view line(wrapped.data() + start, end - start);
      const std::size_t units = host::utf8::Units(line);
      fuzz::Require(units <= static_cast<std::size_t>(width) || (width == 1 && units == 2 && line.size() == 4),
                    "no line is longer than the width");
      unitsInLines += units;
      start = end + 2;
    }
    // A character cut in two would read as stray bytes in its two lines.
    const std::size_t blanksLost =
        text.size() - Without(text, " ").size() - (wrapped.size() - Without(wrapped, " ").size());
    fuzz::Require(unitsInLines + blanksLost == host::utf8::Units(text), "no line break falls inside a character");
    fuzz::Require(Without(Without(wrapped, "\r\n"), " ") == Without(text, " "), "the wrap loses only blanks");
  }
  return 0;
}
