// The live pages' streams over a database two stores share, as two service
// processes do: an event written through one reaches a stream opened
// through the other, only the sender's own, of the page's message only.
#include "service/pages/live_hub.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "support/store_engines.h"

namespace {

namespace store = mailwarden::store;
using mailwarden::http::Reply;
using mailwarden::pages::LiveHub;

constexpr store::Time kStart = 1797064800LL * 1000000;

// What a stream sent, piece by piece, as the server would take it.
class Received {
 public:
  explicit Received(std::function<void(Reply::Give)> wait) : wait_(std::move(wait)) { Ask(); }
  // The next piece that is not a keep-alive comment.
  std::string Next() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return !pieces_.empty(); });
      std::string piece = std::move(pieces_.front());
      pieces_.pop_front();
      lock.unlock();
      Ask();
      if (!piece.starts_with(":")) return piece;
      lock.lock();
    }
  }

 private:
  void Ask() {
    wait_([this](std::string piece) {
      std::lock_guard lock(mutex_);
      pieces_.push_back(std::move(piece));
      changed_.notify_all();
    });
  }
  std::function<void(Reply::Give)> wait_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> pieces_;
};

class LiveHubTest : public ::testing::TestWithParam<std::string> {
 protected:
  LiveHubTest() {
    testsupport::EmptyDatabase(GetParam());
    reader_ = store::OpenStore(GetParam());
    writer_ = store::OpenStore(GetParam());
  }
  ~LiveHubTest() override {
    reader_.reset();
    writer_.reset();
    testsupport::EmptyDatabase(GetParam());
  }
  store::Issued Send(const std::string& sender, const std::string& subject) {
    store::NewMessage message;
    message.sender = sender;
    message.subject = subject;
    message.issued = kStart;
    message.recipients = {{"bob@example.net", "Bob"}};
    return writer_->IssueStamps(message, 100, [this] { return "live" + std::to_string(++stamps_); });
  }
  // Opens of the stamps, written together.
  void Open(std::vector<std::string> stamps) {
    std::vector<store::NewEvent> events;
    for (const std::string& stamp : stamps) {
      events.push_back(store::NewEvent{stamp, store::EventType::kImage, store::EventClass::kPerson,
                                       kStart + ++events_ * 120 * 1000000LL, "198.51.100.7", "Mail", "a person"});
    }
    writer_->RecordEvents(events);
  }
  std::unique_ptr<store::Store> reader_, writer_;
  int stamps_ = 0, events_ = 0;
};

TEST_P(LiveHubTest, EventsWrittenElsewhereReachTheSendersOpenStreams) {
  const auto figures = Send("ann@example.com", "Figures");
  const auto minutes = Send("ann@example.com", "Minutes");
  const auto other = Send("bea@example.com", "Bea's");
  const std::int64_t ann = reader_->FindAccount("ann@example.com")->id;
  Open({figures.stamps[0]});  // before any page: not news to the streams
  // Ended before the streams go: its end gives them their last piece.
  std::optional<LiveHub> hub(std::in_place, *reader_);
  Received list(*hub->Open(ann, 0, 0, "session-1", "127.0.0.1"));
  Received page(*hub->Open(ann, minutes.messageId, 0, "session-1", "127.0.0.1"));

  Open({other.stamps[0]});  // another sender's, never heard
  Open({figures.stamps[0]});
  EXPECT_EQ(list.Next(), "event: change\ndata: 1\n\n");
  Open({minutes.stamps[0]});
  EXPECT_EQ(list.Next(), "event: change\ndata: 1\n\n");
  EXPECT_EQ(page.Next(), "event: change\ndata: 1\n\n");  // its own message's event, not Figures'

  // A page rendered before events came hears of them when its stream opens.
  const std::int64_t shown = reader_->NewestEventId(ann);
  Open({figures.stamps[0], minutes.stamps[0]});
  EXPECT_EQ(list.Next(), "event: change\ndata: 2\n\n");
  Received late(*hub->Open(ann, 0, shown, "session-2", "127.0.0.1"));
  EXPECT_EQ(late.Next(), "event: change\ndata: 2\n\n");
  hub.reset();
  EXPECT_EQ(late.Next(), "");  // the end of the stream
}

// Woken, the hub looks at once: here its own poll would come only after an hour.
TEST_P(LiveHubTest, AWakeBringsEventsWithoutWaitingForThePoll) {
  const auto figures = Send("ann@example.com", "Figures");
  const std::int64_t ann = reader_->FindAccount("ann@example.com")->id;
  mailwarden::pages::LiveLimits limits;
  limits.poll = std::chrono::hours(1);
  limits.keepAlive = std::chrono::hours(1);
  std::optional<LiveHub> hub(std::in_place, *reader_, limits);
  Received list(*hub->Open(ann, 0, 0, "session-1", "127.0.0.1"));
  Open({figures.stamps[0]});
  hub->Wake();
  EXPECT_EQ(list.Next(), "event: change\ndata: 1\n\n");
  hub.reset();
  EXPECT_EQ(list.Next(), "");
}

INSTANTIATE_TEST_SUITE_P(SharedEngines, LiveHubTest,
                         ::testing::Values(testsupport::StoreEngineUrls()[1], testsupport::StoreEngineUrls()[2]),
                         [](const auto& engine) { return testsupport::EngineName(engine.param); });

}  // namespace
