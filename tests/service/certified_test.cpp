// The certified upload, and the read and cancel links of its notifications.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "service_fixture.h"
#include "support/loopback_client.h"

namespace service_test {
namespace {

using corvanta::protocol::kCertifiedPath;
using corvanta::protocol::kUploadPath;
using corvanta::protocol::MakeHash;

std::size_t CountEvents(const nlohmann::json& status, const std::string& type, const std::string& stamp) {
  return std::count_if(status["events"].begin(), status["events"].end(),
                       [&](const nlohmann::json& e) { return e["type"] == type && e["stamp"] == stamp; });
}

TEST_F(ServiceTest, UploadKeepsTheMessageForEachRecipient) {
  AddinSend send = ThreeRecipients();
  send.content = "Figures:\r\n<total> & more\r\n";
  std::vector<std::string> stamps = StampsOf(Upload(send));
  ASSERT_EQ(stamps.size(), 3u);
  EXPECT_EQ(AskCredit(send.from), "qo;97");

  for (std::size_t i = 0; i < stamps.size(); ++i) {
    httplib::Result page = Press(kCertifiedPath, stamps[i]);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
    // Plain text is shown as it was written, not read as HTML.
    EXPECT_NE(page->body.find("<pre class=\"message\">Figures:\r\n&lt;total&gt; &amp; more\r\n</pre>"),
              std::string::npos)
        << page->body;
    EXPECT_NE(page->body.find("Quarterly figures"), std::string::npos);
    EXPECT_NE(page->body.find("Ann Sender"), std::string::npos);
  }
  nlohmann::json status = Status();
  for (const std::string& stamp : stamps) EXPECT_EQ(CountEvents(status, "read", stamp), 1u);
  EXPECT_EQ(status["stamps"][0]["kind"], "certified");
  EXPECT_EQ(status["stamps"][0].count("content"), 0u);  // the status never shows the message itself
}

TEST_F(ServiceTest, UploadedHtmlIsShownAsHtmlInASandboxedFrame) {
  AddinSend send = ThreeRecipients();
  send.isHtml = true;
  send.content = "<html><body><p>Hello <b>all</b></p></body></html>";
  std::vector<std::string> stamps = StampsOf(Upload(send));
  ASSERT_EQ(stamps.size(), 3u);
  httplib::Result page = Press(kCertifiedPath, stamps[1]);
  ASSERT_TRUE(page);
  EXPECT_EQ(page->get_header_value("Content-Security-Policy").rfind("sandbox ", 0), 0u);
  // The frame's document: the message as the browser will show it, in the srcdoc attribute.
  EXPECT_NE(page->body.find("srcdoc=\"&lt;html&gt;&lt;body&gt;&lt;p&gt;Hello &lt;b&gt;all&lt;/b&gt;&lt;/p&gt;"),
            std::string::npos)
      << page->body;
}

TEST_F(ServiceTest, CancelDeletesTheDeliveryToOneRecipient) {
  AddinSend send = ThreeRecipients();
  send.content = "secret figures";
  std::vector<std::string> stamps = StampsOf(Upload(send));
  ASSERT_EQ(stamps.size(), 3u);

  httplib::Result cancel = Press(kCertifiedPath, stamps[0] + "&cmd=del");
  ASSERT_TRUE(cancel);
  EXPECT_EQ(cancel->status, 200);
  EXPECT_NE(cancel->body.find("cancelled"), std::string::npos);

  httplib::Result read = Get(kCertifiedPath, stamps[0]);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->status, 410);
  EXPECT_NE(read->body.find("cancelled"), std::string::npos);
  EXPECT_EQ(read->body.find("secret figures"), std::string::npos);

  httplib::Result again = Get(kCertifiedPath, stamps[0] + "&cmd=del");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 410);

  // The other recipients still read theirs.
  EXPECT_NE(Press(kCertifiedPath, stamps[1])->body.find("secret figures"), std::string::npos);

  nlohmann::json status = Status();
  EXPECT_EQ(CountEvents(status, "cancelled", stamps[0]), 1u);
  EXPECT_EQ(CountEvents(status, "read", stamps[0]), 0u);
  EXPECT_EQ(CountEvents(status, "read", stamps[1]), 1u);
  mailwarden::store::NewEvent reading;
  reading.stamp = stamps[0];
  reading.type = mailwarden::store::EventType::kRead;
  EXPECT_TRUE(server_->Store().ReadCertified(reading).content.empty());
}

TEST_F(ServiceTest, UploadBiggerThanTheLibrarysFormLimitIsTaken) {
  // The add-in uploads up to 20000 characters; escaped text grows threefold.
  AddinSend send = ThreeRecipients();
  send.content = std::string(6000, '.');
  std::string body = UploadBody(send, Draws());
  ASSERT_GT(body.size(), 18000u);
  httplib::Result result = Post(kUploadPath, body);
  ASSERT_TRUE(result);
  ASSERT_EQ(StampsOf(result->body).size(), 3u) << result->body;
  EXPECT_NE(Press(kCertifiedPath, StampsOf(result->body)[2])->body.find(send.content), std::string::npos);
}

