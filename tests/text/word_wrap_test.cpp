// Word wrap: the cases that define it, and random texts against a plain
// transcription of the rule with 1-based positions.
#include "text/word_wrap.h"

#include <gtest/gtest.h>

#include <random>

#include "support/word_wrap_by_the_rule.h"

namespace corvanta::modWordWrap {
namespace {

using testsupport::WrapByTheRule;

struct Case {
  const char* what;
  std::string text;
  std::int32_t width;
  std::string wrapped;
};

TEST(WordWrapTest, Cases) {
  const Case cases[] = {
      {"soft break drops the blank", "abcd efgh", 6, "abcd\r\nefgh"},
      {"the blank itself overflows", "abcd efgh", 4, "abcd\r\nefgh"},
      {"hard cuts", "abcdefghij", 4, "abcd\r\nefgh\r\nij"},
      {"exactly width", "abcdef", 6, "abcdef"},
      {"one past width", "abcdefg", 6, "abcdef\r\ng"},
      {"ends in CR LF", "abc\r\n", 6, "abc\r\n"},
      {"ends in a lone CR", "abc\r", 6, "abc\r"},
      {"line break restarts the count", "abcd\r\nefghijkl", 4, "abcd\r\nefgh\r\nijkl"},
      {"long word after a line break", "ab\r\nabcdefghij", 4, "ab\r\nabcd\r\nefgh\r\nij"},
      {"only the last blank goes", "a b c d e", 5, "a b c\r\nd e"},
      {"earlier blanks stay", "ab  cd efg", 6, "ab  cd\r\nefg"},
      {"tabs are ordinary", "ab\tcd\tef", 4, "ab\tc\r\nd\tef"},
      {"blank at column one", " abcdef", 3, "\r\nabc\r\ndef"},
      {"several blanks in a row", "abc    def", 4, "abc \r\n \r\ndef"},
      {"CR without LF eats the next character", "ab\rcdefgh", 4, "ab\rcdefg\r\nh"},
      {"width 0 returns the text", "abc def", 0, "abc def"},
      {"negative width returns the text", "abc def", -3, "abc def"},
      {"empty text", "", 76, ""},
      {"width 1", "ab c", 1, "a\r\nb\r\nc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WordWrap(c.text, c.width), c.wrapped) << c.what;
    EXPECT_EQ(WrapByTheRule(c.text, c.width), c.wrapped) << c.what << " (the rule itself)";
  }
}

TEST(WordWrapTest, RandomTextsFollowTheRule) {
  std::mt19937 engine(76);
  // Short texts thick with breaks and narrow widths, then long lines and wide widths.
  struct Mix {
    std::string pieces;
    int longest;
    int widest;
  };
  const Mix mixes[] = {{"ab  \r\nx\t", 300, 20}, {"abcdefgh ijklm \r", 3000, 120}};
  for (const Mix& mix : mixes) {
    std::uniform_int_distribution<std::size_t> piece(0, mix.pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, mix.longest);
    std::uniform_int_distribution<int> width(-1, mix.widest);
    for (int round = 0; round < 1000; ++round) {
      std::string text(static_cast<std::size_t>(length(engine)), ' ');
      for (char& ch : text) ch = mix.pieces[piece(engine)];
      const int w = width(engine);
      ASSERT_EQ(WordWrap(text, w), WrapByTheRule(text, w)) << "round " << round << " width " << w;
    }
  }
}

TEST(WordWrapTest, NoLineOfPlainTextGrowsPastTheWidth) {
  std::mt19937 engine(5);
  std::uniform_int_distribution<int> word(1, 12);
  std::string text;
  while (text.size() < 20000) {
    text += std::string(static_cast<std::size_t>(word(engine)), 'w');
    text += word(engine) == 1 ? "\r\n" : " ";
  }
  for (const std::int32_t width : {5, 8, 76, 200}) {
    const std::string wrapped = WordWrap(text, width);
    std::size_t start = 0;
    while (start <= wrapped.size()) {
      std::size_t end = wrapped.find("\r\n", start);
      if (end == std::string::npos) end = wrapped.size();
      EXPECT_LE(end - start, static_cast<std::size_t>(width));
      start = end + 2;
    }
  }
}

}  // namespace
}  // namespace corvanta::modWordWrap
