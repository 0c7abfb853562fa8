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
  auto message = store.GetMessage(info->accountId, info->messageId, TimelinePage{-1});
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

// A page of each recipient's timeline is loaded, the newest, with the totals
// of all of it; one recipient's is paged back through by the id of its oldest.
TEST_P(StoreTest, TimelinesAreLoadedAPageAtATimeWithTotalsOfAll) {
  auto stamps = Issue(Message("ann@example.com", {"a@x", "b@x"}, kMarch14), 10);
  const int hits = 2 * kTimelinePage + 20;
  std::vector<NewEvent> flood;
  for (int i = 0; i < hits; ++i) {
    NewEvent hit = EventOn(stamps[0], EventType::kImage, kMarch14 + i * kSecond);
    hit.ip = "198.51.100." + std::to_string(i);  // never alike
    flood.push_back(hit);
  }
  flood.push_back(EventOn(stamps[0], EventType::kReceipt, kMarch14 + kDay));
  for (int i = 0; i < 3; ++i) flood.push_back(EventOn(stamps[1], EventType::kImage, kMarch14 + i * kDay));
  store_->RecordEvents(flood);
  const auto info = store_->FindStamp(stamps[0]);

  const auto first = store_->GetMessage(info->accountId, info->messageId);
  ASSERT_TRUE(first);
  const RecipientView& a = first->recipients.at(0);
  ASSERT_EQ(a.events.size(), static_cast<std::size_t>(kTimelinePage));
  EXPECT_EQ(a.events.back().type, EventType::kReceipt);  // the newest, last
  ASSERT_EQ(a.tallies.size(), 2u);
  EXPECT_EQ(a.tallies[0].type, EventType::kImage);
  EXPECT_EQ(a.tallies[0].rows, hits);
  EXPECT_EQ(a.tallies[0].count, hits);
  EXPECT_EQ(a.tallies[0].first, kMarch14);
  EXPECT_EQ(a.tallies[0].last, kMarch14 + (hits - 1) * kSecond);
  EXPECT_EQ(a.tallies[1].type, EventType::kReceipt);
  EXPECT_EQ(first->recipients.at(1).events.size(), 3u);
  EXPECT_EQ(first->recipients.at(1).tallies.at(0).count, 3);

  // Back through the first recipient's timeline: every row once, in order,
  // while the other recipient keeps its newest page.
  std::vector<Event> all = a.events;
  for (int pages = 1; all.front().id > a.tallies[0].firstId; ++pages) {
    ASSERT_LT(pages, 10);
    const auto older =
        store_->GetMessage(info->accountId, info->messageId, TimelinePage{kTimelinePage, 1, all.front().id});
    ASSERT_TRUE(older);
    const auto& page = older->recipients.at(0).events;
    ASSERT_FALSE(page.empty());
    EXPECT_LE(page.size(), static_cast<std::size_t>(kTimelinePage));
    EXPECT_LT(page.back().id, all.front().id);
    EXPECT_EQ(older->recipients.at(1).events.size(), 3u);
    all.insert(all.begin(), page.begin(), page.end());
  }
  ASSERT_EQ(all.size(), static_cast<std::size_t>(hits) + 1);
  for (int i = 0; i < hits; ++i) EXPECT_EQ(all[i].time, kMarch14 + i * kSecond) << i;

  // The list loads the same page; every event when asked.
  MessageQuery query{info->accountId, "", 0, 10, {}};
  EXPECT_EQ(store_->ListMessages(query).at(0).recipients.at(0).events.size(), static_cast<std::size_t>(kTimelinePage));
  query.events.limit = -1;
  EXPECT_EQ(store_->ListMessages(query).at(0).recipients.at(0).events.size(), static_cast<std::size_t>(hits) + 1);
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
