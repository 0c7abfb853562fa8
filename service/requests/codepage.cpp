#include "service/requests/codepage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <stdexcept>

#include "service/requests/charset.h"
#include "service/requests/form.h"

namespace mailwarden {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz";

int SymbolValue(char c) {
  for (int i = 0; i < 62; ++i) {
    if (kAlphabet[i] == c) return i;
  }
  return -1;
}

bool IsLeadByte(int codepage, int byte) {
  if (codepage == 932) return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
  return byte >= 0x81 && byte <= 0xFE;
}

// getSChar: the alphabet for 0 to 61, "A" from 62 on, the character of code
// 65 + n below 0.
char Symbol(long long n) {
  if (n >= 62) return 'A';
  if (n >= 0) return kAlphabet[n];
  return static_cast<char>(65 + n);
}

}  // namespace

bool LooksJapanese(const Codes& codes) {
  bool kana = false;
  for (int code : codes) {
    if (code >= 0) continue;
    const int lead = (code + 65536) >> 8, trail = (code + 65536) & 0xFF;
    if (!IsLeadByte(932, lead) || trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
    const int full = code + 65536;
    kana = kana || (full >= 0x829F && full <= 0x82F1) || (full >= 0x8340 && full <= 0x8396);
  }
  return kana;
}

bool IsDoubleByte(int codepage) {
  return codepage == 932 || codepage == 936 || codepage == 949 || codepage == 950;
}

std::optional<Codes> DecodeEscapes(std::string_view escaped, int codepage, bool twoByte) {
  Codes codes;
  codes.reserve(escaped.size());
  for (std::size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] != '%') {
      codes.push_back(static_cast<unsigned char>(escaped[i]));
      continue;
    }
    if (twoByte && i + 5 < escaped.size() && escaped[i + 1] == '0') {
      int digits[4];
      bool hex = true;
      for (int d = 0; d < 4; ++d) hex = hex && (digits[d] = HexDigitValue(escaped[i + 2 + d])) >= 0;
      int lead = hex ? digits[0] * 16 + digits[1] : 0, trail = hex ? digits[2] * 16 + digits[3] : 0;
      if (hex && IsLeadByte(codepage, lead) && trail >= 0x40) {
        codes.push_back(lead * 256 + trail - 65536);
        i += 5;
        continue;
      }
    }
    if (i + 2 >= escaped.size()) return std::nullopt;
    int high = HexDigitValue(escaped[i + 1]), low = HexDigitValue(escaped[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    codes.push_back(high * 16 + low);
    i += 2;
  }
  return codes;
}

bool CheckHashOfCodes(const Codes& codes, const std::string& hash) {
  if (hash.size() != 10) return false;
  const int k = SymbolValue(hash[9]);
  if (k < 0) return false;
  const int p = k % 7;
  const long long r1 = SymbolValue(hash[p]), r2 = SymbolValue(hash[p + 1]), r3 = SymbolValue(hash[p + 2]);
  if (r1 < 0 || r2 < 0 || r3 < 0) return false;
  // Wide sums, the remainder taking the sign of the sum, as the add-in's rule.
  long long h1 = 0, h2 = 0, h3 = 0, h4 = 0, h5 = 0, h6 = 0, i = 0;
  for (int code : codes) {
    const long long c = code;
    ++i;
    h1 = (r1 * h1 + i + r2 + r3 + c) % 62;
    h2 = (r1 * h1 + h2 + i + r3 + c) % 62;
    h3 = (h2 + h3 + r2 * i + r3 + c) % 62;
    h4 = (h2 + h4 + r1 + r2 * i + c) % 62;
    h5 = (h3 + h5 + r1 + i + r2 * c) % 62;
    h6 = (h5 + h6 + r1 + i + r2 + r3 * c) % 62;
  }
  const std::array<long long, 6> checks = {h1, h2, h3, h4, h5, h6};
  std::string expected;
  auto randoms = [&] {
    expected += kAlphabet[r1];
    expected += kAlphabet[r2];
    expected += kAlphabet[r3];
  };
  if (p == 0) randoms();
  for (int j = 1; j <= 6; ++j) {
    expected += Symbol(checks[static_cast<std::size_t>(j - 1)]);
    if (j == p) randoms();
  }
  expected += kAlphabet[k];
  return expected == hash;
}

std::string BytesToUtf8(std::string_view bytes, int codepage) {
  if (codepage == 1252) return ToUtf8(bytes);
  iconv_t converter = iconv_open("UTF-8", ("CP" + std::to_string(codepage)).c_str());
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    throw std::invalid_argument("code page " + std::to_string(codepage) + " cannot be converted");
  }
  std::string out;
  std::string in(bytes);
  char* from = in.data();
  std::size_t left = in.size();
  char buffer[4096];
  while (left > 0) {
    char* to = buffer;
    std::size_t room = sizeof buffer;
    std::size_t result = iconv(converter, &from, &left, &to, &room);
    out.append(buffer, static_cast<std::size_t>(to - buffer));
    if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // A byte the code page lacks (or a lead byte without its trail): one replacement character.
      out += "\xEF\xBF\xBD";
      ++from;
      --left;
    }
  }
  iconv_close(converter);
  return out;
}

std::string CodesToUtf8(const Codes& codes, int codepage) {
  return BytesToUtf8(CodesToBytes(codes), codepage);
}

std::string CodesToBytes(const Codes& codes) {
  std::string bytes;
  bytes.reserve(codes.size());
  for (int code : codes) {
    if (code < 0) {
      bytes += static_cast<char>(((code + 65536) >> 8) & 0xFF);
      bytes += static_cast<char>((code + 65536) & 0xFF);
    } else {
      bytes += static_cast<char>(code);
    }
  }
  return bytes;
}

}  // namespace mailwarden
