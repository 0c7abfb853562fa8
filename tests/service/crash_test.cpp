// The mailwarden program killed outright in the middle of every kind of
// request, then started again on the same database: every stamp, upload and
// cancellation it answered is there, the credit matches the stamps, and the
// database is sound. Runs on every engine that keeps a database on disk.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "addin_requests.h"
#include "protocol/service.h"
#include "service/context.h"
#include "service/store/store.h"
#include "support/child_program.h"
#include "support/loopback_client.h"
#include "support/press_button.h"
#include "support/store_engines.h"

namespace service_test {
namespace {

using namespace corvanta::protocol;
namespace store = mailwarden::store;

const std::string kProgram = std::string(CORVANTA_BINARY_DIR) + "/service/mailwarden";
constexpr int kCredit = 1000000;

std::vector<std::string> DurableUrls() {
  std::vector<std::string> urls;
  for (const std::string& url : testsupport::StoreEngineUrls()) {
    if (url != "sqlite::memory:") urls.push_back(url);
  }
  return urls;
}

class Server {
 public:
  explicit Server(const std::string& url)
      : program_(kProgram, {"serve", "--listen", "127.0.0.1:0", "--database", url, "--new-sender-credit",
                            std::to_string(kCredit), "--limit-per-address", "0", "--limit-per-ip", "0"}),
        port_(testsupport::ListeningPort(program_.Line())) {}
  int Port() const { return port_; }
  testsupport::ChildProgram& program() { return program_; }

 private:
  testsupport::ChildProgram program_;
  int port_;
};

// What the clients were told before the server died.
struct Answered {
  std::mutex mutex;
  std::vector<std::string> stamps;     // from stamp requests and uploads
  std::vector<std::string> certified;  // from uploads
  std::vector<std::string> cancelled;
  std::set<std::string> cancelAsked;  // a cancel sent, answered or not
  std::atomic<int> replies{0};
};

// One client doing a bit of everything until the server stops answering.
void Load(int port, int client, Answered& answered, std::atomic<bool>& stop) {
  httplib::Client http = testsupport::LoopbackClient(port);
  http.set_keep_alive(true);
  std::mt19937 random(static_cast<unsigned>(client));
  auto draws = [&] {
    std::uniform_int_distribution<int> digit(0, 61);
    return HashDraws{digit(random), digit(random), digit(random), digit(random)};
  };
  AddinSend send;
  send.from = "sender" + std::to_string(client) + "@example.com";
  send.to = {{"bob@example.org", "Bob"}, {"cy@example.org", "Cy"}};
  for (int round = 0; !stop; ++round) {
    send.subject = "Round " + std::to_string(round);
    auto stamps = http.Get(std::string(kStampPath) + "?" + StampQuery(send, draws()));
    if (!stamps) return;
    auto upload = http.Post(kUploadPath, UploadBody(send, draws()), "application/x-www-form-urlencoded");
    if (!upload) return;
    std::vector<std::string> tracked = StampsOf(stamps->body), certified = StampsOf(upload->body);
    {
      std::lock_guard lock(answered.mutex);
      answered.stamps.insert(answered.stamps.end(), tracked.begin(), tracked.end());
      answered.stamps.insert(answered.stamps.end(), certified.begin(), certified.end());
      answered.certified.insert(answered.certified.end(), certified.begin(), certified.end());
    }
    answered.replies += 2;
    if (tracked.empty() || certified.size() != 2) continue;
    if (!http.Get(std::string(kTrackPath) + "?img=1&" + tracked[0])) return;
    if (!testsupport::PressButton(http, std::string(kTrackPath) + "?" + tracked[1])) return;
    if (!testsupport::PressButton(http, std::string(kCertifiedPath) + "?" + certified[0])) return;
    {
      std::lock_guard lock(answered.mutex);
      answered.cancelAsked.insert(certified[1]);
    }
    auto cancel = testsupport::PressButton(http, std::string(kCertifiedPath) + "?" + certified[1] + "&cmd=del");
    if (!cancel) return;
    if (cancel->status == 200) {
      std::lock_guard lock(answered.mutex);
      answered.cancelled.push_back(certified[1]);
    }
    if (!http.Get(std::string(kCreditPath) + "?" + CreditQuery(send.from, draws()))) return;
    answered.replies += 5;
  }
}

class CrashTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kProgram)) << "build mailwarden first";
    testsupport::EmptyDatabase(GetParam());
  }
  void TearDown() override { testsupport::EmptyDatabase(GetParam()); }
};

