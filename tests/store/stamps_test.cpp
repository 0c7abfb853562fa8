// Issuing stamps: all or nothing, one credit each, unique stamps.
#include <atomic>
#include <set>
#include <thread>

#include "store_fixture.h"

namespace store_test {
namespace {

TEST_P(StoreTest, StampsAreIssuedInRecipientOrderWithWhatTheSenderSent) {
  NewMessage message = Message("Ann@Example.com", {"bob@example.org", "Carol Smith (Sales)"}, kMarch14);
  Issued issued = store_->IssueStamps(message, 10, [n = 0]() mutable { return "Stamp" + std::to_string(++n); });
  ASSERT_EQ(issued.outcome, IssueOutcome::kIssued);
  EXPECT_EQ(issued.stamps, (std::vector<std::string>{"Stamp1", "Stamp2"}));
  EXPECT_EQ(issued.creditLeft, 8);
  EXPECT_GT(issued.messageId, 0);

  auto second = store_->FindStamp("Stamp2");
  ASSERT_TRUE(second);
  EXPECT_EQ(second->messageId, issued.messageId);
  EXPECT_EQ(second->sender, "ann@example.com");
  EXPECT_EQ(second->recipient, "Carol Smith (Sales)");
  EXPECT_EQ(second->recipientName, "Name of Carol Smith (Sales)");
  EXPECT_EQ(second->subject, "Quarterly figures");
  EXPECT_EQ(second->kind, Kind::kTracked);
  EXPECT_EQ(second->issued, kMarch14);
  EXPECT_EQ(second->issuerIp, "192.0.2.7");
  EXPECT_FALSE(second->cancelled);
  EXPECT_FALSE(store_->FindStamp("Stamp3"));
}

TEST_P(StoreTest, IssuingIsAllOrNothing) {
  // Without an account and without a credit for new senders nothing is made.
  Issued unknown = store_->IssueStamps(Message("ann@example.com", {"a@x"}, kMarch14), 0, [] { return "S"; });
  EXPECT_EQ(unknown.outcome, IssueOutcome::kUnknownSender);
  EXPECT_FALSE(store_->FindAccount("ann@example.com"));

  store_->AddAccount("ann@example.com", 3, kMarch14);
  int drawn = 0;
  Issued tooMany = store_->IssueStamps(Message("ann@example.com", {"a@x", "b@x", "c@x", "d@x"}, kMarch14), 50,
                                       [&] { return "T" + std::to_string(++drawn); });
  EXPECT_EQ(tooMany.outcome, IssueOutcome::kInsufficientCredit);
  EXPECT_EQ(tooMany.creditLeft, 3);
  EXPECT_TRUE(tooMany.stamps.empty());
  EXPECT_EQ(store_->CreditLeft("ann@example.com", kMarch14), 3);  // the new-sender credit is not for accounts

  // A stamp generator that keeps repeating an issued stamp fails the whole issue.
  Issue(Message("ann@example.com", {"a@x"}, kMarch14));
  const std::string taken =
      store_->ListMessages({store_->FindAccount("ann@example.com")->id, "", 0, 1, {}})[0].recipients[0].stamp;
  int calls = 0;
  EXPECT_THROW(store_->IssueStamps(Message("ann@example.com", {"b@x", "c@x"}, kMarch14), 0,
                                   [&] { return ++calls == 1 ? std::string("Fresh") : taken; }),
               StoreError);
  EXPECT_FALSE(store_->FindStamp("Fresh"));
  EXPECT_EQ(store_->CreditLeft("ann@example.com", kMarch14), 2);

  // One collision is drawn again.
  calls = 0;
  Issued retried = store_->IssueStamps(Message("ann@example.com", {"b@x"}, kMarch14), 0,
                                       [&] { return ++calls == 1 ? taken : std::string("Redrawn"); });
  EXPECT_EQ(retried.stamps, std::vector<std::string>{"Redrawn"});
  EXPECT_EQ(store_->CreditLeft("ann@example.com", kMarch14), 1);
}

TEST_P(StoreTest, ConcurrentIssuesNeverSpendMoreThanTheMonthsCredit) {
  store_->AddAccount("ann@example.com", 20, kMarch14);
  std::atomic<int> counter{0};
  std::atomic<int> issued{0}, refused{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 50; ++i) {
    threads.emplace_back([&] {
      Issued result = store_->IssueStamps(Message("ann@example.com", {"r@x"}, kMarch14), 0,
                                          [&] { return "C" + std::to_string(++counter); });
      (result.outcome == IssueOutcome::kIssued ? issued : refused)++;
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(issued, 20);
  EXPECT_EQ(refused, 30);
  EXPECT_EQ(store_->CreditLeft("ann@example.com", kMarch14), 0);
  MessageQuery query{store_->FindAccount("ann@example.com")->id, "", 0, 100, {}};
  EXPECT_EQ(store_->ListMessages(query).size(), 20u);
}

TEST_P(StoreTest, EventsOfKnownStampsAreRecordedInOrderAndOthersSkipped) {
  auto stamps = Issue(Message("ann@example.com", {"a@x", "b@x"}, kMarch14), 10);
  NewEvent machine = EventOn(stamps[1], EventType::kImage, kMarch14 + 2 * kSecond);
  machine.eventClass = EventClass::kMachine;
  machine.userAgent = "Scanner \"quoted\" \xE2\x9C\x93";
  machine.reason = "security scanner (Example \xE2\x9C\x93)";
  store_->RecordEvents({EventOn(stamps[0], EventType::kImage, kMarch14 + kSecond), machine,
                        EventOn("NoSuchStamp", EventType::kImage, kMarch14),
                        EventOn(stamps[0], EventType::kReceipt, kMarch14 + 3 * kSecond)});
  store_->RecordEvents({});
  auto message = store_->GetMessage(store_->FindStamp(stamps[0])->accountId, store_->FindStamp(stamps[0])->messageId);
  ASSERT_TRUE(message);
  ASSERT_EQ(message->recipients.size(), 2u);
  const auto& a = message->recipients[0].events;
  ASSERT_EQ(a.size(), 2u);
  EXPECT_EQ(a[0].type, EventType::kImage);
  EXPECT_EQ(a[0].time, kMarch14 + kSecond);
  EXPECT_EQ(a[0].ip, "198.51.100.4");
  EXPECT_EQ(a[0].userAgent, "Mail/1.0");
  EXPECT_EQ(a[0].reason, "a mail program");
  EXPECT_EQ(a[1].type, EventType::kReceipt);
  const auto& b = message->recipients[1].events;
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0].eventClass, EventClass::kMachine);
  EXPECT_EQ(b[0].userAgent, machine.userAgent);
  EXPECT_EQ(b[0].reason, machine.reason);
}

// What a stamp's lookup tells of its persons' opens: each reason once, the
// machines' and other events' left out.
TEST_P(StoreTest, StampKnowsTheReasonsOfItsPersonsOpens) {
  auto stamps = Issue(Message("ann@example.com", {"a@x", "b@x"}, kMarch14), 10);
  EXPECT_TRUE(store_->FindStamp(stamps[0])->openReasons.empty());
  NewEvent gmail = EventOn(stamps[0], EventType::kImage, kMarch14 + kSecond);
  gmail.reason = "Gmail image proxy: opened by the reader; place hidden";
  NewEvent machine = EventOn(stamps[0], EventType::kImage, kMarch14 + kSecond);
  machine.eventClass = EventClass::kMachine;
  machine.reason = "security scanner (Example)";
  store_->RecordEvents({gmail, gmail, machine, EventOn(stamps[0], EventType::kReceipt, kMarch14 + kSecond),
                        EventOn(stamps[1], EventType::kImage, kMarch14 + kSecond)});
  EXPECT_EQ(store_->FindStamp(stamps[0])->openReasons, std::vector<std::string>{gmail.reason});
  EXPECT_EQ(store_->FindStamp(stamps[1])->openReasons, std::vector<std::string>{"a mail program"});
}

// A button pressed twice records one event; another class or type is another event.
TEST_P(StoreTest, RecordOnceKeepsOneEventPerTypeAndClass) {
  auto stamps = Issue(Message("ann@example.com", {"a@x"}, kMarch14), 10);
  const NewEvent receipt = EventOn(stamps[0], EventType::kReceipt, kMarch14 + kSecond);
  EXPECT_TRUE(store_->RecordOnce(receipt));
  EXPECT_FALSE(store_->RecordOnce(receipt));
  NewEvent machine = receipt;
  machine.eventClass = EventClass::kMachine;
  EXPECT_TRUE(store_->RecordOnce(machine));
  EXPECT_FALSE(store_->RecordOnce(EventOn("NoSuchStamp", EventType::kReceipt, kMarch14)));
  const auto info = store_->FindStamp(stamps[0]);
  const auto message = store_->GetMessage(info->accountId, info->messageId);
  ASSERT_EQ(message->recipients[0].events.size(), 2u);
  EXPECT_EQ(message->recipients[0].events[0].reason, "a mail program");
}

TEST_P(StoreTest, ServiceKeyIsMadeOnceAndKept) {
  EXPECT_EQ(store_->ServiceKey("form", "first"), "first");
  EXPECT_EQ(store_->ServiceKey("form", "second"), "first");
  EXPECT_EQ(store_->ServiceKey("other", "third"), "third");
}

}  // namespace
}  // namespace store_test