TEST_F(ServiceTest, UploadChecksItsHashAndFields) {
  AddinSend send = ThreeRecipients();
  std::string body = UploadBody(send, Draws());
  std::string prefix = body.substr(0, body.find("&hash="));
  struct Case {
    std::string body;
    const char* reply;
  };
  const Case cases[] = {
      // The upload's hash covers the sender's name and the name list, unlike the stamp request's.
      {prefix + "&hash=" + MakeHash(send.StampHashInput(), Draws()), "qx;Wrong hash."},
      {prefix + "&hash=" + MakeHash(send.UploadHashInput() + "x", Draws()), "qx;Wrong hash."},
      {prefix.substr(0, prefix.find("&content=")) + "&isHTML=0&hash=" + MakeHash(send.UploadHashInput(), Draws()),
       "qx;Missing field content."},
      {prefix.substr(0, prefix.find("&isHTML=")) + "&isHTML=2&hash=" + MakeHash(send.UploadHashInput(), Draws()),
       "qx;Malformed field isHTML."},
      {"", "qx;Missing field fromAddy."},
      {std::string("garbage=%%&\0\xFF\x01", 14), "qx;Malformed field garbage."},
  };
  for (const Case& c : cases) {
    httplib::Result result = Post(kUploadPath, c.body);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->body, c.reply);
  }
  // The content and the flag are not hashed: changing them keeps the hash good.
  std::string other = body;
  other.replace(other.find("&isHTML=0"), 9, "&isHTML=1");
  EXPECT_EQ(StampsOf(Post(kUploadPath, other)->body).size(), 3u);
  EXPECT_EQ(AskCredit(send.from), "qo;97");
}

TEST_F(ServiceTest, UploadNeedsOneCreditPerRecipient) {
  AddinSend send = ThreeRecipients();
  server_->SetCredit(send.from, 2);
  EXPECT_EQ(Upload(send), "qx;Insufficient credit.");
  EXPECT_TRUE(Status()["stamps"].empty());
}

TEST_F(ServiceTest, ReadLinkOfAnUnknownOrTrackedStampFindsNoMessage) {
  std::vector<std::string> tracked = StampsOf(AskStamps(ThreeRecipients()));
  ASSERT_FALSE(tracked.empty());
  for (const std::string& query :
       {tracked[0], tracked[0] + "&cmd=del", std::string("NoSuchStamp"), std::string(""), std::string("a&b")}) {
    httplib::Result result = Get(kCertifiedPath, query);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 404) << query;
  }
  EXPECT_EQ(Status()["events"].size(), 3u);  // only the three stamps issued
}

TEST_F(ServiceTest, CertifiedContentGoesAfterThirtyDaysAndRecordsAfterTheRetention) {
  mailwarden::ServeOptions options = mailwarden::LoopbackOptions(100);
  options.service.retainDays = 365;
  Restart(options);
  constexpr mailwarden::store::Time kDay = 86400LL * 1000000;
  const mailwarden::store::Time now = mailwarden::SystemNow();
  auto upload = [&](mailwarden::store::Time issued) {
    mailwarden::store::NewMessage message;
    message.sender = "ann.sender@example.com";
    message.kind = mailwarden::store::Kind::kCertified;
    message.subject = "Contract";
    message.content = "the old terms";
    message.issued = issued;
    message.recipients = {{"bob@example.com", "Bob"}};
    int n = 0;
    return server_->Store()
        .IssueStamps(message, 100, [&] { return "Old" + std::to_string(issued) + "x" + std::to_string(++n); })
        .stamps.at(0);
  };
  const std::string month = upload(now - 31 * kDay), fortnight = upload(now - 14 * kDay),
                    ancient = upload(now - 400 * kDay);
  server_->instance().service().Upkeep();

  httplib::Result expired = Get(kCertifiedPath, month);
  ASSERT_TRUE(expired);
  EXPECT_EQ(expired->status, 410);
  EXPECT_NE(expired->body.find("kept for 30 days"), std::string::npos) << expired->body;
  EXPECT_EQ(expired->body.find("the old terms"), std::string::npos);
  EXPECT_TRUE(server_->Store().FindStamp(month));  // the record stays
  EXPECT_NE(Press(kCertifiedPath, fortnight)->body.find("the old terms"), std::string::npos);
  EXPECT_FALSE(server_->Store().FindStamp(ancient));
  EXPECT_EQ(Get(kCertifiedPath, ancient)->status, 404);
}

TEST_F(ServiceTest, CertifiedContentPastThirtyDaysIsRefusedBeforeTheUpkeepDeletesIt) {
  constexpr mailwarden::store::Time kDay = 86400LL * 1000000;
  mailwarden::store::NewMessage message;
  message.sender = "ann.sender@example.com";
  message.kind = mailwarden::store::Kind::kCertified;
  message.subject = "Contract";
  message.content = "the old terms";
  message.issued = mailwarden::SystemNow() - 30 * kDay - 60LL * 1000000;
  message.recipients = {{"bob@example.com", "Bob"}};
  const std::string stamp =
      server_->Store().IssueStamps(message, 100, [] { return std::string("JustPastThirtyDays"); }).stamps.at(0);
  // The upkeep runs hourly: the content is in the store still.
  httplib::Result expired = Get(kCertifiedPath, stamp);
  ASSERT_TRUE(expired);
  EXPECT_EQ(expired->status, 410);
  EXPECT_EQ(expired->body.find("the old terms"), std::string::npos);
}

TEST_F(ServiceTest, TheBarePagesAddressRedirectsToThePages) {
  httplib::Client client = testsupport::LoopbackClient(server_->Port());
  auto reply = client.Get("/cvx");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status / 100, 3);
  EXPECT_EQ(reply->get_header_value("Location"), "/cvx/");
}

}  // namespace
}  // namespace service_test