TEST_P(CrashTest, EverythingAnsweredSurvivesAKill) {
  Answered answered;
  {
    Server server(GetParam());
    ASSERT_GT(server.Port(), 0);
    std::atomic<bool> stop{false};
    std::vector<std::thread> clients;
    for (int client = 0; client < 4; ++client) {
      clients.emplace_back([&, client] { Load(server.Port(), client, answered, stop); });
    }
    // Killed while requests of every kind are under way.
    while (answered.replies < 200) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    server.program().Signal(SIGKILL);
    EXPECT_EQ(server.program().Wait(), -1);
    stop = true;
    for (auto& client : clients) client.join();
  }
  ASSERT_FALSE(answered.stamps.empty());
  ASSERT_FALSE(answered.cancelled.empty());

  // Started again on the same database, it serves.
  Server again(GetParam());
  ASSERT_GT(again.Port(), 0);
  httplib::Client http = testsupport::LoopbackClient(again.Port());
  auto health = http.Get("/healthz");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);
  again.program().Signal(SIGTERM);
  EXPECT_EQ(again.program().Wait(), 0);

  auto db = store::OpenStore(GetParam());
  for (const std::string& stamp : answered.stamps) EXPECT_TRUE(db->FindStamp(stamp)) << stamp;
  for (const std::string& stamp : answered.cancelled) {
    auto info = db->FindStamp(stamp);
    ASSERT_TRUE(info) << stamp;
    EXPECT_TRUE(info->cancelled) << stamp;
  }
  std::set<std::string> cancelled(answered.cancelled.begin(), answered.cancelled.end());
  for (const std::string& stamp : answered.certified) {
    if (cancelled.contains(stamp)) continue;
    store::NewEvent read;
    read.stamp = stamp;
    read.type = store::EventType::kRead;
    store::CertifiedState state = db->ReadCertified(read).state;
    // A cancel the server took but could not answer before it died may be there or not.
    if (state == store::CertifiedState::kCancelled && answered.cancelAsked.contains(stamp)) continue;
    EXPECT_EQ(state, store::CertifiedState::kFound) << stamp;
  }
  // Every stamp kept took its credit, and no credit was taken for a stamp not kept.
  for (const store::Account& account : db->ListAccounts()) {
    std::size_t stamps = 0;
    for (const auto& message : db->ListMessages({account.id, "", 0, 100000, {}})) stamps += message.recipients.size();
    EXPECT_EQ(db->CreditLeft(account.address, mailwarden::SystemNow()), kCredit - static_cast<int>(stamps))
        << account.address;
  }
  db.reset();

  if (GetParam().starts_with("sqlite:")) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(GetParam().substr(7).c_str(), &raw), SQLITE_OK);
    std::string verdict;
    sqlite3_exec(
        raw, "PRAGMA integrity_check",
        [](void* out, int, char** values, char**) {
          *static_cast<std::string*>(out) += values[0] ? values[0] : "";
          return 0;
        },
        &verdict, nullptr);
    sqlite3_close(raw);
    EXPECT_EQ(verdict, "ok");
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, CrashTest, ::testing::ValuesIn(DurableUrls()),
                         [](const auto& engine) { return testsupport::EngineName(engine.param); });

}  // namespace
}  // namespace service_test
