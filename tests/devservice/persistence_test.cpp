// The data file: what the service knew is there again after a restart.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "devservice_fixture.h"

namespace devservice_test {
namespace {

using corvanta::protocol::kCertifiedPath;
using corvanta::protocol::kTrackPath;

class PersistenceTest : public DevServiceTest {
 protected:
  PersistenceTest() {
    directory_ =
        std::filesystem::temp_directory_path() / ("mailwarden-test-" + std::to_string(::getpid()) + "-" +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    options_.dataFile = (directory_ / "state.json").string();
    Restart(options_);
  }
  ~PersistenceTest() override {
    server_.reset();
    service_.reset();
    std::filesystem::remove_all(directory_);
  }

  std::filesystem::path directory_;
  mailwarden::Options options_;
};

TEST_F(PersistenceTest, StateSurvivesARestart) {
  AddinSend send = ThreeRecipients();
  std::vector<std::string> tracked = StampsOf(AskStamps(send));
  send.content = "kept across restarts";
  std::vector<std::string> certified = StampsOf(Upload(send));
  ASSERT_EQ(tracked.size(), 3u);
  ASSERT_EQ(certified.size(), 3u);
  ASSERT_EQ(Get(kCertifiedPath, certified[0] + "&cmd=del")->status, 200);
  std::size_t events = Status()["events"].size();

  options_.startingCredit = 5;  // a new starting credit concerns new senders only
  Restart(options_);
  EXPECT_EQ(AskCredit(send.from), "qo;94");
  EXPECT_EQ(AskCredit("new@example.com"), "qo;5");
  EXPECT_EQ(Status()["events"].size(), events);

  Get(kTrackPath, "img=1&" + tracked[0]);
  EXPECT_EQ(Status()["events"].back()["type"], "image fetched");
  EXPECT_NE(GetText(kCertifiedPath, certified[1]).find("kept across restarts"), std::string::npos);
  EXPECT_EQ(Get(kCertifiedPath, certified[0])->status, 410);

  // Stamps issued after the restart are new ones.
  std::vector<std::string> more = StampsOf(AskStamps(send));
  ASSERT_EQ(more.size(), 3u);
  for (const std::string& stamp : more) {
    EXPECT_EQ(std::count(tracked.begin(), tracked.end(), stamp) + std::count(certified.begin(), certified.end(), stamp),
              0);
  }
}

TEST_F(PersistenceTest, EveryChangeIsSavedAtOnce) {
  AddinSend send = ThreeRecipients();
  std::vector<std::string> stamps = StampsOf(AskStamps(send));
  ASSERT_EQ(stamps.size(), 3u);
  Get(kTrackPath, stamps[0]);
  // Read the file while the service still runs, as a crash would leave it.
  std::ifstream in(options_.dataFile);
  mailwarden::State saved = mailwarden::FromJson(nlohmann::json::parse(in));
  EXPECT_EQ(saved.credits.at(send.from), 97);
  EXPECT_EQ(saved.stamps.size(), 3u);
  ASSERT_EQ(saved.events.size(), 4u);
  EXPECT_EQ(saved.events.back().type, "receipt clicked");
  EXPECT_FALSE(std::filesystem::exists(options_.dataFile + ".tmp"));
}

TEST_F(PersistenceTest, ARefusedRequestChangesNothing) {
  AddinSend send = ThreeRecipients();
  service_->SetCredit(send.from, 1);
  auto before = std::filesystem::last_write_time(options_.dataFile);
  std::string content = (std::stringstream() << std::ifstream(options_.dataFile).rdbuf()).str();
  EXPECT_EQ(AskStamps(send), "qx;Insufficient credit.");
  EXPECT_EQ((std::stringstream() << std::ifstream(options_.dataFile).rdbuf()).str(), content);
  EXPECT_EQ(std::filesystem::last_write_time(options_.dataFile), before);
}

TEST_F(PersistenceTest, AnUnwritableDataFileRefusesTheRequestAndKeepsTheCredit) {
  AddinSend send = ThreeRecipients();
  EXPECT_EQ(AskCredit(send.from), "qo;100");
  // A directory where the temporary file would go makes every save fail.
  std::filesystem::create_directory(options_.dataFile + ".tmp");
  httplib::Result reply = Get(corvanta::protocol::kStampPath, StampQuery(send, Draws()));
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->body.starts_with("qx;")) << reply->body;
  std::filesystem::remove(options_.dataFile + ".tmp");
  EXPECT_EQ(AskCredit(send.from), "qo;100");
  EXPECT_TRUE(Status()["stamps"].empty());
}

TEST_F(PersistenceTest, ABrokenDataFileStopsTheStart) {
  server_.reset();
  service_.reset();
  std::ofstream(options_.dataFile) << "{\"senders\": [";
  EXPECT_THROW(mailwarden::Service{options_}, std::runtime_error);
  std::ofstream(options_.dataFile) << "{\"senders\": 3}";
  EXPECT_THROW(mailwarden::Service{options_}, std::runtime_error);
}

}  // namespace
}  // namespace devservice_test
