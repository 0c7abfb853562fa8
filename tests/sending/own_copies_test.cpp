// The sender's own copies: Outlook files each sent message in Sent Items
// after its spooler has handed it on, and the add-in marks the tracked
// address in that copy as the sender's own; what left for the recipient is
// untouched.
#include "sending/own_copies.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/sim/mail_store.h"
#include "send_world.h"
#include "sending/certified_notice.h"
#include "sending/inserts.h"

namespace sendtest {
namespace {

using host::sim::MailStore;
using host::sim::SimMailItem;

const std::string kConverted =
    "<HTML><HEAD><META content=\"text/html\" http-equiv=Content-Type><META content=\"MSHTML5.00.2614.3401\" "
    "name=GENERATOR></HEAD><BODY><PRE>";
const std::string kConvertedEnd = "</PRE></BODY></HTML>";

struct Mode {
  const char* button;
  // What recipient i's message carries, and its tracked address.
  std::function<std::string(const std::string& host, const std::string& stamp)> sent;
  std::function<std::string(const std::string& host, const std::string& stamp)> address;
};

std::string Insert(const corvanta::sending::Insert& insert, const std::string& stamp) {
  return insert.head + stamp + insert.tail;
}

const Mode kModes[] = {
    {"Automatic",
     [](const std::string& host, const std::string& stamp) {
       return kConverted + "Hello there." + kConvertedEnd + Insert(corvanta::sending::TrackingImage(host), stamp);
     },
     [](const std::string& host, const std::string& stamp) {
       return "http://" + host + "/p/b01/wrenna.php?img=1&" + stamp;
     }},
    {"Request receipt",
     [](const std::string& host, const std::string& stamp) {
       return Insert(corvanta::sending::ReceiptRequest(host), stamp) + kConverted + "Hello there." + kConvertedEnd;
     },
     [](const std::string& host, const std::string& stamp) { return "http://" + host + "/p/b01/wrenna.php?" + stamp; }},
    {"Guaranteed",
     [](const std::string& host, const std::string& stamp) {
       return corvanta::sending::NotificationBody(host, "Ann Sender", "ann@example.org", stamp);
     },
     [](const std::string& host, const std::string& stamp) { return "http://" + host + "/p/b01/tovik.php?" + stamp; }},
};

// The text with each quoted occurrence of address marked.
std::string Marked(std::string text, const std::string& address) {
  const std::string quoted = address + "\"";
  for (auto at = text.find(quoted); at != std::string::npos; at = text.find(quoted, at + quoted.size()))
    text.insert(at + address.size(), "&own=1");
  return text;
}

class OwnCopies : public SendWorld {
 protected:
  void Click(const std::string& button) {
    bool cancelDefault = false;
    if (button == "Automatic") addin.autoButton_Click(nullptr, cancelDefault);
    if (button == "Request receipt") addin.requButton_Click(nullptr, cancelDefault);
    if (button == "Guaranteed") addin.guarButton_Click(nullptr, cancelDefault);
  }
  void Serve() {
    ServeCredit("qo;9");
    ServeStamps("qo;s1 s2");
    ServeUpload("qo;s1 s2");
  }
  // Outlook's work that was still to come when the send ended.
  void RunOutlook() {
    auto pump = world.windowing.Pump();
    while (pump->Pending()) pump->RunPending();
  }
  // The sent copies Outlook filed in Sent Items, by recipient address.
  std::shared_ptr<SimMailItem> SentCopyTo(const std::string& address) const {
    for (const auto& item : world.outlook->folder(MailStore::kSentItems)->items()) {
      const auto recipients = item->recipients();
      if (recipients.size() == 1 && recipients[0].address == address) return item;
    }
    return nullptr;
  }
};

class EachMode : public OwnCopies, public ::testing::WithParamInterface<Mode> {};

TEST_P(EachMode, SentItemsCopiesAreMarkedAndTheRecipientsCopiesAreNot) {
  const Mode& mode = GetParam();
  Compose({SimRecipient::Smtp("Bob", "bob@example.org"), SimRecipient::Smtp("Cy", "cy@example.org")});
  Serve();
  Click(mode.button);
  RunOutlook();

  EXPECT_TRUE(Shown().empty());
  const auto left = In(MailStore::kOutbox);
  ASSERT_EQ(left.size(), 2u);
  const std::string host = server.HostPort();
  const std::string stamps[] = {"s1", "s2"};
  for (int i = 0; i < 2; ++i) {
    // What left for the recipient, as read back from its .eml file.
    const host::sim::ParsedMail mail = host::sim::ReadEml(left[i].path);
    const std::string sent = mode.sent(host, stamps[i]);
    EXPECT_EQ(mail.htmlBody, sent) << mode.button << " " << i;
    // Outlook's copy in Sent Items is the same message, its address marked.
    auto copy = SentCopyTo(mail.recipients.at(0).address);
    ASSERT_NE(copy, nullptr) << mode.button << " " << i;
    const std::string address = mode.address(host, stamps[i]);
    ASSERT_NE(sent.find(address + "\""), std::string::npos) << mode.button;
    EXPECT_EQ(copy->htmlBody(), Marked(sent, address)) << mode.button << " " << i;
  }
  EXPECT_EQ(world.outlook->folder(MailStore::kOutbox)->count(), 0u);
  // The kept copies of certified mail carry the cancel links and no
  // tracked address: nothing of them is changed.
  for (const auto& kept : In(MailStore::kSentItems)) {
    EXPECT_EQ(kept.message.htmlBody.find("wrenna.php"), std::string::npos);
    EXPECT_EQ(kept.message.htmlBody.find("own=1"), std::string::npos);
  }
  for (const auto& item : world.outlook->folder(MailStore::kSentItems)->items()) {
    if (item->recipients().size() > 1) {
      EXPECT_EQ(item->htmlBody().find("own=1"), std::string::npos);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, EachMode, ::testing::ValuesIn(kModes), [](const auto& param) {
  std::string name;
  for (const char* c = param.param.button; *c; ++c)
    if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
  return name;
});

TEST_F(OwnCopies, TheCopyArrivesInSentItemsOnlyAfterTheSend) {
  Compose({SimRecipient::Smtp("Bob", "bob@example.org")});
  Serve();
  Click("Automatic");
  // Handed for delivery, still in Outbox: Outlook files it later.
  EXPECT_EQ(world.outlook->folder(MailStore::kOutbox)->count(), 1u);
  EXPECT_EQ(SentCopyTo("bob@example.org"), nullptr);
  RunOutlook();
  ASSERT_NE(SentCopyTo("bob@example.org"), nullptr);
  EXPECT_NE(SentCopyTo("bob@example.org")->htmlBody().find("img=1&s1&own=1\""), std::string::npos);
}

TEST_F(OwnCopies, WithoutCopiesOfSentMailNothingIsFiledAndNothingFails) {
  world.outlook->SetSaveSentCopies(false);
  Compose({SimRecipient::Smtp("Bob", "bob@example.org")});
  Serve();
  Click("Automatic");
  RunOutlook();
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(world.outlook->folder(MailStore::kSentItems)->count(), 0u);
  EXPECT_EQ(In(MailStore::kOutbox).size(), 1u);
}

// A copy that can no longer be changed stays as Outlook filed it, and the
// user hears nothing of it.
struct Unchangeable {
  const char* what;
  std::function<void(testsupport::SimWorld&, const std::shared_ptr<SimMailItem>& copy)> before;
};

class CopyThatCannotChange : public OwnCopies, public ::testing::WithParamInterface<Unchangeable> {};

TEST_P(CopyThatCannotChange, IsLeftAsItIsSilently) {
  Compose({SimRecipient::Smtp("Bob", "bob@example.org")});
  Serve();
  Click("Automatic");
  ASSERT_EQ(SentCopyTo("bob@example.org"), nullptr) << "the copy must arrive after the send";
  // The spooler files the copy; Outlook's ItemAdd is still to come.
  world.windowing.Pump()->RunPending();
  auto copy = SentCopyTo("bob@example.org");
  ASSERT_NE(copy, nullptr);
  ASSERT_TRUE(world.windowing.Pump()->Pending());
  GetParam().before(world, copy);
  const std::string filed = copy->htmlBody();

  EXPECT_NO_THROW(RunOutlook());
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(copy->htmlBody().find("own=1"), std::string::npos);
  EXPECT_EQ(copy->htmlBody(), filed);
  EXPECT_EQ(In(MailStore::kOutbox).at(0).message.htmlBody, filed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CopyThatCannotChange,
    ::testing::Values(Unchangeable{"TheStoreRefusesTheChange",
                                   [](testsupport::SimWorld& world, const std::shared_ptr<SimMailItem>&) {
                                     world.outlook->faults().FailAlways("MailItem.SetHTMLBody");
                                   }},
                      Unchangeable{
                          "TheUserDeletedItFirst",
                          [](testsupport::SimWorld&, const std::shared_ptr<SimMailItem>& copy) { copy->Delete(); }},
                      Unchangeable{"ItCannotBeRead",
                                   [](testsupport::SimWorld& world, const std::shared_ptr<SimMailItem>&) {
                                     world.redemption.faults().FailAlways("SafeMailItem.HTMLBody");
                                   }}),
    [](const auto& param) { return std::string(param.param.what); });

// Which addresses a copy's HTML is marked at: only a whole expected address
// in a quoted attribute, as written or with its ampersands escaped, and each
// expected address once.
struct MarkCase {
  const char* what;
  std::vector<std::string> expected;
  const char* html;
  const char* marked;  // nullptr: nothing to mark
};

TEST(MarkOwnCopy, MarksWholeQuotedAddressesOnly) {
  const std::string image = "http://h/p/b01/wrenna.php?img=1&abc";
  const MarkCase cases[] = {
      {"the image",
       {image},
       "<p>x</p><img src=\"http://h/p/b01/wrenna.php?img=1&abc\">",
       "<p>x</p><img src=\"http://h/p/b01/wrenna.php?img=1&abc&own=1\">"},
      {"written again with &amp;",
       {image},
       "<img src=\"http://h/p/b01/wrenna.php?img=1&amp;abc\">",
       "<img src=\"http://h/p/b01/wrenna.php?img=1&amp;abc&amp;own=1\">"},
      {"another stamp that starts alike", {image}, "<img src=\"http://h/p/b01/wrenna.php?img=1&abcd\">", nullptr},
      {"the address only as text", {image}, "see http://h/p/b01/wrenna.php?img=1&abc today", nullptr},
      {"the second of two expected",
       {"http://h/p/b01/wrenna.php?s1", "http://h/p/b01/wrenna.php?s2"},
       "<a href=\"http://h/p/b01/wrenna.php?s2\" target=\"_blank\">",
       "<a href=\"http://h/p/b01/wrenna.php?s2&own=1\" target=\"_blank\">"},
      {"nothing expected", {}, "<img src=\"http://h/p/b01/wrenna.php?img=1&abc\">", nullptr},
  };
  for (const MarkCase& c : cases) {
    corvanta::sending::OwnCopies copies;
    for (const auto& address : c.expected) copies.Expect(address);
    const auto marked = copies.Mark(c.html);
    if (!c.marked) {
      EXPECT_FALSE(marked.has_value()) << c.what;
      continue;
    }
    ASSERT_TRUE(marked.has_value()) << c.what;
    EXPECT_EQ(*marked, c.marked) << c.what;
    // Once marked, the address is no longer expected.
    EXPECT_FALSE(copies.Mark(c.html).has_value()) << c.what;
  }
}

TEST(MarkOwnCopy, TheInsertsAddressIsWhatFollowsTheHeadsLastQuote) {
  EXPECT_EQ(corvanta::sending::InsertAddress(corvanta::sending::TrackingImage("h").head, "s1"),
            "http://h/p/b01/wrenna.php?img=1&s1");
  EXPECT_EQ(corvanta::sending::InsertAddress(corvanta::sending::ReceiptRequest("h").head, "s1"),
            "http://h/p/b01/wrenna.php?s1");
  EXPECT_EQ(corvanta::sending::InsertAddress("no quote", "s1"), "");
}

}  // namespace
}  // namespace sendtest
