// Accounts and their monthly credit.
#include "store_fixture.h"

namespace store_test {
namespace {

TEST_P(StoreTest, AccountsAreFoundWhateverTheCaseOfTheAddress) {
  Account ann = store_->AddAccount("Ann@Example.COM", 20, kMarch14);
  EXPECT_EQ(ann.address, "ann@example.com");
  EXPECT_THROW(store_->AddAccount("ANN@example.com", 5, kMarch14), StoreError);
  store_->AddAccount("bob@example.com", 3, kMarch14);

  auto found = store_->FindAccount("aNN@EXAMPLE.com");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->id, ann.id);
  EXPECT_EQ(found->monthlyCredit, 20);
  EXPECT_EQ(found->codepage, 1252);
  EXPECT_EQ(found->passwordHash, "");
  EXPECT_FALSE(store_->FindAccount("carol@example.com"));

  EXPECT_TRUE(store_->SetMonthlyCredit("ANN@example.com", 30));
  EXPECT_TRUE(store_->SetPasswordHash("Ann@example.com", "$argon2id$v=19$..."));
  EXPECT_TRUE(store_->SetCodepage("ann@EXAMPLE.com", 932));
  for (bool done : {store_->SetMonthlyCredit("x@y", 1), store_->SetPasswordHash("x@y", "h"),
                    store_->SetCodepage("x@y", 932), store_->RemoveAccount("x@y")}) {
    EXPECT_FALSE(done);
  }
  std::vector<Account> all = store_->ListAccounts();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].address, "ann@example.com");
  EXPECT_EQ(all[0].monthlyCredit, 30);
  EXPECT_EQ(all[0].passwordHash, "$argon2id$v=19$...");
  EXPECT_EQ(all[0].codepage, 932);
  EXPECT_EQ(all[1].address, "bob@example.com");

  // The pages find the signed-in sender by the session's account number.
  auto byId = store_->FindAccountById(ann.id);
  ASSERT_TRUE(byId);
  EXPECT_EQ(byId->address, "ann@example.com");
  EXPECT_EQ(byId->codepage, 932);
  EXPECT_FALSE(store_->FindAccountById(all[1].id + 1000));
}

TEST_P(StoreTest, CreditIsCountedPerCalendarMonthInUtc) {
  store_->AddAccount("ann@example.com", 5, kMarch14);
  const Time lastMomentOfMarch = 1775001599 * kSecond;  // 2026-03-31T23:59:59Z
  const Time firstOfApril = lastMomentOfMarch + kSecond;
  EXPECT_EQ(store_->CreditLeft("ann@example.com", kMarch14), 5);
  EXPECT_FALSE(store_->CreditLeft("nobody@example.com", kMarch14));

  Issue(Message("ann@example.com", {"a@x", "b@x", "c@x"}, kMarch14));
  Issue(Message("ANN@example.com", {"d@x"}, lastMomentOfMarch));
  EXPECT_EQ(store_->CreditLeft("ann@example.com", lastMomentOfMarch), 1);
  EXPECT_EQ(store_->CreditLeft("ann@example.com", firstOfApril), 5);

  // April's credit is April's own; March's use is not taken from it.
  Issued april = store_->IssueStamps(Message("ann@example.com", {"a@x", "b@x", "c@x", "d@x", "e@x"}, firstOfApril), 0,
                                     [n = 0]() mutable { return "April" + std::to_string(++n); });
  EXPECT_EQ(april.outcome, IssueOutcome::kIssued);
  EXPECT_EQ(april.creditLeft, 0);
  EXPECT_EQ(store_->CreditLeft("ann@example.com", lastMomentOfMarch), 1);

  // A lower monthly credit can leave less than nothing; the reply shows 0.
  store_->SetMonthlyCredit("ann@example.com", 2);
  EXPECT_EQ(store_->CreditLeft("ann@example.com", kMarch14), -2);
}

TEST_P(StoreTest, RemovingAnAccountTakesAllItsDataAndNothingElse) {
  auto annStamps = Issue(Message("ann@example.com", {"a@x", "b@x"}, kMarch14), 10);
  auto bobStamps = Issue(Message("bob@example.com", {"a@x"}, kMarch14), 10);
  store_->RecordEvents({EventOn(annStamps[0], EventType::kImage, kMarch14 + kSecond),
                        EventOn(bobStamps[0], EventType::kImage, kMarch14 + kSecond)});
  Account ann = *store_->FindAccount("ann@example.com");
  store_->CreateSession("token-of-ann", Session{ann.id, "csrf", kMarch14, kMarch14, {}});

  EXPECT_TRUE(store_->RemoveAccount("ANN@example.com"));
  EXPECT_FALSE(store_->FindAccount("ann@example.com"));
  EXPECT_FALSE(store_->FindStamp(annStamps[0]));
  EXPECT_FALSE(store_->TouchSession("token-of-ann", 0, kMarch14));
  MessageQuery query;
  query.accountId = ann.id;
  EXPECT_TRUE(store_->ListMessages(query).empty());

  // A new account under the same address starts from nothing.
  store_->AddAccount("ann@example.com", 1, kMarch14);
  EXPECT_EQ(store_->CreditLeft("ann@example.com", kMarch14), 1);

  auto bob = store_->FindStamp(bobStamps[0]);
  ASSERT_TRUE(bob);
  EXPECT_EQ(bob->sender, "bob@example.com");
  query.accountId = bob->accountId;
  ASSERT_EQ(store_->ListMessages(query).size(), 1u);
  EXPECT_EQ(store_->ListMessages(query)[0].recipients[0].events.size(), 1u);
}

}  // namespace
}  // namespace store_test
