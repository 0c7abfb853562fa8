// The tracking image and the receipt link, and the pages of the site.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "service_fixture.h"
#include "support/loopback_client.h"

namespace service_test {
namespace {

using corvanta::protocol::kCertifiedPath;
using corvanta::protocol::kTrackPath;

TEST_F(ServiceTest, TrackingImageIsATransparentGifAndRecordsTheFetch) {
  AddinSend send = ThreeRecipients();
  std::vector<std::string> stamps = StampsOf(AskStamps(send));
  ASSERT_EQ(stamps.size(), 3u);

  httplib::Result image = Get(kTrackPath, "img=1&" + stamps[1]);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->status, 200);
  EXPECT_EQ(image->get_header_value("Content-Type"), "image/gif");
  const std::string& gif = image->body;
  ASSERT_EQ(gif.size(), 43u);
  EXPECT_EQ(gif.substr(0, 6), "GIF89a");
  EXPECT_EQ(gif.substr(6, 4), std::string("\x01\x00\x01\x00", 4));                       // 1 by 1
  EXPECT_EQ(gif.substr(13 + 6, 8), std::string("\x21\xF9\x04\x01\x00\x00\x00\x00", 8));  // colour 0 transparent
  EXPECT_EQ(gif.back(), '\x3B');

  nlohmann::json events = Status()["events"];
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[3]["type"], "image fetched");
  EXPECT_EQ(events[3]["stamp"], stamps[1]);
  EXPECT_EQ(events[3]["recipient"], send.to[1].address);
  EXPECT_FALSE(events[3]["time"].get<std::string>().empty());
}

TEST_F(ServiceTest, TrackingImageIsServedEvenForAStampItDoesNotKnow) {
  for (const char* query : {"img=1&NoSuchStamp", "img=1&", "img=1&a&b", "img=1&%zz"}) {
    httplib::Result image = Get(kTrackPath, query);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->status, 200) << query;
    EXPECT_EQ(image->get_header_value("Content-Type"), "image/gif") << query;
  }
  EXPECT_TRUE(Status()["events"].empty());
}

// An office or a carrier puts many people behind the address that asked
// for the stamps: a colleague there opening their copy is a person; only the
// copy the add-in marked as the sender's own counts as the sender.
TEST_F(ServiceTest, AColleagueBehindTheSendersAddressIsAPerson) {
  std::atomic<std::int64_t> now = 1797064800LL * 1000000;
  mailwarden::ServeOptions options = mailwarden::LoopbackOptions(100);
  options.service.clock = [&now] { return now.load(); };
  Restart(options);
  std::vector<std::string> stamps = StampsOf(AskStamps(ThreeRecipients()));
  ASSERT_EQ(stamps.size(), 3u);
  now += 3600LL * 1000000;

  // The same address the stamps were asked from, an hour later.
  httplib::Client client = testsupport::LoopbackClient(server_->Port());
  const httplib::Headers browser = {{"User-Agent", "Mozilla/5.0 (Windows NT 10.0; Win64; x64) Chrome/120.0"}};
  ASSERT_TRUE(client.Get(std::string(kTrackPath) + "?img=1&" + stamps[0], browser));
  ASSERT_TRUE(client.Get(std::string(kTrackPath) + "?img=1&" + stamps[1] + "&own=1", browser));

  nlohmann::json events = Status()["events"];
  ASSERT_EQ(events.size(), 5u);
  const auto fetchOf = [&](const std::string& stamp) {
    for (const auto& event : events)
      if (event["stamp"] == stamp && event["type"] == "image fetched") return event;
    return nlohmann::json();
  };
  EXPECT_EQ(fetchOf(stamps[0])["class"], "person");
  EXPECT_EQ(fetchOf(stamps[0])["reason"], "a mail program or browser; no sign of a machine");
  EXPECT_EQ(fetchOf(stamps[1])["class"], "sender");
  EXPECT_EQ(fetchOf(stamps[1])["reason"], "your own copy");
}

// The receipt link in the sender's own copy carries the mark too: it leads
// to the same page, and the sender pressing it is the sender, not a reader.
TEST_F(ServiceTest, AReceiptPressedThroughTheMarkedLinkIsTheSenders) {
  std::vector<std::string> stamps = StampsOf(AskStamps(ThreeRecipients()));
  ASSERT_EQ(stamps.size(), 3u);
  httplib::Result thanks = Press(kTrackPath, stamps[0] + "&own=1");
  ASSERT_TRUE(thanks);
  EXPECT_EQ(thanks->status, 200);
  const nlohmann::json events = Status()["events"];
  nlohmann::json receipt;
  for (const auto& event : events)
    if (event["type"] == "receipt clicked") receipt = event;
  ASSERT_FALSE(receipt.is_null());
  EXPECT_EQ(receipt["stamp"], stamps[0]);
  EXPECT_EQ(receipt["class"], "sender");
  EXPECT_EQ(receipt["reason"], "your own copy");
}

