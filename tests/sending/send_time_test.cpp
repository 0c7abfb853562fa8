// The date and time strings of one send.
#include "sending/send_time.h"

#include <gtest/gtest.h>

namespace corvanta::sending {
namespace {

TEST(SendTime, DateAndTimeArePaddedAndTwentyFourHour) {
  EXPECT_EQ(FormatDate({2003, 6, 25, 17, 5, 9}), "2003-06-25");
  EXPECT_EQ(FormatTime({2003, 6, 25, 17, 5, 9}), "17:05:09");
  EXPECT_EQ(FormatDate({987, 12, 1, 0, 0, 0}), "0987-12-01");
  EXPECT_EQ(FormatTime({987, 12, 1, 0, 0, 0}), "00:00:00");
  EXPECT_EQ(FormatTime({2024, 1, 1, 23, 59, 59}), "23:59:59");
}

}  // namespace
}  // namespace corvanta::sending
