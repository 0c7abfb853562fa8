// Forms, queries and cookies as browsers write them.
#include "pages_world.h"

namespace pages_test {
namespace {

TEST(WebText, FormFieldsDecodeAsBrowsersEncode) {
  const auto fields = pages::ParseFields("q=a+b%2Bc&x=%3Cscript%3E&&broken=%zz%4&k=1&k=2&flag&e=");
  EXPECT_EQ(fields.at("q"), "a b+c");
  EXPECT_EQ(fields.at("x"), "<script>");
  EXPECT_EQ(fields.at("broken"), "%zz%4");
  EXPECT_EQ(fields.at("k"), "1");
  EXPECT_EQ(fields.at("flag"), "");
  EXPECT_EQ(fields.at("e"), "");
  EXPECT_EQ(pages::ParseFields(pages::QueryEscape("ä & é=+")).begin()->first, "ä & é=+");
}

TEST(WebText, CookiesOfEveryCookieHeaderFirstOneWins) {
  http::Request request;
  request.headers = {{"cookie", " a=1;b = 2 ; junk; a=3"}, {"Cookie", "c=4"}, {"X-Cookie", "d=5"}};
  const auto cookies = pages::ParseCookies(request);
  EXPECT_EQ(cookies, (std::map<std::string, std::string>{{"a", "1"}, {"b", "2"}, {"c", "4"}}));
}

TEST(WebText, IdsAreWholePositiveNumbersOnly) {
  for (const auto& [text, id] :
       std::vector<std::pair<std::string, std::int64_t>>{{"42", 42},
                                                         {"0", 0},
                                                         {"", 0},
                                                         {"-1", 0},
                                                         {"4a", 0},
                                                         {"1 ", 0},
                                                         {"999999999999999999", 999999999999999999},
                                                         {"9999999999999999999", 0}}) {
    EXPECT_EQ(pages::ParseId(text), id) << text;
  }
}

TEST(WebText, TimesInUtc) {
  EXPECT_EQ(pages::IsoTime(kStart), "2026-12-12T08:40:00Z");
  EXPECT_EQ(pages::TimeElement(kStart), "<time datetime=\"2026-12-12T08:40:00Z\">2026-12-12 08:40 UTC</time>");
}

}  // namespace
}  // namespace pages_test
