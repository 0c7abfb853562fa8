// Request encoding: the alphabet, display names in base 62, value escaping,
// and the request hash with its check.
#include "protocol/encoding.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <random>
#include <set>
#include <tuple>

#include "host/sim/services.h"

namespace corvanta::protocol {
namespace {

const std::string kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz";

// The hash as the add-in first computed it: signed 16-bit sums left to right,
// nothing when any sum or product leaves -32768..32767.
std::optional<std::string> Hash16(const std::string& input, const HashDraws& d) {
  bool ok = true;
  auto fit = [&ok](long value) {
    if (value < -32768 || value > 32767) ok = false;
    return value;
  };
  auto add = [&fit](long a, long b) { return fit(a + b); };
  auto mul = [&fit](long a, long b) { return fit(a * b); };
  if (input.size() > 32767) return std::nullopt;
  long h1 = 0, h2 = 0, h3 = 0, h4 = 0, h5 = 0, h6 = 0;
  for (std::size_t at = 0; at < input.size() && ok; ++at) {
    const long i = static_cast<long>(at + 1);
    const long c = static_cast<unsigned char>(input[at]);
    h1 = add(add(add(add(mul(d.r1, h1), i), d.r2), d.r3), c) % 62;
    h2 = add(add(add(add(mul(d.r1, h1), h2), i), d.r3), c) % 62;
    h3 = add(add(add(add(h2, h3), mul(d.r2, i)), d.r3), c) % 62;
    h4 = add(add(add(add(h2, h4), d.r1), mul(d.r2, i)), c) % 62;
    h5 = add(add(add(add(h3, h5), d.r1), i), mul(d.r2, c)) % 62;
    h6 = add(add(add(add(add(h5, h6), d.r1), i), d.r2), mul(d.r3, c)) % 62;
  }
  if (!ok) return std::nullopt;
  const long h[] = {h1, h2, h3, h4, h5, h6};
  const std::string randoms = {kAlphabet[d.r1], kAlphabet[d.r2], kAlphabet[d.r3]};
  const int p = d.k % 7;
  std::string out = p == 0 ? randoms : "";
  for (int j = 1; j <= 6; ++j) {
    out += kAlphabet[h[j - 1] % 62];
    if (j == p) out += randoms;
  }
  return out + kAlphabet[d.k];
}

// The same rule in 64-bit sums, for inputs where 16 bits overflow.
std::string HashWide(const std::string& input, const HashDraws& d) {
  long long h1 = 0, h2 = 0, h3 = 0, h4 = 0, h5 = 0, h6 = 0;
  for (std::size_t at = 0; at < input.size(); ++at) {
    const long long i = static_cast<long long>(at + 1);
    const long long c = static_cast<unsigned char>(input[at]);
    h1 = (d.r1 * h1 + i + d.r2 + d.r3 + c) % 62;
    h2 = (d.r1 * h1 + h2 + i + d.r3 + c) % 62;
    h3 = (h2 + h3 + d.r2 * i + d.r3 + c) % 62;
    h4 = (h2 + h4 + d.r1 + d.r2 * i + c) % 62;
    h5 = (h3 + h5 + d.r1 + i + d.r2 * c) % 62;
    h6 = (h5 + h6 + d.r1 + i + d.r2 + d.r3 * c) % 62;
  }
  const long long h[] = {h1, h2, h3, h4, h5, h6};
  const std::string randoms = {kAlphabet[d.r1], kAlphabet[d.r2], kAlphabet[d.r3]};
  const int p = d.k % 7;
  std::string out = p == 0 ? randoms : "";
  for (int j = 1; j <= 6; ++j) {
    out += kAlphabet[h[j - 1]];
    if (j == p) out += randoms;
  }
  return out + kAlphabet[d.k];
}

std::string RandomBytes(std::mt19937& engine, std::size_t length) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::string text(length, '\0');
  for (char& ch : text) ch = static_cast<char>(byte(engine));
  return text;
}

TEST(GetSCharTest, MapsDigitValuesToTheAlphabet) {
  const std::pair<std::int16_t, std::string> cases[] = {
      {0, "A"},
      {25, "Z"},
      {26, "0"},
      {35, "9"},
      {36, "a"},
      {61, "z"},
      {62, "A"},
      {100, "A"},
      {32767, "A"},
      {-1, "@"},
      {-65, std::string(1, '\0')},
  };
  for (const auto& [n, symbol] : cases) EXPECT_EQ(getSChar(n), symbol) << n;
  for (int n = 0; n < 62; ++n) EXPECT_EQ(getSChar(static_cast<std::int16_t>(n)), kAlphabet.substr(n, 1));
  EXPECT_THROW(getSChar(-66), std::out_of_range);
}

TEST(S256to62Test, EncodesEachCharacterAsTwoSymbols) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""}, {"abc", "B9BaBb"}, {"Ann", "BDBmBm"}, {"\xFF", "EH"}, {std::string(1, '\0'), "AA"}, {"\x3E", "BA"},
  };
  for (const auto& [text, encoded] : cases) EXPECT_EQ(s256to62(text), encoded) << text;
  for (int code = 0; code < 256; ++code) {
    const std::string pair = s256to62(std::string(1, static_cast<char>(code)));
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_GE(pair[0], 'A');
    EXPECT_LE(pair[0], 'E');
    EXPECT_EQ(static_cast<int>(kAlphabet.find(pair[0]) * 62 + kAlphabet.find(pair[1])), code);
  }
  EXPECT_EQ(s256to62(std::string(40000, 'x')).size(), 80000u) << "no limit on the length";
}

