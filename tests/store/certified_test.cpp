// Certified messages: read, cancelled, expired after 30 days; old records purged.
#include "store_fixture.h"

namespace store_test {
namespace {

class CertifiedStoreTest : public StoreTest {
 protected:
  std::vector<std::string> Upload(Time issued, std::vector<std::string> to = {"bob@x", "cy@x"}) {
    NewMessage message = Message("ann@example.com", std::move(to), issued, "Contract");
    message.kind = Kind::kCertified;
    message.fromName = "Ann Sender";
    message.content = "<p>Sign here \xE2\x9C\x8D</p>";
    message.isHtml = true;
    return Issue(message, 100);
  }
};

TEST_P(CertifiedStoreTest, ReadingFindsTheContentAndRecordsTheRead) {
  auto stamps = Upload(kMarch14);
  Certified read = store_->ReadCertified(EventOn(stamps[1], EventType::kRead, kMarch14 + kSecond));
  ASSERT_EQ(read.state, CertifiedState::kFound);
  EXPECT_EQ(read.content, "<p>Sign here \xE2\x9C\x8D</p>");
  EXPECT_TRUE(read.isHtml);
  EXPECT_EQ(read.fromName, "Ann Sender");
  EXPECT_EQ(read.info.recipient, "cy@x");
  EXPECT_EQ(read.info.kind, Kind::kCertified);

  auto tracked = Issue(Message("ann@example.com", {"d@x"}, kMarch14));
  EXPECT_EQ(store_->ReadCertified(EventOn(tracked[0], EventType::kRead, kMarch14)).state,
            CertifiedState::kNotCertified);
  EXPECT_EQ(store_->ReadCertified(EventOn("Nothing", EventType::kRead, kMarch14)).state, CertifiedState::kUnknown);
  EXPECT_EQ(store_->Cancel(EventOn(tracked[0], EventType::kCancel, kMarch14)), CertifiedState::kNotCertified);
  EXPECT_EQ(store_->Cancel(EventOn("Nothing", EventType::kCancel, kMarch14)), CertifiedState::kUnknown);

  auto info = store_->FindStamp(stamps[1]);
  auto message = store_->GetMessage(info->accountId, info->messageId);
  ASSERT_TRUE(message);
  EXPECT_TRUE(message->hasContent);
  ASSERT_EQ(message->recipients[1].events.size(), 1u);
  EXPECT_EQ(message->recipients[1].events[0].type, EventType::kRead);
  EXPECT_TRUE(message->recipients[0].events.empty());
}

TEST_P(CertifiedStoreTest, CancellingEndsOneDeliveryAndTheContentGoesWithTheLast) {
  auto stamps = Upload(kMarch14);
  EXPECT_EQ(store_->Cancel(EventOn(stamps[0], EventType::kCancel, kMarch14 + kSecond)), CertifiedState::kFound);
  EXPECT_EQ(store_->Cancel(EventOn(stamps[0], EventType::kCancel, kMarch14 + kSecond)), CertifiedState::kCancelled);
  Certified cancelled = store_->ReadCertified(EventOn(stamps[0], EventType::kRead, kMarch14 + 2 * kSecond));
  EXPECT_EQ(cancelled.state, CertifiedState::kCancelled);
  EXPECT_EQ(cancelled.content, "");
  EXPECT_TRUE(store_->FindStamp(stamps[0])->cancelled);
  EXPECT_EQ(store_->ReadCertified(EventOn(stamps[1], EventType::kRead, kMarch14)).state, CertifiedState::kFound);

  EXPECT_EQ(store_->Cancel(EventOn(stamps[1], EventType::kCancel, kMarch14 + kSecond)), CertifiedState::kFound);
  auto info = store_->FindStamp(stamps[1]);
  auto message = store_->GetMessage(info->accountId, info->messageId);
  ASSERT_TRUE(message);
  EXPECT_FALSE(message->hasContent);
  EXPECT_TRUE(message->recipients[0].cancelled);
  ASSERT_EQ(message->recipients[0].events.size(), 1u);  // the cancel; no read after it
  EXPECT_EQ(message->recipients[0].events[0].type, EventType::kCancel);
}

TEST_P(CertifiedStoreTest, ContentExpiresAndTheRecordStays) {
  auto old = Upload(kMarch14 - 31 * kDay);
  auto recent = Upload(kMarch14 - 29 * kDay);
  EXPECT_EQ(store_->ExpireContent(kMarch14 - 30 * kDay), 1);
  EXPECT_EQ(store_->ExpireContent(kMarch14 - 30 * kDay), 0);
  Certified expired = store_->ReadCertified(EventOn(old[0], EventType::kRead, kMarch14));
  EXPECT_EQ(expired.state, CertifiedState::kExpired);
  EXPECT_EQ(expired.content, "");
  EXPECT_EQ(store_->ReadCertified(EventOn(recent[0], EventType::kRead, kMarch14)).state, CertifiedState::kFound);
  auto info = store_->FindStamp(old[0]);
  ASSERT_TRUE(info);
  auto message = store_->GetMessage(info->accountId, info->messageId);
  ASSERT_TRUE(message);
  EXPECT_FALSE(message->hasContent);
  EXPECT_EQ(message->subject, "Contract");
  EXPECT_EQ(message->recipients.size(), 2u);
}

TEST_P(CertifiedStoreTest, PurgingDeletesOldMessagesWithTheirStampsAndEvents) {
  auto old = Upload(kMarch14 - 400 * kDay);
  auto kept = Upload(kMarch14 - 10 * kDay);
  store_->RecordEvents({EventOn(old[0], EventType::kImage, kMarch14), EventOn(kept[0], EventType::kImage, kMarch14)});
  EXPECT_EQ(store_->PurgeBefore(kMarch14 - 365 * kDay), 1);
  EXPECT_FALSE(store_->FindStamp(old[0]));
  EXPECT_FALSE(store_->FindStamp(old[1]));
  auto info = store_->FindStamp(kept[0]);
  ASSERT_TRUE(info);
  MessageQuery query{info->accountId, "", 0, 50, {}};
  auto messages = store_->ListMessages(query);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].recipients[0].events.size(), 1u);
  // The credit used in the month stays used.
  EXPECT_EQ(store_->CreditLeft("ann@example.com", kMarch14 - 400 * kDay), 98);
}

