#pragma once
// The word wrap written out plainly, one character at a time with 1-based
// positions as the rule reads: what the fast wrap is checked against, by the
// unit tests and by the fuzzer.
#include <cstddef>
#include <string>

namespace testsupport {

// Mid$ of a 1-based start and a count, clamped to the text.
inline std::string Mid(const std::string& text, long long start, long long count) {
  if (start > static_cast<long long>(text.size())) return {};
  return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count));
}

inline std::string WrapByTheRule(const std::string& text, long long width) {
  if (width < 1) return text;
  const long long length = static_cast<long long>(text.size());
  long long lineStart = 1, column = 0, lastSpace = 0;
  std::string out;
  for (long long pos = 1; pos <= length; ++pos) {
    ++column;
    const char ch = text[static_cast<std::size_t>(pos - 1)];
    if (ch == ' ') lastSpace = column;
    if (ch == '\r') {
      out += Mid(text, lineStart, column + 1);
      lineStart += column + 1;
      ++pos;
      column = 0;
      lastSpace = 0;
    } else if (column > width) {
      if (lastSpace == 0) {
        out += Mid(text, lineStart, width) + "\r\n";
        lineStart += width;
        column = 1;
      } else {
        out += Mid(text, lineStart, lastSpace - 1) + "\r\n";
        lineStart += lastSpace;
        column = width - lastSpace + 1;
        lastSpace = 0;
      }
    }
  }
  return out + Mid(text, lineStart, length);
}

}  // namespace testsupport
