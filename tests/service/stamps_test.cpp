// The credit query and the stamp request, over HTTP as the add-in makes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "service_fixture.h"

namespace service_test {
namespace {

using corvanta::protocol::kCreditPath;
using corvanta::protocol::kStampPath;
using corvanta::protocol::MakeHash;
using corvanta::protocol::UrlEscape;

bool IsStamp(const std::string& stamp) {
  return !stamp.empty() && std::all_of(stamp.begin(), stamp.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

TEST_F(ServiceTest, CreditQueryGivesANewSenderTheStartingCredit) {
  EXPECT_EQ(AskCredit("ann.sender@example.com"), "qo;100");
  Restart(mailwarden::LoopbackOptions(7));
  EXPECT_EQ(AskCredit("o'neil+news@example.com"), "qo;7");
}

TEST_F(ServiceTest, CreditIsKeptPerSenderWhateverTheCaseOfTheAddress) {
  server_->SetCredit("ann.sender@example.com", 3);
  EXPECT_EQ(AskCredit("Ann.Sender@Example.COM"), "qo;3");
  EXPECT_EQ(AskCredit("bob@example.com"), "qo;100");
}

TEST_F(ServiceTest, StampRequestIssuesOneStampPerRecipientAndChargesForEach) {
  AddinSend send = ThreeRecipients();
  std::string reply = AskStamps(send);
  ASSERT_TRUE(reply.starts_with("qo;")) << reply;
  std::vector<std::string> stamps = StampsOf(reply);
  ASSERT_EQ(stamps.size(), 3u) << reply;
  for (const std::string& stamp : stamps) EXPECT_TRUE(IsStamp(stamp)) << stamp;
  EXPECT_EQ(std::set<std::string>(stamps.begin(), stamps.end()).size(), 3u);
  EXPECT_EQ(AskCredit(send.from), "qo;97");

  // The stamps belong to the recipients in the order they were sent.
  nlohmann::json status = Status();
  ASSERT_EQ(status["stamps"].size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    auto stamp = std::find_if(status["stamps"].begin(), status["stamps"].end(),
                              [&](const nlohmann::json& s) { return s["stamp"] == stamps[i]; });
    ASSERT_NE(stamp, status["stamps"].end());
    EXPECT_EQ((*stamp)["recipient"], send.to[i].address);
    EXPECT_EQ((*stamp)["recipientName"], send.to[i].name);
    EXPECT_EQ((*stamp)["sender"], send.from);
    EXPECT_EQ((*stamp)["subject"], send.subject);
    EXPECT_EQ((*stamp)["kind"], "tracked");
  }
  std::size_t issued = std::count_if(status["events"].begin(), status["events"].end(), [](const nlohmann::json& e) {
    return e["type"] == "stamp issued" && !e["time"].get<std::string>().empty();
  });
  EXPECT_EQ(issued, 3u);
}

TEST_F(ServiceTest, StampRequestNeedsOneCreditPerRecipient) {
  AddinSend send = ThreeRecipients();
  server_->SetCredit(send.from, 2);
  EXPECT_EQ(AskStamps(send), "qx;Insufficient credit.");
  EXPECT_EQ(AskCredit(send.from), "qo;2");
  EXPECT_TRUE(Status()["stamps"].empty());

  server_->SetCredit(send.from, 3);
  EXPECT_EQ(StampsOf(AskStamps(send)).size(), 3u);
  EXPECT_EQ(AskCredit(send.from), "qo;0");
  EXPECT_EQ(AskStamps(send), "qx;Insufficient credit.");
}

TEST_F(ServiceTest, StampRequestKeepsTheTextOfTheCodePage) {
  AddinSend send = ThreeRecipients();
  send.subject = "Caf\xE9 & \"cr\xE8me\" <b>";
  send.to[0].name = "Ren\xE9";
  ASSERT_EQ(StampsOf(AskStamps(send)).size(), 3u);
  nlohmann::json status = Status();
  EXPECT_EQ(status["stamps"][0]["subject"], "Caf\xC3\xA9 & \"cr\xC3\xA8me\" <b>");
  EXPECT_NE(GetText("/status", "").find("Caf\xC3\xA9 &amp; &quot;cr\xC3\xA8me&quot; &lt;b&gt;"), std::string::npos);
}

// Each address and name is read by itself: a list with a Windows-1252 byte in one
// address still pairs with a UTF-8 name standing in for another address.
TEST_F(ServiceTest, EachRecipientIsReadByItself) {
  AddinSend send;
  send.to = {{"ren\xE9@example.com", "Ren\xE9"}, {"Jos\xC3\xA9 Ruiz", "Jos\xC3\xA9 Ruiz"}};
  std::vector<std::string> stamps = StampsOf(AskStamps(send));
  ASSERT_EQ(stamps.size(), 2u);
  auto first = server_->Store().FindStamp(stamps[0]), second = server_->Store().FindStamp(stamps[1]);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->recipient, "ren\xC3\xA9@example.com");
  EXPECT_EQ(first->recipientName, "Ren\xC3\xA9");
  EXPECT_EQ(second->recipient, "Jos\xC3\xA9 Ruiz");
  EXPECT_EQ(second->recipientName, "Jos\xC3\xA9 Ruiz");
}

TEST_F(ServiceTest, EmptySubjectIsAllowed) {
  AddinSend send = ThreeRecipients();
  send.subject = "";
  EXPECT_EQ(StampsOf(AskStamps(send)).size(), 3u);
}

TEST_F(ServiceTest, PlusIsNoSpace) {
  // The add-in escapes a space as %20; a bare plus sign stands for itself.
  AddinSend send = ThreeRecipients();
  send.subject = "a+b";
  std::string query = StampQuery(send, Draws());
  std::string escapedPlus = UrlEscape("a+b");
  query.replace(query.find(escapedPlus), escapedPlus.size(), "a+b");
  EXPECT_EQ(StampsOf(GetText(kStampPath, query)).size(), 3u);

  send.subject = "a b";
  std::string asSpace = StampQuery(send, Draws());
  asSpace.replace(asSpace.find(UrlEscape("a b")), UrlEscape("a b").size(), "a+b");
  EXPECT_EQ(GetText(kStampPath, asSpace), "qx;Wrong hash.");
}

TEST_F(ServiceTest, LowerCaseEscapesAreRead) {
  std::string hash = MakeHash("ann@example.com", Draws());
  EXPECT_EQ(GetText(kCreditPath, "email=ann%40example%2ecom&hash=" + hash), "qo;100");
}

struct WrongHash {
  const char* what;
  std::function<std::string(AddinSend)> input;
};

TEST_F(ServiceTest, StampRequestWithAWrongHashIsRefused) {
  const WrongHash cases[] = {
      {"hashed escaped",
       [](AddinSend s) { return UrlEscape(s.from) + UrlEscape(s.AddressList()) + s.subject + s.date + s.time; }},
      {"names hashed too", [](AddinSend s) { return s.StampHashInput() + s.NameList(); }},
      {"another subject", [](AddinSend s) { return s.from + s.AddressList() + "Other" + s.date + s.time; }},
      {"time left out", [](AddinSend s) { return s.from + s.AddressList() + s.subject + s.date; }},
      {"no trailing space",
       [](AddinSend s) {
         return s.from + s.AddressList().substr(0, s.AddressList().size() - 1) + s.subject + s.date + s.time;
       }},
  };
  AddinSend send = ThreeRecipients();
  for (const WrongHash& c : cases) {
    std::string query = StampQuery(send, Draws());
    query = query.substr(0, query.find("&hash=")) + "&hash=" + MakeHash(c.input(send), Draws());
    EXPECT_EQ(GetText(kStampPath, query), "qx;Wrong hash.") << c.what;
  }
  for (const char* hash : {"", "AAAAAAAAAA", "short", "AAAAAAAAAAA", "AAAA%20AAAAA"}) {
    std::string query = StampQuery(send, Draws());
    query = query.substr(0, query.find("&hash=")) + "&hash=" + hash;
    EXPECT_EQ(GetText(kStampPath, query), "qx;Wrong hash.") << hash;
  }
  EXPECT_EQ(GetText(kCreditPath, "email=ann%40example%2Ecom&hash=" + MakeHash("ann%40example%2Ecom", Draws())),
            "qx;Wrong hash.");
  EXPECT_EQ(AskCredit(send.from), "qo;100");
  EXPECT_TRUE(Status()["stamps"].empty());
}

// The query without one of its fields.
std::string Without(const std::string& query, const std::string& key) {
  std::string result;
  std::size_t start = 0;
  while (start <= query.size()) {
    std::size_t end = std::min(query.find('&', start), query.size());
    std::string piece = query.substr(start, end - start);
    if (!piece.starts_with(key + "=")) result += (result.empty() ? "" : "&") + piece;
    start = end + 1;
  }
  return result;
}

TEST_F(ServiceTest, MissingFieldsAreNamed) {
  AddinSend send = ThreeRecipients();
  for (const char* key : {"fromAddy", "toAddy", "toName", "subject", "curDate", "curTime", "hash"}) {
    EXPECT_EQ(GetText(kStampPath, Without(StampQuery(send, Draws()), key)),
              std::string("qx;Missing field ") + key + ".");
  }
  for (const char* key : {"email", "hash"}) {
    EXPECT_EQ(GetText(kCreditPath, Without(CreditQuery(send.from, Draws()), key)),
              std::string("qx;Missing field ") + key + ".");
  }
  EXPECT_EQ(GetText(kStampPath, ""), "qx;Missing field fromAddy.");
  EXPECT_TRUE(Status()["stamps"].empty());
}

TEST_F(ServiceTest, MalformedStampRequestsAreRefused) {
  struct Case {
    const char* what;
    std::function<void(AddinSend&)> change;
    const char* reply;
  };
  const Case cases[] = {
      {"empty sender", [](AddinSend& s) { s.from = ""; }, "qx;Missing sender address."},
      {"date", [](AddinSend& s) { s.date = "25.06.2003"; }, "qx;Malformed field curDate."},
      {"time", [](AddinSend& s) { s.time = "5:05 pm"; }, "qx;Malformed field curTime."},
      {"empty address", [](AddinSend& s) { s.to[1].address = ""; }, "qx;Address list does not match the name list."},
  };
  for (const Case& c : cases) {
    AddinSend send = ThreeRecipients();
    c.change(send);
    EXPECT_EQ(AskStamps(send), c.reply) << c.what;
  }
  AddinSend send = ThreeRecipients();
  std::string query = StampQuery(send, Draws());
  EXPECT_EQ(GetText(kStampPath, query + "&subject=again"), "qx;Repeated field subject.");
  EXPECT_EQ(GetText(kStampPath, "fromAddy=ann%4&" + query.substr(query.find("toAddy"))),
            "qx;Malformed field fromAddy.");
  EXPECT_TRUE(Status()["stamps"].empty());
}

TEST_F(ServiceTest, EveryRefusalCarriesAMessageTheAddinShows) {
  // The add-in shows its own default message for replies under five characters.
  AddinSend send = ThreeRecipients();
  server_->SetCredit(send.from, 0);
  for (const std::string& reply : {AskStamps(send), GetText(kStampPath, ""), GetText(kCreditPath, "%"),
                                   GetText(kStampPath, Without(StampQuery(send, Draws()), "hash"))}) {
    EXPECT_TRUE(reply.starts_with("qx;")) << reply;
    EXPECT_GE(reply.size(), 5u) << reply;
    EXPECT_NE(reply, "qx;not0");
  }
}

}  // namespace
}  // namespace service_test
