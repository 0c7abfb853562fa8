// What the sender's pages ask: messages newest first a page at a time,
// search, one message; sessions; counted attempts.
#include "store_fixture.h"

namespace store_test {
namespace {

TEST_P(StoreTest, MessagesComeNewestFirstAPageAtATime) {
  for (int i = 0; i < 7; ++i)
    Issue(Message("ann@example.com", {"a@x"}, kMarch14 + i, "Message " + std::to_string(i)), 100);
  Issue(Message("bob@example.com", {"a@x"}, kMarch14, "Bob's"), 100);
  const std::int64_t ann = store_->FindAccount("ann@example.com")->id;

  std::vector<std::string> seen;
  std::int64_t before = 0;
  for (int page = 0; page < 4; ++page) {
    auto messages = store_->ListMessages({ann, "", before, 3, {}});
    EXPECT_LE(messages.size(), 3u);
    if (messages.empty()) break;
    for (const auto& m : messages) seen.push_back(m.subject);
    before = messages.back().id;
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Message 6", "Message 5", "Message 4", "Message 3", "Message 2",
                                            "Message 1", "Message 0"}));
  auto first = store_->ListMessages({ann, "", 0, 1, {}});
  ASSERT_EQ(first.size(), 1u);
  EXPECT_TRUE(store_->GetMessage(ann, first[0].id));
  const std::int64_t bob = store_->FindAccount("bob@example.com")->id;
  EXPECT_FALSE(store_->GetMessage(bob, first[0].id));  // never another sender's message
}

TEST_P(StoreTest, SearchLooksAtSubjectRecipientAddressAndName) {
  Issue(Message("ann@example.com", {"bob@example.org"}, kMarch14, "Quarterly figures"), 100);
  NewMessage named = Message("ann@example.com", {"cy@example.net"}, kMarch14 + 1, "Lunch");
  named.recipients[0].name = "Cynthia Zhou";
  Issue(named);
  Issue(Message("ann@example.com", {"di@example.com"}, kMarch14 + 2, "100% done_now"));
  Issue(Message("bob@example.com", {"bob@example.org"}, kMarch14, "Quarterly figures"), 100);
  const std::int64_t ann = store_->FindAccount("ann@example.com")->id;
  auto subjects = [&](const std::string& search) {
    std::vector<std::string> found;
    for (const auto& m : store_->ListMessages({ann, search, 0, 50, {}})) found.push_back(m.subject);
    return found;
  };
  EXPECT_EQ(subjects("quarterly"), std::vector<std::string>{"Quarterly figures"});
  EXPECT_EQ(subjects("BOB@"), std::vector<std::string>{"Quarterly figures"});
  EXPECT_EQ(subjects("zhou"), std::vector<std::string>{"Lunch"});
  EXPECT_EQ(subjects("example"), (std::vector<std::string>{"100% done_now", "Lunch", "Quarterly figures"}));
  // "%" and "_" are themselves, not patterns.
  EXPECT_EQ(subjects("0% d"), std::vector<std::string>{"100% done_now"});
  EXPECT_TRUE(subjects("%%").empty());
  EXPECT_TRUE(subjects("o_e").empty());
  EXPECT_TRUE(subjects("nothing like it").empty());
}

