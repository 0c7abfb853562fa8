// Word wrap: the cases that define it, and random texts against a plain
// transcription of the rule with 1-based positions.
#include "text/word_wrap.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "host/utf8.h"
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
      // Characters, not bytes: UTF-16 units as the platform's strings count them.
      {"Japanese is cut at the width in characters", "日本語のテキスト", 5, "日本語のテ\r\nキスト"},
      {"Greek breaks at the blank", "Καλημέρα κόσμε", 9, "Καλημέρα\r\nκόσμε"},
      {"the Euro sign counts one", "€€€ €€", 3, "€€€\r\n€€"},
      {"an emoji counts two", "ab😀cdef", 4, "ab😀\r\ncdef"},
      {"a cut never falls inside an emoji", "abc😀de", 4, "abc\r\n😀de"},
      {"an emoji alone is wider than width 1", "😀a", 1, "😀\r\na"},
      {"an emoji after a CR goes with it", "ab\r😀cde", 4, "ab\r😀cde"},
      {"a stray byte counts one and stays",
       "ab\xFF"
       "cd",
       3, "ab\xFF\r\ncd"},
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
    std::vector<std::string> pieces;
    int longest;
    int widest;
  };
  const Mix mixes[] = {
      {{"a", "b", " ", " ", "\r", "\n", "x", "\t"}, 300, 20},
      {{"a", "b", "c", "d", "e", "f", "g", "h", " ", "i", "j", "k", "l", "m", " ", "\r"}, 3000, 120},
      // Characters of one to four bytes and of one or two units, and a stray byte.
      {{"a", " ", "\r", "\n", "é", "Ж", "日", "€", "😀", "\xFF", "Ω", " "}, 300, 20},
  };
  for (const Mix& mix : mixes) {
    std::uniform_int_distribution<std::size_t> piece(0, mix.pieces.size() - 1);
    std::uniform_int_distribution<int> length(0, mix.longest);
    std::uniform_int_distribution<int> width(-1, mix.widest);
    for (int round = 0; round < 1000; ++round) {
      std::string text;
      for (int n = length(engine); n > 0; --n) text += mix.pieces[piece(engine)];
      const int w = width(engine);
      ASSERT_EQ(WordWrap(text, w), WrapByTheRule(text, w)) << "round " << round << " width " << w;
    }
  }
}

// A long text that is ASCII up to one character far into it, or up to one
// right after a CR, wraps as the rule says all the same.
TEST(WordWrapTest, ALateCharacterBeyondAsciiCountsAsOne) {
  std::string text;
  for (int i = 0; text.size() < 300000; ++i) text += i % 9 == 0 ? "word\r\n" : "word ";
  for (const std::size_t at : {std::size_t{70000}, std::size_t{150001}, text.size() - 1}) {
    for (const std::string& late : {std::string("é"), std::string("\r日")}) {
      std::string mixed = text;
      mixed.insert(at, late);
      ASSERT_EQ(WordWrap(mixed, 8), WrapByTheRule(mixed, 8)) << at << " " << late;
    }
  }
}

TEST(WordWrapTest, NoLineOfPlainTextGrowsPastTheWidthNorCutsACharacter) {
  std::mt19937 engine(5);
  std::uniform_int_distribution<int> word(1, 12);
  const std::string letters[] = {"w", "ω", "語", "😀"};
  for (const std::string& letter : letters) {
    std::string text;
    while (text.size() < 20000) {
      for (int n = word(engine); n > 0; --n) text += letter;
      text += word(engine) == 1 ? "\r\n" : " ";
    }
    for (const std::int32_t width : {5, 8, 76, 200}) {
      const std::string wrapped = WordWrap(text, width);
      std::size_t start = 0;
      while (start <= wrapped.size()) {
        std::size_t end = wrapped.find("\r\n", start);
        if (end == std::string::npos) end = wrapped.size();
        const std::string_view line(wrapped.data() + start, end - start);
        EXPECT_LE(host::utf8::Units(line), static_cast<std::size_t>(width)) << letter;
        // Every line is whole characters of the letter and blanks.
        for (std::size_t at = 0; at < line.size();) {
          const bool whole = line.compare(at, letter.size(), letter) == 0;
          ASSERT_TRUE(whole || line[at] == ' ') << letter << " width " << width;
          at += whole ? letter.size() : 1;
        }
        start = end + 2;
      }
    }
  }
}

}  // namespace
}  // namespace corvanta::modWordWrap