// Escaping the plain way, one character at a time.
std::string EscapeOneByOne(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    const int c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      out += ch;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, c < 16 ? "%%0%X" : "%%%X", c);
      out += hex;
    }
  }
  return out;
}

TEST(UrlEscapeTest, KeepsLettersAndDigitsAndEscapesEverythingElse) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"AZaz09", "AZaz09"},
      {"a b.c", "a%20b%2Ec"},
      {"2003-06-25", "2003%2D06%2D25"},
      {"\t", "%09"},
      {"\x0F", "%0F"},
      {"\xFF", "%FF"},
      {std::string(1, '\0'), "%00"},
      {"-._~@:+", "%2D%2E%5F%7E%40%3A%2B"},
      {"caf\xC3\xA9", "caf%C3%A9"},
  };
  for (const auto& [text, escaped] : cases) EXPECT_EQ(UrlEscape(text), escaped) << text;
  std::string every;
  for (int code = 0; code < 256; ++code) every += static_cast<char>(code);
  EXPECT_EQ(UrlEscape(every), EscapeOneByOne(every));
}

TEST(UrlEscapeTest, LongInputsAcrossBlockBoundaries) {
  std::mt19937 engine(7);
  for (std::size_t length : {4095u, 4096u, 4097u, 12289u, 100000u}) {
    const std::string text = RandomBytes(engine, length);
    EXPECT_EQ(UrlEscape(text), EscapeOneByOne(text)) << length;
  }
}

TEST(MakeHashTest, WorkedExamples) {
  const std::tuple<std::string, HashDraws, std::string> cases[] = {
      {"abc", {1, 2, 3, 10}, "FFlBCDfQEK"}, {"abc", {0, 0, 0, 0}, "AAAeqWW6tA"},  {"", {0, 0, 0, 0}, "AAAAAAAAAA"},
      {"", {1, 2, 3, 10}, "AAABCDAAAK"},    {"", {61, 61, 61, 61}, "AAAAAzzzAz"},  // 61 mod 7 = 5
  };
  for (const auto& [input, draws, hash] : cases) {
    EXPECT_EQ(MakeHash(input, draws), hash) << input;
    EXPECT_EQ(Hash16(input, draws), hash) << "the reference itself";
  }
}

TEST(MakeHashTest, SameSymbolsAsSixteenBitsWhereverThoseDoNotOverflow) {
  std::mt19937 engine(2003);
  std::uniform_int_distribution<int> digit(0, 61);
  std::uniform_int_distribution<std::size_t> length(0, 529);
  for (int round = 0; round < 400; ++round) {
    const HashDraws draws{digit(engine), digit(engine), digit(engine), digit(engine)};
    const std::string input = RandomBytes(engine, length(engine));
    const auto expected = Hash16(input, draws);
    ASSERT_TRUE(expected.has_value()) << "529 characters never overflow";
    EXPECT_EQ(MakeHash(input, draws), *expected) << "round " << round;
  }
  for (int k = 0; k < 62; ++k) {
    const HashDraws highest{61, 61, 61, k};
    EXPECT_EQ(MakeHash(std::string(529, '\xFF'), highest), Hash16(std::string(529, '\xFF'), highest)) << k;
  }
}

TEST(MakeHashTest, InputsThatOverflowedSixteenBitsNowSucceed) {
  std::mt19937 engine(538);
  const std::pair<std::string, HashDraws> cases[] = {
      {std::string(538, 'a'), {0, 61, 0, 3}},
      {std::string(538, '\xFF'), {61, 61, 61, 6}},
      {RandomBytes(engine, 5000), {17, 61, 40, 22}},
      {RandomBytes(engine, 40000), {5, 9, 33, 13}},  // longer than a 16-bit position
  };
  for (const auto& [input, draws] : cases) {
    EXPECT_FALSE(Hash16(input, draws).has_value()) << input.size() << ": overflowed before";
    const std::string hash = MakeHash(input, draws);
    EXPECT_EQ(hash, HashWide(input, draws)) << input.size();
    EXPECT_TRUE(CheckHash(input, hash)) << input.size();
  }
}

