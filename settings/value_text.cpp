#include "settings/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <type_traits>

namespace corvanta::modRegistry {
namespace {

bool IsDigit(char ch) {
  return ch >= '0' && ch <= '9';
}

std::string Lower(std::string text) {
  for (char& ch : text) {
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  }
  return text;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::optional<double> WholeNumber(const std::string& text) {
  std::string digits = text;
  if (!digits.empty() && digits[0] == '+') digits.erase(0, 1);
  double number = 0;
  const char* end = digits.data() + digits.size();
  auto [stop, error] = std::from_chars(digits.data(), end, number);
  if (digits.empty() || error != std::errc() || stop != end) return std::nullopt;
  return number;
}

}  // namespace

std::string ValueToText(const Value& value) {
  return std::visit(
      [](const auto& held) -> std::string {
        using T = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return {};
        } else if constexpr (std::is_same_v<T, std::string>) {
          return held;
        } else if constexpr (std::is_same_v<T, bool>) {
          return held ? "True" : "False";
        } else if constexpr (std::is_same_v<T, double>) {
          char text[32];
          std::snprintf(text, sizeof text, "%.15G", held);
          return text;
        } else {
          return std::to_string(held);
        }
      },
      value);
}

std::optional<bool> ValueToBool(const Value& value) {
  return std::visit(
      [](const auto& held) -> std::optional<bool> {
        using T = std::decay_t<decltype(held)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return false;
        } else if constexpr (std::is_same_v<T, std::string>) {
          const std::string text = Lower(Trim(held));
          if (text == "true") return true;
          if (text == "false") return false;
          if (auto number = WholeNumber(text)) return *number != 0;
          return std::nullopt;
        } else {
          return held != 0;
        }
      },
      value);
}

std::optional<std::int32_t> TextToLong(const std::string& text) {
  // Blanks, tabs and line feeds do not end the number; they are skipped.
  std::string chars;
  chars.reserve(text.size());
  for (char ch : text) {
    if (ch != ' ' && ch != '\t' && ch != '\n') chars += ch;
  }
  std::string number = "0";  // so that ".5" parses too
  std::size_t at = 0;
  bool negative = false;
  if (at < chars.size() && (chars[at] == '+' || chars[at] == '-')) negative = chars[at++] == '-';
  bool anyDigit = false;
  while (at < chars.size() && IsDigit(chars[at])) {
    number += chars[at++];
    anyDigit = true;
  }
  if (at < chars.size() && chars[at] == '.') {
    number += chars[at++];
    while (at < chars.size() && IsDigit(chars[at])) {
      number += chars[at++];
      anyDigit = true;
    }
  }
  if (!anyDigit) return 0;
  if (at + 1 < chars.size() && (chars[at] == 'E' || chars[at] == 'e' || chars[at] == 'D' || chars[at] == 'd')) {
    std::size_t next = at + 1;
    std::string exponent = "e";
    if (chars[next] == '+' || chars[next] == '-') exponent += chars[next++];
    if (next < chars.size() && IsDigit(chars[next])) {
      while (next < chars.size() && IsDigit(chars[next])) exponent += chars[next++];
      number += exponent;
    }
  }
  double parsed = 0;
  auto [stop, error] = std::from_chars(number.data(), number.data() + number.size(), parsed);
  (void)stop;
  if (error != std::errc()) {
    // Too small for a double is 0; too large is out of range.
    if (number.find("e-") == std::string::npos) return std::nullopt;
    parsed = 0;
  }
  if (negative) parsed = -parsed;
  const double rounded = std::nearbyint(parsed);  // halves to even
  if (!std::isfinite(rounded) || rounded < -2147483648.0 || rounded > 2147483647.0) return std::nullopt;
  return static_cast<std::int32_t>(rounded);
}

}  // namespace corvanta::modRegistry
