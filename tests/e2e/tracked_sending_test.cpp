// "Automatic", "Request receipt" and "Guaranteed" from the item window's
// toolbar to mailwarden and back: what leaves, what the service records,
// what the recipients' links do.
#include <gtest/gtest.h>

#include "e2e_world.h"
#include "service/status.h"
#include "support/loopback_client.h"
#include "support/press_button.h"

namespace e2e {
namespace {

TEST_F(E2E, AutomaticSendsEveryRecipientTheImageWithTheStampIssuedForThem) {
  Begin(10);
  auto item = Send("Automatic", ThreeKinds(), "Hello there.");

  EXPECT_TRUE(Shown().empty()) << Shown().front();
  const auto sent = Read(MailStore::kOutbox);
  ASSERT_EQ(sent.size(), 3u);
  const std::string image =
      "<img width=\"1\" height=\"1\" src=\"http://" + service->Host() + "/p/b01/wrenna.php?img=1&";
  for (std::size_t i = 0; i < 3; ++i) {
    const SimRecipient recipient = ThreeKinds()[i];
    ASSERT_EQ(sent[i].recipients.size(), 1u);
    EXPECT_EQ(sent[i].recipients[0].address, recipient.address);
    EXPECT_EQ(sent[i].recipients[0].kind, recipient.kind);
    const std::string stamp = StampOf(recipient.address);
    ASSERT_FALSE(stamp.empty());
    // The image closes the converted plain text, with this recipient's stamp only.
    const std::string tail = "</PRE></BODY></HTML>" + image + stamp + "\">";
    ASSERT_GE(sent[i].htmlBody.size(), tail.size());
    EXPECT_EQ(sent[i].htmlBody.substr(sent[i].htmlBody.size() - tail.size()), tail);
    EXPECT_NE(sent[i].htmlBody.find("<PRE>Hello there.</PRE>"), std::string::npos);
  }
  EXPECT_EQ(service->Credit(kSender), 7);
  EXPECT_TRUE(item->stale());
  EXPECT_EQ(world.outlook->folder(MailStore::kDrafts)->count(), 0u);

  // Bob's mail program loads the image: the service learns that Bob opened it.
  const std::string bob = StampOf("bob@example.org");
  EXPECT_FALSE(Fetch("http://" + service->Host() + "/p/b01/wrenna.php?img=1&" + bob).empty());
  EXPECT_EQ(EventsOf(bob), (std::vector<std::string>{mailwarden::kEventStampIssued, mailwarden::kEventImageFetched}));
  EXPECT_EQ(EventsOf(StampOf("cy@example.org")), std::vector<std::string>{mailwarden::kEventStampIssued});
}

TEST_F(E2E, RequestReceiptPutsTheNoticeInFrontAndItsLinkRecordsTheReceipt) {
  Begin(10);
  const std::string html = "<html><body><p>Figures</p></body></html>";
  Send("Request receipt", {SimRecipient::Smtp("Bob", "bob@example.org"), SimRecipient::Smtp("Cy", "cy@example.org")},
       "", html);

  EXPECT_TRUE(Shown().empty()) << Shown().front();
  const auto sent = Read(MailStore::kOutbox);
  ASSERT_EQ(sent.size(), 2u);
  const std::string cy = StampOf("cy@example.org");
  EXPECT_EQ(sent[1].htmlBody.rfind("<table border=\"0\" cellspacing=\"0\" cellpadding=\"0\">", 0), 0u);
  EXPECT_EQ(sent[1].htmlBody.substr(sent[1].htmlBody.size() - html.size()), html);
  const std::string link = Between(sent[1].htmlBody, "<a href=\"", "\" target=\"_blank\">");
  EXPECT_EQ(link, "http://" + service->Host() + "/p/b01/wrenna.php?" + cy);
  EXPECT_EQ(sent[0].htmlBody.find(cy), std::string::npos);

  // The link alone, as a program follows it, is a machine's visit; the press sends the receipt.
  Fetch(link);
  EXPECT_EQ(EventsOf(cy), (std::vector<std::string>{mailwarden::kEventStampIssued, mailwarden::kEventVisited}));
  httplib::Client browser = testsupport::LoopbackClient(service->Port());
  ASSERT_TRUE(testsupport::PressButton(browser, link.substr(link.find("/p/"))));
  EXPECT_EQ(EventsOf(cy), (std::vector<std::string>{mailwarden::kEventStampIssued, mailwarden::kEventVisited,
                                                    mailwarden::kEventReceiptClicked}));
  EXPECT_EQ(service->Credit(kSender), 8);
}

TEST_F(E2E, GuaranteedStoresTheMessageNotifiesAndKeepsCancelLinks) {
  Begin(10, 1);
  auto item = Send("Guaranteed", ThreeKinds(), "The real message.");

  EXPECT_TRUE(Shown().empty()) << Shown().front();
  const auto notices = Read(MailStore::kOutbox);
  const auto kept = Read(MailStore::kSentItems);
  ASSERT_EQ(notices.size(), 3u);
  ASSERT_EQ(kept.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    const SimRecipient recipient = ThreeKinds()[i];
    const std::string stamp = StampOf(recipient.address);
    ASSERT_EQ(notices[i].recipients.size(), 1u);
    EXPECT_EQ(notices[i].recipients[0].kind, recipient.kind);
    EXPECT_EQ(notices[i].htmlBody.find("The real message."), std::string::npos);
    EXPECT_NE(notices[i].htmlBody.find("\"Ann Sender\" &lt;ann@example.org&gt; sent you an Email."), std::string::npos);
    EXPECT_EQ(Between(notices[i].htmlBody, "bgcolor=\"#F5F5FF\"><a href=\"", "\" target=\"_blank\" >"),
              "http://" + service->Host() + "/p/b01/tovik.php?" + stamp);
    EXPECT_EQ(kept[i].subject, "Quarterly figures (" + recipient.address + ")");
    EXPECT_EQ(kept[i].body.rfind("To cancel the delivery, please open the following link.\r\nhttp://" +
                                     service->Host() + "/p/b01/tovik.php?" + stamp + "&cmd=del\r\n\r\n",
                                 0),
              0u);
  }
  EXPECT_TRUE(item->stale());
  EXPECT_EQ(world.outlook->folder(MailStore::kDrafts)->count(), 0u);
  EXPECT_EQ(world.outlook->sendReceiveCount(), 1);
  EXPECT_EQ(world.redemption.deliverNowCalls(), 0);

  // Bob reads the message; the sender cancels Cy's delivery, and Cy finds nothing.
  const std::string bob = StampOf("bob@example.org");
  const std::string cy = StampOf("cy@example.org");
  // A link alone shows the button; the press reads or cancels.
  EXPECT_EQ(Fetch("http://" + service->Host() + "/p/b01/tovik.php?" + bob).find("The real message."),
            std::string::npos);
  httplib::Client browser = testsupport::LoopbackClient(service->Port());
  const auto read = testsupport::PressButton(browser, "/p/b01/tovik.php?" + bob);
  ASSERT_TRUE(read);
  EXPECT_NE(read->body.find("The real message."), std::string::npos);
  ASSERT_TRUE(testsupport::PressButton(browser, "/p/b01/tovik.php?" + cy + "&cmd=del"));
  EXPECT_EQ(Fetch("http://" + service->Host() + "/p/b01/tovik.php?" + cy).find("The real message."), std::string::npos);
  EXPECT_EQ(EventsOf(bob), (std::vector<std::string>{mailwarden::kEventStampIssued, mailwarden::kEventVisited,
                                                     mailwarden::kEventRead}));
  const auto cyEvents = EventsOf(cy);
  EXPECT_NE(std::find(cyEvents.begin(), cyEvents.end(), mailwarden::kEventCancelled), cyEvents.end());
}

struct CreditCase {
  std::string button;
  int credit;
  bool sends;
};

class E2ECredit : public E2E, public ::testing::WithParamInterface<CreditCase> {};

TEST_P(E2ECredit, OneCreditPerRecipientIsEnough) {
  Begin(GetParam().credit);
  auto item = Send(GetParam().button, ThreeKinds(), "Hello.");
  if (GetParam().sends) {
    EXPECT_TRUE(Shown().empty()) << Shown().front();
    EXPECT_EQ(Read(MailStore::kOutbox).size(), 3u);
    EXPECT_EQ(service->Credit(kSender), GetParam().credit - 3);
    EXPECT_TRUE(item->stale());
  } else {
    EXPECT_EQ(Shown(), std::vector<std::string>{"Insufficient credit."});
    EXPECT_TRUE(Read(MailStore::kOutbox).empty());
    EXPECT_TRUE(Read(MailStore::kSentItems).empty());
    EXPECT_EQ(service->Credit(kSender), GetParam().credit);
    EXPECT_TRUE(service->Stamps().empty());
    EXPECT_FALSE(item->stale());
  }
}

INSTANTIATE_TEST_SUITE_P(Buttons, E2ECredit,
                         ::testing::Values(CreditCase{"Automatic", 3, true}, CreditCase{"Automatic", 2, false},
                                           CreditCase{"Request receipt", 3, true},
                                           CreditCase{"Request receipt", 2, false}, CreditCase{"Guaranteed", 3, true},
                                           CreditCase{"Guaranteed", 2, false}));

class E2EServiceGone : public E2E, public ::testing::WithParamInterface<std::string> {};

TEST_P(E2EServiceGone, NothingAnsweringLeavesTheMessageInPlace) {
  Begin(10);
  service->Stop();
  auto item = Send(GetParam(), ThreeKinds(), "Hello.");
  EXPECT_EQ(Shown(),
            std::vector<std::string>{"Connection timeout! Please check your Internet connection and try again. #7"});
  EXPECT_TRUE(Read(MailStore::kOutbox).empty());
  EXPECT_FALSE(item->stale());
  EXPECT_EQ(item->closeCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Buttons, E2EServiceGone, ::testing::Values("Automatic", "Request receipt", "Guaranteed"));

TEST_F(E2E, ServiceRefusingTheStampsIsShownAndNothingLeaves) {
  Begin(10);
  // The credit runs out between the credit query and the stamp request.
  world.windowing.SetObserver([&](const host::sim::Event& event) {
    if (event.kind == host::sim::EventKind::ControlChanged && event.change.caption == "Receiving stamp...") {
      service->SetCredit(kSender, 1);
    }
  });
  auto item = Send("Automatic", ThreeKinds(), "Hello.");
  EXPECT_EQ(Shown(), std::vector<std::string>{"Insufficient credit."});
  EXPECT_TRUE(Read(MailStore::kOutbox).empty());
  EXPECT_TRUE(service->Stamps().empty());
  EXPECT_FALSE(item->stale());
}

TEST_F(E2E, SecondClickDuringASendIsIgnored) {
  Begin(10);
  auto item = world.outlook->NewMail("Quarterly figures", ThreeKinds(), "Hello.");
  auto inspector = world.outlook->OpenInspector(item);
  int clicks = 0;
  world.windowing.ScheduleUser([&] {
    ++clicks;
    inspector->ClickTrackingButton("Automatic");
    inspector->ClickTrackingButton("Guaranteed");
  });
  inspector->ClickTrackingButton("Automatic");

  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(Shown().empty()) << Shown().front();
  EXPECT_EQ(Read(MailStore::kOutbox).size(), 3u);
  EXPECT_TRUE(Read(MailStore::kSentItems).empty());
  EXPECT_EQ(service->Credit(kSender), 7);
}

TEST_F(E2E, RecipientWithoutAddressOrNameIsRefusedBeforeAnyStamp) {
  Begin(10);
  auto item =
      Send("Request receipt",
           {SimRecipient::Smtp("Bob", "bob@example.org"), SimRecipient::Exchange("", "/o=Org/cn=x", "")}, "Hello.");
  EXPECT_EQ(Shown(), std::vector<std::string>{"Empty recipient address. (2)"});
  EXPECT_TRUE(service->Stamps().empty());
  EXPECT_FALSE(item->stale());
}

TEST_F(E2E, RecipientKnownOnlyByNameGetsAStampUnderThatName) {
  Begin(10);
  Send("Automatic", {SimRecipient::Smtp("Bob", "bob@example.org"), SimRecipient::Exchange("Cy", "/o=Org/cn=cy", "")},
       "Hello.");
  ASSERT_TRUE(Shown().empty()) << Shown().front();
  EXPECT_FALSE(StampOf("Cy").empty());
  EXPECT_FALSE(StampOf("bob@example.org").empty());
}

}  // namespace
}  // namespace e2e
