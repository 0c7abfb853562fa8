// What every store engine does, run here on PostgreSQL (a fresh database per
// test on the run's throw-away server).
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "service/store/postgres_store.h"
#include "support/postgres_server.h"

namespace {

using namespace mailwarden::store;

constexpr Time kSecond = 1'000'000;
constexpr Time kDay = 86'400 * kSecond;
constexpr Time kMarch15 = 1'773'532'800 * kSecond;  // 2026-03-15 00:00 UTC
constexpr Time kApril1 = 1'775'001'600 * kSecond;   // 2026-04-01 00:00 UTC

MessageQuery Query(std::int64_t accountId, std::string search = "", std::int64_t beforeId = 0, int limit = 50) {
  MessageQuery query;
  query.accountId = accountId;
  query.search = std::move(search);
  query.beforeId = beforeId;
  query.limit = limit;
  return query;
}

class StoreTest : public ::testing::Test {
 protected:
  StoreTest() : store_(OpenPostgresStore(testsupport::SharedPostgres().NewDatabase())) {}

  std::function<std::string()> Stamps() {
    return [this] { return "st" + std::to_string(++stampCount_); };
  }

  static NewMessage Message(std::string sender, std::vector<std::string> recipients, Time issued = kMarch15,
                            Kind kind = Kind::kTracked) {
    NewMessage message;
    message.sender = std::move(sender);
    message.kind = kind;
    message.subject = "Quarterly figures";
    message.sentDate = "2026-03-15";
    message.sentTime = "09:30:00";
    message.issued = issued;
    message.ip = "127.0.0.9";
    for (auto& address : recipients) message.recipients.push_back({address, "Name of " + address});
    if (kind == Kind::kCertified) {
      message.fromName = "Ann Sender";
      message.content = "<p>The figures</p>";
      message.isHtml = true;
    }
    return message;
  }

  static NewEvent EventOf(std::string stamp, EventType type, Time time, std::string userAgent = "Mail/1.0") {
    return NewEvent{std::move(stamp), type, EventClass::kPerson, time, "127.0.0.7", std::move(userAgent)};
  }

  std::unique_ptr<Store> store_;
  std::atomic<int> stampCount_{0};
};

TEST_F(StoreTest, AccountsAreKeptLowerCaseAndFoundInAnyCase) {
  const Account added = store_->AddAccount("Ann@Example.COM", 20, kMarch15);
  EXPECT_EQ(added.address, "ann@example.com");
  EXPECT_EQ(added.monthlyCredit, 20);
  EXPECT_EQ(added.codepage, 1252);
  EXPECT_EQ(added.created, kMarch15);
  EXPECT_TRUE(added.passwordHash.empty());
  EXPECT_THROW(store_->AddAccount("ANN@example.com", 5, kMarch15), StoreError);

  store_->AddAccount("bob@example.com", 3, kMarch15);
  EXPECT_TRUE(store_->SetMonthlyCredit("ANN@EXAMPLE.COM", 30));
  EXPECT_TRUE(store_->SetPasswordHash("ann@example.com", "$argon2id$v=19$x"));
  EXPECT_TRUE(store_->SetCodepage("ann@example.com", 1251));
  EXPECT_FALSE(store_->SetMonthlyCredit("nobody@example.com", 1));
  EXPECT_FALSE(store_->SetPasswordHash("nobody@example.com", "x"));
  EXPECT_FALSE(store_->SetCodepage("nobody@example.com", 1251));

  const auto found = store_->FindAccount("aNN@example.com");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->id, added.id);
  EXPECT_EQ(found->monthlyCredit, 30);
  EXPECT_EQ(found->passwordHash, "$argon2id$v=19$x");
  EXPECT_EQ(found->codepage, 1251);
  EXPECT_FALSE(store_->FindAccount("nobody@example.com"));

  const auto accounts = store_->ListAccounts();
  ASSERT_EQ(accounts.size(), 2u);
  EXPECT_EQ(accounts[0].address, "ann@example.com");
  EXPECT_EQ(accounts[1].address, "bob@example.com");
}

