#include "text/word_wrap.h"

#include <algorithm>
#include <cstring>

namespace corvanta::modWordWrap {

// Positions below are 0-based; the column counts the characters of the
// current output line scanned so far, and lastSpace is the column of its last
// blank (0 for none). Instead of looking at every character, each step jumps
// to the next event: a CR within the rest of the line, or the first character
// past the width, whose line's last blank is then found by looking back.
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
  std::size_t pos = 0;  // the next character to scan
  while (pos < length) {
    // Characters up to and including the first one past the width.
    const std::size_t reach = std::min(limit + 1 - column, length - pos);
    const auto* cr = static_cast<const char*>(std::memchr(data + pos, '\r', reach));
    if (cr) {
      // The line with its CR and the character after it (the LF), which is not scanned.
      const std::size_t crColumn = column + static_cast<std::size_t>(cr - (data + pos)) + 1;
      appendFromLineStart(crColumn + 1);
      lineStart += crColumn + 1;
      pos = static_cast<std::size_t>(cr - data) + 2;
      column = 0;
      lastSpace = 0;
      continue;
    }
    if (reach < limit + 1 - column) break;  // the text ends within the width
    const std::size_t over = pos + reach - 1;
    // The last blank scanned, the overflowing character included: a blank
    // that overflows is itself the break.
    for (std::size_t back = over + 1; back > pos; --back) {
      if (data[back - 1] == ' ') {
        lastSpace = column + (back - pos);
        break;
      }
    }
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
    pos = over + 1;
  }
  appendFromLineStart(length);
  return out;
}

}  // namespace corvanta::modWordWrap
