// Two mailwarden processes sharing one PostgreSQL database, as behind a load
// balancer, or one SQLite file: fifty stamp requests at once for one sender
// with credit for twenty recipients, split between them, get exactly twenty
// stamps.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "addin_requests.h"
#include "protocol/service.h"
#include "service/context.h"
#include "service/store/store.h"
#include "support/child_program.h"
#include "support/loopback_client.h"
#include "support/postgres_server.h"

namespace service_test {
namespace {

using corvanta::protocol::HashDraws;
using corvanta::protocol::kStampPath;

const std::string kProgram = std::string(CORVANTA_BINARY_DIR) + "/service/mailwarden";
constexpr mailwarden::store::Time kStart = 1'773'532'800'000'000;  // 2026-03-15, UTC

class Server {
 public:
  explicit Server(const std::string& url)
      : program_(kProgram, {"serve", "--listen", "127.0.0.1:0", "--database", url, "--limit-per-address", "0",
                            "--limit-per-ip", "0"}),
        port_(testsupport::ListeningPort(program_.Line())) {}
  ~Server() {
    program_.Signal(SIGTERM);
    program_.Wait();
  }
  int Port() const { return port_; }

 private:
  testsupport::ChildProgram program_;
  int port_;
};

class SharedDatabaseTest : public ::testing::Test {
 protected:
  SharedDatabaseTest() { testsupport::EmptyPostgresDatabase(url_); }
  ~SharedDatabaseTest() override { testsupport::EmptyPostgresDatabase(url_); }

  const std::string url_ = testsupport::SharedPostgresUrl();
};

// Fifty requests at once, split between two services on url, for a sender
// with credit for twenty; the stamps granted.
std::set<std::string> SpendFromTwoProcesses(const std::string& url) {
  EXPECT_TRUE(std::filesystem::exists(kProgram)) << "build mailwarden first";
  mailwarden::store::OpenStore(url)->AddAccount("ann.sender@example.com", 20, kStart);
  Server first(url), second(url);
  EXPECT_GT(first.Port(), 0);
  EXPECT_GT(second.Port(), 0);

  AddinSend send;
  send.to = {{"bob@example.com", "Bob"}};
  std::mt19937 random(20260315);
  std::uniform_int_distribution<int> digit(0, 61);
  std::vector<std::string> queries, replies(50);
  for (int i = 0; i < 50; ++i) {
    queries.push_back(StampQuery(send, HashDraws{digit(random), digit(random), digit(random), digit(random)}));
  }
  std::vector<std::thread> clients;
  for (int i = 0; i < 50; ++i) {
    clients.emplace_back([&, i] {
      httplib::Client client = testsupport::LoopbackClient((i % 2 ? first : second).Port());
      if (auto result = client.Get(std::string(kStampPath) + "?" + queries[i])) replies[i] = result->body;
    });
  }
  for (auto& client : clients) client.join();

  std::set<std::string> stamps;
  int granted[2] = {0, 0};
  for (int i = 0; i < 50; ++i) {
    if (replies[i].starts_with("qo;")) {
      ++granted[i % 2];
      for (const std::string& stamp : StampsOf(replies[i])) stamps.insert(stamp);
    } else {
      EXPECT_EQ(replies[i], "qx;Insufficient credit.") << i;
    }
  }
  EXPECT_EQ(granted[0] + granted[1], 20);
  EXPECT_EQ(stamps.size(), 20u);
  return stamps;
}

TEST_F(SharedDatabaseTest, TwoProcessesNeverSpendMoreThanTheMonthHas) {
  const std::set<std::string> stamps = SpendFromTwoProcesses(url_);

  // What the database holds afterwards, read apart from both services.
  auto& server = testsupport::SharedPostgres();
  const std::string database = testsupport::DatabaseOf(url_);
  EXPECT_EQ(server.Query(database, "SELECT count(*) FROM stamps"), "20");
  EXPECT_EQ(server.Query(database, "SELECT sum(used) FROM credit_months"), "20");
  auto store = mailwarden::store::OpenStore(url_);
  for (const std::string& stamp : stamps) EXPECT_TRUE(store->FindStamp(stamp)) << stamp;
}

// Several processes on one SQLite file of one machine, as the README allows:
// its write lock orders them as PostgreSQL's row lock does.
TEST(SharedSqliteFileTest, TwoProcessesNeverSpendMoreThanTheMonthHas) {
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("mailwarden-shared-" + std::to_string(::getpid()) + ".db");
  std::filesystem::remove(file);
  const std::set<std::string> stamps = SpendFromTwoProcesses("sqlite:" + file.string());
  {
    auto store = mailwarden::store::OpenStore("sqlite:" + file.string());
    for (const std::string& stamp : stamps) EXPECT_TRUE(store->FindStamp(stamp)) << stamp;
    EXPECT_EQ(store->CreditLeft("ann.sender@example.com", mailwarden::SystemNow()), 0);
  }
  for (const char* end : {"", "-wal", "-shm"}) std::filesystem::remove(file.string() + end);
}

}  // namespace
}  // namespace service_test
