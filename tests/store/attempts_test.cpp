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

// Reading counts counts nothing; forgetting a kind leaves the others.
TEST_P(StoreTest, AttemptCountsAreReadWithoutCountingAndForgottenByKind) {
  const std::vector<std::pair<std::string, std::string>> keys = {{"signin-failed:a", "k1"}, {"signin-failed:b", "k1"}};
  EXPECT_EQ(store_->AttemptCounts(keys, kMarch14), (std::vector<int>{0, 0}));
  store_->CountAttempts(keys, kMarch14, kMarch14);
  store_->CountAttempt("signin-failed:a", "k1", kMarch14, kMarch14);
  EXPECT_EQ(store_->AttemptCounts(keys, kMarch14), (std::vector<int>{2, 1}));
  EXPECT_EQ(store_->AttemptCounts(keys, kMarch14), (std::vector<int>{2, 1}));
  // Another window's count is not this one's.
  EXPECT_EQ(store_->AttemptCounts(keys, kMarch14 + kDay), (std::vector<int>{0, 0}));

  store_->ForgetAttempts("signin-failed:a");
  EXPECT_EQ(store_->AttemptCounts(keys, kMarch14), (std::vector<int>{0, 1}));
  EXPECT_EQ(store_->CountAttempt("signin-failed:a", "k1", kMarch14, kMarch14), 1);
}

}  // namespace
}  // namespace store_test
