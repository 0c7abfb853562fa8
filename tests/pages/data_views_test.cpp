// The JSON view for scripts and the CSV export.
#include <algorithm>
#include <nlohmann/json.hpp>
#include <regex>
#include <stdexcept>

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

std::size_t Occurrences(const std::string& text, const std::string& piece) {
  std::size_t count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
  return count;
}

// The target of the page's "Older entries" link, its "&amp;" read and its anchor cut; empty when none.
std::string OlderEntries(const std::string& page) {
  std::smatch link;
  if (!std::regex_search(page, link, std::regex("<a rel=\"next\" href=\"([^\"#]*)#[^\"]*\">Older entries</a>"))) {
    return "";
  }
  return std::regex_replace(link[1].str(), std::regex("&amp;"), "&");
}

// A timeline longer than a page shows its newest entries and links back
// through the rest, on the message page and in its JSON alike, while the
// status counts all of them.
TEST_F(DataViewsTest, TimelinesShowTheNewestEntriesAndPageBackThroughTheRest) {
  const auto sent = Send("ann@example.com", "Flood", {{"bob@example.net", "Bob"}, {"cy@example.org", ""}});
  const int hits = 2 * store::kTimelinePage + 20;
  for (int i = 0; i < hits; ++i) {
    now_ += 2 * 60 * kSecond;  // never folded
    Event(sent.stamps[0], store::EventType::kImage, store::EventClass::kPerson, "198.51.100." + std::to_string(i));
  }
  Event(sent.stamps[1], store::EventType::kImage, store::EventClass::kPerson);
  const std::string message = "/cvx/messages/" + std::to_string(sent.messageId);

  std::string page = Get(ann_, message).body;
  EXPECT_THAT(page, HasSubstr("opened " + std::to_string(hits) + "\u00d7"));
  EXPECT_THAT(page, HasSubstr("50 of " + std::to_string(hits) + " entries shown."));
  EXPECT_THAT(page, HasSubstr("198.51.100." + std::to_string(hits - 1) + "<"));  // the newest
  // Every entry's row, beside the folded lines: Bob's opens from one program are one line.
  const std::string entry = "</time></td><td>Opened (image fetched)";
  EXPECT_EQ(Occurrences(page, "<tr class=\"person\"><td>Opened (image fetched)"), 2u);
  EXPECT_THAT(page, HasSubstr(std::to_string(hits) + " times"));
  std::size_t seen = Occurrences(page, entry);
  EXPECT_EQ(seen, static_cast<std::size_t>(store::kTimelinePage) + 1);  // and Cy's one
  std::size_t pages = 1;
  for (std::string older = OlderEntries(page); !older.empty(); older = OlderEntries(page)) {
    ASSERT_LT(++pages, 10u);
    page = Get(ann_, older).body;
    EXPECT_THAT(page, HasSubstr("Latest entries"));
    seen += Occurrences(page, entry) - 1;
  }
  EXPECT_EQ(pages, 3u);
  EXPECT_THAT(page, HasSubstr("198.51.100.0<"));  // the oldest, on the last page
  EXPECT_EQ(seen, static_cast<std::size_t>(hits) + 1);

  nlohmann::json bob = Json("/cvx/api/messages/" + std::to_string(sent.messageId))["recipients"][0];
  EXPECT_EQ(bob["eventTotal"], hits);
  std::size_t events = bob["events"].size();
  EXPECT_EQ(events, static_cast<std::size_t>(store::kTimelinePage));
  while (!bob["olderEvents"].is_null()) {
    bob = Json(bob["olderEvents"].get<std::string>())["recipients"][0];
    events += bob["events"].size();
  }
  EXPECT_EQ(events, static_cast<std::size_t>(hits));
  EXPECT_EQ(bob["events"][0]["ip"], "198.51.100.0");
  EXPECT_TRUE(Json("/cvx/api/messages")["messages"][0]["recipients"][1]["olderEvents"].is_null());
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
  Event(sent.stamps[0], store::EventType::kImage, store::EventClass::kSender, "127.0.0.1", "Outlook", "your own copy");
  const http::Reply reply = Get(ann_, "/cvx/export.csv");
  EXPECT_EQ(HeaderOf(reply, "Content-Type"), "text/csv; charset=utf-8");
  EXPECT_THAT(HeaderOf(reply, "Content-Disposition"), HasSubstr("attachment"));
  const std::string id = std::to_string(sent.messageId);
  EXPECT_EQ(reply.body,
            "\xEF\xBB\xBF"
            "message,sent,stamped,subject,kind,recipient,name,copy,event,class,time,ip,user_agent,reason\r\n" +
                id +
                ",2026-12-12 09:30:00,2026-12-12T08:40:00Z,\"Figures, \"\"final\"\"\",Automatic,bob@example.net,Bob,,"
                "image,person,2026-12-12T08:40:00Z,127.0.0.2,\"'=HYPERLINK(\"\"x\"\")\","
                "a mail program or browser; no sign of a machine\r\n" +
                id +
                ",2026-12-12 09:30:00,2026-12-12T08:40:00Z,\"Figures, \"\"final\"\"\",Automatic,bob@example.net,Bob,,"
                "image,sender,2026-12-12T08:40:00Z,127.0.0.1,Outlook,your own copy\r\n" +
                id +
                ",2026-12-12 09:30:00,2026-12-12T08:40:00Z,\"Figures, \"\"final\"\"\",Automatic,cy@example.org,,,,,,,,"
                "\r\n");
}

