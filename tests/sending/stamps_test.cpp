// Splitting a stamp reply and refusing replies whose stamps cannot be used.
#include "sending/stamps.h"

#include <gtest/gtest.h>

namespace corvanta::sending {
namespace {

using Stamps = std::vector<std::string>;

struct SplitCase {
  std::string reply;
  Stamps stamps;
};

class SplitStampsTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitStampsTest, SplitsAtEverySingleBlank) {
  EXPECT_EQ(SplitStamps(GetParam().reply), GetParam().stamps);
}

INSTANTIATE_TEST_SUITE_P(Replies, SplitStampsTest,
                         ::testing::Values(SplitCase{"qo;", {}}, SplitCase{"qo;abc", {"abc"}},
                                           SplitCase{"qo;s1 s2", {"s1", "s2"}},
                                           SplitCase{"qo;s1  s2", {"s1", "", "s2"}},
                                           SplitCase{"qo;s1 s2 ", {"s1", "s2", ""}}, SplitCase{"qo; s1", {"", "s1"}},
                                           // A line break ending the reply is not the last stamp's.
                                           SplitCase{"qo;s1 s2\r\n", {"s1", "s2"}},
                                           SplitCase{"qo;s1 s2\n", {"s1", "s2"}}, SplitCase{"qo;s1 s2\r", {"s1", "s2"}},
                                           SplitCase{"qo;s1 s2\n\n", {"s1", "s2\n"}},
                                           SplitCase{"qo;s1\r\ns2", {"s1\r\ns2"}}));

TEST(IsSafeStamp, AcceptsEveryCharacterSafeInAQuery) {
  EXPECT_TRUE(IsSafeStamp("abcXYZ019"));
  EXPECT_TRUE(IsSafeStamp("a-b.c_d~e=f&g%2h+"));
  EXPECT_TRUE(IsSafeStamp("a/b:c@d!e$f'g(h)i*j,k;l?m"));
}

TEST(IsSafeStamp, RefusesWhatBreaksTheLinkOrThePage) {
  EXPECT_FALSE(IsSafeStamp(""));
  for (const std::string& bad : std::vector<std::string>{"\"", "<", ">", " ", "\t", "\r", "\n", std::string(1, '\0'),
                                                         "\x1f", "\x7f", "#", "\\", "\x80", "\xff", "é"}) {
    EXPECT_FALSE(IsSafeStamp("ab" + bad + "cd")) << "character code " << int(static_cast<unsigned char>(bad[0]));
  }
}

TEST(StampProblem, NoneWhenEveryRecipientHasASafeStamp) {
  EXPECT_EQ(StampProblem({"s1", "s2"}, 2), "");
  EXPECT_EQ(StampProblem({}, 0), "");
}

TEST(StampProblem, ExtraStampsAreIgnoredEvenWhenUnusable) {
  EXPECT_EQ(StampProblem({"s1", "s2", "", "<x>"}, 2), "");
}

TEST(StampProblem, TooFewStampsNamesBothCounts) {
  EXPECT_EQ(StampProblem({"s1"}, 3),
            "The service sent 1 stamp(s) for 3 recipients.\r\nNothing was sent; please try again later.");
}

TEST(StampProblem, AnUnusableStampNamesItsRecipient) {
  EXPECT_EQ(StampProblem({"s1", "s\"2", "s3"}, 3),
            "The service sent an unusable stamp for recipient 2.\r\nNothing was sent; please try again later.");
  EXPECT_EQ(StampProblem({"s1", ""}, 2),
            "The service sent an unusable stamp for recipient 2.\r\nNothing was sent; please try again later.");
}

}  // namespace
}  // namespace corvanta::sending
