// Reading the credit count from a reply: Val on the text after "qo;", then
// RoundToLong. Val is held against the C library's strtod wherever both read
// a plain decimal number, and RoundToLong against nearbyint's halves-to-even.
//
// Input: the reply text; its first eight bytes are also taken as a double
// for RoundToLong alone.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "settings/val.h"
#include "support/check.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

std::int32_t RoundedByTheLibrary(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);  // the default mode rounds halves to even
  if (rounded >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (rounded <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(rounded);
}

void CheckRounding(double value) {
  const std::int32_t rounded = corvanta::RoundToLong(value);
  if (rounded != RoundedByTheLibrary(value)) {
    char shown[64];
    std::snprintf(shown, sizeof shown, "%.17g gave %d", value, rounded);
    fuzz::Fail("RoundToLong rounds halves to even and clamps to the 32-bit range", shown);
  }
}

// Whether strtod reads the same number as Val from these characters (the
// blanks already gone): a plain decimal number, not strtod's "inf", "nan" or
// hexadecimal forms, and "D" read as the exponent's "E".
bool StrtodComparable(const std::string& t) {
  std::size_t at = t[0] == '+' || t[0] == '-' ? 1 : 0;
  if (at >= t.size() || !(std::isdigit(static_cast<unsigned char>(t[at])) || t[at] == '.')) return false;
  if (t[at] == '0' && at + 1 < t.size() && (t[at + 1] == 'x' || t[at + 1] == 'X')) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string reply(reinterpret_cast<const char*>(data), size);
  if (size >= sizeof(double)) {
    double raw = 0;
    std::memcpy(&raw, data, sizeof raw);
    CheckRounding(raw);
  }

  // As the credit query reads it: the text after "qo;".
  const std::string payload = reply.rfind("qo;", 0) == 0 ? reply.substr(3) : reply;
  const double value = corvanta::Val(payload);
  fuzz::Require(!std::isnan(value), "Val never gives NaN");
  CheckRounding(value);

  std::string t;
  for (char c : payload)
    if (!IsBlank(c)) t += c;
  if (t.empty()) {
    fuzz::Require(value == 0, "no number reads as 0");
    return 0;
  }

  if (t[0] == '&') {
    // Hexadecimal and octal: whole numbers; four hexadecimal digits or fewer,
    // without a "&" after them, fit in 16 bits.
    fuzz::Require(std::isinf(value) || value == std::floor(value), "a &H or &O number is whole");
    if (t.size() >= 2 && (t[1] == 'H' || t[1] == 'h')) {
      std::size_t digits = 2;
      while (digits < t.size() && std::isxdigit(static_cast<unsigned char>(t[digits]))) ++digits;
      const bool wide = digits < t.size() && t[digits] == '&';
      if (digits - 2 <= 4 && !wide) fuzz::Require(value >= -32768 && value <= 32767, "&H with four digits is 16-bit");
      if (digits - 2 <= 8 && !wide) {
        fuzz::Require(value >= -2147483648.0 && value <= 2147483647.0, "&H with eight digits is 32-bit");
      }
    }
    return 0;
  }

  if (StrtodComparable(t)) {
    std::string c = t;
    for (char& ch : c)
      if (ch == 'D' || ch == 'd') ch = 'e';
    errno = 0;
    const double expected = std::strtod(c.c_str(), nullptr);
    if (value != expected) {
      char shown[96];
      std::snprintf(shown, sizeof shown, "Val %.17g, strtod %.17g", value, expected);
      fuzz::Fail("Val reads a decimal number as strtod does", fuzz::Shown(payload) + ": " + shown);
    }
  } else if (t[0] != '+' && t[0] != '-') {
    fuzz::Require(value == 0, "text that does not start like a number reads as 0");
  }

  // A sign in front negates (or keeps) the number of a text that has none.
  if (t[0] != '+' && t[0] != '-') {
    fuzz::Require(corvanta::Val("-" + payload) == -value, "a minus sign negates");
    fuzz::Require(corvanta::Val("+" + payload) == value, "a plus sign keeps the number");
  }
  return 0;
}