TEST_P(CertifiedStoreTest, TextKeptWithItsEscapesIsReadAgainAndTheEscapesGoWithTheContent) {
  auto stamps = Upload(kMarch14);
  auto info = store_->FindStamp(stamps[0]);
  store_->KeepReceived(info->messageId, "twoByte=1&subject=%0BBE1", std::string_view("%0D2E9"));
  auto tracked = Issue(Message("ann@example.com", {"d@x"}, kMarch14));
  store_->KeepReceived(store_->FindStamp(tracked[0])->messageId, "twoByte=1&subject=%0C8B8", std::nullopt);
  Issue(Message("other@example.com", {"e@x"}, kMarch14), 100);
  std::vector<KeptText> kept = store_->KeptTexts("Ann@Example.com");
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].messageId, info->messageId);
  EXPECT_EQ(kept[0].received, "twoByte=1&subject=%0BBE1");
  EXPECT_EQ(kept[0].content, "%0D2E9");
  EXPECT_EQ(kept[1].content, std::nullopt);  // a tracked message has no content to keep
  EXPECT_TRUE(store_->KeptTexts("other@example.com").empty());

  // "会议" read again: subject, content, recipients and the search follow; the escapes go.
  store_->RewriteText(
      info->messageId,
      TextReadAgain{"\u4F1A\u8BAE", "\u5F20\u4F1F", "<p>\u8BAE</p>", {{"bob@x", "\u5F20"}, {"cy@x", ""}}});
  Certified read = store_->ReadCertified(EventOn(stamps[0], EventType::kRead, kMarch14 + kSecond));
  EXPECT_EQ(read.content, "<p>\u8BAE</p>");
  EXPECT_EQ(read.fromName, "\u5F20\u4F1F");
  EXPECT_EQ(read.info.subject, "\u4F1A\u8BAE");
  EXPECT_EQ(read.info.recipientName, "\u5F20");
  auto found = store_->ListMessages({info->accountId, "\u5F20", 0, 50, {}});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].id, info->messageId);
  ASSERT_EQ(store_->KeptTexts("ann@example.com").size(), 1u);

  // Expired content takes its escapes along; the text's stay.
  store_->KeepReceived(info->messageId, "twoByte=1&subject=%0BBE1", std::string_view("%0D2E9"));
  EXPECT_EQ(store_->ExpireContent(kMarch14 + kSecond), 1);
  kept = store_->KeptTexts("ann@example.com");
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].content, std::nullopt);
  EXPECT_EQ(kept[0].received, "twoByte=1&subject=%0BBE1");
}

INSTANTIATE_TEST_SUITE_P(Engines, CertifiedStoreTest, ::testing::ValuesIn(testsupport::StoreEngineUrls()),
                         [](const auto& engine) { return testsupport::EngineName(engine.param); });

}  // namespace
}  // namespace store_test
