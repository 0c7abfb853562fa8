#include "service/store/postgres_text.h"

namespace mailwarden::store {
namespace {

// The length of the valid UTF-8 sequence starting text[at], or 0.
size_t SequenceLength(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(at);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (first < 0x80) return 1;
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3;
    if (first == 0xE0) low = 0xA0;
    if (first == 0xED) high = 0x9F;  // no surrogates
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4;
    if (first == 0xF0) low = 0x90;
    if (first == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string ValidText(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const size_t length = SequenceLength(text, at);
    if (length == 0) {
      valid += "\xEF\xBF\xBD";
      ++at;
    } else {
      if (text[at] != '\0') valid.append(text.substr(at, length));
      at += length;
    }
  }
  return valid;
}

std::string TextArray(const std::vector<std::string>& texts) {
  std::string array = "{";
  for (const auto& text : texts) {
    if (array.size() > 1) array += ',';
    array += '"';
    for (char c : ValidText(text)) {
      if (c == '"' || c == '\\') array += '\\';
      array += c;
    }
    array += '"';
  }
  return array + "}";
}

std::string NumberArray(const std::vector<std::int64_t>& numbers) {
  std::string array = "{";
  for (auto number : numbers) {
    if (array.size() > 1) array += ',';
    array += std::to_string(number);
  }
  return array + "}";
}

}  // namespace mailwarden::store
