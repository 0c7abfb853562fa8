#include "text/word_wrap.h"

#include <algorithm>

namespace corvanta::modWordWrap {

// Positions below are 0-based; the column counts the characters of the
// current output line scanned so far, and lastSpace is the column of its last
// blank (0 for none).
std::string WordWrap(const std::string& text, std::int32_t width) {
  if (width < 1) return text;
  const std::size_t length = text.size();
  const auto limit = static_cast<std::size_t>(width);
  std::string out;
  out.reserve(length + 2 * (length / limit) + 2);
  const char* const data = text.data();
  std::size_t lineStart = 0;
  std::size_t column = 0;
  std::size_t lastSpace = 0;
  // Appends count characters from the line start, fewer when the text ends first.
  auto appendFromLineStart = [&](std::size_t count) {
    if (lineStart < length) out.append(data + lineStart, std::min(count, length - lineStart));
  };
  for (std::size_t pos = 0; pos < length; ++pos) {
    ++column;
    const char ch = data[pos];
    if (ch == ' ') lastSpace = column;  // a blank that overflows is itself the break
    if (ch == '\r') {
      // The line with its CR and the character after it (the LF), which is not scanned.
      appendFromLineStart(column + 1);
      lineStart += column + 1;
      ++pos;
      column = 0;
      lastSpace = 0;
    } else if (column > limit) {
      if (lastSpace == 0) {
        // No blank: the word is cut after exactly width characters.
        appendFromLineStart(limit);
        out += "\r\n";
        lineStart += limit;
        column = 1;
      } else {
        // Break at the last blank, which is dropped.
        appendFromLineStart(lastSpace - 1);
        out += "\r\n";
        lineStart += lastSpace;
        column = limit - lastSpace + 1;
        lastSpace = 0;
      }
    }
  }
  appendFromLineStart(length);
  return out;
}

}  // namespace corvanta::modWordWrap