TEST(MakeHashTest, DrawsComeFromTheGeneratorReseededEachCall) {
  class Recording : public host::Random {
   public:
    void Randomize() override { calls += "R"; }
    double Rnd() override {
      calls += "d";
      return (draws[next++] + 0.25) / 62.0;
    }
    std::string calls;
    std::vector<int> draws{1, 2, 3, 10, 0, 0, 0, 0};
    std::size_t next = 0;
  } random;
  host::sim::SimCodePage codePage;
  EXPECT_EQ(MakeHash("abc", codePage, random), "FFlBCDfQEK");
  EXPECT_EQ(MakeHash("abc", codePage, random), "AAAeqWW6tA");
  EXPECT_EQ(random.calls, "RddddRdddd");

  host::sim::SimRandom scripted;
  scripted.Script({1, 2, 3, 10});
  EXPECT_EQ(MakeHash("abc", codePage, scripted), "FFlBCDfQEK");
}

TEST(MakeHashTest, ResultsAreTenSymbolsWithTheRandomsWhereKPutsThem) {
  host::sim::SimRandom random;
  host::sim::SimCodePage codePage;
  std::set<std::string> seen;
  for (int round = 0; round < 50; ++round) {
    const std::string hash = MakeHash("someone@example.com", codePage, random);
    ASSERT_EQ(hash.size(), 10u);
    for (const char symbol : hash) EXPECT_NE(kAlphabet.find(symbol), std::string::npos) << hash;
    const int k = static_cast<int>(kAlphabet.find(hash[9]));
    const HashDraws draws{static_cast<int>(kAlphabet.find(hash[k % 7])),
                          static_cast<int>(kAlphabet.find(hash[k % 7 + 1])),
                          static_cast<int>(kAlphabet.find(hash[k % 7 + 2])), k};
    EXPECT_EQ(Hash16("someone@example.com", draws), hash);
    seen.insert(hash);
  }
  EXPECT_GT(seen.size(), 1u) << "the draws vary between calls";
}

TEST(MakeHashTest, DrawsOutsideTheAlphabetAreRefused) {
  EXPECT_THROW(MakeHash("x", HashDraws{62, 0, 0, 0}), std::out_of_range);
  EXPECT_THROW(MakeHash("x", HashDraws{0, -1, 0, 0}), std::out_of_range);
  EXPECT_THROW(MakeHash("x", HashDraws{0, 0, 0, 70}), std::out_of_range);
}

TEST(CheckHashTest, AcceptsWhatMakeHashMadeAndNothingElse) {
  const std::string input =
      "ann@example.com"
      "bob@example.org "
      "Subject"
      "2003-06-25"
      "14:02:09";
  for (int k = 0; k < 62; k += 3) {
    const std::string hash = MakeHash(input, HashDraws{k, 61 - k, (k * 7) % 62, k});
    EXPECT_TRUE(CheckHash(input, hash)) << hash;
    const int p = k % 7;
    for (int place = 0; place < 9; ++place) {
      if (place >= p && place < p + 3) continue;  // a random symbol, not a check symbol
      std::string tampered = hash;
      tampered[place] = tampered[place] == 'A' ? 'B' : 'A';
      EXPECT_FALSE(CheckHash(input, tampered)) << tampered;
    }
    std::string otherInput = input;
    otherInput[3] = 'X';
    EXPECT_FALSE(CheckHash(otherInput, hash)) << hash;
    EXPECT_FALSE(CheckHash(input + " ", hash)) << hash;
  }
  EXPECT_FALSE(CheckHash("abc", ""));
  EXPECT_FALSE(CheckHash("abc", "FFlBCDfQE"));
  EXPECT_FALSE(CheckHash("abc", "FFlBCDfQEKK"));
  EXPECT_FALSE(CheckHash("abc", "FFlBCDfQE-"));
  EXPECT_FALSE(CheckHash("abc", "FFlBCDfQE\xFF"));
  EXPECT_TRUE(CheckHash("abc", "FFlBCDfQEK"));
  EXPECT_TRUE(CheckHash("abc", "AAAeqWW6tA"));
}

// Character codes in the system code page: what the service reads back.
class CodePageTest : public ::testing::Test {
 protected:
  CodePageTest() { japanese.Set(932); }
  host::sim::SimCodePage western;  // 1252
  host::sim::SimCodePage japanese;
};

