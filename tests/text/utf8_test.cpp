// The add-in's character counting: UTF-8 read as the platform's UTF-16 units,
// never cutting a character, stray bytes kept one unit each.
#include "host/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Utf8, CountsUtf16Units) {
  struct Case {
    std::string text;
    std::size_t units;
  };
  const Case cases[] = {
      {"", 0},
      {"abc", 3},
      {"é€", 2},                // two and three bytes, one unit each
      {"日本語", 3},            // three bytes each
      {"😀", 2},                 // four bytes, a surrogate pair
      {"\xFF", 1},              // a stray byte
      {"\xE6\x97", 2},          // a cut sequence: two stray bytes
      {"\xC0\xAF", 2},          // an overlong form is no character
      {"\xED\xA0\x80", 3},      // nor is an encoded surrogate
      {"\xF4\x90\x80\x80", 4},  // nor a code past U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(host::utf8::Units(c.text), c.units) << c.text;
}

TEST(Utf8, LeftNeverCutsACharacter) {
  EXPECT_EQ(host::utf8::Left("a😀b", 1), "a");
  EXPECT_EQ(host::utf8::Left("a😀b", 2), "a");
  EXPECT_EQ(host::utf8::Left("a😀b", 3), "a😀");
  EXPECT_EQ(host::utf8::Left("日本語", 2), "日本");
  EXPECT_EQ(host::utf8::Left("日本語", 9), "日本語");
  EXPECT_EQ(host::utf8::Left("ab\xFF"
                             "c",
                             3),
            "ab\xFF");
}

TEST(Utf8, UnitsAreThoseOfUtf16) {
  std::u16string units;
  host::utf8::ForEachUnit("aé日😀\xFF", [&](char16_t unit) { units += unit; });
  EXPECT_EQ(units, std::u16string(u"aé日😀\uFFFD"));
  std::string back;
  for (const char32_t code : {U'a', U'é', U'日', U'😀'}) host::utf8::Append(back, code);
  EXPECT_EQ(back, "aé日😀");
}

}  // namespace