TEST_F(StoreTest, RemovingAnAccountTakesAllItsData) {
  const Account ann = store_->AddAccount("ann@example.com", 10, kMarch15);
  store_->AddAccount("bob@example.com", 10, kMarch15);
  const Issued issued = store_->IssueStamps(Message("ann@example.com", {"r@example.org"}), 0, Stamps());
  const Issued bobs = store_->IssueStamps(Message("bob@example.com", {"r@example.org"}), 0, Stamps());
  store_->RecordEvents({EventOf(issued.stamps[0], EventType::kImage, kMarch15 + kSecond)});
  store_->CreateSession("token", Session{ann.id, "csrf", kMarch15});

  EXPECT_TRUE(store_->RemoveAccount("ANN@example.com"));
  EXPECT_FALSE(store_->RemoveAccount("ann@example.com"));
  EXPECT_FALSE(store_->FindAccount("ann@example.com"));
  EXPECT_FALSE(store_->FindStamp(issued.stamps[0]));
  EXPECT_FALSE(store_->GetMessage(ann.id, issued.messageId));
  EXPECT_FALSE(store_->TouchSession("token", 0, kMarch15));
  EXPECT_TRUE(store_->FindStamp(bobs.stamps[0]));
  // The address can be taken anew, starting with a whole month's credit.
  store_->AddAccount("ann@example.com", 4, kMarch15);
  EXPECT_EQ(store_->CreditLeft("ann@example.com", kMarch15), 4);
}

TEST_F(StoreTest, StampsTakeCreditOfTheCalendarMonthAllOrNothing) {
  store_->AddAccount("ann@example.com", 3, kMarch15);
  EXPECT_EQ(store_->CreditLeft("Ann@example.com", kMarch15), 3);
  EXPECT_FALSE(store_->CreditLeft("nobody@example.com", kMarch15));

  const Issued two = store_->IssueStamps(Message("ANN@example.com", {"a@x.org", "b@x.org"}), 0, Stamps());
  EXPECT_EQ(two.outcome, IssueOutcome::kIssued);
  EXPECT_EQ(two.stamps, (std::vector<std::string>{"st1", "st2"}));
  EXPECT_EQ(two.creditLeft, 1);
  EXPECT_GT(two.messageId, 0);

  const Issued refused = store_->IssueStamps(Message("ann@example.com", {"a@x.org", "b@x.org"}), 0, Stamps());
  EXPECT_EQ(refused.outcome, IssueOutcome::kInsufficientCredit);
  EXPECT_TRUE(refused.stamps.empty());
  EXPECT_EQ(refused.creditLeft, 1);
  EXPECT_EQ(store_->CreditLeft("ann@example.com", kMarch15), 1);
  EXPECT_EQ(store_->ListMessages(Query(store_->FindAccount("ann@example.com")->id)).size(), 1u);

  // The last second of March is still March; April starts afresh.
  EXPECT_EQ(store_->IssueStamps(Message("ann@example.com", {"c@x.org"}), 0, Stamps()).creditLeft, 0);
  EXPECT_EQ(store_->IssueStamps(Message("ann@example.com", {"d@x.org"}, kApril1 - 1), 0, Stamps()).outcome,
            IssueOutcome::kInsufficientCredit);
  EXPECT_EQ(store_->CreditLeft("ann@example.com", kApril1), 3);
  EXPECT_EQ(store_->IssueStamps(Message("ann@example.com", {"d@x.org"}, kApril1), 0, Stamps()).creditLeft, 2);

  // A credit lowered below what the month used issues nothing more.
  ASSERT_TRUE(store_->SetMonthlyCredit("ann@example.com", 1));
  EXPECT_EQ(store_->IssueStamps(Message("ann@example.com", {"e@x.org"}), 0, Stamps()).outcome,
            IssueOutcome::kInsufficientCredit);
  EXPECT_EQ(store_->CreditLeft("ann@example.com", kApril1), 0);
}

