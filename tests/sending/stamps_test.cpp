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
                                           SplitCase{"qo;s1 s2 ", {"s1", "s2", ""}}, SplitCase{"qo; s1", {"", "s1"}}));

TEST(IsSafeStamp, AcceptsLettersDigitsAndTheUnreservedMarks) {
  EXPECT_TRUE(IsSafeStamp("abcXYZ019"));
  EXPECT_TRUE(IsSafeStamp("a-b.c_d~e=f&g%2h+"));
}

TEST(IsSafeStamp, RefusesEmptyAndEveryOtherCharacter) {
  EXPECT_FALSE(IsSafeStamp(""));
  for (std::string bad : {"\"", "<", ">", "'", " ", "\t", "\r", "\n", "#", "?", "/", ":", "\\", "(", "\x80", "\xff"}) {
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
