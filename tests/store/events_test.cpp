// Events a stranger can cause are bounded per stamp: alike ones fold into
// one with a count, past the cap only counts grow, User-Agents are cut.
#include <numeric>

#include "store_fixture.h"

namespace store_test {
namespace {

int Total(const std::vector<Event>& events) {
  return std::accumulate(events.begin(), events.end(), 0, [](int sum, const Event& e) { return sum + e.count; });
}

std::vector<Event> EventsOf(Store& store, const std::string& stamp) {
  auto info = store.FindStamp(stamp);
  auto message = store.GetMessage(info->accountId, info->messageId);
  for (const auto& recipient : message->recipients)
    if (recipient.stamp == stamp) return recipient.events;
  return {};
}

TEST_P(StoreTest, AlikeEventsWithinAMinuteAreOneWithACount) {
  auto stamps = Issue(Message("ann@example.com", {"a@x"}, kMarch14), 10);
  std::vector<NewEvent> hits;
  for (int i = 0; i < 5; ++i) hits.push_back(EventOn(stamps[0], EventType::kImage, kMarch14 + i * kSecond));
  store_->RecordEvents(hits);
  // In a later batch, still within the minute of the first.
  store_->RecordEvents({EventOn(stamps[0], EventType::kImage, kMarch14 + 50 * kSecond)});
  NewEvent otherClient = EventOn(stamps[0], EventType::kImage, kMarch14 + 51 * kSecond);
  otherClient.ip = "203.0.113.9";
  NewEvent machine = EventOn(stamps[0], EventType::kImage, kMarch14 + 52 * kSecond);
  machine.eventClass = EventClass::kMachine;
  store_->RecordEvents({otherClient, machine, EventOn(stamps[0], EventType::kReceipt, kMarch14 + 53 * kSecond),
                        EventOn(stamps[0], EventType::kImage, kMarch14 + 2 * 60 * kSecond)});

  const auto events = EventsOf(*store_, stamps[0]);
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].count, 6);
  EXPECT_EQ(events[0].time, kMarch14);
  EXPECT_EQ(events[1].ip, "203.0.113.9");
  EXPECT_EQ(events[2].eventClass, EventClass::kMachine);
  EXPECT_EQ(events[3].type, EventType::kReceipt);
  EXPECT_EQ(events[4].count, 1);  // two minutes on: a new one
  EXPECT_EQ(Total(events), 10);
}

TEST_P(StoreTest, PastTheCapOnlyCountsGrowButATypesFirstEventIsKept) {
  auto stamps = Issue(Message("ann@example.com", {"a@x", "b@x"}, kMarch14), 10);
  std::vector<NewEvent> flood;
  const int sent = kMaxEventRows + 300;
  for (int i = 0; i < sent; ++i) {
    NewEvent hit = EventOn(stamps[0], EventType::kImage, kMarch14 + i * kSecond);
    hit.ip = "198.51.100." + std::to_string(i % 250) + "-" + std::to_string(i);  // never alike
    flood.push_back(hit);
  }
  store_->RecordEvents(flood);
  store_->RecordEvents({EventOn(stamps[0], EventType::kReceipt, kMarch14 + kDay),
                        EventOn(stamps[1], EventType::kImage, kMarch14 + kDay)});

  const auto events = EventsOf(*store_, stamps[0]);
  EXPECT_EQ(events.size(), static_cast<std::size_t>(kMaxEventRows) + 1);
  EXPECT_EQ(events.back().type, EventType::kReceipt);
  EXPECT_EQ(Total(events), sent + 1);
  // The other recipient's stamp has its own room.
  EXPECT_EQ(EventsOf(*store_, stamps[1]).size(), 1u);
}

TEST_P(StoreTest, UserAgentsAreKeptCutAtACharacter) {
  auto stamps = Issue(Message("ann@example.com", {"a@x"}, kMarch14), 10);
  NewEvent hit = EventOn(stamps[0], EventType::kImage, kMarch14);
  // A two-byte character across the cut.
  hit.userAgent = std::string(kMaxUserAgent - 1, 'a') + "\xC3\xA9" + std::string(12 * 1024, 'b');
  store_->RecordEvents({hit});
  NewEvent cancel = EventOn(stamps[0], EventType::kCancel, kMarch14 + kSecond);
  cancel.userAgent = std::string(12 * 1024, 'c');
  store_->RecordEvents({cancel});
  const auto events = EventsOf(*store_, stamps[0]);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].userAgent, std::string(kMaxUserAgent - 1, 'a'));
  EXPECT_EQ(events[1].userAgent, std::string(kMaxUserAgent, 'c'));
}

}  // namespace
}  // namespace store_test
