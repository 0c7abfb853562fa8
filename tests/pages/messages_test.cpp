// The messages list, a message's page, cancelling, and what each sender may
// see: only its own.
#include <regex>

#include "pages_world.h"

namespace pages_test {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

class MessagesTest : public PagesWorld {
 protected:
  void SetUp() override {
    AddSender("ann@example.com", 20);
    AddSender("bea@example.com");
    ASSERT_EQ(SignIn(ann_, "ann@example.com", kPassword).status, 303);
    ASSERT_EQ(SignIn(bea_, "bea@example.com", kPassword).status, 303);
  }
  std::string Page(Browser& browser, const std::string& target) {
    const http::Reply reply = Get(browser, target);
    EXPECT_EQ(reply.status, 200) << target;
    return reply.body;
  }
  static std::string MessagePath(const store::Issued& issued) {
    return "/cvx/messages/" + std::to_string(issued.messageId);
  }
  Browser ann_, bea_;
};

TEST_F(MessagesTest, ListShowsNewestFirstWithKindRecipientsStatusAndCredit) {
  const auto first = Send("ann@example.com", "Figures", {{"bob@example.net", "Bob Baker"}, {"cy@example.org", ""}});
  now_ += 60 * kSecond;
  const auto second =
      Send("ann@example.com", "Contract", {{"dee@example.com", "Dee"}}, store::Kind::kCertified, "Sign here", false);
  Event(first.stamps[0], store::EventType::kImage, store::EventClass::kPerson);
  now_ += 3600 * kSecond;
  Event(first.stamps[0], store::EventType::kImage, store::EventClass::kPerson);
  Event(first.stamps[0], store::EventType::kImage, store::EventClass::kMachine);
  Event(first.stamps[1], store::EventType::kImage, store::EventClass::kSender);
  Event(first.stamps[1], store::EventType::kImage, store::EventClass::kMachine, "192.0.2.1", "Scanner",
        "security scanner (Example)");

  const std::string page = Page(ann_, "/cvx/");
  EXPECT_LT(page.find("Contract"), page.find("Figures"));
  EXPECT_THAT(page, HasSubstr("<strong>17</strong> credits left this month"));
  EXPECT_THAT(page, HasSubstr("Guaranteed"));
  EXPECT_THAT(page, HasSubstr("Automatic"));
  EXPECT_THAT(page, HasSubstr("Bob Baker &lt;bob@example.net&gt;"));
  // Opened counts persons only; the machine and the sender come apart.
  EXPECT_THAT(page, HasSubstr("opened 2\u00d7, first <time datetime=\"2026-12-12T08:41:00Z\">"));
  EXPECT_THAT(page, HasSubstr("\u00b7 1 machine fetch not counted</span>"));
  const auto cy = page.find("cy@example.org");
  ASSERT_NE(cy, std::string::npos);
  EXPECT_THAT(page.substr(cy, 200), HasSubstr("not opened"));
  EXPECT_THAT(page.substr(cy, 300),
              HasSubstr("\u00b7 1 machine fetch not counted \u00b7 1 view of your own not counted</span>"));
  EXPECT_THAT(page, HasSubstr("not read"));
  EXPECT_THAT(page, HasSubstr("href=\"" + MessagePath(second) + "\""));
}

TEST_F(MessagesTest, TrackedKindIsKnownOnlyOnceAnImageOrAReceiptCame) {
  const auto receipt = Send("ann@example.com", "Minutes", {{"bob@example.net", "Bob"}});
  const auto silent = Send("ann@example.com", "Agenda", {{"bob@example.net", "Bob"}});
  Event(receipt.stamps[0], store::EventType::kReceipt, store::EventClass::kPerson);
  const std::string page = Page(ann_, MessagePath(receipt));
  EXPECT_THAT(page, HasSubstr("<dt>Kind</dt><dd>Request receipt</dd>"));
  EXPECT_THAT(page, HasSubstr("receipt sent <time"));
  EXPECT_THAT(Page(ann_, MessagePath(silent)), HasSubstr("Automatic or Request receipt"));
}

// A prefetch on delivery is no open, but it says the mail arrived; other
// machines alone say nothing. The message page says why beside each event.
TEST_F(MessagesTest, PrefetchAloneIsDeliveredNotKnownWhetherOpenedAndEachEventShowsItsReason) {
  const auto sent = Send("ann@example.com", "Figures",
                         {{"mac@example.com", "Mac"}, {"gw@example.org", "Gw"}, {"both@example.net", "Both"}});
  const std::string apple = "Apple Mail Privacy Protection: fetched on delivery";
  Event(sent.stamps[0], store::EventType::kImage, store::EventClass::kMachine, "17.58.1.2", "Mozilla/5.0", apple);
  Event(sent.stamps[1], store::EventType::kImage, store::EventClass::kMachine, "40.107.1.1", "x",
        "security scanner (Microsoft <network>)");
  Event(sent.stamps[2], store::EventType::kImage, store::EventClass::kMachine, "17.58.1.2", "Mozilla/5.0", apple);
  Event(sent.stamps[2], store::EventType::kImage, store::EventClass::kPerson);

  const std::string page = Page(ann_, "/cvx/");
  const auto line = [&](const std::string& who) {
    const auto at = page.find(who);
    return at == std::string::npos ? std::string() : page.substr(at, page.find("</li>", at) - at);
  };
  EXPECT_THAT(line("mac@example.com"), HasSubstr("delivered, not known whether opened"));
  EXPECT_THAT(line("gw@example.org"), HasSubstr(">not opened</span>"));
  EXPECT_THAT(line("both@example.net"), AllOf(HasSubstr("opened 1\u00d7"), Not(HasSubstr("delivered"))));

  const std::string message = Page(ann_, MessagePath(sent));
  EXPECT_THAT(message, HasSubstr("<th>Why</th>"));
  EXPECT_THAT(message, HasSubstr("<td class=\"reason\">" + apple + "</td>"));
  EXPECT_THAT(message, HasSubstr("<td class=\"reason\">security scanner (Microsoft &lt;network&gt;)</td>"));
}

TEST_F(MessagesTest, PagingGoesBackByIdAndSearchCoversSubjectAndRecipients) {
  options_.pageSize = 2;
  pages_ = std::make_unique<pages::Pages>(*store_, options_);
  std::vector<store::Issued> sent;
  for (int i = 1; i <= 5; ++i) {
    sent.push_back(Send("ann@example.com", "Report " + std::to_string(i),
                        {{i == 3 ? "zed@example.org" : "bob@example.net", "Bob"}}));
  }
  const std::string first = Page(ann_, "/cvx/");
  EXPECT_THAT(first, AllOf(HasSubstr("Report 5"), HasSubstr("Report 4"), Not(HasSubstr("Report 3"))));
  std::smatch older;
  ASSERT_TRUE(std::regex_search(first, older, std::regex("href=\"(/cvx/\\?before=[0-9]+)\">Older")));
  const std::string second = Page(ann_, older[1].str());
  EXPECT_THAT(second, AllOf(HasSubstr("Report 3"), HasSubstr("Report 2"), Not(HasSubstr("Report 4"))));
  ASSERT_TRUE(std::regex_search(second, older, std::regex("href=\"(/cvx/\\?before=[0-9]+)\">Older")));
  const std::string last = Page(ann_, older[1].str());
  EXPECT_THAT(last, AllOf(HasSubstr("Report 1"), Not(HasSubstr(">Older"))));

  EXPECT_THAT(Page(ann_, "/cvx/?q=ZED%40example"), AllOf(HasSubstr("Report 3"), Not(HasSubstr("Report 5"))));
  EXPECT_THAT(Page(ann_, "/cvx/?q=report+1"), AllOf(HasSubstr("Report 1"), Not(HasSubstr("Report 2"))));
  EXPECT_THAT(Page(ann_, "/cvx/?q=nothing"), HasSubstr("No message matches"));
}

TEST_F(MessagesTest, SenderTextIsEscapedEverywhere) {
  const auto sent =
      Send("ann@example.com", "<script>alert(1)</script>", {{"x@example.net", "\"><img src=x onerror=alert(2)>"}});
  Event(sent.stamps[0], store::EventType::kImage, store::EventClass::kPerson, "127.0.0.2", "<b>agent</b>");
  for (const std::string& target : {std::string("/cvx/"), MessagePath(sent), std::string("/cvx/?q=%3Cscript%3E")}) {
    const std::string page = Page(ann_, target);
    EXPECT_THAT(page, Not(HasSubstr("<script>alert"))) << target;
    EXPECT_THAT(page, Not(HasSubstr("<img src=x"))) << target;
    EXPECT_THAT(page, Not(HasSubstr("<b>agent"))) << target;
    EXPECT_THAT(page, HasSubstr("&lt;script&gt;alert(1)&lt;/script&gt;")) << target;
  }
  EXPECT_THAT(Page(ann_, MessagePath(sent)), HasSubstr("&lt;b&gt;agent&lt;/b&gt;"));
}

TEST_F(MessagesTest, EveryPageAllowsOnlyTheServicesOwnScriptsAndStylesAndNamesNoOutsideAddress) {
  const auto sent = Send("ann@example.com", "Figures", {{"bob@example.net", "Bob"}});
  for (const std::string& target : {std::string("/cvx/"), MessagePath(sent), std::string("/cvx/password"),
                                    std::string("/"), std::string("/cvx/donation/"), std::string("/cvx/nowhere")}) {
    const http::Reply reply = Get(ann_, target);
    const std::string& policy = HeaderOf(reply, "Content-Security-Policy");
    EXPECT_THAT(policy, HasSubstr("default-src 'none'; script-src 'self'; style-src 'self'")) << target;
    EXPECT_THAT(policy, HasSubstr("frame-ancestors 'none'")) << target;
    const std::regex link("(?:src|href|action)=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(reply.body.begin(), reply.body.end(), link); it != std::sregex_iterator();
         ++it) {
      EXPECT_EQ((*it)[1].str().substr(0, 1), "/") << target << ": " << (*it)[0];
    }
  }
  for (const char* file : {"/cvx/static/site.css", "/cvx/static/local-time.js"}) {
    const http::Reply reply = Get(ann_, file);
    EXPECT_EQ(reply.status, 200) << file;
    EXPECT_GT(reply.body.size(), 200u) << file;
  }
  EXPECT_EQ(Get(ann_, "/cvx/static/other.js").status, 404);
}

TEST_F(MessagesTest, CancelDeliveryCancelsOnceAndShowsTheResult) {
  const auto sent = Send("ann@example.com", "Contract", {{"bob@example.net", "Bob"}, {"cy@example.org", "Cy"}},
                         store::Kind::kCertified, "<p>Sign</p>", true);
  const std::string page = Page(ann_, MessagePath(sent));
  EXPECT_EQ(std::count(page.begin(), page.end(), '\n') > 0, true);
  std::smatch form;
  ASSERT_TRUE(std::regex_search(page, form, std::regex("action=\"(" + MessagePath(sent) + "/cancel)\"")));
  const std::string csrf = Csrf(page.substr(page.find("class=\"cancel\"")));

  http::Reply reply = Post(ann_, form[1].str(), "csrf=" + csrf + "&to=2");
  ASSERT_EQ(reply.status, 303);
  const std::string after = Page(ann_, HeaderOf(reply, "Location"));
  EXPECT_THAT(after, HasSubstr("The delivery to cy@example.org has been cancelled."));
  const auto cy = store_->FindStamp(sent.stamps[1]);
  EXPECT_TRUE(cy->cancelled);
  EXPECT_FALSE(store_->FindStamp(sent.stamps[0])->cancelled);
  const auto message = store_->GetMessage(cy->accountId, sent.messageId);
  ASSERT_EQ(message->recipients[1].events.size(), 1u);
  EXPECT_EQ(message->recipients[1].events[0].eventClass, store::EventClass::kSender);
  EXPECT_EQ(message->recipients[1].events[0].reason, "you (pressed \"Cancel delivery\" on your pages)");
  // One button left: Cy's delivery is cancelled already.
  const std::string cancelled = Page(ann_, MessagePath(sent));
  EXPECT_EQ(std::regex_search(cancelled, std::regex("name=\"to\" value=\"2\"")), false);
  EXPECT_THAT(cancelled, HasSubstr("name=\"to\" value=\"1\""));

  reply = Post(ann_, form[1].str(), "csrf=" + csrf + "&to=2");
  EXPECT_THAT(Page(ann_, HeaderOf(reply, "Location")), HasSubstr("was already cancelled"));
  // Only Guaranteed mail has deliveries to cancel; no recipient 3.
  EXPECT_EQ(Post(ann_, form[1].str(), "csrf=" + csrf + "&to=3").status, 404);
  const auto tracked = Send("ann@example.com", "Figures", {{"bob@example.net", "Bob"}});
  EXPECT_EQ(Post(ann_, MessagePath(tracked) + "/cancel", "csrf=" + csrf + "&to=1").status, 404);
  EXPECT_THAT(Page(ann_, MessagePath(tracked)), Not(HasSubstr("Cancel delivery")));
}

TEST_F(MessagesTest, AnotherSenderSeesNoneOfItAndGets404) {
  const auto sent =
      Send("ann@example.com", "Ann's secret", {{"bob@example.net", "Bob"}}, store::Kind::kCertified, "secret", false);
  Event(sent.stamps[0], store::EventType::kRead, store::EventClass::kPerson);
  const std::string beaCsrf = Csrf(Page(bea_, "/cvx/"));

  EXPECT_THAT(Page(bea_, "/cvx/"), Not(HasSubstr("Ann's secret")));
  EXPECT_THAT(Page(bea_, "/cvx/?q=secret"), Not(HasSubstr("Ann&#39;s secret")));
  EXPECT_EQ(Get(bea_, MessagePath(sent)).status, 404);
  EXPECT_EQ(Post(bea_, MessagePath(sent) + "/cancel", "csrf=" + beaCsrf + "&to=1").status, 404);
  EXPECT_FALSE(store_->FindStamp(sent.stamps[0])->cancelled);
  EXPECT_EQ(Get(bea_, "/cvx/api/messages/" + std::to_string(sent.messageId)).status, 404);
  EXPECT_THAT(Get(bea_, "/cvx/api/messages").body, Not(HasSubstr("secret")));
  EXPECT_THAT(Get(bea_, "/cvx/export.csv").body, Not(HasSubstr("secret")));
  // Ann sees it all.
  EXPECT_EQ(Get(ann_, MessagePath(sent)).status, 200);
  EXPECT_THAT(Get(ann_, "/cvx/export.csv").body, HasSubstr("Ann's secret"));
}

TEST_F(MessagesTest, PagesOfASenderNeedASession) {
  Browser stranger;
  for (const char* target : {"/cvx/messages/1", "/cvx/export.csv", "/cvx/password"}) {
    const http::Reply reply = Get(stranger, target);
    EXPECT_EQ(reply.status, 303) << target;
    EXPECT_EQ(HeaderOf(reply, "Location"), "/cvx/") << target;
  }
  EXPECT_EQ(Post(stranger, "/cvx/messages/1/cancel", "to=1").status, 403);
  EXPECT_EQ(Get(stranger, "/").status, 200);
  EXPECT_EQ(Get(stranger, "/cvx/donation/").status, 200);
}

TEST_F(MessagesTest, DonationTextOfTheAdministratorReplacesOursEscaped) {
  options_.donationText = "Give to <Mailwarden> & friends.\nAccount 12345\n\nThank you!";
  pages_ = std::make_unique<pages::Pages>(*store_, options_);
  const std::string page = Page(ann_, "/cvx/donation/");
  EXPECT_THAT(page,
              HasSubstr("<p>Give to &lt;Mailwarden&gt; &amp; friends.<br>\nAccount 12345</p>\n<p>Thank you!</p>"));
  EXPECT_THAT(page, Not(HasSubstr("ask your administrator")));
}

}  // namespace
}  // namespace pages_test