TEST_F(StoreTest, AnUnknownSenderGetsAnAccountOnlyWithNewSenderCredit) {
  const Issued unknown = store_->IssueStamps(Message("new@example.com", {"a@x.org"}), 0, Stamps());
  EXPECT_EQ(unknown.outcome, IssueOutcome::kUnknownSender);
  EXPECT_TRUE(unknown.stamps.empty());
  EXPECT_FALSE(store_->FindAccount("new@example.com"));

  const Issued welcomed = store_->IssueStamps(Message("New@Example.com", {"a@x.org", "b@x.org"}), 5, Stamps());
  EXPECT_EQ(welcomed.outcome, IssueOutcome::kIssued);
  EXPECT_EQ(welcomed.creditLeft, 3);
  const auto account = store_->FindAccount("new@example.com");
  ASSERT_TRUE(account);
  EXPECT_EQ(account->monthlyCredit, 5);

  // A new sender asking for more than the new credit gets the account but no stamps.
  EXPECT_EQ(store_->IssueStamps(Message("big@example.com", {"a", "b", "c"}), 2, Stamps()).outcome,
            IssueOutcome::kInsufficientCredit);
}

TEST_F(StoreTest, AStampTellsWhatWasIssued) {
  const Account ann = store_->AddAccount("ann@example.com", 10, kMarch15);
  NewMessage message = Message("ann@example.com", {"Rita@Example.org"});
  message.recipients[0].name = "Rita \"R\" Zoë";
  message.subject = "Figures, {braces}, \\ and \"quotes\"";
  const Issued issued = store_->IssueStamps(message, 0, Stamps());
  const auto info = store_->FindStamp(issued.stamps[0]);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->stamp, issued.stamps[0]);
  EXPECT_EQ(info->messageId, issued.messageId);
  EXPECT_EQ(info->accountId, ann.id);
  EXPECT_EQ(info->sender, "ann@example.com");
  EXPECT_EQ(info->recipient, "Rita@Example.org");  // as the sender wrote it
  EXPECT_EQ(info->recipientName, "Rita \"R\" Zoë");
  EXPECT_EQ(info->kind, Kind::kTracked);
  EXPECT_EQ(info->subject, message.subject);
  EXPECT_EQ(info->issued, kMarch15);
  EXPECT_EQ(info->issuerIp, "127.0.0.9");
  EXPECT_FALSE(info->cancelled);
  EXPECT_FALSE(store_->FindStamp("no-such-stamp"));
  EXPECT_FALSE(store_->FindStamp(std::string("st1\0x", 5)));
  EXPECT_FALSE(store_->FindStamp("\xff\xfe"));
}

TEST_F(StoreTest, AStampMeetingAnIssuedOneIsDrawnAgain) {
  store_->AddAccount("ann@example.com", 10, kMarch15);
  const Issued first = store_->IssueStamps(Message("ann@example.com", {"a@x.org"}), 0, Stamps());
  std::vector<std::string> draws = {first.stamps[0], first.stamps[0], "fresh-1", "fresh-2"};
  const Issued second = store_->IssueStamps(Message("ann@example.com", {"b@x.org", "c@x.org"}), 0, [&] {
    std::string stamp = draws.front();
    draws.erase(draws.begin());
    return stamp;
  });
  ASSERT_EQ(second.outcome, IssueOutcome::kIssued);
  EXPECT_EQ(second.stamps, (std::vector<std::string>{"fresh-1", "fresh-2"}));
  EXPECT_EQ(store_->FindStamp("fresh-2")->recipient, "c@x.org");
  EXPECT_EQ(store_->FindStamp(first.stamps[0])->recipient, "a@x.org");
  EXPECT_EQ(second.creditLeft, 7);
}

