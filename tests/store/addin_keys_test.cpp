// The senders' add-in keys and the signatures seen, on every engine.
#include "store_fixture.h"

namespace store_test {
namespace {

TEST_P(StoreTest, AnAddinKeyIsKeptWithItsAccountAndReplaced) {
  store_->AddAccount("ann@example.com", 5, kMarch14);
  store_->AddAccount("bob@example.com", 5, kMarch14);
  EXPECT_EQ(store_->FindAccount("ann@example.com")->addinKey, "");

  EXPECT_TRUE(store_->SetAddinKey("ANN@example.com", "sealed-1"));
  EXPECT_TRUE(store_->SetAddinKey("ann@example.com", "sealed-2"));
  EXPECT_FALSE(store_->SetAddinKey("nobody@example.com", "sealed-3"));
  EXPECT_EQ(store_->FindAccount("ann@example.com")->addinKey, "sealed-2");
  EXPECT_EQ(store_->FindAccountById(store_->FindAccount("ann@example.com")->id)->addinKey, "sealed-2");
  for (const Account& account : store_->ListAccounts()) {
    EXPECT_EQ(account.addinKey, account.address == "ann@example.com" ? "sealed-2" : "") << account.address;
  }
}

TEST_P(StoreTest, ASignatureIsNewOnceUntilItExpires) {
  const Time expires = kMarch14 + 600 * kSecond;
  EXPECT_TRUE(store_->RememberSignature("sig-a", expires, kMarch14));
  EXPECT_FALSE(store_->RememberSignature("sig-a", expires, kMarch14 + kSecond));
  EXPECT_TRUE(store_->RememberSignature("sig-b", expires, kMarch14 + kSecond));
  // Still seen at the last moment it is good, forgotten after.
  EXPECT_FALSE(store_->RememberSignature("sig-a", expires, expires));
  EXPECT_TRUE(store_->RememberSignature("sig-a", expires + 600 * kSecond, expires + kSecond));
}

}  // namespace
}  // namespace store_test
