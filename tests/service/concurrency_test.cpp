// Many stamp requests at once for one sender, on a database file: exactly
// the requests the month's credit covers get stamps, never more.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <thread>

#include "service_fixture.h"
#include "support/loopback_client.h"

namespace service_test {
namespace {

using corvanta::protocol::kStampPath;

class ConcurrencyTest : public ServiceTest {
 protected:
  ConcurrencyTest() {
    mailwarden::ServeOptions options = mailwarden::LoopbackOptions(0);
    options.database = "sqlite:" + path_.string();
    options.server.workers = 8;
    Restart(options);
  }
  ~ConcurrencyTest() override {
    server_.reset();
    for (const char* end : {"", "-wal", "-shm"}) std::filesystem::remove(path_.string() + end);
  }

  // Sends the requests all at once; their replies in the same order.
  std::vector<std::string> AllAtOnce(const std::vector<AddinSend>& sends) {
    std::vector<std::string> queries, replies(sends.size());
    for (const AddinSend& send : sends) queries.push_back(StampQuery(send, Draws()));
    std::vector<std::thread> clients;
    for (std::size_t i = 0; i < sends.size(); ++i) {
      clients.emplace_back([&, i] {
        httplib::Client client = testsupport::LoopbackClient(server_->Port());
        if (auto result = client.Get(std::string(kStampPath) + "?" + queries[i])) replies[i] = result->body;
      });
    }
    for (std::thread& t : clients) t.join();
    return replies;
  }

  std::filesystem::path path_ =
      std::filesystem::temp_directory_path() / ("mailwarden-concurrency-" + std::to_string(::getpid()) + ".db");
};

TEST_F(ConcurrencyTest, FiftyRequestsForTwentyCreditsGetTwentyStamps) {
  server_->SetCredit("ann.sender@example.com", 20);
  AddinSend send;
  send.to = {{"bob@example.com", "Bob"}};
  std::vector<std::string> replies = AllAtOnce(std::vector<AddinSend>(50, send));
  std::set<std::string> stamps;
  int granted = 0;
  for (const std::string& reply : replies) {
    if (reply.starts_with("qo;")) {
      ++granted;
      for (const std::string& stamp : StampsOf(reply)) stamps.insert(stamp);
    } else {
      EXPECT_EQ(reply, "qx;Insufficient credit.");
    }
  }
  EXPECT_EQ(granted, 20);
  EXPECT_EQ(stamps.size(), 20u);
  EXPECT_EQ(server_->Credit("ann.sender@example.com"), 0);
  EXPECT_EQ(server_->Stamps().size(), 20u);
}

TEST_F(ConcurrencyTest, RequestsOfDifferentSizesNeverOverspend) {
  server_->SetCredit("ann.sender@example.com", 20);
  std::vector<AddinSend> sends;
  for (int i = 0; i < 50; ++i) {
    AddinSend send;
    for (int r = 0; r <= i % 3; ++r) send.to.push_back({"r" + std::to_string(r) + "@example.com", "R"});
    sends.push_back(send);
  }
  std::vector<std::string> replies = AllAtOnce(sends);
  std::size_t spent = 0, smallestRefused = 99;
  for (std::size_t i = 0; i < replies.size(); ++i) {
    if (replies[i].starts_with("qo;")) {
      EXPECT_EQ(StampsOf(replies[i]).size(), sends[i].to.size());
      spent += sends[i].to.size();
    } else {
      EXPECT_EQ(replies[i], "qx;Insufficient credit.");
      smallestRefused = std::min(smallestRefused, sends[i].to.size());
    }
  }
  EXPECT_LE(spent, 20u);
  // A request was refused only when what was left did not cover it.
  EXPECT_LT(20 - spent, smallestRefused);
  EXPECT_EQ(server_->Credit("ann.sender@example.com"), static_cast<int>(20 - spent));
  EXPECT_EQ(server_->Stamps().size(), spent);
}

}  // namespace
}  // namespace service_test