TEST_F(StoreTest, EventsAreRecordedInBatchesAndShownInTheirOrder) {
  const Account ann = store_->AddAccount("ann@example.com", 10, kMarch15);
  const Issued issued = store_->IssueStamps(Message("ann@example.com", {"a@x.org", "b@x.org"}), 0, Stamps());
  // Agents with what an array literal must escape, and bytes that are not UTF-8.
  store_->RecordEvents({
      EventOf(issued.stamps[1], EventType::kReceipt, kMarch15 + 3 * kSecond, "Agent \"quoted\", {x}\\y"),
      EventOf("unknown-stamp", EventType::kImage, kMarch15 + kSecond),
      EventOf(issued.stamps[0], EventType::kImage, kMarch15 + kSecond, ""),
      EventOf(issued.stamps[0], EventType::kImage, kMarch15 + 2 * kSecond, std::string("bad \xff\0 bytes", 12)),
  });
  store_->RecordEvents({});

  const auto message = store_->GetMessage(ann.id, issued.messageId);
  ASSERT_TRUE(message);
  ASSERT_EQ(message->recipients.size(), 2u);
  EXPECT_EQ(message->recipients[0].address, "a@x.org");
  EXPECT_EQ(message->recipients[0].name, "Name of a@x.org");
  const auto& first = message->recipients[0].events;
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].time, kMarch15 + kSecond);
  EXPECT_EQ(first[0].userAgent, "");
  EXPECT_EQ(first[1].userAgent, "bad \xEF\xBF\xBD bytes");
  EXPECT_EQ(first[1].ip, "127.0.0.7");
  EXPECT_EQ(first[1].type, EventType::kImage);
  EXPECT_EQ(first[1].eventClass, EventClass::kPerson);
  const auto& second = message->recipients[1].events;
  ASSERT_EQ(second.size(), 1u);
  EXPECT_EQ(second[0].type, EventType::kReceipt);
  EXPECT_EQ(second[0].userAgent, "Agent \"quoted\", {x}\\y");
  // Another sender's message is not shown to this account.
  EXPECT_FALSE(store_->GetMessage(ann.id + 1, issued.messageId));
}

TEST_F(StoreTest, CertifiedMessagesAreReadUntilCancelledOrExpired) {
  const Account ann = store_->AddAccount("ann@example.com", 10, kMarch15);
  const Issued tracked = store_->IssueStamps(Message("ann@example.com", {"a@x.org"}), 0, Stamps());
  const Issued certified =
      store_->IssueStamps(Message("ann@example.com", {"a@x.org", "b@x.org"}, kMarch15, Kind::kCertified), 0, Stamps());

  EXPECT_EQ(store_->ReadCertified(EventOf("nothing", EventType::kRead, kMarch15)).state, CertifiedState::kUnknown);
  EXPECT_EQ(store_->ReadCertified(EventOf(tracked.stamps[0], EventType::kRead, kMarch15)).state,
            CertifiedState::kNotCertified);
  const Certified read = store_->ReadCertified(EventOf(certified.stamps[0], EventType::kRead, kMarch15 + kSecond));
  EXPECT_EQ(read.state, CertifiedState::kFound);
  EXPECT_EQ(read.content, "<p>The figures</p>");
  EXPECT_TRUE(read.isHtml);
  EXPECT_EQ(read.fromName, "Ann Sender");
  EXPECT_EQ(read.info.sender, "ann@example.com");
  EXPECT_EQ(read.info.kind, Kind::kCertified);

  EXPECT_EQ(store_->Cancel(EventOf("nothing", EventType::kCancel, kMarch15)), CertifiedState::kUnknown);
  EXPECT_EQ(store_->Cancel(EventOf(tracked.stamps[0], EventType::kCancel, kMarch15)), CertifiedState::kNotCertified);
  EXPECT_EQ(store_->Cancel(EventOf(certified.stamps[0], EventType::kCancel, kMarch15 + 2 * kSecond)),
            CertifiedState::kFound);
  EXPECT_EQ(store_->Cancel(EventOf(certified.stamps[0], EventType::kCancel, kMarch15 + 3 * kSecond)),
            CertifiedState::kCancelled);
  const Certified cancelled = store_->ReadCertified(EventOf(certified.stamps[0], EventType::kRead, kMarch15));
  EXPECT_EQ(cancelled.state, CertifiedState::kCancelled);
  EXPECT_EQ(cancelled.content, "");
  EXPECT_TRUE(store_->FindStamp(certified.stamps[0])->cancelled);
  // The other recipient still reads it.
  EXPECT_EQ(store_->ReadCertified(EventOf(certified.stamps[1], EventType::kRead, kMarch15)).state,
            CertifiedState::kFound);

  auto view = store_->GetMessage(ann.id, certified.messageId);
  ASSERT_TRUE(view);
  EXPECT_TRUE(view->hasContent);
  EXPECT_TRUE(view->recipients[0].cancelled);
  ASSERT_EQ(view->recipients[0].events.size(), 2u);  // one read, one cancel
  EXPECT_EQ(view->recipients[0].events[0].type, EventType::kRead);
  EXPECT_EQ(view->recipients[0].events[1].type, EventType::kCancel);

  // Every delivery cancelled: the content is not kept.
  EXPECT_EQ(store_->Cancel(EventOf(certified.stamps[1], EventType::kCancel, kMarch15)), CertifiedState::kFound);
  EXPECT_FALSE(store_->GetMessage(ann.id, certified.messageId)->hasContent);
}

