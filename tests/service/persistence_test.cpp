// The database file: what the service answered is there, also after a restart.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "service_fixture.h"

namespace service_test {
namespace {

using corvanta::protocol::kCertifiedPath;
using corvanta::protocol::kTrackPath;

class PersistenceTest : public ServiceTest {
 protected:
  PersistenceTest() {
    directory_ =
        std::filesystem::temp_directory_path() / ("mailwarden-test-" + std::to_string(::getpid()) + "-" +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    options_.database = "sqlite:" + (directory_ / "mailwarden.db").string();
    Restart(options_);
  }
  ~PersistenceTest() override {
    server_.reset();
    std::filesystem::remove_all(directory_);
  }

  // The database as another process sees it, while the service runs.
  std::unique_ptr<mailwarden::store::Store> Peek() { return mailwarden::store::OpenStore(options_.database); }

  std::filesystem::path directory_;
  mailwarden::ServeOptions options_ = mailwarden::LoopbackOptions(100);
};

TEST_F(PersistenceTest, StateSurvivesARestart) {
  AddinSend send = ThreeRecipients();
  std::vector<std::string> tracked = StampsOf(AskStamps(send));
  send.content = "kept across restarts";
  std::vector<std::string> certified = StampsOf(Upload(send));
  ASSERT_EQ(tracked.size(), 3u);
  ASSERT_EQ(certified.size(), 3u);
  ASSERT_EQ(Press(kCertifiedPath, certified[0] + "&cmd=del")->status, 200);
  std::size_t events = Status()["events"].size();

  options_.service.newSenderCredit = 5;  // a new starting credit concerns new senders only
  Restart(options_);
  EXPECT_EQ(AskCredit(send.from), "qo;94");
  EXPECT_EQ(AskCredit("new@example.com"), "qo;5");
  EXPECT_EQ(Status()["events"].size(), events);

  Get(kTrackPath, "img=1&" + tracked[0]);
  EXPECT_EQ(Status()["events"].back()["type"], "image fetched");
  EXPECT_NE(Press(kCertifiedPath, certified[1])->body.find("kept across restarts"), std::string::npos);
  EXPECT_EQ(Get(kCertifiedPath, certified[0])->status, 410);

  // Stamps issued after the restart are new ones.
  std::vector<std::string> more = StampsOf(AskStamps(send));
  ASSERT_EQ(more.size(), 3u);
  for (const std::string& stamp : more) {
    EXPECT_EQ(std::count(tracked.begin(), tracked.end(), stamp) + std::count(certified.begin(), certified.end(), stamp),
              0);
  }
}

TEST_F(PersistenceTest, EveryAnsweredChangeIsInTheDatabase) {
  AddinSend send = ThreeRecipients();
  std::vector<std::string> stamps = StampsOf(AskStamps(send));
  ASSERT_EQ(stamps.size(), 3u);
  auto peek = Peek();
  EXPECT_EQ(peek->CreditLeft(send.from, mailwarden::SystemNow()), 97);
  for (const std::string& stamp : stamps) EXPECT_TRUE(peek->FindStamp(stamp).has_value()) << stamp;

  // An image fetch is written with a later batch, without a flush; the time
  // given only bounds a hang.
  Get(kTrackPath, "img=1&" + stamps[0]);
  auto account = peek->FindAccount(send.from);
  ASSERT_TRUE(account);
  std::vector<mailwarden::store::Event> events;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (events.empty() && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    mailwarden::store::MessageQuery query;
    query.accountId = account->id;
    auto messages = peek->ListMessages(query);
    if (!messages.empty()) events = messages.front().recipients.front().events;
  }
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events.front().type, mailwarden::store::EventType::kImage);
}

TEST_F(PersistenceTest, ARefusedRequestChangesNothing) {
  AddinSend send = ThreeRecipients();
  server_->SetCredit(send.from, 1);
  EXPECT_EQ(AskStamps(send), "qx;Insufficient credit.");
  auto peek = Peek();
  EXPECT_EQ(peek->CreditLeft(send.from, mailwarden::SystemNow()), 1);
  EXPECT_TRUE(Status()["stamps"].empty());
}

TEST_F(PersistenceTest, AFileThatIsNoDatabaseStopsTheStart) {
  server_.reset();
  std::filesystem::remove_all(directory_);
  std::filesystem::create_directories(directory_);
  std::ofstream(directory_ / "mailwarden.db") << "{\"senders\": [" << std::string(5000, 'x');
  EXPECT_THROW(mailwarden::Instance{options_}, mailwarden::store::StoreError);
}

}  // namespace
}  // namespace service_test
