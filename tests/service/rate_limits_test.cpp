// The add-in's requests counted per address and per IP: keys kept as a
// short hash whatever was sent, and no address counted for a client that is
// already over its limit.
#include "service/requests/rate_limits.h"

#include <gtest/gtest.h>

#include "service/store/address_key.h"
#include "service/store/attempt_key.h"

namespace service_test {
namespace {

constexpr mailwarden::store::Time kMinute = 60LL * 1000000;
constexpr mailwarden::store::Time kNow = 29'000'000 * kMinute;  // the start of a window

int Counted(mailwarden::store::Store& store, const std::string& kind, const std::string& key) {
  return store.AttemptCounts({{kind, key}}, kNow)[0];
}

TEST(RateLimits, KeysAreKeptHashedWhateverTheirSize) {
  auto store = mailwarden::store::OpenStore("sqlite::memory:");
  mailwarden::RateLimits limits(*store, {10, 10, std::chrono::seconds(60)});
  const std::string address = std::string(7000, 'x') + "@Example.com";
  ASSERT_TRUE(limits.Allow("credit", address, "192.0.2.7", kNow));
  EXPECT_EQ(Counted(*store, "credit:address", mailwarden::store::AttemptKey(mailwarden::store::AddressKey(address))),
            1);
  EXPECT_EQ(Counted(*store, "credit:ip", mailwarden::store::AttemptKey("192.0.2.7")), 1);
  for (const std::string& plain : {address, mailwarden::store::AddressKey(address)})
    EXPECT_EQ(Counted(*store, "credit:address", plain), 0);
  EXPECT_EQ(Counted(*store, "credit:ip", "192.0.2.7"), 0);
}

TEST(RateLimits, AClientOverItsLimitCountsAgainstNoAddress) {
  auto store = mailwarden::store::OpenStore("sqlite::memory:");
  mailwarden::RateLimits limits(*store, {5, 2, std::chrono::seconds(60)});
  EXPECT_TRUE(limits.Allow("stamp", "a@example.com", "192.0.2.7", kNow));
  EXPECT_TRUE(limits.Allow("stamp", "b@example.com", "192.0.2.7", kNow));
  EXPECT_FALSE(limits.Allow("stamp", "victim@example.com", "192.0.2.7", kNow));
  EXPECT_EQ(Counted(*store, "stamp:address", mailwarden::store::AttemptKey("victim@example.com")), 0);
  // The victim's own request from elsewhere is the first counted.
  EXPECT_TRUE(limits.Allow("stamp", "victim@example.com", "198.51.100.1", kNow));
  EXPECT_EQ(Counted(*store, "stamp:address", mailwarden::store::AttemptKey("victim@example.com")), 1);
}

}  // namespace
}  // namespace service_test
