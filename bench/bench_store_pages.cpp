// The sender's pages on a SQLite file holding 10,000 messages of one sender
// (three recipients each, some events): the newest page, a page deep in the
// keyset, one message, and searches by subject and by recipient.
// --messages=N sets the number of messages.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "bench/main.h"
#include "service/store/store.h"

namespace {

using namespace mailwarden::store;

long long gMessages = 10000;

// Joined by appending: GCC 12 warns wrongly about chains of string additions at -O3.
std::string Text(std::initializer_list<std::string> parts) {
  std::string text;
  for (const std::string& part : parts) text.append(part);
  return text;
}

struct Filled {
  Filled() {
    for (const char* end : {"", "-wal", "-shm"}) std::filesystem::remove(Text({path, end}));
    store = OpenStore(Text({"sqlite:", path}));
    int n = 0;
    for (int i = 0; i < gMessages; ++i) {
      NewMessage message;
      message.sender = "ann@example.com";
      message.subject = Text({"Report ", std::to_string(i), i % 100 == 0 ? " quarterly" : ""});
      message.sentDate = "2026-03-14";
      message.sentTime = "12:00:00";
      message.issued = 1773489600000000LL + i;
      message.ip = "192.0.2.1";
      for (int r = 0; r < 3; ++r) {
        message.recipients.push_back({Text({"r", std::to_string((i * 3 + r) % 997), "@example.org"}), "Recipient"});
      }
      Issued issued = store->IssueStamps(message, 1000000000, [&] { return Text({"S", std::to_string(++n)}); });
      if (i % 2 == 0)
        store->RecordEvents({NewEvent{issued.stamps[0], EventType::kImage, EventClass::kPerson, message.issued + 1,
                                      "198.51.100.1", "Mail/1.0", ""}});
      if (i == gMessages / 2) middle = issued.messageId;
    }
    account = store->FindAccount("ann@example.com")->id;
  }
  ~Filled() {
    store.reset();
    for (const char* end : {"", "-wal", "-shm"}) std::filesystem::remove(Text({path, end}));
  }
  std::string path =
      (std::filesystem::temp_directory_path() / Text({"bench-pages-", std::to_string(::getpid()), ".db"}));
  std::unique_ptr<Store> store;
  std::int64_t account = 0;
  std::int64_t middle = 0;
};

Filled& Data() {
  static Filled filled;
  return filled;
}

void BM_NewestPage(benchmark::State& state) {
  Filled& d = Data();
  for (auto _ : state) benchmark::DoNotOptimize(d.store->ListMessages({d.account, "", 0, 50, {}}));
}
BENCHMARK(BM_NewestPage)->Unit(benchmark::kMicrosecond);

void BM_PageInTheMiddle(benchmark::State& state) {
  Filled& d = Data();
  for (auto _ : state) benchmark::DoNotOptimize(d.store->ListMessages({d.account, "", d.middle, 50, {}}));
}
BENCHMARK(BM_PageInTheMiddle)->Unit(benchmark::kMicrosecond);

void BM_OneMessage(benchmark::State& state) {
  Filled& d = Data();
  for (auto _ : state) benchmark::DoNotOptimize(d.store->GetMessage(d.account, d.middle));
}
BENCHMARK(BM_OneMessage)->Unit(benchmark::kMicrosecond);

void BM_SearchSubject(benchmark::State& state) {
  Filled& d = Data();
  for (auto _ : state) benchmark::DoNotOptimize(d.store->ListMessages({d.account, "quarterly", 0, 50, {}}));
}
BENCHMARK(BM_SearchSubject)->Unit(benchmark::kMicrosecond);

void BM_SearchRecipient(benchmark::State& state) {
  Filled& d = Data();
  for (auto _ : state) benchmark::DoNotOptimize(d.store->ListMessages({d.account, "r500@", 0, 50, {}}));
}
BENCHMARK(BM_SearchRecipient)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return corvanta::bench::Main(argc, argv, {{"messages", &gMessages}});
}
