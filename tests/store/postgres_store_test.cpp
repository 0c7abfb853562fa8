// What only the PostgreSQL engine has: several service processes sharing one
// database, migrations at start, connections lost and made again.
#include "service/store/postgres_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/postgres_server.h"

namespace {

using namespace mailwarden::store;
using testsupport::DatabaseOf;

constexpr Time kMarch15 = 1'773'532'800'000'000;  // 2026-03-15 00:00 UTC

NewMessage OneRecipient(const std::string& sender, int i) {
  NewMessage message;
  message.sender = sender;
  message.subject = "Request " + std::to_string(i);
  message.sentDate = "2026-03-15";
  message.sentTime = "10:00:00";
  message.issued = kMarch15;
  message.ip = "127.0.0.1";
  message.recipients.push_back({"r" + std::to_string(i) + "@example.org", "R"});
  return message;
}

TEST(PostgresStoreTest, TwoServiceProcessesNeverSpendMoreThanTheMonthHas) {
  auto& server = testsupport::SharedPostgres();
  const std::string url = server.NewDatabase();
  // Two stores with pools of their own: as two service processes.
  std::vector<std::unique_ptr<Store>> stores;
  stores.push_back(OpenPostgresStore(url, 8));
  stores.push_back(OpenPostgresStore(url, 8));
  stores[0]->AddAccount("ann@example.com", 20, kMarch15);

  std::atomic<int> issued{0}, refused{0}, stampCount{0};
  std::vector<std::thread> requests;
  for (int i = 0; i < 50; ++i) {
    requests.emplace_back([&, i] {
      const Issued result = stores[i % 2]->IssueStamps(OneRecipient("ann@example.com", i), 0,
                                                       [&] { return "s" + std::to_string(++stampCount); });
      (result.outcome == IssueOutcome::kIssued ? issued : refused)++;
      if (result.outcome == IssueOutcome::kInsufficientCredit) {
        EXPECT_EQ(result.creditLeft, 0);
      }
    });
  }
  for (auto& request : requests) request.join();

  EXPECT_EQ(issued, 20);
  EXPECT_EQ(refused, 30);
  const std::string database = DatabaseOf(url);
  EXPECT_EQ(server.Query(database, "SELECT count(*) FROM stamps"), "20");
  EXPECT_EQ(server.Query(database, "SELECT count(*) FROM messages"), "20");
  EXPECT_EQ(server.Query(database, "SELECT sum(used) FROM credit_months"), "20");
  EXPECT_EQ(stores[1]->CreditLeft("ann@example.com", kMarch15), 0);
}

TEST(PostgresStoreTest, NewSendersMadeAtOnceByTwoProcessesGetOneAccount) {
  const std::string url = testsupport::SharedPostgres().NewDatabase();
  auto first = OpenPostgresStore(url, 4);
  auto second = OpenPostgresStore(url, 4);
  std::atomic<int> stampCount{0}, issued{0};
  std::vector<std::thread> requests;
  for (int i = 0; i < 10; ++i) {
    requests.emplace_back([&, i] {
      Store& store = i % 2 ? *first : *second;
      const auto stamps = [&] { return "n" + std::to_string(++stampCount); };
      if (store.IssueStamps(OneRecipient("New@Example.com", i), 6, stamps).outcome == IssueOutcome::kIssued) {
        ++issued;
      }
    });
  }
  for (auto& request : requests) request.join();
  EXPECT_EQ(issued, 6);
  EXPECT_EQ(first->ListAccounts().size(), 1u);
}

TEST(PostgresStoreTest, MigrationsRunOnceWhenProcessesStartTogether) {
  auto& server = testsupport::SharedPostgres();
  const std::string url = server.NewDatabase();
  std::vector<std::thread> starts;
  std::atomic<int> opened{0};
  for (int i = 0; i < 4; ++i) {
    starts.emplace_back([&] {
      if (OpenPostgresStore(url, 1)->Healthy()) ++opened;
    });
  }
  for (auto& start : starts) start.join();
  EXPECT_EQ(opened, 4);
  const std::string database = DatabaseOf(url);
  EXPECT_EQ(server.Query(database, "SELECT count(*) FROM schema_version"),
            server.Query(database, "SELECT count(DISTINCT version) FROM schema_version"));
  EXPECT_EQ(server.Query(database, "SELECT min(version) FROM schema_version"), "1");

  // A database a newer program has migrated is not touched.
  server.Query(database, "INSERT INTO schema_version (version) VALUES (999)");
  try {
    OpenPostgresStore(url);
    FAIL() << "a newer schema was accepted";
  } catch (const StoreError& e) {
    EXPECT_NE(std::string(e.what()).find("999"), std::string::npos) << e.what();
  }
}

TEST(PostgresStoreTest, ALostConnectionFailsOneCallAndTheNextReconnects) {
  auto& server = testsupport::SharedPostgres();
  const std::string url = server.NewDatabase();
  auto store = OpenPostgresStore(url, 2);
  store->AddAccount("ann@example.com", 5, kMarch15);
  ASSERT_TRUE(store->Healthy());

  // The server ends every connection to the database (as on a restart).
  server.Query("postgres", "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE datname = '" +
                               DatabaseOf(url) + "'");
  EXPECT_THROW(store->CreditLeft("ann@example.com", kMarch15), StoreError);
  EXPECT_EQ(store->CreditLeft("ann@example.com", kMarch15), 5);
  EXPECT_TRUE(store->Healthy());

  EXPECT_THROW(OpenPostgresStore("postgresql:///nowhere?host=/nonexistent&connect_timeout=2"), StoreError);
}

// Events have no foreign key to their stamp: removing an account or purging
// old messages must still leave none of their events (IPs, User-Agents).
TEST(PostgresStoreTest, EventsGoWithTheirStamps) {
  auto& server = testsupport::SharedPostgres();
  const std::string url = server.NewDatabase();
  auto store = OpenPostgresStore(url);
  std::atomic<int> stampCount{0};
  const auto stamps = [&] { return "e" + std::to_string(++stampCount); };
  const auto eventsOf = [&](const std::string& stamp, Time time) {
    return NewEvent{stamp, EventType::kImage, EventClass::kPerson, time, "127.0.0.1", "Mail/1.0", ""};
  };
  constexpr Time kDay = 86'400'000'000;
  const std::string ann = store->IssueStamps(OneRecipient("ann@example.com", 1), 5, stamps).stamps[0];
  NewMessage old = OneRecipient("bob@example.com", 2);
  old.issued = kMarch15 - 100 * kDay;
  const std::string bobOld = store->IssueStamps(old, 5, stamps).stamps[0];
  const std::string bobNew = store->IssueStamps(OneRecipient("bob@example.com", 3), 5, stamps).stamps[0];
  store->RecordEvents(
      // Two minutes apart: events alike within a minute would be one.
      {eventsOf(ann, kMarch15), eventsOf(ann, kMarch15 + 120'000'000), eventsOf(bobOld, kMarch15),
       eventsOf(bobNew, kMarch15)});
  const std::string database = DatabaseOf(url);
  ASSERT_EQ(server.Query(database, "SELECT count(*) FROM events"), "4");

  EXPECT_TRUE(store->RemoveAccount("ann@example.com"));
  EXPECT_EQ(server.Query(database, "SELECT count(*) FROM events"), "2");
  EXPECT_EQ(store->PurgeBefore(kMarch15 - 50 * kDay), 1);
  EXPECT_EQ(server.Query(database, "SELECT count(*) FROM events"), "1");
  EXPECT_EQ(server.Query(database, "SELECT s.stamp FROM events e JOIN stamps s ON s.id = e.stamp_id"), bobNew);
}

// PostgreSQL refuses NUL and bytes that are not UTF-8, which a User-Agent
// header may well hold: such text is stored readable rather than failing the
// whole batch, and a stamp looked up with it is simply unknown.
TEST(PostgresStoreTest, TextPostgresqlRefusesIsStoredReadably) {
  auto store = OpenPostgresStore(testsupport::SharedPostgres().NewDatabase());
  store->AddAccount("ann@example.com", 10, kMarch15);
  std::atomic<int> stampCount{0};
  NewMessage message = OneRecipient("ann@example.com", 1);
  message.subject = std::string("Bad \xff subject\0", 14);
  const Issued issued = store->IssueStamps(message, 0, [&] { return "t" + std::to_string(++stampCount); });
  ASSERT_EQ(issued.outcome, IssueOutcome::kIssued);
  const std::string stamp = issued.stamps[0];
  const std::vector<std::string> agents = {std::string("bad \xff\0 bytes", 12), "{\"a\",b}\\c", "\xe2\x82", "",
                                           "tab\there\r\nnext line \\N"};
  std::vector<NewEvent> events;
  // From clients of their own: events alike within a minute would be one.
  for (const auto& agent : agents) {
    events.push_back({stamp, EventType::kImage, EventClass::kPerson, kMarch15,
                      "127.0.0." + std::to_string(events.size() + 1), agent, agent});
  }
  store->RecordEvents(events);

  const auto view = store->GetMessage(store->FindStamp(stamp)->accountId, issued.messageId);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->subject, "Bad \xEF\xBF\xBD subject");
  const auto& recorded = view->recipients.at(0).events;
  ASSERT_EQ(recorded.size(), 5u);
  EXPECT_EQ(recorded[0].userAgent, "bad \xEF\xBF\xBD bytes");
  EXPECT_EQ(recorded[1].userAgent, "{\"a\",b}\\c");
  EXPECT_EQ(recorded[2].userAgent, "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(recorded[3].userAgent, "");
  EXPECT_EQ(recorded[4].userAgent, "tab\there\r\nnext line \\N");
  for (const auto& event : recorded) EXPECT_EQ(event.reason, event.userAgent);
  EXPECT_FALSE(store->FindStamp(stamp + std::string("\0", 1)));
  EXPECT_FALSE(store->FindStamp("\xff\xfe"));
  EXPECT_EQ(store->ReadCertified({"\xff", EventType::kRead, EventClass::kPerson, kMarch15, "", "", ""}).state,
            CertifiedState::kUnknown);
}

// One statement counts several keys; the same key twice in one call (which
// one statement may not update twice) is counted twice all the same.
TEST(PostgresStoreTest, SeveralAttemptsAtOnceCountTheSameKeyTwice) {
  auto store = OpenPostgresStore(testsupport::SharedPostgres().NewDatabase());
  const std::vector<std::pair<std::string, std::string>> twice = {{"stamp:ip", "192.0.2.7"}, {"stamp:ip", "192.0.2.7"}};
  EXPECT_EQ(store->CountAttempts(twice, kMarch15, kMarch15), (std::vector<int>{1, 2}));
  EXPECT_EQ(store->CountAttempts({{"stamp:ip", "192.0.2.7"}, {"stamp:address", "a@example.com"}}, kMarch15, kMarch15),
            (std::vector<int>{3, 1}));
}

TEST(PostgresStoreTest, TakesEveryFormOfConnectionString) {
  auto& server = testsupport::SharedPostgres();
  const std::string database = DatabaseOf(server.NewDatabase());
  const std::string keyValue = "host=" + server.Folder() + " user=postgres dbname=" + database;
  for (const std::string& url :
       {server.Url(database), "postgres:///" + database + "?host=" + server.Folder() + "&user=postgres", keyValue}) {
    EXPECT_TRUE(IsPostgresUrl(url)) << url;
    EXPECT_TRUE(OpenPostgresStore(url)->Healthy()) << url;
  }
  EXPECT_FALSE(IsPostgresUrl("sqlite:mailwarden.db"));
  EXPECT_FALSE(IsPostgresUrl("sqlite:a=b.db"));
  EXPECT_FALSE(IsPostgresUrl("mailwarden.db"));
}

}  // namespace
