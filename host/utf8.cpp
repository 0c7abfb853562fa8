#include "host/utf8.h"

#include <algorithm>

namespace host::utf8 {

Character At(std::string_view text, std::size_t offset) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[offset + i]); };
  const unsigned char lead = byte(0);
  Character stray{offset, 1, 1, 0xFFFD};
  if (lead < 0x80) return {offset, 1, 1, lead};
  std::size_t length = 0;
  char32_t code = 0;
  char32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, least = 0x10000;
  } else {
    return stray;
  }
  if (text.size() - offset < length) return stray;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return stray;
    code = code << 6 | (byte(i) & 0x3F);
  }
  // Overlong forms, encoded surrogates and codes past U+10FFFF are no UTF-8.
  if (code < least || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return stray;
  return {offset, length, code >= 0x10000 ? 2u : 1u, code};
}

bool IsAscii(std::string_view text) {
  // A block at a time without a branch per byte, so the compiler can take
  // many bytes in one instruction: most text is ASCII and is scanned whole.
  constexpr std::size_t kBlock = 4096;
  for (std::size_t at = 0; at < text.size(); at += kBlock) {
    const std::size_t end = std::min(text.size(), at + kBlock);
    unsigned char any = 0;
    for (std::size_t i = at; i < end; ++i) any |= static_cast<unsigned char>(text[i]);
    if (any & 0x80) return false;
  }
  return true;
}

std::size_t Units(std::string_view text) {
  std::size_t units = 0;
  for (std::size_t at = 0; at < text.size();) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      ++units, ++at;
      continue;
    }
    const Character ch = At(text, at);
    units += ch.units;
    at += ch.bytes;
  }
  return units;
}

std::string_view Left(std::string_view text, std::size_t units) {
  std::size_t at = 0;
  while (at < text.size()) {
    const Character ch = At(text, at);
    if (ch.units > units) break;
    units -= ch.units;
    at += ch.bytes;
  }
  return text.substr(0, at);
}

void Append(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | code >> 18);
    out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

}  // namespace host::utf8
