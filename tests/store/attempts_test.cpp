#include "store_fixture.h"

namespace store_test {
namespace {

// A key seen once is not kept for good: counting any key forgets every
// key's windows of more than a week before.
TEST_P(StoreTest, AttemptsOfDaysAgoAreForgottenForEveryKey) {
  EXPECT_EQ(store_->CountAttempt("stamp:ip", "192.0.2.1", kMarch14, kMarch14), 1);
  EXPECT_EQ(store_->CountAttempt("stamp:ip", "192.0.2.1", kMarch14, kMarch14), 2);
  // Six days on, another key leaves the first one's window alone.
  EXPECT_EQ(store_->CountAttempt("stamp:ip", "192.0.2.2", kMarch14 + 6 * kDay, kMarch14 + 6 * kDay), 1);
  EXPECT_EQ(store_->CountAttempt("stamp:ip", "192.0.2.1", kMarch14, kMarch14), 3);
  // Eight days on, it is gone: counted again, it starts from one.
  EXPECT_EQ(store_->CountAttempt("signin:ip", "192.0.2.3", kMarch14 + 8 * kDay, kMarch14 + 8 * kDay), 1);
  EXPECT_EQ(store_->CountAttempt("stamp:ip", "192.0.2.1", kMarch14, kMarch14), 1);
}

}  // namespace
}  // namespace store_test
