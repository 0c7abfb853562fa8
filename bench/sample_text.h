#pragma once
// A plain-text message body of a given size: words of letters with now and
// then a comma or a full stop, paragraphs ending in CR LF. The same seed gives
// the same text, so every tool times the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

namespace corvanta::bench {

// A small xorshift generator: fast, and the same on every machine.
class Draws {
 public:
  explicit Draws(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  // A number below the bound.
  std::uint32_t operator()(std::uint32_t below) {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ % below);
  }

 private:
  std::uint64_t state_;
};

inline std::string SampleText(std::size_t size, std::uint64_t seed = 2003) {
  Draws next(seed);
  std::string text;
  text.reserve(size + 16);
  std::uint32_t wordsLeft = 1 + next(120);
  while (text.size() < size) {
    const std::uint32_t length = 1 + next(11);
    for (std::uint32_t i = 0; i < length; ++i) {
      const char first = i == 0 && next(8) == 0 ? 'A' : 'a';
      text += static_cast<char>(first + next(26));
    }
    if (--wordsLeft == 0) {
      text += ".\r\n";
      wordsLeft = 1 + next(120);
    } else {
      const std::uint32_t mark = next(16);
      text += mark == 0 ? ", " : mark == 1 ? ". " : " ";
    }
  }
  text.resize(size);
  return text;
}

// Greek and Japanese words (two and three bytes a character in UTF-8) with
// blanks and CR LF paragraphs, cut at a character's end.
inline std::string LanguagesText(std::size_t size, std::uint64_t seed = 2003) {
  static const char* const kWords[] = {"Καλημέρα", "κόσμε", "Ωμέγα", "αναφορά",    "ευχαριστώ", "日本語",
                                       "テキスト", "報告",  "東京",  "ありがとう", "会議",      "資料"};
  Draws next(seed);
  std::string text;
  text.reserve(size + 32);
  while (text.size() < size) {
    text += kWords[next(12)];
    text += next(60) == 0 ? "\r\n" : " ";
  }
  std::size_t end = size;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  text.resize(end);
  return text;
}

}  // namespace corvanta::bench
