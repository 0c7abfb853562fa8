// "Automatic" and "Request receipt" end to end on the stand-in desktop, with a
// loopback service giving fixed replies.
#include <gtest/gtest.h>

#include <functional>

#include "host/sim/mail_store.h"
#include "send_world.h"
#include "sending/inserts.h"

namespace sendtest {
namespace {

using host::sim::SimRecipient;

const std::string kConverted =
    "<HTML><HEAD><META content=\"text/html\" http-equiv=Content-Type><META content=\"MSHTML5.00.2614.3401\" "
    "name=GENERATOR></HEAD><BODY><PRE>";
const std::string kConvertedEnd = "</PRE></BODY></HTML>";

class TrackedSend : public SendWorld {
 protected:
  void ClickAutomatic() {
    bool cancelDefault = false;
    addin.autoButton_Click(nullptr, cancelDefault);
  }
  void ClickReceipt() {
    bool cancelDefault = false;
    addin.requButton_Click(nullptr, cancelDefault);
  }
  std::string Image(const std::string& stamp) const {
    auto insert = corvanta::sending::TrackingImage(server.HostPort());
    return insert.head + stamp + insert.tail;
  }
  std::string Receipt(const std::string& stamp) const {
    auto insert = corvanta::sending::ReceiptRequest(server.HostPort());
    return insert.head + stamp + insert.tail;
  }

  // The composed message was discarded and deleted; no copy stayed in Drafts.
  void ExpectDeleted(const std::shared_ptr<host::sim::SimMailItem>& item) {
    EXPECT_EQ(item->lastCloseMode(), 1);
    EXPECT_TRUE(item->stale());
    EXPECT_EQ(world.outlook->folder(host::sim::kDeletedItems)->Subjects(), std::vector<std::string>{item->subject()});
    EXPECT_EQ(world.outlook->folder(host::sim::MailStore::kDrafts)->count(), 0u);
  }

  // Nothing left and the composed message is untouched in Drafts.
  void ExpectNothingSent(const std::shared_ptr<host::sim::SimMailItem>& item) {
    EXPECT_TRUE(In(host::sim::MailStore::kOutbox).empty());
    EXPECT_EQ(world.redemption.sendCalls(), 0);
    EXPECT_FALSE(item->stale());
    EXPECT_EQ(item->closeCount(), 0);
    ASSERT_NE(item->folder(), nullptr);
    EXPECT_EQ(item->folder()->name(), host::sim::MailStore::kDrafts);
    EXPECT_EQ(item->htmlBody(), "");
  }
};

TEST_F(TrackedSend, AutomaticSendsEachRecipientItsOwnCopyWithItsOwnStamp) {
  auto item = Compose(ThreeKinds(), "Hello there.");
  ServeCredit("qo;3");  // credit equal to the recipients is enough
  ServeStamps("qo;s1 s2 s3");

  ClickAutomatic();

  EXPECT_TRUE(Shown().empty());
  const auto sent = In(host::sim::MailStore::kOutbox);
  ASSERT_EQ(sent.size(), 3u);
  const std::vector<std::string> stamps = {"s1", "s2", "s3"};
  for (std::size_t i = 0; i < 3; ++i) {
    // Read back from the .eml file itself: one recipient, of its own kind.
    const host::sim::ParsedMail mail = host::sim::ReadEml(sent[i].path);
    const SimRecipient expected = ThreeKinds()[i];
    ASSERT_EQ(mail.recipients.size(), 1u) << i;
    EXPECT_EQ(mail.recipients[0].address, expected.address);
    EXPECT_EQ(mail.recipients[0].kind, expected.kind);
    EXPECT_EQ(mail.subject, "Quarterly figures");
    EXPECT_EQ(mail.htmlBody, kConverted + "Hello there." + kConvertedEnd + Image(stamps[i]));
  }
  EXPECT_EQ(world.redemption.resolveAllCalls(), 3);
  EXPECT_EQ(world.redemption.deliverNowCalls(), 3);
  // The composed message is discarded and deleted once every copy has left.
  ExpectDeleted(item);
  EXPECT_EQ(world.outlook->sendReceiveCount(), 0);

  EXPECT_EQ(ProgressMax(), 5);
  EXPECT_EQ(world.windowing.CaptionsOf("dlgProgress", "lblProgress"),
            (std::vector<std::string>{"Retrieving credit info...", "Receiving stamp...", "Start sending...",
                                      "Sending to... (1/3)", "Sending to... (2/3)", "Sending to... (3/3)"}));
  EXPECT_EQ(world.windowing.CaptionsOf("dlgProgress", "lblEmail"),
            (std::vector<std::string>{"bob@example.org", "cy@example.org", "di@example.org"}));
  EXPECT_EQ(world.windowing.ShownModeless("dlgProgress"), nullptr);
  EXPECT_EQ(RequestsTo(kCreditPath).size(), 1u);
  EXPECT_EQ(RequestsTo(kStampPath).size(), 1u);
}

struct BodyCase {
  bool receipt;
  std::string body, html;
  // The HTML that leaves, given the recipient's insert.
  std::function<std::string(const std::string& insert)> expected;
};

class TrackedSendBodies : public TrackedSend, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(TrackedSendBodies, InsertStandsWhereTheButtonPutsIt) {
  const BodyCase& c = GetParam();
  Compose({SimRecipient::Smtp("Bob", "bob@example.org"), SimRecipient::Smtp("Cy", "cy@example.org")}, c.body, c.html);
  ServeCredit("qo;10");
  ServeStamps("qo;Ab-1 Cd.2 extra");  // the extra stamp is ignored
  c.receipt ? ClickReceipt() : ClickAutomatic();

