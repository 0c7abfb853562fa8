#include "protocol/encoding.h"

#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>

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

// The six check values over the input. Each character's code is 0-255 and
// every term is non-negative, so computing in 32 bits with the position taken
// mod 62 gives the same remainders as the plain sums, without any overflow.
std::array<std::uint32_t, 6> CheckValues(const std::string& input, std::uint32_t r1, std::uint32_t r2,
                                         std::uint32_t r3) {
  std::uint32_t h1 = 0, h2 = 0, h3 = 0, h4 = 0, h5 = 0, h6 = 0;
  std::uint32_t i = 0;  // the position mod 62
  for (const char ch : input) {
    i = i == kBase - 1 ? 0 : i + 1;
    const std::uint32_t c = static_cast<unsigned char>(ch);
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
std::string Compose(const std::array<std::uint32_t, 6>& checks, const HashDraws& draws) {
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
    hash += kAlphabet[checks[j - 1]];
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

std::string s256to62(const std::string& str) {
  std::string out(str.size() * 2, '\0');
  char* at = out.data();
  for (const char ch : str) {
    std::memcpy(at, kPairs[static_cast<unsigned char>(ch)].data(), 2);
    at += 2;
  }
  return out;
}

std::string UrlEscape(const std::string& value) {
  // Room for text with one byte in two escaped; more grows the usual way.
  std::string out;
  out.reserve(value.size() + value.size() / 2);
  // Escaped a block at a time into a small buffer, each byte writing four
  // bytes of which its length counts, then appended in one piece.
  constexpr std::size_t kBlock = 4096;
  char buffer[kBlock * 3 + 1];
  const char* in = value.data();
  const char* const end = in + value.size();
  while (in < end) {
    const char* const blockEnd = end - in > static_cast<std::ptrdiff_t>(kBlock) ? in + kBlock : end;
    char* at = buffer;
    for (; in < blockEnd; ++in) {
      const Escape& escape = kEscapes[static_cast<unsigned char>(*in)];
      std::memcpy(at, escape.text, 4);
      at += escape.length;
    }
    out.append(buffer, static_cast<std::size_t>(at - buffer));
  }
  return out;
}

std::string MakeHash(const std::string& input, const HashDraws& draws) {
  CheckDraw(draws.r1);
  CheckDraw(draws.r2);
  CheckDraw(draws.r3);
  CheckDraw(draws.k);
  const auto checks = CheckValues(input, static_cast<std::uint32_t>(draws.r1), static_cast<std::uint32_t>(draws.r2),
                                  static_cast<std::uint32_t>(draws.r3));
  return Compose(checks, draws);
}

std::string MakeHash(const std::string& input, host::Random& random) {
  random.Randomize();
  HashDraws draws;
  draws.r1 = Draw(random);
  draws.r2 = Draw(random);
  draws.r3 = Draw(random);
  const auto checks = CheckValues(input, static_cast<std::uint32_t>(draws.r1), static_cast<std::uint32_t>(draws.r2),
                                  static_cast<std::uint32_t>(draws.r3));
  draws.k = Draw(random);
  return Compose(checks, draws);
}

bool CheckHash(const std::string& input, const std::string& hash) {
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
  return MakeHash(input, draws) == hash;
}

}  // namespace corvanta::protocol
