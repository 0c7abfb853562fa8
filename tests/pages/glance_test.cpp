// The messages list and a message's page at a glance: how many of the
// recipients opened, confirmed or read, the list's filters and order, and
// the time a message was sent in the zone of every other time.
#include <regex>

#include "pages_world.h"

namespace pages_test {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

class GlanceTest : public PagesWorld {
 protected:
  void SetUp() override {
    AddSender("ann@example.com", 50);
    ASSERT_EQ(SignIn(ann_, "ann@example.com", kPassword).status, 303);
  }
  std::string Page(const std::string& target) {
    const http::Reply reply = Get(ann_, target);
    EXPECT_EQ(reply.status, 200) << target;
    return reply.body;
  }
  // The subjects of the list, in its order.
  std::vector<std::string> Subjects(const std::string& target) {
    const std::string page = Page(target);
    std::vector<std::string> subjects;
    static const std::regex subject("<td class=\"subject\"><a href=\"[^\"]+\">([^<]*)</a>");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), subject); it != std::sregex_iterator(); ++it)
      subjects.push_back((*it)[1].str());
    return subjects;
  }
  // The text of the row of the list whose subject this is.
  std::string Row(const std::string& page, const std::string& subject) {
    const auto at = page.find(">" + subject + "</a>");
    if (at == std::string::npos) return "";
    const auto start = page.rfind("<tr", at);
    return page.substr(start, page.find("</tr>", at) - start);
  }
  Browser ann_;
};

TEST_F(GlanceTest, EachMessageSaysHowManyOfItsRecipientsOpenedConfirmedOrRead) {
  const auto plain = Send("ann@example.com", "Plain", {{"a@example.net", ""}, {"b@example.net", ""}, {"c@x.org", ""}});
  Event(plain.stamps[0], store::EventType::kImage, store::EventClass::kPerson);
  Event(plain.stamps[0], store::EventType::kImage, store::EventClass::kPerson);
  Event(plain.stamps[1], store::EventType::kImage, store::EventClass::kPerson);
  // Machines and the sender's own views open nothing.
  Event(plain.stamps[2], store::EventType::kImage, store::EventClass::kMachine);
  Event(plain.stamps[2], store::EventType::kImage, store::EventClass::kSender);

  const auto receipt = Send("ann@example.com", "Receipt", {{"a@example.net", ""}, {"b@example.net", ""}, {"c@x", ""}});
  Event(receipt.stamps[0], store::EventType::kReceipt, store::EventClass::kPerson);
  Event(receipt.stamps[1], store::EventType::kImage, store::EventClass::kPerson);

  const auto certified =
      Send("ann@example.com", "Contract", {{"a@example.net", ""}, {"b@example.net", ""}}, store::Kind::kCertified, "x");
  Event(certified.stamps[1], store::EventType::kRead, store::EventClass::kPerson);

  const std::string list = Page("/cvx/");
  struct Case {
    const char* subject;
    std::string glance;
  };
  const Case cases[] = {
      {"Plain", "2 of 3 opened"},
      {"Receipt", "2 of 3 opened \u00b7 1 of 3 confirmed"},
      {"Contract", "1 of 2 read"},
  };
  for (const Case& c : cases) {
    EXPECT_THAT(Row(list, c.subject), HasSubstr("<td class=\"glance\">" + c.glance + "</td>")) << c.subject;
  }
  EXPECT_THAT(Page("/cvx/messages/" + std::to_string(receipt.messageId)),
              HasSubstr("<dd class=\"glance\">2 of 3 opened \u00b7 1 of 3 confirmed</dd>"));

  // Where a receipt is asked for, a recipient without one has none yet, opened or not.
  const std::string row = Row(list, "Receipt");
  const auto line = [&](const std::string& who) {
    const auto at = row.find(who);
    return at == std::string::npos ? std::string() : row.substr(at, row.find("</li>", at) - at);
  };
  EXPECT_THAT(line("a@example.net"), AllOf(HasSubstr("receipt sent"), Not(HasSubstr("no receipt"))));
  EXPECT_THAT(line("b@example.net"), AllOf(HasSubstr("opened 1\u00d7"), HasSubstr("; no receipt yet")));
  EXPECT_THAT(line("c@x"), AllOf(HasSubstr(">no receipt yet</span>"), Not(HasSubstr("not opened"))));
  // Where none is asked for, not opened stays not opened.
  EXPECT_THAT(Row(list, "Plain"), AllOf(HasSubstr(">not opened</span>"), Not(HasSubstr("receipt"))));
}

