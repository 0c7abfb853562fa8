// The outbox on every engine: what an event queues (by mail only a stamp's
// first open by a person; nothing for machines or the sender's own views),
// the sender's choices, and how deliveries are taken: leased, in order per
// webhook and recipient, tried again when due.
#include <functional>

#include "store_fixture.h"

namespace store_test {
namespace {

constexpr Time kFarAhead = kMarch14 + 400 * kDay;
constexpr const char* kSender = "ann@example.com";

class OutboxTest : public StoreTest {
 protected:
  void SetUp() override {
    store_->EnableMailNotices(true);
    tracked_ = Issue(Message(kSender, {"bob@example.org", "cy@example.org"}, kMarch14), 10);
    NewMessage certified = Message(kSender, {"dan@example.org"}, kMarch14, "Contract");
    certified.kind = Kind::kCertified;
    certified.content = "Please sign.";
    certified_ = Issue(certified)[0];
    auto hook = store_->AddWebhook(kSender, "https://hooks.example.com/in", "whsec_test", kMarch14);
    ASSERT_TRUE(hook);
    hook_ = *hook;
  }

  // Everything due by far ahead, leased until then.
  std::vector<Delivery> TakeAll() { return store_->ClaimDeliveries(kFarAhead, kFarAhead + kDay, 100); }
  // The deliveries queued since the last call: by mail and to the webhook.
  std::pair<int, int> Queued() {
    int mail = 0, hooks = 0;
    for (const Delivery& delivery : TakeAll()) {
      (delivery.webhookId ? hooks : mail) += 1;
      store_->FinishDelivery(delivery, kFarAhead);
    }
    return {mail, hooks};
  }
  static NewEvent By(NewEvent event, EventClass eventClass, const std::string& ip = "198.51.100.4") {
    event.eventClass = eventClass;
    event.ip = ip;
    return event;
  }