// The list's filters by what persons did, by kind and by date, and its order
// by last activity, paged: one set of messages, each query in a table.
TEST_P(StoreTest, MessagesFilterByWhatPersonsDidKindAndDateAndSortByLastActivity) {
  // Issued a day apart: "Silent" first, "Guaranteed" last.
  const auto silent = Issue(Message("ann@example.com", {"a@x", "b@x"}, kMarch14, "Silent"), 100);
  const auto opened = Issue(Message("ann@example.com", {"a@x", "b@x", "c@x"}, kMarch14 + kDay, "Opened"));
  const auto confirmed = Issue(Message("ann@example.com", {"a@x"}, kMarch14 + 2 * kDay, "Confirmed"));
  NewMessage certified = Message("ann@example.com", {"a@x"}, kMarch14 + 3 * kDay, "Guaranteed");
  certified.kind = Kind::kCertified;
  certified.content = "Sign here";
  const auto read = Issue(certified);
  Issue(Message("bob@example.com", {"a@x"}, kMarch14, "Bob's"), 100);

  // Machines and the sender open nothing; their fetches are no activity either.
  NewEvent machine = EventOn(silent[0], EventType::kImage, kMarch14 + 9 * kDay);
  machine.eventClass = EventClass::kMachine;
  NewEvent own = EventOn(silent[1], EventType::kImage, kMarch14 + kSecond);
  own.eventClass = EventClass::kSender;
  store_->RecordEvents({machine, own, EventOn(opened[1], EventType::kImage, kMarch14 + 8 * kDay),
                        EventOn(confirmed[0], EventType::kReceipt, kMarch14 + 5 * kDay),
                        EventOn(read[0], EventType::kRead, kMarch14 + 6 * kDay)});
  const std::int64_t ann = store_->FindAccount("ann@example.com")->id;

  struct Case {
    const char* what;
    SeenFilter seen;
    KindFilter kind;
    Time from, until;
    std::vector<std::string> subjects;
  };
  const Case cases[] = {
      {"all", SeenFilter::kAny, KindFilter::kAny, 0, 0, {"Guaranteed", "Confirmed", "Opened", "Silent"}},
      {"not opened", SeenFilter::kNotOpened, KindFilter::kAny, 0, 0, {"Silent"}},
      {"opened", SeenFilter::kOpened, KindFilter::kAny, 0, 0, {"Guaranteed", "Confirmed", "Opened"}},
      {"confirmed", SeenFilter::kConfirmed, KindFilter::kAny, 0, 0, {"Confirmed"}},
      {"read", SeenFilter::kRead, KindFilter::kAny, 0, 0, {"Guaranteed"}},
      {"automatic", SeenFilter::kAny, KindFilter::kAutomatic, 0, 0, {"Opened", "Silent"}},
      {"request receipt", SeenFilter::kAny, KindFilter::kRequestReceipt, 0, 0, {"Confirmed"}},
      {"guaranteed", SeenFilter::kAny, KindFilter::kGuaranteed, 0, 0, {"Guaranteed"}},
      {"from a day", SeenFilter::kAny, KindFilter::kAny, kMarch14 + kDay, 0, {"Guaranteed", "Confirmed", "Opened"}},
      {"until a day", SeenFilter::kAny, KindFilter::kAny, 0, kMarch14 + 2 * kDay, {"Opened", "Silent"}},
      {"opened in a range",
       SeenFilter::kOpened,
       KindFilter::kAny,
       kMarch14 + kDay,
       kMarch14 + 3 * kDay,
       {"Confirmed", "Opened"}},
  };
  for (const Case& c : cases) {
    MessageQuery query{ann, "", 0, 50, {}};
    query.seen = c.seen;
    query.kind = c.kind;
    query.issuedFrom = c.from;
    query.issuedUntil = c.until;
    std::vector<std::string> found;
    for (const auto& m : store_->ListMessages(query)) found.push_back(m.subject);
    EXPECT_EQ(found, c.subjects) << c.what;
  }

  // By last activity, two at a time: the open on day 8, the read on day 6,
  // the receipt on day 5, then "Silent", whose only activity is the sender's own view.
  MessageQuery query{ann, "", 0, 2, {}};
  query.order = MessageOrder::kLastActivity;
  std::vector<std::pair<std::string, Time>> found;
  for (int page = 0; page < 3; ++page) {
    const auto messages = store_->ListMessages(query);
    for (const auto& m : messages) found.emplace_back(m.subject, m.lastActivity);
    if (messages.empty()) break;
    query.beforeId = messages.back().id;
    query.activityBefore = messages.back().lastActivity;
  }
  EXPECT_EQ(found, (std::vector<std::pair<std::string, Time>>{{"Opened", kMarch14 + 8 * kDay},
                                                              {"Guaranteed", kMarch14 + 6 * kDay},
                                                              {"Confirmed", kMarch14 + 5 * kDay},
                                                              {"Silent", kMarch14 + kSecond}}));
  // A message without any activity is as active as when it was issued.
  Issue(Message("ann@example.com", {"d@x"}, kMarch14 + 4 * kDay, "Fresh"));
  const auto fresh = store_->ListMessages({ann, "fresh", 0, 1, {}});
  ASSERT_EQ(fresh.size(), 1u);
  EXPECT_EQ(fresh[0].lastActivity, kMarch14 + 4 * kDay);
  EXPECT_EQ(store_->GetMessage(ann, fresh[0].id)->lastActivity, kMarch14 + 4 * kDay);
}

