// The clock and the random generator of the Windows platform.
#include "host/win32/services.h"

#include <gtest/gtest.h>

#include <ctime>
#include <set>

#include "host/win32/win32_api.h"

namespace corvanta_test {
namespace {

TEST(Services, ClockReadsTheLocalTime) {
  SYSTEMTIME before{};
  GetLocalTime(&before);
  host::LocalTime now = host::win32::Clock().Now();
  EXPECT_GE(now.year, before.wYear);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  EXPECT_GE(now.day, 1);
  EXPECT_LE(now.day, 31);
  EXPECT_LE(now.hour, 23);
  EXPECT_LE(now.minute, 59);
  EXPECT_LE(now.second, 59);
}

TEST(Services, UtcSecondsCountFrom1970InUtc) {
  // The C library's time() counts the same seconds; the two readings bracket ours.
  const std::time_t before = std::time(nullptr);
  const std::int64_t utc = host::win32::Clock().UtcSeconds();
  const std::time_t after = std::time(nullptr);
  EXPECT_GE(utc, static_cast<std::int64_t>(before));
  EXPECT_LE(utc, static_cast<std::int64_t>(after));
}

TEST(Services, RndStaysWithinZeroAndOneAndSpreadsOverTheRange) {
  host::win32::Random random;
  random.Randomize();
  std::set<int> tenths;
  for (int i = 0; i < 10000; ++i) {
    double draw = random.Rnd();
    ASSERT_GE(draw, 0.0);
    ASSERT_LT(draw, 1.0);
    tenths.insert(static_cast<int>(draw * 10));
  }
  // Every tenth of the range is drawn: the hash takes floor(Rnd * 62) and needs all symbols.
  EXPECT_EQ(tenths.size(), 10u);
}

}  // namespace
}  // namespace corvanta_test