TEST_F(CodePageTest, EachCharacterReadsAsItsCodeInTheCodePage) {
  struct Case {
    const char* text;
    Codes in1252;
    Codes in932;
  };
  const Case cases[] = {
      {"aZ9 ", {97, 90, 57, 32}, {97, 90, 57, 32}},
      {"ü", {0xFC}, {'?'}},
      {"€", {0x80}, {'?'}},
      {"Ω", {'?'}, {static_cast<std::int16_t>(0x83B6 - 0x10000)}},
      {"Д", {'?'}, {static_cast<std::int16_t>(0x8444 - 0x10000)}},
      {"日", {'?'}, {static_cast<std::int16_t>(0x93FA - 0x10000)}},
      {"ｱ", {'?'}, {0xB1}},           // a half-width katakana is one byte
      {"😀", {'?', '?'}, {'?', '?'}},  // two units, neither a character by itself
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CharCodes(c.text, western), c.in1252) << c.text;
    EXPECT_EQ(CharCodes(c.text, japanese), c.in932) << c.text;
  }
}

TEST_F(CodePageTest, EscapesFollowTheCodePage) {
  struct Case {
    const char* text;
    const char* in1252;
    const char* in932;
  };
  const Case cases[] = {
      {"a b.c", "a%20b%2Ec", "a%20b%2Ec"}, {"Grüße €5", "Gr%FC%DFe%20%805", "Gr%3F%3Fe%20%3F5"},
      {"あ日", "%3F%3F", "%082A0%093FA"},  {"ΩД", "%3F%3F", "%083B6%08444"},
      {"ｱ😀", "%3F%3F%3F", "%B1%3F%3F"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UrlEscape(c.text, western), c.in1252) << c.text;
    EXPECT_EQ(UrlEscape(c.text, japanese), c.in932) << c.text;
    EXPECT_EQ(UrlEscape(CharCodes(c.text, japanese)), c.in932) << c.text;
  }
  // Text beyond one block of the fast path escapes the same way.
  std::string longText, escaped;
  for (int i = 0; i < 3000; ++i) longText += "ab日", escaped += "ab%093FA";
  EXPECT_EQ(UrlEscape(longText, japanese), escaped);
}

TEST_F(CodePageTest, BaseSixtyTwoNamesStayInTheAlphabet) {
  // é is 233: 3 and 47, "Dl". A two-byte character writes the pairs of its
  // bytes: あ is 82 A0, 130 = 2*62 + 6 ("CG") and 160 = 2*62 + 36 ("Ca").
  EXPECT_EQ(s256to62("é", western), "Dl");
  EXPECT_EQ(s256to62("Ann", japanese), "BDBmBm");
  EXPECT_EQ(s256to62("あ", japanese), "CGCa");
  EXPECT_EQ(s256to62("山田 太郎", japanese), s256to62(std::string("\x8E\x52\x93\x63\x20\x91\xBE\x98\x59")));
  for (const std::int16_t code : {std::int16_t{-32768}, std::int16_t{-1}, std::int16_t{-4030}, std::int16_t{0x7FFF}}) {
    const Codes one{code};
    for (const char symbol : s256to62(one)) EXPECT_NE(kAlphabet.find(symbol), std::string::npos) << code;
  }
}

TEST_F(CodePageTest, HashesOfTwoByteCharactersStayInTheAlphabet) {
  // あ (-32096) with R1 = 1, R2 = 2, R3 = 3, k = 10, worked by hand with the
  // remainder taking the dividend's sign: H1..H6 = -36, -12, -49, -51, -7, -5,
  // written as 26, 50, 13, 11, 55, 57.
  const HashDraws draws{1, 2, 3, 10};
  const std::string hash = MakeHash(CharCodes("あ", japanese), draws);
  EXPECT_EQ(hash, "0oNBCDLtvK");
  EXPECT_TRUE(CheckHash(CharCodes("あ", japanese), hash));
  // At 1252 the same text is "?" and hashes as "?" does.
  EXPECT_EQ(MakeHash(CharCodes("あ", western), draws), MakeHash(std::string("?"), draws));
  // Any text of two-byte characters, any draws: ten symbols of the alphabet.
  std::mt19937 engine(932);
  std::uniform_int_distribution<int> digit(0, 61);
  std::uniform_int_distribution<int> code(-32768, 255);
  for (int round = 0; round < 300; ++round) {
    Codes codes(static_cast<std::size_t>(digit(engine)));
    for (auto& c : codes) c = static_cast<std::int16_t>(code(engine));
    const std::string made = MakeHash(codes, HashDraws{digit(engine), digit(engine), digit(engine), digit(engine)});
    ASSERT_EQ(made.size(), 10u);
    for (const char symbol : made) ASSERT_NE(kAlphabet.find(symbol), std::string::npos) << made;
    EXPECT_TRUE(CheckHash(codes, made));
  }
}

TEST_F(CodePageTest, UnknownCodePagesAreRefused) {
  host::sim::SimCodePage page;
  EXPECT_THROW(page.Set(4), std::invalid_argument);
  EXPECT_EQ(page.Number(), 1252u);
}

}  // namespace
}  // namespace corvanta::protocol