TEST_F(StoreTest, ExpiryDeletesContentAndPurgeDeletesRecords) {
  const Account ann = store_->AddAccount("ann@example.com", 10, kMarch15);
  const Issued old =
      store_->IssueStamps(Message("ann@example.com", {"a@x.org"}, kMarch15 - 40 * kDay, Kind::kCertified), 0, Stamps());
  const Issued recent =
      store_->IssueStamps(Message("ann@example.com", {"a@x.org"}, kMarch15 - kDay, Kind::kCertified), 0, Stamps());
  store_->IssueStamps(Message("ann@example.com", {"a@x.org"}, kMarch15 - 40 * kDay), 0, Stamps());
  store_->RecordEvents({EventOf(old.stamps[0], EventType::kImage, kMarch15 - 39 * kDay)});

  EXPECT_EQ(store_->ExpireContent(kMarch15 - 30 * kDay), 1);
  EXPECT_EQ(store_->ExpireContent(kMarch15 - 30 * kDay), 0);
  const Certified expired = store_->ReadCertified(EventOf(old.stamps[0], EventType::kRead, kMarch15));
  EXPECT_EQ(expired.state, CertifiedState::kExpired);
  EXPECT_EQ(expired.content, "");
  EXPECT_EQ(expired.info.subject, "Quarterly figures");  // the record stays
  EXPECT_FALSE(store_->GetMessage(ann.id, old.messageId)->hasContent);
  EXPECT_EQ(store_->ReadCertified(EventOf(recent.stamps[0], EventType::kRead, kMarch15)).state, CertifiedState::kFound);

  EXPECT_EQ(store_->PurgeBefore(kMarch15 - 30 * kDay), 2);
  EXPECT_FALSE(store_->FindStamp(old.stamps[0]));
  EXPECT_TRUE(store_->FindStamp(recent.stamps[0]));
  EXPECT_EQ(store_->ListMessages(Query(ann.id)).size(), 1u);
}