// The receipt link shows what the button does; only the press, with the
// token of its own stamp, records the receipt, and only once.
TEST_F(ServiceTest, ReceiptIsRecordedOnceOnThePressNeverOnTheLinkAlone) {
  AddinSend send = ThreeRecipients();
  std::vector<std::string> stamps = StampsOf(AskStamps(send));
  ASSERT_EQ(stamps.size(), 3u);
  const auto receipts = [&] {
    nlohmann::json events = Status()["events"];
    return std::count_if(events.begin(), events.end(), [](const auto& e) { return e["type"] == "receipt clicked"; });
  };

  httplib::Client client = testsupport::LoopbackClient(server_->Port());
  const std::string link = std::string(kTrackPath) + "?" + stamps[0];
  for (int i = 0; i < 2; ++i) {
    httplib::Result page = client.Get(link, {{"User-Agent", "Mimecast URL checker"}});
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    for (const std::string& piece : {send.from, std::string("Quarterly figures"),
                                     std::string("<button type=\"submit\" class=\"primary\">Send a read receipt"),
                                     std::string("<form method=\"post\" action=\"") + kTrackPath + "?" + stamps[0]}) {
      EXPECT_NE(page->body.find(piece), std::string::npos) << piece;
    }
  }
  EXPECT_EQ(receipts(), 0);
  // The scanner's visits are kept apart, as a machine's: its two within the
  // minute are one with a count.
  nlohmann::json events = Status()["events"];
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[3]["type"], "visited");
  EXPECT_EQ(events[3]["class"], "machine");
  EXPECT_EQ(events[3]["reason"], "security scanner (Mimecast)");

  // A token of another stamp, or of another action, or none: nothing.
  const std::string other = Get(kTrackPath, stamps[1])->body;
  const std::string mark = "name=\"token\" value=\"";
  const std::string otherToken = other.substr(other.find(mark) + mark.size(), 64);
  for (const std::string& body : {"token=" + otherToken, std::string("token="), std::string()}) {
    httplib::Result refused = client.Post(link, body, "application/x-www-form-urlencoded");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403) << body;
  }
  EXPECT_EQ(receipts(), 0);

  for (int i = 0; i < 2; ++i) {
    httplib::Result thanks = Press(kTrackPath, stamps[0]);
    ASSERT_TRUE(thanks);
    EXPECT_EQ(thanks->status, 200);
    EXPECT_NE(thanks->body.find("Thank you"), std::string::npos);
  }
  EXPECT_EQ(receipts(), 1);
  events = Status()["events"];
  EXPECT_EQ(events.back()["type"], "receipt clicked");
  EXPECT_EQ(events.back()["stamp"], stamps[0]);
  EXPECT_EQ(events.back()["recipient"], send.to[0].address);

  for (const char* query : {"NoSuchStamp", "", "img=2"}) {
    httplib::Result unknown = Get(kTrackPath, query);
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->status, 404) << query;
  }
  EXPECT_EQ(Status()["events"].size(), events.size());
}

TEST_F(ServiceTest, SitePagesAnswer) {
  httplib::Result terms = Get(corvanta::protocol::kTermsPath, "");
  ASSERT_TRUE(terms);
  EXPECT_EQ(terms->status, 200);
  EXPECT_GT(terms->body.size(), 200u);  // shorter terms are replaced by the add-in's own
  EXPECT_TRUE(terms->body.starts_with("TERMS OF USE AGREEMENT (TOUA)\r\n\r\n"));

  for (const char* path : {"/", corvanta::protocol::kPagesPath, corvanta::protocol::kDonationPath, "/status"}) {
    httplib::Result page = Get(path, "");
    ASSERT_TRUE(page) << path;
    EXPECT_EQ(page->status, 200) << path;
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8") << path;
  }
  httplib::Result missing = Get("/p/b01/dunlaXphp", "");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
}

TEST_F(ServiceTest, EveryPageARecipientMeetsHasTheSendersLookAndReadsOnAPhone) {
  std::vector<std::string> stamps = StampsOf(AskStamps(ThreeRecipients()));
  ASSERT_EQ(stamps.size(), 3u);
  const struct {
    const char* path;
    std::string query;
    int status;
    const char* says;
  } pages[] = {
      {kTrackPath, stamps[0], 200, "Send a read receipt"},
      {kTrackPath, "NoSuchStamp", 404, "Unknown receipt link"},
      {kCertifiedPath, "NoSuchStamp", 404, "Unknown message"},
      {kCertifiedPath, stamps[1], 404, "No certified message is kept for this link."},
      {"/no/such/page", "", 404, "Not found"},
      {"/p/b01/dunlaXphp", "", 404, "Not found"},
      {"/", "", 200, "Mailwarden"},
  };
  for (const auto& page : pages) {
    httplib::Result reply = Get(page.path, page.query);
    ASSERT_TRUE(reply) << page.path;
    EXPECT_EQ(reply->status, page.status) << page.path << "?" << page.query;
    EXPECT_EQ(reply->get_header_value("Content-Type"), "text/html; charset=utf-8") << page.path;
    for (const char* piece : {"<link rel=\"stylesheet\" href=\"/cvx/static/site.css\">",
                              "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">", page.says}) {
      EXPECT_NE(reply->body.find(piece), std::string::npos) << page.path << "?" << page.query << " lacks " << piece;
    }
    EXPECT_FALSE(reply->get_header_value("Content-Security-Policy").empty()) << page.path;
  }
}

TEST_F(ServiceTest, StatusShowsCreditsStampsAndEvents) {
  AddinSend send = ThreeRecipients();
  std::vector<std::string> stamps = StampsOf(AskStamps(send));
  ASSERT_EQ(stamps.size(), 3u);
  Get(kTrackPath, "img=1&" + stamps[2]);

  nlohmann::json status = Status();
  ASSERT_EQ(status["senders"].size(), 1u);
  EXPECT_EQ(status["senders"][0]["address"], send.from);
  EXPECT_EQ(status["senders"][0]["credit"], 97);
  EXPECT_EQ(status["stamps"].size(), 3u);
  EXPECT_EQ(status["events"].size(), 4u);

  std::string page = GetText("/status", "");
  EXPECT_NE(page.find(stamps[2]), std::string::npos);
  EXPECT_NE(page.find("image fetched"), std::string::npos);
  EXPECT_NE(page.find("Carol Smith (Sales)"), std::string::npos);
}

}  // namespace
}  // namespace service_test
