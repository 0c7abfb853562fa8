// The sender's pages on PostgreSQL: one sender with 10,000 messages among
// a million stamps (500,000 messages of 1,000 senders, two recipients and
// two events each), on a throw-away server. Goal: each page under 50 ms.
// --messages=N sets the number of messages (the sender has every 50th).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include "bench/main.h"
#include "service/store/postgres_store.h"
#include "support/postgres_server.h"

namespace {

using namespace mailwarden::store;

long long gMessages = 500'000;
constexpr long long kEvery = 50;  // the sender's share: every 50th message
constexpr std::size_t kPage = 50;

// Filled with SQL, not stamp requests, to be quick; the search column is
// what the store writes: subject, then each recipient's address and name,
// one per line, in ASCII lower case. MESSAGES stands for the count.
constexpr const char* kFill = R"sql(
INSERT INTO accounts (address, monthly_credit, created)
  SELECT 'sender' || g || '@example.com', 1000000, 0 FROM generate_series(1, 1000) g;
INSERT INTO messages (account_id, kind, subject, sent_date, sent_time, issued, ip, from_name, content, is_html, search)
  SELECT CASE WHEN g % 50 = 0 THEN 1 ELSE 2 + g % 999 END, 0, 'Report ' || g || ' ' || md5(g::text),
         '2026-03-15', '10:00:00', g::bigint * 1000000, '127.0.0.1', '', NULL, false,
         lower('Report ' || g || ' ' || md5(g::text) || E'\nr' || g || E'@example.org\nReader ' || g ||
               E'\nq' || g || E'@example.org\nOther ' || g)
  FROM generate_series(1, MESSAGES) g;
INSERT INTO stamps (stamp, message_id, position, recipient, recipient_name)
  SELECT 's' || m.id || '-' || p, m.id, p, CASE p WHEN 0 THEN 'r' ELSE 'q' END || m.id || '@example.org',
         CASE p WHEN 0 THEN 'Reader ' ELSE 'Other ' END || m.id
  FROM messages m, generate_series(0, 1) p;
INSERT INTO events (stamp_id, type, class, time, ip, user_agent)
  SELECT s.id, e, 0, s.message_id * 1000000 + e, '127.0.0.1', 'Mozilla/5.0' FROM stamps s, generate_series(0, 1) e;
ANALYZE;
)sql";

std::string Fill() {
  constexpr std::string_view kCount = "MESSAGES";
  std::string sql = kFill;
  sql.replace(sql.find(kCount), kCount.size(), std::to_string(gMessages));
  return sql;
}

// How many of the sender's messages have an id below `below`.
long long SenderMessagesBelow(long long below) {
  return std::max(0LL, below - 1) / kEvery;
}

// The sender's messages whose subject starts "Report 1": their numbers start with 1.
std::size_t StartingWithOne() {
  std::size_t count = 0;
  for (long long id = kEvery; id <= gMessages && count < kPage; id += kEvery)
    if (std::to_string(id).front() == '1') ++count;
  return count;
}

// The message one page looks at: near a quarter of the way (123,450 in the full run), one of the sender's.
long long OneMessageId() {
  return std::max(kEvery, 123'450 * gMessages / 500'000 / kEvery * kEvery);
}

struct Pages {
  testsupport::PostgresServer server;
  std::unique_ptr<Store> store;
  std::int64_t sender = 0;

  Pages() {
    const std::string url = server.NewDatabase();
    store = OpenPostgresStore(url);
    server.Query(testsupport::DatabaseOf(url), Fill());
    sender = store->FindAccount("sender1@example.com")->id;
  }
};

Pages& Data() {
  static Pages pages;
  return pages;
}

void Run(benchmark::State& state, const MessageQuery& query, std::size_t expected) {
  Store& store = *Data().store;
  for (auto _ : state) {
    const auto messages = store.ListMessages(query);
    if (messages.size() != expected) state.SkipWithError("unexpected number of messages");
    benchmark::DoNotOptimize(messages.data());
  }
}

MessageQuery Query(std::string search, std::int64_t beforeId) {
  MessageQuery query;
  query.accountId = Data().sender;
  query.search = std::move(search);
  query.beforeId = beforeId;
  return query;
}

void BM_FirstPage(benchmark::State& state) {
  Run(state, Query("", 0), std::min<std::size_t>(kPage, SenderMessagesBelow(gMessages + 1)));
}
void BM_PageInTheMiddle(benchmark::State& state) {
  const long long middle = gMessages / 2;
  Run(state, Query("", middle), std::min<std::size_t>(kPage, SenderMessagesBelow(middle)));
}
void BM_SearchOneRecipient(benchmark::State& state) {
  Run(state, Query("Q" + std::to_string(OneMessageId()) + "@", 0), 1);
}
void BM_SearchSubjects(benchmark::State& state) {
  Run(state, Query("report 1", 0), StartingWithOne());
}
void BM_SearchNothingFound(benchmark::State& state) {
  Run(state, Query("no such words", 0), 0);
}
void BM_OneMessage(benchmark::State& state) {
  Store& store = *Data().store;
  for (auto _ : state) {
    auto message = store.GetMessage(Data().sender, OneMessageId());
    if (!message || message->recipients.size() != 2) state.SkipWithError("message not found");
  }
}

BENCHMARK(BM_FirstPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageInTheMiddle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchOneRecipient)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchSubjects)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SearchNothingFound)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneMessage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return corvanta::bench::Main(argc, argv, {{"messages", &gMessages}});
}