  std::vector<std::string> tracked_;
  std::string certified_;
  Webhook hook_;
};

TEST_P(OutboxTest, AnEventQueuesNoticesByWhoDidIt) {
  const Time later = kMarch14 + kDay;
  struct Case {
    const char* what;
    std::function<void()> record;
    int mail;
    int hooks;
  };
  const Case cases[] = {
      {"a scanner's fetch",
       [&] { store_->RecordEvents({By(EventOn(tracked_[0], EventType::kImage, later), EventClass::kMachine)}); }, 0, 0},
      {"the sender's own copy",
       [&] { store_->RecordEvents({By(EventOn(tracked_[0], EventType::kImage, later), EventClass::kSender)}); }, 0, 0},
      {"a machine's visit of a link",
       [&] { store_->RecordOnce(By(EventOn(tracked_[1], EventType::kVisit, later), EventClass::kMachine)); }, 0, 0},
      {"Bob's first open", [&] { store_->RecordEvents({EventOn(tracked_[0], EventType::kImage, later + kSecond)}); }, 1,
       1},
      {"Bob's open from another client",
       [&] {
         store_->RecordEvents(
             {By(EventOn(tracked_[0], EventType::kImage, later + 2 * kSecond), EventClass::kPerson, "203.0.113.7")});
       },
       0, 1},
      {"Bob's open folded into the one before",
       [&] { store_->RecordEvents({EventOn(tracked_[0], EventType::kImage, later + 3 * kSecond)}); }, 0, 0},
      {"Cy's receipt", [&] { store_->RecordOnce(EventOn(tracked_[1], EventType::kReceipt, later)); }, 1, 1},
      {"Cy's receipt pressed again",
       [&] { store_->RecordOnce(EventOn(tracked_[1], EventType::kReceipt, later + kSecond)); }, 0, 0},
      {"Dan reads the certified message",
       [&] {
         EXPECT_EQ(store_->ReadCertified(EventOn(certified_, EventType::kRead, later)).state, CertifiedState::kFound);
       },
       1, 1},
      {"the sender cancels Dan's delivery",
       [&] {
         EXPECT_EQ(store_->Cancel(By(EventOn(certified_, EventType::kCancel, later), EventClass::kSender)),
                   CertifiedState::kFound);
       },
       1, 1},
  };
  for (const Case& c : cases) {
    c.record();
    EXPECT_EQ(Queued(), std::make_pair(c.mail, c.hooks)) << c.what;
  }
}

TEST_P(OutboxTest, TheSendersChoicesDecideWhatIsQueued) {
  const Time later = kMarch14 + kDay;
  ASSERT_TRUE(store_->SetNotify(kSender, "off", "Europe/Berlin"));
  EXPECT_EQ(store_->FindAccount(kSender)->timeZone, "Europe/Berlin");
  store_->RecordEvents({EventOn(tracked_[0], EventType::kImage, later)});
  EXPECT_EQ(Queued(), std::make_pair(0, 1)) << "mail off: the webhook still gets it";

  ASSERT_TRUE(store_->SetNotify(kSender, "daily", "UTC"));
  store_->EnableMailNotices(false);
  store_->RecordOnce(EventOn(tracked_[1], EventType::kReceipt, later));
  EXPECT_EQ(Queued(), std::make_pair(0, 1)) << "the service sends no mail";

  store_->EnableMailNotices(true);
  store_->PauseWebhook(hook_.id, "the receiver answered 500");
  store_->RecordOnce(EventOn(tracked_[0], EventType::kReceipt, later));
  EXPECT_EQ(Queued(), std::make_pair(1, 0)) << "a paused webhook gets nothing";
  const auto paused = store_->ListWebhooks(hook_.accountId);
  ASSERT_EQ(paused.size(), 1u);
  EXPECT_TRUE(paused[0].paused);
  EXPECT_EQ(paused[0].lastError, "the receiver answered 500");

  ASSERT_TRUE(store_->ResumeWebhook(hook_.accountId, hook_.id));
  store_->RecordEvents({By(EventOn(tracked_[1], EventType::kImage, later), EventClass::kPerson)});
  EXPECT_EQ(Queued(), std::make_pair(1, 1));
  // Another account's webhook is not this sender's to remove.
  EXPECT_FALSE(store_->RemoveWebhook(hook_.accountId + 1000, hook_.id));
  EXPECT_TRUE(store_->RemoveWebhook(hook_.accountId, hook_.id));
  EXPECT_TRUE(store_->ListWebhooks(hook_.accountId).empty());
}

TEST_P(OutboxTest, DeliveriesAreLeasedAndInOrderPerRecipient) {
  const Time t = kMarch14 + kDay;
  store_->RecordEvents({EventOn(tracked_[0], EventType::kImage, t)});
  store_->RecordOnce(EventOn(tracked_[0], EventType::kReceipt, t + kSecond));
  store_->RecordOnce(EventOn(tracked_[1], EventType::kReceipt, t + 2 * kSecond));
  const Time now = t + 10 * kSecond;

  // Bob's receipt waits for his open at the webhook; by mail nothing waits.
  std::vector<Delivery> first = store_->ClaimDeliveries(now, now + 60 * kSecond, 100);
  std::vector<std::string> taken;
  for (const Delivery& d : first)
    taken.push_back((d.webhookId ? "hook " : "mail ") + d.recipient + " " + std::to_string(d.eventType));
  EXPECT_EQ(taken,
            (std::vector<std::string>{"mail bob@example.org 0", "hook bob@example.org 0", "mail bob@example.org 1",
                                      "mail cy@example.org 1", "hook cy@example.org 1"}));
  const Delivery bobOpen = first[1];
  EXPECT_EQ(bobOpen.subject, "Quarterly figures");
  EXPECT_EQ(bobOpen.url, "https://hooks.example.com/in");
  EXPECT_EQ(bobOpen.secret, "whsec_test");
  EXPECT_EQ(bobOpen.sender, kSender);
  EXPECT_EQ(bobOpen.reason, "a mail program");
  EXPECT_EQ(bobOpen.attempts, 1);

  // Leased: no one else takes them meanwhile.
  EXPECT_TRUE(store_->ClaimDeliveries(now + kSecond, now + kDay, 100).empty());
  for (const Delivery& d : first) {
    if (d.id != bobOpen.id) store_->FinishDelivery(d, now);
  }
  // Failed and due again later: until then, Bob's receipt still waits behind it.
  store_->RetryDelivery(bobOpen, now + 30 * kSecond, false, "the receiver answered 503", now);
  EXPECT_TRUE(store_->ClaimDeliveries(now + 2 * kSecond, now + kDay, 100).empty());
  EXPECT_EQ(store_->ListWebhooks(hook_.accountId)[0].failingSince, now);

  const std::vector<Delivery> again = store_->ClaimDeliveries(now + 30 * kSecond, now + kDay, 100);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].id, bobOpen.id);
  EXPECT_EQ(again[0].eventId, bobOpen.eventId) << "the same event, the same id";
  EXPECT_EQ(again[0].attempts, 2);
  store_->FinishDelivery(again[0], now + 30 * kSecond);
  EXPECT_EQ(store_->ListWebhooks(hook_.accountId)[0].failingSince, 0);

  const std::vector<Delivery> last = store_->ClaimDeliveries(now + 31 * kSecond, now + kDay, 100);
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0].eventType, static_cast<int>(EventType::kReceipt));
  EXPECT_EQ(last[0].recipient, "bob@example.org");
  EXPECT_GT(last[0].eventId, bobOpen.eventId);
}

TEST_P(OutboxTest, ARemovedAccountLeavesNothingToSend) {
  store_->RecordEvents({EventOn(tracked_[0], EventType::kImage, kMarch14 + kDay)});
  ASSERT_TRUE(store_->RemoveAccount(kSender));
  EXPECT_TRUE(TakeAll().empty());
}

INSTANTIATE_TEST_SUITE_P(Engines, OutboxTest, ::testing::ValuesIn(testsupport::StoreEngineUrls()),
                         [](const auto& engine) { return testsupport::EngineName(engine.param); });

}  // namespace
}  // namespace store_test
