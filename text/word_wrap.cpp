#include "text/word_wrap.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "host/utf8.h"

namespace corvanta::modWordWrap {
namespace {

// The first CR among count bytes (null for none), and whether any of the
// bytes up to it, or any at all when there is none, is beyond ASCII (bytes
// after the CR may count as well). One pass, sixteen bytes at a time where
// the processor allows.
struct LineScan {
  const char* cr = nullptr;
  bool beyondAscii = false;
};

LineScan ScanLine(const char* bytes, std::size_t count) {
  LineScan scan;
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i crs = _mm_set1_epi8('\r');
  int high = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    high |= _mm_movemask_epi8(chunk);
    if (const int found = _mm_movemask_epi8(_mm_cmpeq_epi8(chunk, crs))) {
      scan.cr = bytes + i + __builtin_ctz(static_cast<unsigned>(found));
      scan.beyondAscii = high != 0;
      return scan;
    }
  }
  scan.beyondAscii = high != 0;
#endif
  for (; i < count; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    scan.beyondAscii |= byte >= 0x80;
    if (byte == '\r') {
      scan.cr = bytes + i;
      break;
    }
  }
  return scan;
}

// The wrap of a text that is all ASCII, where a byte is a character; nothing
// for a text with any other byte, which the scan finds as it goes.
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
  std::size_t pos = 0;  // the next character to scan
  while (pos < length) {
    // Characters up to and including the first one past the width.
    const std::size_t reach = std::min(limit + 1 - column, length - pos);
    const LineScan scan = ScanLine(data + pos, reach);
    const char* const cr = scan.cr;
    // Every byte is looked at here once; the one after a CR, with its CR.
    if (scan.beyondAscii || (cr && cr + 1 < data + length && static_cast<unsigned char>(cr[1]) >= 0x80))
      return std::nullopt;
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
// Offset is wide enough for twice the text's length: each unit is kept as the
// offset of its character times two, plus one for the second unit of a
// character.
template <typename Offset>
std::string WrapUnits(const std::string& text, std::int32_t width) {
  // Per unit, and one more entry for the end.
  std::vector<Offset> units;
  units.reserve(text.size() + 1);
  for (std::size_t at = 0; at < text.size();) {
    const host::utf8::Character ch = host::utf8::At(text, at);
    units.push_back(static_cast<Offset>(at << 1));
    if (ch.units == 2) units.push_back(static_cast<Offset>(at << 1 | 1));
    at += ch.bytes;
  }
  const std::size_t count = units.size();
  units.push_back(static_cast<Offset>(text.size() << 1));
  const auto limit = static_cast<std::size_t>(width);
  // The byte offset where unit u begins (u may be the end).
  auto offsetOf = [&](std::size_t u) { return static_cast<std::size_t>(units[std::min(u, count)] >> 1); };
  auto isSecond = [&](std::size_t u) { return u < count && (units[u] & 1) != 0; };
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
    const char ch = isSecond(pos) ? '\0' : text[offsetOf(pos)];
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
  if (text.size() < (std::size_t{1} << 31)) return WrapUnits<std::uint32_t>(text, width);
  return WrapUnits<std::uint64_t>(text, width);
}

}  // namespace corvanta::modWordWrap
