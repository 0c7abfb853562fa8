// The number at the start of a reply, read as the platform reads it.
#include "settings/val.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace corvanta {
namespace {

struct ValCase {
  std::string text;
  double expected;
};

class ValTest : public ::testing::TestWithParam<ValCase> {};

TEST_P(ValTest, ReadsTheLeadingNumber) {
  EXPECT_DOUBLE_EQ(Val(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ValTest,
    ::testing::Values(ValCase{"12", 12}, ValCase{"0", 0}, ValCase{"", 0}, ValCase{"c", 0}, ValCase{"7 c", 7},
                      // blanks, tabs and line feeds vanish wherever they stand
                      ValCase{" 1 2\t3\n4", 1234}, ValCase{"\n\t 5", 5}, ValCase{"- 5", -5},
                      // a carriage return is not skipped: it ends the number
                      ValCase{"12\r\n", 12}, ValCase{"1\r2", 1},
                      // sign, one decimal point, exponent
                      ValCase{"-42", -42}, ValCase{"+8", 8}, ValCase{"--8", 0}, ValCase{"+-8", 0}, ValCase{"2.5", 2.5},
                      ValCase{".5", 0.5}, ValCase{"-.25", -0.25}, ValCase{"1.2.3", 1.2}, ValCase{".", 0},
                      ValCase{"-", 0}, ValCase{"1e3", 1000}, ValCase{"1E+3", 1000}, ValCase{"15e-1", 1.5},
                      ValCase{"2d2", 200}, ValCase{"2D2", 200}, ValCase{"3e", 3}, ValCase{"3e+", 3}, ValCase{"3ex", 3},
                      ValCase{"1 e 2", 100}, ValCase{"1e-400", 0},
                      // other characters end the number
                      ValCase{"1,000", 1}, ValCase{"$5", 0}, ValCase{"12abc", 12}, ValCase{"0x1F", 0},
                      // hexadecimal and octal, typed as a literal of the platform
                      ValCase{"&H1F", 31}, ValCase{"&h1f", 31}, ValCase{"& H 1F", 31}, ValCase{"&O17", 15},
                      ValCase{"&o17", 15}, ValCase{"&O19", 1}, ValCase{"&H", 0}, ValCase{"&17", 0},
                      ValCase{"&HFFFF", -1}, ValCase{"&HFFFF&", 65535}, ValCase{"&H8000", -32768},
                      ValCase{"&H10000", 65536}, ValCase{"&HFFFFFFFF", -1}, ValCase{"&H7FFFFFFF", 2147483647},
                      ValCase{"&O177777", -1}, ValCase{"&H1G", 1}));

TEST(ValTest, HugeExponentIsInfinite) {
  EXPECT_EQ(Val("1e400"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(Val("-1e400"), -std::numeric_limits<double>::infinity());
}

struct RoundCase {
  double value;
  std::int32_t expected;
};

class RoundToLongTest : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundToLongTest, RoundsHalvesToEvenAndClampsToTheRange) {
  EXPECT_EQ(RoundToLong(GetParam().value), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Values, RoundToLongTest,
                         ::testing::Values(RoundCase{0.5, 0}, RoundCase{1.5, 2}, RoundCase{2.5, 2}, RoundCase{3.5, 4},
                                           RoundCase{2.49, 2}, RoundCase{2.51, 3}, RoundCase{-0.5, 0},
                                           RoundCase{-1.5, -2}, RoundCase{-2.5, -2}, RoundCase{-2.6, -3},
                                           RoundCase{12, 12}, RoundCase{2147483647.0, 2147483647},
                                           RoundCase{2147483647.5, 2147483647}, RoundCase{1e12, 2147483647},
                                           RoundCase{std::numeric_limits<double>::infinity(), 2147483647},
                                           RoundCase{-2147483648.0, -2147483647 - 1},
                                           RoundCase{-2147483648.5, -2147483647 - 1}, RoundCase{-1e12, -2147483647 - 1},
                                           RoundCase{-std::numeric_limits<double>::infinity(), -2147483647 - 1}));

}  // namespace
}  // namespace corvanta