  EXPECT_TRUE(Shown().empty());
  const auto sent = In(host::sim::MailStore::kOutbox);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(host::sim::ReadEml(sent[0].path).htmlBody, c.expected(c.receipt ? Receipt("Ab-1") : Image("Ab-1")));
  EXPECT_EQ(host::sim::ReadEml(sent[1].path).htmlBody, c.expected(c.receipt ? Receipt("Cd.2") : Image("Cd.2")));
}

const std::string kHtml = "<html><body><p>Figures &amp; charts</p></body></html>";

INSTANTIATE_TEST_SUITE_P(
    Buttons, TrackedSendBodies,
    ::testing::Values(BodyCase{false, "x", kHtml, [](const std::string& insert) { return kHtml + insert; }},
                      BodyCase{true, "x", kHtml, [](const std::string& insert) { return insert + kHtml; }},
                      BodyCase{true, "Plain <text> & more", {}, [](const std::string& insert) {
                                 return insert + kConverted + "Plain &lt;text&gt; &amp; more" + kConvertedEnd;
                               }}));

struct Refused {
  std::string name;
  std::vector<SimRecipient> recipients;
  std::string credit, stamps;
  std::vector<std::string> shown;
  bool stampRequested;
};

class TrackedSendRefused : public TrackedSend, public ::testing::WithParamInterface<Refused> {};

TEST_P(TrackedSendRefused, NothingLeavesAndTheMessageStays) {
  const Refused& c = GetParam();
  auto item = Compose(c.recipients);
  ServeCredit(c.credit);
  ServeStamps(c.stamps);

  ClickAutomatic();

  EXPECT_EQ(Shown(), c.shown);
  ExpectNothingSent(item);
  EXPECT_EQ(RequestsTo(kStampPath).size(), c.stampRequested ? 1u : 0u);
  EXPECT_EQ(world.windowing.ShownModeless("dlgProgress"), nullptr);
}

const std::string kTooFew =
    "The service sent 2 stamp(s) for 3 recipients.\r\nNothing was sent; please try again later.";
std::string Unusable(int i) {
  return "The service sent an unusable stamp for recipient " + std::to_string(i) +
         ".\r\nNothing was sent; please try again later.";
}

INSTANTIATE_TEST_SUITE_P(
    Replies, TrackedSendRefused,
    ::testing::Values(
        Refused{"CreditBelowRecipients", ThreeKinds(), "qo;2", "qo;s1 s2 s3", {"Insufficient credit."}, false},
        Refused{"CreditQueryFails", ThreeKinds(), "qx;Unknown sender", "qo;s1 s2 s3", {"Unknown sender"}, false},
        Refused{"StampReplyQx", ThreeKinds(), "qo;9", "qx;Service busy", {"Service busy"}, true},
        Refused{"StampReplyGarbage", ThreeKinds(), "qo;9", "<html>oops</html>", {"ml>oops</html>"}, true},
        Refused{"StampReplyEmpty",
                ThreeKinds(),
                "qo;9",
                "",
                {"An error occured while receiving stamp.\r\nPlease contact us with the error# at "
                 "support@mailwarden.com"},
                true},
        Refused{"FewerStamps", ThreeKinds(), "qo;9", "qo;s1 s2", {kTooFew}, true},
        Refused{"EmptyStamp", ThreeKinds(), "qo;9", "qo;s1  s3", {Unusable(2)}, true},
        Refused{"QuoteInStamp", ThreeKinds(), "qo;9", "qo;s1 s2 s3\"onload=\"x", {Unusable(3)}, true},
        Refused{"AngleInStamp", ThreeKinds(), "qo;9", "qo;<b>s1 s2 s3", {Unusable(1)}, true},
        Refused{"NoRecipients", {}, "qo;9", "qo;s1", {"No recipient addresses found"}, false},
        Refused{"EmptyAddress",
                {SimRecipient::Smtp("A", "a@example.org"), SimRecipient::Exchange("", "/o=nobody", "")},
                "qo;9",
                "qo;s1 s2",
                {"Empty recipient address. (2)"},
                false}),
    [](const ::testing::TestParamInfo<Refused>& param) { return param.param.name; });

TEST_F(TrackedSend, TooLongAQueryIsRefusedBeforeAskingForStamps) {
  auto item = Compose(ThreeKinds(), "Body", {}, std::string(2000, 's'));
  ServeCredit("qo;9");
  ClickAutomatic();
  EXPECT_EQ(Shown(), std::vector<std::string>{"Subject or the email address(es) is too long."});
  ExpectNothingSent(item);
  EXPECT_TRUE(RequestsTo(kStampPath).empty());
}

TEST_F(TrackedSend, ServiceNotReachableShowsTheConnectionMessageOnce) {
  auto item = Compose(ThreeKinds());
  addin.serviceHost = "127.0.0.1:" + std::to_string(testsupport::LoopbackServer::UnusedPort());
  ClickReceipt();
  EXPECT_EQ(Shown(),
            std::vector<std::string>{"Connection timeout! Please check your Internet connection and try again. #7"});
  ExpectNothingSent(item);
}

TEST_F(TrackedSend, NoItemWindowFailsAtStep10) {
  ServeCredit("qo;9");
  ClickAutomatic();
  EXPECT_EQ(Shown(), std::vector<std::string>{"An error was occured! #10"});
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(TrackedSend, FailureAtTheSecondRecipientKeepsTheMessage) {
  auto item = Compose(ThreeKinds());
  ServeCredit("qo;3");
  ServeStamps("qo;s1 s2 s3");
  world.redemption.faults().FailNth("SafeMailItem.Send", 2);

  ClickAutomatic();

  EXPECT_EQ(Shown(), std::vector<std::string>{"An error was occured! #17"});
  const auto sent = In(host::sim::MailStore::kOutbox);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].message.recipients.at(0).address, "bob@example.org");
  EXPECT_FALSE(item->stale());
  EXPECT_EQ(item->closeCount(), 0);
  EXPECT_EQ(item->folder()->name(), host::sim::MailStore::kDrafts);
}

TEST_F(TrackedSend, SendReceiveRunsOnceAfterTheLastCopyWhenChosen) {
  Compose(ThreeKinds());
  ServeCredit("qo;3");
  ServeStamps("qo;s1 s2 s3");
  addin.opt_send = 1;
  ClickAutomatic();
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(In(host::sim::MailStore::kOutbox).size(), 3u);
  EXPECT_EQ(world.outlook->sendReceiveCount(), 1);
}

TEST_F(TrackedSend, SendReceiveWithoutAMainWindowCannotFindTheButton) {
  auto item = Compose(ThreeKinds());
  ServeCredit("qo;3");
  ServeStamps("qo;s1 s2 s3");
  addin.opt_send = 1;
  world.outlook->activeExplorer()->UserClose();
  ClickAutomatic();
  EXPECT_EQ(Shown(), std::vector<std::string>{"Can't locate the button!"});
  EXPECT_EQ(In(host::sim::MailStore::kOutbox).size(), 3u);
  ExpectDeleted(item);
}

TEST_F(TrackedSend, SecondClickDuringASendIsIgnored) {
  Compose(ThreeKinds());
  ServeCredit("qo;9");
  ServeStamps("qo;s1 s2 s3");
  ServeUpload("qo;g1 g2 g3");
  int clicks = 0;
  // The user clicks again while the first send pumps window messages.
  world.windowing.ScheduleUser([&] {
    ++clicks;
    bool cancelDefault = false;
    addin.autoButton_Click(nullptr, cancelDefault);
    addin.requButton_Click(nullptr, cancelDefault);
    addin.guarButton_Click(nullptr, cancelDefault);
  });

  ClickAutomatic();

  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(In(host::sim::MailStore::kOutbox).size(), 3u);
  EXPECT_EQ(RequestsTo(kCreditPath).size(), 1u);
  EXPECT_EQ(RequestsTo(kStampPath).size(), 1u);
  EXPECT_TRUE(RequestsTo(kUploadPath).empty());

  // Once the send is over, the next one runs.
  Compose({SimRecipient::Smtp("Eve", "eve@example.org")});
  ClickReceipt();
  EXPECT_EQ(In(host::sim::MailStore::kOutbox).size(), 4u);
}

TEST_F(TrackedSend, ASendThatFailedLetsTheNextOneRun) {
  ClickAutomatic();  // no item window: fails at step 10
  Compose({SimRecipient::Smtp("Eve", "eve@example.org")});
  ServeCredit("qo;1");
  ServeStamps("qo;s1");
  ClickAutomatic();
  EXPECT_EQ(Shown(), std::vector<std::string>{"An error was occured! #10"});
  EXPECT_EQ(In(host::sim::MailStore::kOutbox).size(), 1u);
}

}  // namespace
}  // namespace sendtest