// A CSV file's rows as a spreadsheet reads them: a UTF-8 byte-order mark
// first (an error without it), fields in double quotes where they hold a
// comma, a quote or a line break, rows ending in CRLF.
std::vector<std::vector<std::string>> ReadCsv(std::string_view text) {
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (text.substr(0, kMark.size()) != kMark) throw std::runtime_error("no UTF-8 byte-order mark");
  text.remove_prefix(kMark.size());
  std::vector<std::vector<std::string>> rows(1);
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        field += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      rows.back().push_back(std::move(field));
      field.clear();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.back().push_back(std::move(field));
      field.clear();
      rows.emplace_back();
      ++i;
    } else {
      field += c;
    }
  }
  if (quoted) throw std::runtime_error("a quoted field does not end");
  if (!rows.back().empty() || !field.empty()) throw std::runtime_error("the last row does not end in CRLF");
  rows.pop_back();
  return rows;
}

// Read back as a spreadsheet would, accents, quotes, commas and line breaks
// come out as they went in, every row as wide as the header.
TEST_F(DataViewsTest, CsvReadsBackWithItsAccentsAsUtf8) {
  const std::string subject = "R\u00e9union \u00e0 G\u00f6teborg, \"caf\u00e9\"\r\nsecond line";
  const auto sent = Send("ann@example.com", subject, {{"zoe@example.net", "Zo\u00eb \u0141\u00f3d\u017a"}});
  Event(sent.stamps[0], store::EventType::kImage, store::EventClass::kPerson, "127.0.0.2", "Mail \u00e9dition");
  const auto rows = ReadCsv(Get(ann_, "/cvx/export.csv").body);
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(rows[0].size(), 14u);
  EXPECT_EQ(rows[0][0], "message");
  ASSERT_EQ(rows[1].size(), rows[0].size());
  const auto column = [&](const std::string& name) {
    const auto at = std::find(rows[0].begin(), rows[0].end(), name);
    EXPECT_NE(at, rows[0].end()) << name;
    return rows[1][static_cast<std::size_t>(at - rows[0].begin())];
  };
  EXPECT_EQ(column("subject"), subject);
  EXPECT_EQ(column("name"), "Zo\u00eb \u0141\u00f3d\u017a");
  EXPECT_EQ(column("user_agent"), "Mail \u00e9dition");
  EXPECT_EQ(column("event"), "image");
}

// The export is made a few messages at a time as it is sent: no piece holds
// more than a few messages' rows, and together they are the whole CSV.
TEST_F(DataViewsTest, CsvIsMadeInPiecesOfAFewMessagesEach) {
  const int messages = 75;
  for (int i = 0; i < messages; ++i) {
    const auto sent = Send("ann@example.com", "Report " + std::to_string(i), {{"bob@example.net", "Bob"}});
    Event(sent.stamps[0], store::EventType::kImage, store::EventClass::kPerson);
  }
  http::Reply reply = GetInPieces(ann_, "/cvx/export.csv");
  ASSERT_TRUE(reply.more);
  std::string whole = reply.body;
  std::size_t pieces = 0, most = 0;
  for (std::string piece = reply.more(); !piece.empty(); piece = reply.more()) {
    ASSERT_LT(++pieces, 100u);
    most = std::max(most, Occurrences(piece, "\r\n"));
    whole += piece;
  }
  EXPECT_GT(pieces, 2u);
  EXPECT_LT(most, static_cast<std::size_t>(messages) / 2);
  EXPECT_EQ(Occurrences(whole, "\r\n"), static_cast<std::size_t>(messages) + 1);
  EXPECT_EQ(whole, Get(ann_, "/cvx/export.csv").body);
  for (int i = 0; i < messages; ++i) EXPECT_THAT(whole, HasSubstr(",Report " + std::to_string(i) + ",")) << i;
}

}  // namespace
}  // namespace pages_test
