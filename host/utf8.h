#pragma once
// The add-in's strings hold UTF-8; where the add-in counts characters it
// counts them as the platform's strings do, in UTF-16 units, and never cuts a
// character in two. A byte that is not part of a well-formed sequence counts
// as one unit of its own and is kept as it is.
#include <cstddef>
#include <string>
#include <string_view>

namespace host::utf8 {

// One character of a UTF-8 text: where it starts, how many bytes and UTF-16
// units (1 or 2) it takes, and its code point (U+FFFD for a stray byte).
struct Character {
  std::size_t offset = 0;
  std::size_t bytes = 0;
  std::size_t units = 0;
  char32_t code = 0;
};

// The character that begins at offset (which must lie inside the text).
Character At(std::string_view text, std::size_t offset);

// The number of UTF-16 units of the text.
std::size_t Units(std::string_view text);

// The longest beginning of the text with at most `units` UTF-16 units that
// ends between two characters.
std::string_view Left(std::string_view text, std::size_t units);

bool IsAscii(std::string_view text);

// Calls unit(char16_t) for each UTF-16 unit of the text, in order.
template <typename F>
void ForEachUnit(std::string_view text, F&& unit) {
  for (std::size_t at = 0; at < text.size();) {
    const Character ch = At(text, at);
    if (ch.units == 2) {
      const char32_t v = ch.code - 0x10000;
      unit(static_cast<char16_t>(0xD800 + (v >> 10)));
      unit(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
      unit(static_cast<char16_t>(ch.code));
    }
    at += ch.bytes;
  }
}

// UTF-8 of one code point (a lone surrogate is written as its three bytes).
void Append(std::string& out, char32_t code);

}  // namespace host::utf8