// What the live pages poll: only the sender's own events, newest first known,
// then those after it in order.
TEST_P(StoreTest, LivePagesSeeTheNewestEventsOfTheirSenderOnly) {
  const auto ann = Issue(Message("ann@example.com", {"a@x", "b@x"}, kMarch14), 100);
  const auto bob = Issue(Message("bob@example.com", {"a@x"}, kMarch14), 100);
  const std::int64_t annId = store_->FindAccount("ann@example.com")->id;
  const std::int64_t bobId = store_->FindAccount("bob@example.com")->id;
  EXPECT_EQ(store_->NewestEventId(annId), 0);
  store_->RecordEvents({EventOn(ann[0], EventType::kImage, kMarch14 + kSecond)});
  const std::int64_t first = store_->NewestEventId(annId);
  EXPECT_GT(first, 0);
  store_->RecordEvents({EventOn(bob[0], EventType::kImage, kMarch14 + 2 * kSecond),
                        EventOn(ann[1], EventType::kReceipt, kMarch14 + 3 * kSecond)});
  const auto after = store_->EventsAfter(annId, first, 10);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0].id, store_->NewestEventId(annId));
  EXPECT_EQ(after[0].messageId, store_->ListMessages({annId, "", 0, 1, {}}).at(0).id);
  EXPECT_EQ(store_->EventsAfter(annId, 0, 10).size(), 2u);
  EXPECT_EQ(store_->EventsAfter(annId, 0, 1).size(), 1u);
  EXPECT_EQ(store_->EventsAfter(bobId, 0, 10).size(), 1u);
  EXPECT_TRUE(store_->EventsAfter(annId, after[0].id, 10).empty());
}

TEST_P(StoreTest, SessionsLastWhileInUse) {
  const std::int64_t ann = store_->AddAccount("ann@example.com", 1, kMarch14).id;
  store_->CreateSession("hash-1", Session{ann, "csrf-1", kMarch14, kMarch14, {}});
  auto touched = store_->TouchSession("hash-1", kMarch14 - kDay, kMarch14 + kSecond);
  ASSERT_TRUE(touched);
  EXPECT_EQ(touched->accountId, ann);
  EXPECT_EQ(touched->csrf, "csrf-1");
  EXPECT_EQ(touched->lastSeen, kMarch14 + kSecond);
  // Idle since before the limit: gone.
  EXPECT_FALSE(store_->TouchSession("hash-1", kMarch14 + 2 * kSecond, kMarch14 + kDay));
  EXPECT_TRUE(store_->TouchSession("hash-1", kMarch14, kMarch14 + kDay));
  EXPECT_FALSE(store_->TouchSession("hash-2", 0, kMarch14));
  store_->DeleteSession("hash-1");
  EXPECT_FALSE(store_->TouchSession("hash-1", 0, kMarch14));
}

