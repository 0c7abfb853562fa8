#include "settings/value_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <type_traits>

#include "settings/val.h"

namespace corvanta::modRegistry {
namespace {

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
  // The platform's own reading of a number; only the range check is ours.
  const double rounded = std::nearbyint(Val(text));  // halves to even
  if (!std::isfinite(rounded) || rounded < -2147483648.0 || rounded > 2147483647.0) return std::nullopt;
  return static_cast<std::int32_t>(rounded);
}

}  // namespace corvanta::modRegistry
