// The JSON view for scripts and the CSV export.
#include <nlohmann/json.hpp>

#include "pages_world.h"

namespace pages_test {
namespace {

using ::testing::HasSubstr;

class DataViewsTest : public PagesWorld {
 protected:
  void SetUp() override {
    AddSender("ann@example.com");
    ASSERT_EQ(SignIn(ann_, "ann@example.com", kPassword).status, 303);
  }
  nlohmann::json Json(const std::string& target, int status = 200) {
    const http::Reply reply = Get(ann_, target);
    EXPECT_EQ(reply.status, status) << target;
    EXPECT_EQ(HeaderOf(reply, "Content-Type"), "application/json; charset=utf-8");
    return nlohmann::json::parse(reply.body);
  }
  Browser ann_;
};

TEST_F(DataViewsTest, ApiGivesMessagesRecipientsAndClassifiedEvents) {
  const auto sent = Send("ann@example.com", "Figures", {{"bob@example.net", "Bob Baker"}, {"cy@example.org", ""}});
  now_ += 90 * kSecond;
  Event(sent.stamps[0], store::EventType::kImage, store::EventClass::kPerson);
  Event(sent.stamps[1], store::EventType::kImage, store::EventClass::kMachine, "17.58.1.2", "Mozilla/5.0",
        "Apple Mail Privacy Protection: fetched on delivery");

  const nlohmann::json list = Json("/cvx/api/messages");
  ASSERT_EQ(list["messages"].size(), 1u);
  const nlohmann::json& message = list["messages"][0];
  EXPECT_EQ(message, Json("/cvx/api/messages/" + std::to_string(sent.messageId)));
  EXPECT_EQ(message["id"], sent.messageId);
  EXPECT_EQ(message["subject"], "Figures");
  EXPECT_EQ(message["kind"], "Automatic");
  EXPECT_EQ(message["sent"], "2026-12-12 09:30:00");
  ASSERT_EQ(message["recipients"].size(), 2u);
  const nlohmann::json& bob = message["recipients"][0];
  EXPECT_EQ(bob["address"], "bob@example.net");
  EXPECT_EQ(bob["name"], "Bob Baker");
  EXPECT_TRUE(bob["copy"].is_null());
  ASSERT_EQ(bob["events"].size(), 1u);
  EXPECT_EQ(bob["events"][0]["type"], "image");
  EXPECT_EQ(bob["events"][0]["class"], "person");
  EXPECT_EQ(bob["events"][0]["time"], "2026-12-12T08:41:30Z");
  EXPECT_EQ(bob["events"][0]["reason"], "a mail program or browser; no sign of a machine");
  EXPECT_EQ(message["recipients"][1]["events"][0]["class"], "machine");
  EXPECT_EQ(message["recipients"][1]["events"][0]["reason"], "Apple Mail Privacy Protection: fetched on delivery");
}

TEST_F(DataViewsTest, ApiPagesWithNextAndAnswers401And404AsJson) {
  for (int i = 1; i <= 3; ++i) Send("ann@example.com", "Report " + std::to_string(i), {{"bob@example.net", "Bob"}});
  nlohmann::json page = Json("/cvx/api/messages?limit=2");
  ASSERT_EQ(page["messages"].size(), 2u);
  EXPECT_EQ(page["messages"][0]["subject"], "Report 3");
  page = Json(page["next"].get<std::string>());
  ASSERT_EQ(page["messages"].size(), 1u);
  EXPECT_EQ(page["messages"][0]["subject"], "Report 1");
  EXPECT_FALSE(page.contains("next"));

  EXPECT_EQ(Json("/cvx/api/messages/999", 404)["error"], "No such message.");
  EXPECT_EQ(Json("/cvx/api/other", 404)["error"], "No such message.");
  Browser stranger;
  const http::Reply reply = Get(stranger, "/cvx/api/messages");
  EXPECT_EQ(reply.status, 401);
  EXPECT_EQ(nlohmann::json::parse(reply.body)["error"], "Sign in at /cvx/ first.");
}

TEST_F(DataViewsTest, ApiSearchIsCutLikeThePagesSearch) {
  const std::string subject(pages::kLongestSearch, 'a');
  Send("ann@example.com", subject, {{"bob@example.net", "Bob"}});
  // What lies past the cut is not searched for: the subject matches.
  const std::string longer = subject + std::string(7000, 'z');
  EXPECT_EQ(Json("/cvx/api/messages?q=" + longer)["messages"].size(), 1u);
}

TEST_F(DataViewsTest, CsvHasARowPerEventQuotesTextAndDisarmsFormulas) {
  const auto sent = Send("ann@example.com", "Figures, \"final\"", {{"bob@example.net", "Bob"}, {"cy@example.org", ""}});
  Event(sent.stamps[0], store::EventType::kImage, store::EventClass::kPerson, "127.0.0.2", "=HYPERLINK(\"x\")");
  Event(sent.stamps[0], store::EventType::kImage, store::EventClass::kSender, "127.0.0.1", "Outlook",
        "you (your address, within a day of sending)");
  const http::Reply reply = Get(ann_, "/cvx/export.csv");
  EXPECT_EQ(HeaderOf(reply, "Content-Type"), "text/csv; charset=utf-8");
  EXPECT_THAT(HeaderOf(reply, "Content-Disposition"), HasSubstr("attachment"));
  const std::string id = std::to_string(sent.messageId);
  EXPECT_EQ(
      reply.body,
      "message,sent,stamped,subject,kind,recipient,name,copy,event,class,time,ip,user_agent,reason\r\n" + id +
          ",2026-12-12 09:30:00,2026-12-12T08:40:00Z,\"Figures, \"\"final\"\"\",Automatic,bob@example.net,Bob,,"
          "image,person,2026-12-12T08:40:00Z,127.0.0.2,\"'=HYPERLINK(\"\"x\"\")\","
          "a mail program or browser; no sign of a machine\r\n" +
          id +
          ",2026-12-12 09:30:00,2026-12-12T08:40:00Z,\"Figures, \"\"final\"\"\",Automatic,bob@example.net,Bob,,"
          "image,sender,2026-12-12T08:40:00Z,127.0.0.1,Outlook,\"you (your address, within a day of sending)\"\r\n" +
          id +
          ",2026-12-12 09:30:00,2026-12-12T08:40:00Z,\"Figures, \"\"final\"\"\",Automatic,cy@example.org,,,,,,,,"
          "\r\n");
}

}  // namespace
}  // namespace pages_test
