#include "settings/val.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace corvanta {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

int DigitValue(char c, int base) {
  int value = -1;
  if (c >= '0' && c <= '9') value = c - '0';
  if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  return value < base ? value : -1;
}

// "&H1F", "&O17": typed like a literal of the platform, so "&HFFFF" is -1
// and "&HFFFF&" is 65535.
double RadixNumber(const std::string& s, int base) {
  double value = 0;
  std::size_t i = 2;
  for (; i < s.size() && DigitValue(s[i], base) >= 0; ++i) value = value * base + DigitValue(s[i], base);
  const bool wide = i < s.size() && s[i] == '&';
  if (!wide && value <= 0xFFFF) return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
  if (value <= 0xFFFFFFFFu) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  return value;  // wider than 32 bits: left to the range rule of the caller
}

double DecimalNumber(const std::string& s) {
  std::size_t i = 0;
  const bool negative = i < s.size() && s[i] == '-';
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  const std::size_t mantissaStart = i;
  bool anyDigit = false, point = false;
  for (; i < s.size(); ++i) {
    if (IsDigit(s[i])) {
      anyDigit = true;
    } else if (s[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!anyDigit) return 0;
  std::string number = s.substr(mantissaStart, i - mantissaStart);

  bool negativeExponent = false;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
    std::size_t j = i + 1;
    std::string exponent;
    if (j < s.size() && (s[j] == '-' || s[j] == '+')) exponent += s[j++];
    const std::size_t digitsStart = j;
    while (j < s.size() && IsDigit(s[j])) exponent += s[j++];
    if (j > digitsStart) {
      number += 'e' + exponent;
      negativeExponent = exponent[0] == '-';
    }
  }

  double value = 0;
  const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    value = negativeExponent ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return negative ? -value : value;
}

}  // namespace

double Val(std::string_view text) {
  std::string s;
  for (char c : text)
    if (!IsBlank(c)) s += c;
  if (s.size() >= 2 && s[0] == '&') {
    if (s[1] == 'H' || s[1] == 'h') return RadixNumber(s, 16);
    if (s[1] == 'O' || s[1] == 'o') return RadixNumber(s, 8);
    return 0;
  }
  return DecimalNumber(s);
}

std::int32_t RoundToLong(double value) {
  constexpr auto kMax = std::numeric_limits<std::int32_t>::max();
  constexpr auto kMin = std::numeric_limits<std::int32_t>::min();
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0) return kMax;
  if (value <= -2147483649.0) return kMin;
  double whole = std::floor(value);
  const double fraction = value - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0)) whole += 1;
  if (whole > kMax) return kMax;
  if (whole < kMin) return kMin;
  return static_cast<std::int32_t>(whole);
}

}  // namespace corvanta