TEST_F(GlanceTest, ListFiltersByStatusKindAndDaysAndSortsByLastActivity) {
  options_.pageSize = 2;
  pages_ = std::make_unique<pages::Pages>(*store_, options_);
  const auto silent = Send("ann@example.com", "Silent", {{"a@example.net", ""}});
  now_ += 86400 * kSecond;  // the next day, 2026-12-13
  const auto opened = Send("ann@example.com", "Opened", {{"a@example.net", ""}});
  now_ += 86400 * kSecond;  // 2026-12-14
  const auto confirmed = Send("ann@example.com", "Confirmed", {{"a@example.net", ""}});
  const auto read = Send("ann@example.com", "Contract", {{"a@example.net", ""}}, store::Kind::kCertified, "x");
  now_ += 3600 * kSecond;
  Event(read.stamps[0], store::EventType::kRead, store::EventClass::kPerson);
  now_ += 3600 * kSecond;
  Event(confirmed.stamps[0], store::EventType::kReceipt, store::EventClass::kPerson);
  now_ += 3600 * kSecond;
  Event(silent.stamps[0], store::EventType::kImage, store::EventClass::kMachine);
  Event(opened.stamps[0], store::EventType::kImage, store::EventClass::kPerson);
  ASSERT_EQ(SignIn(ann_, "ann@example.com", kPassword).status, 303);  // the first session is long idle

  struct Case {
    std::string query;
    std::vector<std::string> subjects;  // the first page, two at most
  };
  const Case cases[] = {
      {"", {"Contract", "Confirmed"}},
      {"seen=unopened", {"Silent"}},
      {"seen=opened", {"Contract", "Confirmed"}},
      {"seen=confirmed", {"Confirmed"}},
      {"seen=read", {"Contract"}},
      {"kind=guaranteed", {"Contract"}},
      {"kind=receipt", {"Confirmed"}},
      {"kind=automatic", {"Opened", "Silent"}},
      {"from=2026-12-13&to=2026-12-13", {"Opened"}},
      {"to=2026-12-12", {"Silent"}},
      // A day of the browser's: in UTC+1 (offset -60) the 13th starts at 23:00 UTC of the 12th.
      {"from=2026-12-13&to=2026-12-13&tz=-60", {"Opened"}},
      {"from=2026-12-12&to=2026-12-12&tz=600", {"Opened"}},
      {"sort=activity", {"Opened", "Confirmed"}},
      {"seen=bogus&kind=&from=2026-02-30", {"Contract", "Confirmed"}},  // what is not understood narrows nothing
  };
  for (const Case& c : cases) EXPECT_EQ(Subjects("/cvx/?" + c.query), c.subjects) << c.query;

  // The next page keeps the filters and the order: by last activity, then
  // "Silent", whose only fetch was a machine's.
  std::vector<std::string> all;
  std::string target = "/cvx/?sort=activity";
  for (int page = 0; page < 4 && !target.empty(); ++page) {
    const std::string html = Page(target);
    for (const std::string& subject : Subjects(target)) all.push_back(subject);
    std::smatch older;
    target = std::regex_search(html, older, std::regex("href=\"(/cvx/\\?[^\"]+)\">Older"))
                 ? std::regex_replace(older[1].str(), std::regex("&amp;"), "&")
                 : "";
  }
  EXPECT_EQ(all, (std::vector<std::string>{"Opened", "Confirmed", "Contract", "Silent"}));
  EXPECT_THAT(Page("/cvx/?sort=activity&seen=opened"), HasSubstr("<option value=\"activity\" selected>"));
  EXPECT_THAT(Page("/cvx/?seen=read"), HasSubstr(">Show all</a>"));
}

// Repeated opens from one program are one line with how often and when
// first and last, the program in words and its raw User-Agent a click away;
// every entry stays listed below.
TEST_F(GlanceTest, RepeatedOpensFromOneProgramFoldIntoOneLine) {
  options_.clients = mailwarden::events::SharedClientNames(mailwarden::events::DefaultClientData());
  ASSERT_TRUE(options_.clients) << "the ua-parser patterns are missing: run scripts/setup (uap-core)";
  pages_ = std::make_unique<pages::Pages>(*store_, options_);
  const std::string outlook = "Microsoft Office/16.0 (Windows NT 10.0; Microsoft Outlook 16.0.5095; Pro)";
  const std::string iphone =
      "Mozilla/5.0 (iPhone; CPU iPhone OS 16_5 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Mobile/15E148";
  const auto sent = Send("ann@example.com", "Figures", {{"bob@example.net", "Bob"}});
  for (int i = 0; i < 3; ++i) {
    now_ += 600 * kSecond;  // apart enough to be rows of their own
    Event(sent.stamps[0], store::EventType::kImage, store::EventClass::kPerson, "198.51.100.7", outlook);
  }
  now_ += 600 * kSecond;
  Event(sent.stamps[0], store::EventType::kImage, store::EventClass::kPerson, "203.0.113.9", iphone);

  const std::string page = Page("/cvx/messages/" + std::to_string(sent.messageId));
  const auto folded = page.substr(page.find("<table class=\"folded\">"));
  EXPECT_THAT(folded, HasSubstr("<td>Opened (image fetched)</td><td><details class=\"agent\"><summary>Outlook 2016 "
                                "\u00b7 Windows</summary><small>" +
                                pages::Escape(outlook) +
                                "<br>from 198.51.100.7</small></details></td><td "
                                "class=\"count\">3 times</td><td><time "
                                "datetime=\"2026-12-12T08:50:00Z\">"));
  EXPECT_THAT(folded, HasSubstr("<time datetime=\"2026-12-12T09:10:00Z\">"));  // the last of them
  EXPECT_THAT(folded, HasSubstr("<summary>Apple Mail \u00b7 iPhone</summary>"));
  EXPECT_THAT(folded, HasSubstr("1 time</td>"));
  EXPECT_THAT(page, HasSubstr("<summary>Every entry (4)</summary>"));
}

// "Sent" is when the service issued the stamps, a <time> like every other
// time of the pages; the sender's PC clock is only a note beside it.
TEST_F(GlanceTest, SentIsTheServicesTimeWithThePcClockAsANote) {
  const auto sent = Send("ann@example.com", "Figures", {{"a@example.net", ""}});
  const std::string time = "<time datetime=\"2026-12-12T08:40:00Z\">";
  EXPECT_THAT(Row(Page("/cvx/"), "Figures"), HasSubstr("<td class=\"sent\">" + time));
  EXPECT_THAT(Page("/cvx/messages/" + std::to_string(sent.messageId)),
              HasSubstr("<dt>Sent</dt><dd>" + time +
                        "2026-12-12 08:40 UTC</time> <small class=\"clock\">(your "
                        "computer's clock said 2026-12-12 09:30:00)</small></dd>"));
}

}  // namespace
}  // namespace pages_test
