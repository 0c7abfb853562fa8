#include "text/word_wrap.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "host/utf8.h"

namespace corvanta::modWordWrap {
namespace {

// Whether any of the bytes is beyond ASCII; no branch per byte, so the
// compiler takes many bytes at once.
bool AnyBeyondAscii(const char* bytes, std::size_t count) {
  unsigned char any = 0;
  for (std::size_t i = 0; i < count; ++i) any |= static_cast<unsigned char>(bytes[i]);
  return (any & 0x80) != 0;
}

// The wrap of a text that is all ASCII, where a byte is a character; nothing
// for a text with any other byte. The bytes are checked a block ahead of the
// scan, so that the scan finds them in the cache.
//
// Positions below are 0-based; the column counts the characters of the
// current output line scanned so far, and lastSpace is the column of its last
// blank (0 for none). Instead of looking at every character, each step jumps
// to the next event: a CR within the rest of the line, or the first character
// past the width, whose line's last blank is then found by looking back.
std::optional<std::string> WrapAscii(const std::string& text, std::int32_t width) {
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
  constexpr std::size_t kBlock = 1 << 16;
  std::size_t checked = 0;  // the bytes before this are ASCII
  std::size_t pos = 0;      // the next character to scan
  while (pos < length) {
    // Characters up to and including the first one past the width.
    const std::size_t reach = std::min(limit + 1 - column, length - pos);
    // These and the one after them (which follows a CR unscanned) are known.
    while (checked < length && checked <= pos + reach) {
      const std::size_t block = std::min(kBlock, length - checked);
      if (AnyBeyondAscii(data + checked, block)) return std::nullopt;
      checked += block;
    }
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

// The rule over UTF-16 units, as the platform's strings count characters.
// A cut never falls between the two units of one character: a hard cut that
// would takes the character whole to the next line, and the character after a
// CR goes with it whole.
std::string WrapUnits(const std::string& text, std::int32_t width) {
  // Per unit: the offset of the character it belongs to and whether it is
  // the second unit of that character; one more entry for the end.
  struct Unit {
    std::size_t offset;
    bool second;
  };
  std::vector<Unit> units;
  units.reserve(text.size() + 1);
  for (std::size_t at = 0; at < text.size();) {
    const host::utf8::Character ch = host::utf8::At(text, at);
    units.push_back({at, false});
    if (ch.units == 2) units.push_back({at, true});
    at += ch.bytes;
  }
  const std::size_t count = units.size();
  units.push_back({text.size(), false});
  const auto limit = static_cast<std::size_t>(width);
  // The byte offset where unit u begins (u may be the end).
  auto offsetOf = [&](std::size_t u) { return units[std::min(u, count)].offset; };
  auto isSecond = [&](std::size_t u) { return u < count && units[u].second; };
  std::string out;
  out.reserve(text.size() + 2 * (count / limit) + 2);
  auto append = [&](std::size_t from, std::size_t to) {
    if (from < to) out.append(text, offsetOf(from), offsetOf(to) - offsetOf(from));
  };
  std::size_t lineStart = 0;
  std::size_t column = 0;
  std::size_t lastSpace = 0;
  for (std::size_t pos = 0; pos < count; ++pos) {
    ++column;
    const char ch = units[pos].second ? '\0' : text[units[pos].offset];
    if (ch == ' ') lastSpace = column;
    if (ch == '\r') {
      // The line with its CR and the whole character after it, which is not scanned.
      std::size_t next = pos + 1 < count ? 1 : 0;
      if (isSecond(pos + 2)) next = 2;
      append(lineStart, pos + 1 + next);
      lineStart = pos + 1 + next;
      pos += next;
      column = 0;
      lastSpace = 0;
    } else if (column > limit) {
      if (lastSpace == 0) {
        std::size_t cut = limit;
        if (isSecond(lineStart + cut)) cut = cut > 1 ? cut - 1 : 2;
        append(lineStart, lineStart + cut);
        out += "\r\n";
        lineStart += cut;
      } else {
        append(lineStart, lineStart + lastSpace - 1);
        out += "\r\n";
        lineStart += lastSpace;
        lastSpace = 0;
      }
      // The characters already scanned that now form the new line.
      column = pos + 1 - std::min(lineStart, pos + 1);
    }
  }
  append(lineStart, count);
  return out;
}

}  // namespace

std::string WordWrap(const std::string& text, std::int32_t width) {
  if (width < 1) return text;
  if (auto wrapped = WrapAscii(text, width)) return *std::move(wrapped);
  return WrapUnits(text, width);
}

}  // namespace corvanta::modWordWrap