TEST_P(StoreTest, MarkersFindTheirLiveSessionWithoutKeepingItAlive) {
  const std::int64_t ann = store_->AddAccount("ann@example.com", 1, kMarch14).id;
  store_->CreateSession("hash-1", Session{ann, "csrf-1", kMarch14, kMarch14, "marker-1"});
  store_->CreateSession("hash-2", Session{ann, "csrf-2", kMarch14, kMarch14 - 8 * kDay, "marker-2"});
  EXPECT_EQ(store_->MarkedAccount("marker-1", kMarch14, kMarch14), ann);
  EXPECT_FALSE(store_->MarkedAccount("hash-1", 0, 0));                      // a session token is no marker
  EXPECT_FALSE(store_->MarkedAccount("marker-2", 0, kMarch14 - 7 * kDay));  // begun too long ago
  EXPECT_FALSE(store_->MarkedAccount("marker-1", kMarch14 + kSecond, 0));   // idle too long
  // Looking the marker up did not keep the session alive.
  EXPECT_FALSE(store_->TouchSession("hash-1", kMarch14 + kSecond, kMarch14 + kDay));
}

TEST_P(StoreTest, SessionsEndTogetherAndExpiredOnesAreDeleted) {
  const std::int64_t ann = store_->AddAccount("ann@example.com", 1, kMarch14).id;
  const std::int64_t bea = store_->AddAccount("bea@example.com", 1, kMarch14).id;
  for (const char* hash : {"ann-1", "ann-2", "ann-3"})
    store_->CreateSession(hash, Session{ann, "c", kMarch14, kMarch14, {}});
  store_->CreateSession("bea-1", Session{bea, "c", kMarch14, kMarch14, {}});
  store_->EndSessions(ann, "ann-2");
  EXPECT_FALSE(store_->TouchSession("ann-1", 0, kMarch14));
  EXPECT_TRUE(store_->TouchSession("ann-2", 0, kMarch14));
  EXPECT_FALSE(store_->TouchSession("ann-3", 0, kMarch14));
  EXPECT_TRUE(store_->TouchSession("bea-1", 0, kMarch14));
  store_->EndSessions(ann, "");
  EXPECT_FALSE(store_->TouchSession("ann-2", 0, kMarch14));

  store_->CreateSession("idle", Session{bea, "c", kMarch14 - kDay, kMarch14 - kDay, {}});
  store_->CreateSession("old", Session{bea, "c", kMarch14, kMarch14 - 8 * kDay, {}});
  EXPECT_EQ(store_->PurgeSessions(kMarch14 - 12 * 3600 * kSecond, kMarch14 - 7 * kDay), 2);
  EXPECT_TRUE(store_->TouchSession("bea-1", 0, kMarch14));
  EXPECT_FALSE(store_->TouchSession("old", 0, kMarch14));
}

TEST_P(StoreTest, AttemptsAreCountedPerKindKeyAndWindow) {
  const Time window = kMarch14, next = kMarch14 + 60 * kSecond;
  EXPECT_EQ(store_->CountAttempt("signin", "ann@example.com", window, window), 1);
  EXPECT_EQ(store_->CountAttempt("signin", "ann@example.com", window, window + 1), 2);
  EXPECT_EQ(store_->CountAttempt("signin", "192.0.2.7", window, window + 2), 1);
  EXPECT_EQ(store_->CountAttempt("stamp:address", "ann@example.com", window, window + 3), 1);
  EXPECT_EQ(store_->CountAttempt("signin", "ann@example.com", next, next), 1);
  EXPECT_EQ(store_->CountAttempt("signin", "ann@example.com", next, next + 1), 2);
  // Several at once, each with its own count.
  const std::vector<std::pair<std::string, std::string>> both = {{"stamp:address", "ann@example.com"},
                                                                 {"stamp:ip", "192.0.2.7"}};
  EXPECT_EQ(store_->CountAttempts(both, window, window + 4), (std::vector<int>{2, 1}));
  EXPECT_EQ(store_->CountAttempts(both, window, window + 5), (std::vector<int>{3, 2}));
  EXPECT_EQ(store_->CountAttempts(both, next, next + 2), (std::vector<int>{1, 1}));
  EXPECT_TRUE(store_->Healthy());
}

}  // namespace
}  // namespace store_test
