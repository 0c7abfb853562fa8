// "Guaranteed" end to end on the stand-in desktop, with a loopback service
// giving fixed replies.
#include <gtest/gtest.h>

#include "host/sim/mail_store.h"
#include "send_world.h"
#include "sending/certified_notice.h"

namespace sendtest {
namespace {

using host::sim::MailStore;
using host::sim::SimRecipient;
namespace sending = corvanta::sending;

class GuaranteedSend : public SendWorld {
 protected:
  void ClickGuaranteed() {
    bool cancelDefault = false;
    addin.guarButton_Click(nullptr, cancelDefault);
  }

  void ExpectNothingSent(const std::shared_ptr<host::sim::SimMailItem>& item) {
    EXPECT_TRUE(In(MailStore::kOutbox).empty());
    EXPECT_TRUE(In(MailStore::kSentItems).empty());
    EXPECT_EQ(world.redemption.sendCalls(), 0);
    EXPECT_FALSE(item->stale());
    EXPECT_EQ(item->closeCount(), 0);
    // Only the composed message is in Drafts: no copy was made of it.
    EXPECT_EQ(world.outlook->folder(MailStore::kDrafts)->Subjects(), std::vector<std::string>{item->subject()});
  }
};

TEST_F(GuaranteedSend, NotifiesEachRecipientAndKeepsACopyPerRecipientInSentItems) {
  auto item = Compose(ThreeKinds(), "The real message.\r\nSecond line.");
  ServeCredit("qo;3");
  ServeUpload("qo;g1 g2 g3");

  ClickGuaranteed();

  EXPECT_TRUE(Shown().empty());
  const std::vector<std::string> stamps = {"g1", "g2", "g3"};
  const auto notices = In(MailStore::kOutbox);
  const auto kept = In(MailStore::kSentItems);
  ASSERT_EQ(notices.size(), 3u);
  ASSERT_EQ(kept.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const SimRecipient recipient = ThreeKinds()[i];
    const host::sim::ParsedMail notice = host::sim::ReadEml(notices[i].path);
    ASSERT_EQ(notice.recipients.size(), 1u);
    EXPECT_EQ(notice.recipients[0].address, recipient.address);
    EXPECT_EQ(notice.recipients[0].kind, recipient.kind);
    EXPECT_EQ(notice.subject, "Quarterly figures");
    EXPECT_EQ(notice.htmlBody,
              sending::NotificationBody(server.HostPort(), "Ann Sender", "ann@example.org", stamps[i]));
    EXPECT_EQ(notice.htmlBody.find("The real message"), std::string::npos);

    // The kept copy names its own recipient and carries that recipient's cancel link.
    const host::sim::ParsedMail copy = host::sim::ReadEml(kept[i].path);
    EXPECT_EQ(copy.subject, "Quarterly figures (" + recipient.address + ")");
    EXPECT_EQ(copy.recipients.size(), 3u);
    EXPECT_EQ(copy.htmlBody, "");
    EXPECT_EQ(copy.body, "To cancel the delivery, please open the following link.\r\nhttp://" + server.HostPort() +
                             "/p/b01/tovik.php?" + stamps[i] + "&cmd=del\r\n\r\nThe real message.\r\nSecond line.");
  }
  EXPECT_EQ(world.redemption.deliverNowCalls(), 0);
  EXPECT_EQ(world.outlook->sendReceiveCount(), 0);
  EXPECT_EQ(item->lastCloseMode(), 1);
  EXPECT_TRUE(item->stale());
  // Neither the composed message nor the notification template stays in Drafts.
  EXPECT_EQ(world.outlook->folder(MailStore::kDrafts)->count(), 0u);
  EXPECT_EQ(ProgressMax(), 10);
  EXPECT_EQ(
      world.windowing.CaptionsOf("dlgProgress", "lblProgress"),
      (std::vector<std::string>{"Retrieving credit info...", "Receiving stamp...", "Sending...", "Start sending...",
                                "Sending to... (1/3)", "Copying the actual email to the Sent folder...",
                                "Sending to... (2/3)", "Copying the actual email to the Sent folder...",
                                "Sending to... (3/3)", "Copying the actual email to the Sent folder..."}));
  EXPECT_EQ(RequestsTo(kCreditPath).size(), 1u);
  EXPECT_EQ(RequestsTo(kUploadPath).size(), 1u);
  EXPECT_TRUE(RequestsTo(kStampPath).empty());
  EXPECT_EQ(world.windowing.ShownModeless("dlgProgress"), nullptr);
}

TEST_F(GuaranteedSend, HtmlMessageKeepsItsHtmlBehindTheCancelAnchor) {
  const std::string html = "<html><body><b>Figures</b></body></html>";
  Compose({SimRecipient::Smtp("Bob", "bob@example.org"), SimRecipient::Smtp("Cy", "cy@example.org")}, "", html);
  ServeCredit("qo;2");
  ServeUpload("qo;g1 g2");

  ClickGuaranteed();

  EXPECT_TRUE(Shown().empty());
  const auto kept = In(MailStore::kSentItems);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(host::sim::ReadEml(kept[1].path).htmlBody,
            sending::HtmlCancelNotice(sending::CancelLink(server.HostPort(), "g2")) + html);
  EXPECT_EQ(host::sim::ReadEml(kept[1].path).subject, "Quarterly figures (cy@example.org)");
  EXPECT_EQ(ProgressMax(), 8);
}

TEST_F(GuaranteedSend, SenderIsEscapedForHtmlInTheNotification) {
  world.SetSender("Tom <Boss> & Co", "tom&co@example.org");
  Compose({SimRecipient::Smtp("Bob", "bob@example.org")});
  ServeCredit("qo;1");
  ServeUpload("qo;g1");

  ClickGuaranteed();

  const auto notices = In(MailStore::kOutbox);
  ASSERT_EQ(notices.size(), 1u);
  const std::string html = host::sim::ReadEml(notices[0].path).htmlBody;
  EXPECT_NE(html.find("<font face=\"Arial\" size=\"2\">\"Tom &lt;Boss&gt; &amp; Co\" &lt;tom&amp;co@example.org&gt; "
                      "sent you an Email.<br>"),
            std::string::npos)
      << html;
  // The upload itself carries the plain name.
  EXPECT_NE(RequestsTo(kUploadPath).at(0).body.find("&fromName=Tom%20%3CBoss%3E%20%26%20Co&"), std::string::npos);
}

TEST_F(GuaranteedSend, RecipientWithoutSmtpAddressIsNamedByItsDisplayName) {
  Compose({SimRecipient::Smtp("Bob", "bob@example.org"), SimRecipient::Exchange("Cy Cc", "/o=Org/cn=cy", "")});
  ServeCredit("qo;2");
  ServeUpload("qo;g1 g2");
  ClickGuaranteed();
  EXPECT_EQ(Kept(), (std::vector<std::string>{"Quarterly figures (bob@example.org)", "Quarterly figures (Cy Cc)"}));
}

struct Refused {
  std::string name;
  std::vector<SimRecipient> recipients;
  std::string credit, upload;
  std::vector<std::string> shown;
  bool uploaded;
};

class GuaranteedRefused : public GuaranteedSend, public ::testing::WithParamInterface<Refused> {};

TEST_P(GuaranteedRefused, NothingLeavesNothingIsKeptAndTheMessageStays) {
  const Refused& c = GetParam();
  auto item = Compose(c.recipients);
  ServeCredit(c.credit);
  ServeUpload(c.upload);

  ClickGuaranteed();

  EXPECT_EQ(Shown(), c.shown);
  ExpectNothingSent(item);
  EXPECT_EQ(RequestsTo(kUploadPath).size(), c.uploaded ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, GuaranteedRefused,
    ::testing::Values(
        Refused{"CreditBelowRecipients", ThreeKinds(), "qo;2", "qo;g1 g2 g3", {"Insufficient credit."}, false},
        Refused{"CreditQueryFails", ThreeKinds(), "qx;Unknown sender", "qo;g1 g2 g3", {"Unknown sender"}, false},
        Refused{"UploadQx", ThreeKinds(), "qo;9", "qx;Storage full", {"Storage full"}, true},
        Refused{"UploadGarbage", ThreeKinds(), "qo;9", "Internal Server Error", {"ernal Server Error"}, true},
        Refused{"FewerStamps",
                ThreeKinds(),
                "qo;9",
                "qo;g1",
                {"The service sent 1 stamp(s) for 3 recipients.\r\nNothing was sent; please try again later."},
                true},
        Refused{"UnsafeStamp",
                ThreeKinds(),
                "qo;9",
                "qo;g1 g2 g3<",
                {"The service sent an unusable stamp for recipient 3.\r\nNothing was sent; please try again later."},
                true},
        Refused{"NoRecipients", {}, "qo;9", "qo;g1", {"No recipient addresses found"}, false}),
    [](const ::testing::TestParamInfo<Refused>& param) { return param.param.name; });

TEST_F(GuaranteedSend, TooBigAnUploadIsRefusedBeforeAnythingIsSent) {
  auto item = Compose(ThreeKinds(), std::string(7000, '.'));  // every full stop takes three characters
  ServeCredit("qo;9");
  ServeUpload("qo;g1 g2 g3");
  ClickGuaranteed();
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].rfind("The email is too big. (", 0), 0u) << Shown()[0];
  EXPECT_EQ(Shown()[0].substr(Shown()[0].size() - 7), ">20000)");
  ExpectNothingSent(item);
  EXPECT_TRUE(RequestsTo(kUploadPath).empty());
}

TEST_F(GuaranteedSend, ServiceNotReachableShowsTheConnectionMessageOnce) {
  auto item = Compose(ThreeKinds());
  addin.serviceHost = "127.0.0.1:" + std::to_string(testsupport::LoopbackServer::UnusedPort());
  ClickGuaranteed();
  EXPECT_EQ(Shown(),
            std::vector<std::string>{"Connection timeout! Please check your Internet connection and try again. #7"});
  ExpectNothingSent(item);
}

TEST_F(GuaranteedSend, FailureAtTheSecondNotificationKeepsTheMessage) {
  auto item = Compose(ThreeKinds());
  ServeCredit("qo;3");
  ServeUpload("qo;g1 g2 g3");
  world.redemption.faults().FailNth("SafeMailItem.Send", 2);

  ClickGuaranteed();

  EXPECT_EQ(Shown(), std::vector<std::string>{"An error was occured! #212"});
  EXPECT_EQ(In(MailStore::kOutbox).size(), 1u);
  EXPECT_EQ(Kept(), std::vector<std::string>{"Quarterly figures (bob@example.org)"});
  EXPECT_FALSE(item->stale());
  EXPECT_EQ(item->closeCount(), 0);
}

TEST_F(GuaranteedSend, NoItemWindowFailsAtStep201) {
  ClickGuaranteed();
  EXPECT_EQ(Shown(), std::vector<std::string>{"An error was occured! #201"});
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(GuaranteedSend, SendReceiveRunsOnceAfterTheLastRecipientWhenChosen) {
  Compose(ThreeKinds());
  ServeCredit("qo;3");
  ServeUpload("qo;g1 g2 g3");
  addin.opt_send = 1;
  ClickGuaranteed();
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(world.outlook->sendReceiveCount(), 1);
  EXPECT_EQ(In(MailStore::kOutbox).size(), 3u);
}

TEST_F(GuaranteedSend, SecondClickDuringTheUploadIsIgnored) {
  Compose(ThreeKinds());
  ServeCredit("qo;9");
  ServeStamps("qo;s1 s2 s3");
  ServeUpload("qo;g1 g2 g3");
  int clicks = 0;
  world.windowing.ScheduleUser([&] {
    ++clicks;
    bool cancelDefault = false;
    addin.guarButton_Click(nullptr, cancelDefault);
    addin.autoButton_Click(nullptr, cancelDefault);
  });

  ClickGuaranteed();

  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(In(MailStore::kOutbox).size(), 3u);
  EXPECT_EQ(In(MailStore::kSentItems).size(), 3u);
  EXPECT_EQ(RequestsTo(kCreditPath).size(), 1u);
  EXPECT_EQ(RequestsTo(kUploadPath).size(), 1u);
  EXPECT_TRUE(RequestsTo(kStampPath).empty());
}

}  // namespace
}  // namespace sendtest
