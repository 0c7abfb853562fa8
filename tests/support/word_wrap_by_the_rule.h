#pragma once
// The word wrap written out plainly, one UTF-16 unit at a time with 1-based
// positions as the rule reads: what the fast wrap is checked against, by the
// unit tests and by the fuzzer. A character of two units is never cut: a hard
// cut that would fall inside it comes one unit earlier, and the character
// after a CR goes with the CR whole.
#include <cstddef>
#include <string>
#include <vector>

#include "host/utf8.h"

namespace testsupport {

// The text by units: each character's bytes stand at its first unit, and its
// second unit (if any) holds nothing.
struct UnitText {
  explicit UnitText(const std::string& text) {
    for (std::size_t at = 0; at < text.size();) {
      const host::utf8::Character ch = host::utf8::At(text, at);
      pieces.push_back(text.substr(at, ch.bytes));
      second.push_back(false);
      if (ch.units == 2) {
        pieces.emplace_back();
        second.push_back(true);
      }
      at += ch.bytes;
    }
  }
  long long Length() const { return static_cast<long long>(pieces.size()); }
  bool IsSecond(long long pos) const { return pos >= 1 && pos <= Length() && second[pos - 1]; }
  // Mid$ of a 1-based start and a count, clamped to the text.
  std::string Mid(long long start, long long count) const {
    std::string out;
    for (long long pos = start; pos < start + count && pos <= Length(); ++pos) out += pieces[pos - 1];
    return out;
  }
  std::vector<std::string> pieces;
  std::vector<bool> second;
};

inline std::string WrapByTheRule(const std::string& utf8, long long width) {
  if (width < 1) return utf8;
  const UnitText text(utf8);
  const long long length = text.Length();
  long long lineStart = 1, column = 0, lastSpace = 0;
  std::string out;
  for (long long pos = 1; pos <= length; ++pos) {
    ++column;
    const std::string& ch = text.pieces[pos - 1];
    if (ch == " ") lastSpace = column;
    if (ch == "\r") {
      const long long after = text.IsSecond(pos + 2) ? 2 : 1;
      out += text.Mid(lineStart, column + after);
      lineStart += column + after;
      pos += after;
      column = 0;
      lastSpace = 0;
    } else if (column > width) {
      if (lastSpace == 0) {
        long long cut = width;
        if (text.IsSecond(lineStart + cut)) cut = cut > 1 ? cut - 1 : 2;
        out += text.Mid(lineStart, cut) + "\r\n";
        lineStart += cut;
        column = pos - lineStart + 1;
      } else {
        out += text.Mid(lineStart, lastSpace - 1) + "\r\n";
        lineStart += lastSpace;
        column = width - lastSpace + 1;
        lastSpace = 0;
      }
    }
  }
  return out + text.Mid(lineStart, length);
}

}  // namespace testsupport
