#include "protocol/encoding.h"

#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "host/utf8.h"

namespace corvanta::protocol {
namespace {

// Digit values 0-61: upper-case letters, then digits, then lower-case letters.
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz";
constexpr int kBase = 62;

// Symbol to digit value, -1 for anything outside the alphabet.
constexpr std::array<std::int8_t, 256> kDigitOf = [] {
  std::array<std::int8_t, 256> table{};
  table.fill(-1);
  for (int value = 0; value < kBase; ++value)
    table[static_cast<unsigned char>(kAlphabet[value])] = static_cast<std::int8_t>(value);
  return table;
}();

// Per byte: its two symbols, floor(c / 62) and c mod 62.
constexpr std::array<std::array<char, 2>, 256> kPairs = [] {
  std::array<std::array<char, 2>, 256> table{};
  for (int code = 0; code < 256; ++code) table[code] = {kAlphabet[code / kBase], kAlphabet[code % kBase]};
  return table;
}();

// Per byte: what it becomes ("%XX", or the byte itself for letters and
// digits) in four bytes, so that every byte is written the same way, and how
// many of them count.
struct Escape {
  char text[4];
  std::uint8_t length;
};
constexpr std::array<Escape, 256> kEscapes = [] {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::array<Escape, 256> table{};
  for (int code = 0; code < 256; ++code) {
    const bool kept = (code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9');
    table[code] =
        kept ? Escape{{static_cast<char>(code), 0, 0, 0}, 1} : Escape{{'%', kHex[code >> 4], kHex[code & 15], 0}, 3};
  }
  return table;
}();

// The six check values over the input, each sum as the rule writes it but
// wide enough never to overflow (the rule's 16-bit sums fail instead), with
// the remainder taking the dividend's sign as the rule's does. A value left
// negative by a two-byte character's negative code is written as its symbol
// by Compose.
std::array<std::int64_t, 6> CheckValues(std::span<const std::int16_t> codes, std::int64_t r1, std::int64_t r2,
                                        std::int64_t r3) {
  std::int64_t h1 = 0, h2 = 0, h3 = 0, h4 = 0, h5 = 0, h6 = 0;
  std::int64_t i = 0;
  for (const std::int16_t code : codes) {
    ++i;
    const std::int64_t c = code;
    h1 = (r1 * h1 + i + r2 + r3 + c) % kBase;
    h2 = (r1 * h1 + h2 + i + r3 + c) % kBase;
    h3 = (h2 + h3 + r2 * i + r3 + c) % kBase;
    h4 = (h2 + h4 + r1 + r2 * i + c) % kBase;
    h5 = (h3 + h5 + r1 + i + r2 * c) % kBase;
    h6 = (h5 + h6 + r1 + i + r2 + r3 * c) % kBase;
  }
  return {h1, h2, h3, h4, h5, h6};
}

// The check symbols H1-H6, with R1-R3 after the first k mod 7 of them, and k last.
// A negative check value (only a two-byte character makes one) is written as
// the symbol of its value plus 62, so the hash stays within the alphabet.
std::string Compose(const std::array<std::int64_t, 6>& checks, const HashDraws& draws) {
  const int p = draws.k % 7;
  std::string hash;
  hash.reserve(10);
  auto randoms = [&] {
    hash += kAlphabet[draws.r1];
    hash += kAlphabet[draws.r2];
    hash += kAlphabet[draws.r3];
  };
  if (p == 0) randoms();
  for (int j = 1; j <= 6; ++j) {
    const std::int64_t check = checks[j - 1];
    hash += kAlphabet[check < 0 ? check + kBase : check];
    if (j == p) randoms();
  }
  hash += kAlphabet[draws.k];
  return hash;
}

int Draw(host::Random& random) {
  const double drawn = std::floor(random.Rnd() * kBase);
  // A generator that strays to 1.0 or below 0 still gives a digit value.
  if (!(drawn >= 0)) return 0;
  return drawn > kBase - 1 ? kBase - 1 : static_cast<int>(drawn);
}

void CheckDraw(int value) {
  if (value < 0 || value >= kBase) throw std::out_of_range("a hash draw must be 0 to 61");
}

}  // namespace

std::string getSChar(std::int16_t n) {
  if (n >= kBase) return "A";
  if (n >= 0) return std::string(1, kAlphabet[n]);
  // Below 0 only the first rule applies: the character of code 65 + n.
  if (n < -65) throw std::out_of_range("no character has a code below 0");
  return std::string(1, static_cast<char>(65 + n));
}

Codes CharCodes(std::string_view text, host::CodePage& codePage) {
  Codes codes;
  codes.reserve(text.size());
  host::utf8::ForEachUnit(text, [&](char16_t unit) {
    // Every ANSI code page holds ASCII as it is.
    codes.push_back(unit < 0x80 ? static_cast<std::int16_t>(unit) : codePage.Code(unit));
  });
  return codes;
}

Codes ByteCodes(std::string_view bytes) {
  Codes codes(bytes.size());
  for (std::size_t at = 0; at < bytes.size(); ++at) codes[at] = static_cast<unsigned char>(bytes[at]);
  return codes;
}

std::string s256to62(std::span<const std::int16_t> codes) {
  std::string out;
  out.reserve(codes.size() * 2);
  for (const std::int16_t code : codes) {
    if (code >= 0 && code < 256) {
      out.append(kPairs[code].data(), 2);
    } else if (code >= 0) {
      out += getSChar(static_cast<std::int16_t>(code / kBase));
      out += kAlphabet[code % kBase];
    } else {
      // A two-byte character: the rule's pair would leave the alphabet (and
      // fails for every two-byte code there is), so each byte gets its pair.
      const auto both = static_cast<std::uint16_t>(code);
      out.append(kPairs[both >> 8].data(), 2);
      out.append(kPairs[both & 0xFF].data(), 2);
    }
  }
  return out;
}

std::string s256to62(std::string_view text, host::CodePage& codePage) {
  return s256to62(CharCodes(text, codePage));
}

std::string s256to62(const std::string& bytes) {
  std::string out(bytes.size() * 2, '\0');
  char* at = out.data();
  for (const char ch : bytes) {
    std::memcpy(at, kPairs[static_cast<unsigned char>(ch)].data(), 2);
    at += 2;
  }
  return out;
}

namespace {

// "%0" and the four upper-case hexadecimal digits of a negative code.
void AppendWideEscape(std::string& out, std::int16_t code) {
  constexpr char kHex[] = "0123456789ABCDEF";
  const auto both = static_cast<std::uint16_t>(code);
  const char text[6] = {'%', '0', kHex[both >> 12], kHex[both >> 8 & 15], kHex[both >> 4 & 15], kHex[both & 15]};
  out.append(text, 6);
}

void AppendEscape(std::string& out, std::int16_t code) {
  if (code >= 0 && code < 256) {
    const Escape& escape = kEscapes[code];
    out.append(escape.text, escape.length);
  } else if (code < 0) {
    AppendWideEscape(out, code);
  } else {
    constexpr char kHex[] = "0123456789ABCDEF";
    out += '%';
    for (int shift = code >= 0x1000 ? 12 : 8; shift >= 0; shift -= 4) out += kHex[code >> shift & 15];
  }
}

// Escapes bytes below 0x80 a block at a time into a small buffer, each byte
// writing four bytes of which its length counts; calls other(at) for the
// first byte of anything else, which returns where to go on.
template <typename Other>
void EscapeAscii(std::string& out, std::string_view value, Other&& other) {
  constexpr std::size_t kBlock = 4096;
  char buffer[kBlock * 3 + 1];
  const char* const begin = value.data();
  const char* in = begin;
  const char* const end = in + value.size();
  while (in < end) {
    const char* const blockEnd = end - in > static_cast<std::ptrdiff_t>(kBlock) ? in + kBlock : end;
    char* at = buffer;
    for (; in < blockEnd; ++in) {
      const auto byte = static_cast<unsigned char>(*in);
      if (byte >= 0x80) break;
      const Escape& escape = kEscapes[byte];
      std::memcpy(at, escape.text, 4);
      at += escape.length;
    }
    out.append(buffer, static_cast<std::size_t>(at - buffer));
    if (in < blockEnd) in = begin + other(static_cast<std::size_t>(in - begin));
  }
}

}  // namespace

std::string UrlEscape(std::span<const std::int16_t> codes) {
  std::string out;
  out.reserve(codes.size() * 3);
  for (const std::int16_t code : codes) AppendEscape(out, code);
  return out;
}

std::string UrlEscape(std::string_view text, host::CodePage& codePage) {
  // Room for text with one byte in two escaped; more grows the usual way.
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  EscapeAscii(out, text, [&](std::size_t at) {
    const host::utf8::Character ch = host::utf8::At(text, at);
    host::utf8::ForEachUnit(text.substr(at, ch.bytes), [&](char16_t unit) { AppendEscape(out, codePage.Code(unit)); });
    return at + ch.bytes;
  });
  return out;
}

std::string UrlEscape(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  EscapeAscii(out, bytes, [&](std::size_t at) {
    AppendEscape(out, static_cast<unsigned char>(bytes[at]));
    return at + 1;
  });
  return out;
}

std::string MakeHash(std::span<const std::int16_t> codes, const HashDraws& draws) {
  CheckDraw(draws.r1);
  CheckDraw(draws.r2);
  CheckDraw(draws.r3);
  CheckDraw(draws.k);
  return Compose(CheckValues(codes, draws.r1, draws.r2, draws.r3), draws);
}

std::string MakeHash(const std::string& bytes, const HashDraws& draws) {
  return MakeHash(ByteCodes(bytes), draws);
}

std::string MakeHash(std::string_view text, host::CodePage& codePage, host::Random& random) {
  const Codes codes = CharCodes(text, codePage);
  random.Randomize();
  HashDraws draws;
  draws.r1 = Draw(random);
  draws.r2 = Draw(random);
  draws.r3 = Draw(random);
  const auto checks = CheckValues(codes, draws.r1, draws.r2, draws.r3);
  draws.k = Draw(random);
  return Compose(checks, draws);
}

bool CheckHash(std::span<const std::int16_t> codes, const std::string& hash) {
  if (hash.size() != 10) return false;
  std::array<int, 10> values{};
  for (std::size_t at = 0; at < hash.size(); ++at) {
    values[at] = kDigitOf[static_cast<unsigned char>(hash[at])];
    if (values[at] < 0) return false;
  }
  HashDraws draws;
  draws.k = values[9];
  const int p = draws.k % 7;
  draws.r1 = values[p];
  draws.r2 = values[p + 1];
  draws.r3 = values[p + 2];
  return MakeHash(codes, draws) == hash;
}

bool CheckHash(const std::string& bytes, const std::string& hash) {
  return CheckHash(ByteCodes(bytes), hash);
}

}  // namespace corvanta::protocol