TEST_F(StoreTest, PagesListNewestFirstByKeyAndSearchSubjectAndRecipients) {
  const Account ann = store_->AddAccount("ann@example.com", 100, kMarch15);
  const Account bob = store_->AddAccount("bob@example.com", 100, kMarch15);
  std::vector<std::int64_t> ids;
  for (int i = 0; i < 7; ++i) {
    NewMessage message = Message("ann@example.com", {"r" + std::to_string(i) + "@x.org"});
    message.subject = "Report " + std::to_string(i) + (i % 3 == 0 ? " BUDGET" : "");
    if (i == 5) message.recipients[0].name = "Carol Budgetsson";
    ids.push_back(store_->IssueStamps(message, 0, Stamps()).messageId);
  }
  store_->IssueStamps(Message("bob@example.com", {"budget@x.org"}), 0, Stamps());

  std::vector<std::int64_t> paged;
  for (std::int64_t before = 0;;) {
    const auto page = store_->ListMessages(Query(ann.id, "", before, 3));
    if (page.empty()) break;
    EXPECT_LE(page.size(), 3u);
    for (const auto& message : page) paged.push_back(message.id);
    before = page.back().id;
  }
  EXPECT_EQ(paged, std::vector<std::int64_t>(ids.rbegin(), ids.rend()));

  const auto found = store_->ListMessages(Query(ann.id, "budget"));
  std::vector<std::int64_t> foundIds;
  for (const auto& message : found) foundIds.push_back(message.id);
  EXPECT_EQ(foundIds, (std::vector<std::int64_t>{ids[6], ids[5], ids[3], ids[0]}));
  ASSERT_EQ(found[1].recipients.size(), 1u);
  EXPECT_EQ(found[1].recipients[0].name, "Carol Budgetsson");

  const auto byAddress = store_->ListMessages(Query(ann.id, "R4@X"));
  ASSERT_EQ(byAddress.size(), 1u);
  EXPECT_EQ(byAddress[0].id, ids[4]);
  EXPECT_EQ(byAddress[0].subject, "Report 4");
  EXPECT_EQ(byAddress[0].sentDate, "2026-03-15");
  EXPECT_EQ(byAddress[0].sentTime, "09:30:00");
  EXPECT_EQ(byAddress[0].issued, kMarch15);
  EXPECT_EQ(byAddress[0].kind, Kind::kTracked);
  EXPECT_FALSE(byAddress[0].hasContent);
  // Wildcards of LIKE are plain characters here.
  EXPECT_TRUE(store_->ListMessages(Query(ann.id, "%")).empty());
  EXPECT_EQ(store_->ListMessages(Query(bob.id, "budget")).size(), 1u);
}

TEST_F(StoreTest, SessionsLastWhileUsed) {
  const Account ann = store_->AddAccount("ann@example.com", 1, kMarch15);
  store_->CreateSession("hash-1", Session{ann.id, "csrf-1", kMarch15});
  const auto touched = store_->TouchSession("hash-1", kMarch15 - kDay, kMarch15 + kSecond);
  ASSERT_TRUE(touched);
  EXPECT_EQ(touched->accountId, ann.id);
  EXPECT_EQ(touched->csrf, "csrf-1");
  EXPECT_EQ(touched->lastSeen, kMarch15 + kSecond);
  // Idle since before the limit: not found.
  EXPECT_FALSE(store_->TouchSession("hash-1", kMarch15 + 2 * kSecond, kMarch15 + 3 * kSecond));
  EXPECT_FALSE(store_->TouchSession("unknown", 0, kMarch15));

  store_->CreateSession("hash-2", Session{ann.id, "csrf-2", kMarch15});
  store_->DeleteSession("hash-2");
  EXPECT_FALSE(store_->TouchSession("hash-2", 0, kMarch15));
}

TEST_F(StoreTest, AttemptsAreCountedPerKindKeyAndWindow) {
  EXPECT_EQ(store_->CountAttempt("stamp", "127.0.0.1", kMarch15, kMarch15), 1);
  EXPECT_EQ(store_->CountAttempt("stamp", "127.0.0.1", kMarch15, kMarch15 + 1), 2);
  EXPECT_EQ(store_->CountAttempt("stamp", "127.0.0.2", kMarch15, kMarch15 + 1), 1);
  EXPECT_EQ(store_->CountAttempt("signin", "127.0.0.1", kMarch15, kMarch15 + 1), 1);
  EXPECT_EQ(store_->CountAttempt("stamp", "127.0.0.1", kMarch15 + 60 * kSecond, kMarch15 + 60 * kSecond), 1);
  EXPECT_TRUE(store_->Healthy());
}

}  // namespace
