// Telling the sender, machines and persons apart.
#include "service/events/classify.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "service/pages/sessions.h"

namespace pages_test {
namespace {

namespace events = mailwarden::events;
namespace store = mailwarden::store;
namespace http = mailwarden::http;
namespace pages = mailwarden::pages;
using store::EventClass;

constexpr store::Time kSecond = 1000000;
constexpr store::Time kIssued = 1797064800LL * kSecond;

// A request as the classification sees it.
struct Case {
  const char* what;
  const char* ip;
  const char* userAgent;  // nullptr: no User-Agent header at all
  store::Time after;
  EventClass expected;
  const char* reason;
  const char* method = "GET";
  const char* header = nullptr;        // "Name: value", one more header
  const char* openedBefore = nullptr;  // the reason of an earlier open of the stamp
  const char* query = "img=1&S1";
};

constexpr const char* kBrowser = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 Chrome/120.0";
constexpr const char* kGmail =
    "Mozilla/5.0 (Windows NT 5.1; rv:11.0) Gecko Firefox/11.0 (via ggpht.com GoogleImageProxy)";
constexpr const char* kYahoo = "YahooMailProxy; https://help.yahoo.com/kb/yahoo-mail-proxy-SLN28749.html";
constexpr const char* kPerson = "a mail program or browser; no sign of a machine";
constexpr store::Time kHour = 3600 * kSecond;

class ClassifyTest : public ::testing::TestWithParam<Case> {};

TEST_P(ClassifyTest, GivesClassAndReason) {
  const Case& c = GetParam();
  store::StampInfo stamp;
  stamp.accountId = 1;
  stamp.issued = kIssued;
  stamp.issuerIp = "127.0.0.1";
  if (c.openedBefore) stamp.openReasons.push_back(c.openedBefore);
  http::Request request;
  request.method = c.method;
  request.ip = c.ip;
  request.query = c.query;
  if (c.userAgent) request.headers.emplace_back("User-Agent", c.userAgent);
  if (c.header) {
    const std::string header = c.header;
    const auto colon = header.find(": ");
    request.headers.emplace_back(header.substr(0, colon), header.substr(colon + 2));
  }
  const events::Verdict verdict = events::Classifier()(stamp, request, kIssued + c.after);
  EXPECT_EQ(verdict.eventClass, c.expected) << c.what;
  EXPECT_EQ(verdict.reason, c.reason) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassifyTest,
    ::testing::Values(
        Case{"a person's browser an hour later", "192.0.2.8", kBrowser, kHour, EventClass::kPerson, kPerson},
        // The address that asked for the stamps is shared by an office or a
        // carrier: a colleague behind it opening their own copy is a person.
        Case{"a colleague behind the sender's address", "127.0.0.1", kBrowser, kHour, EventClass::kPerson, kPerson},
        Case{"the sender's address right away is a delivery fetch", "127.0.0.1", kBrowser, 0, EventClass::kMachine,
             "fetched 0 seconds after sending, on delivery"},
        Case{"the sender's own copy, marked, from anywhere", "192.0.2.8", kBrowser, 30 * kHour, EventClass::kSender,
             "your own copy", "GET", nullptr, nullptr, "img=1&S1&own=1"},
        Case{"the sender's own copy, marked, from the sender's address", "127.0.0.1", kBrowser, kHour,
             EventClass::kSender, "your own copy", "GET", nullptr, nullptr, "img=1&S1&own=1"},
        Case{"a field that only ends in own=1", "192.0.2.8", kBrowser, kHour, EventClass::kPerson, kPerson, "GET",
             nullptr, nullptr, "img=1&S1&town=1"},
        Case{"a scanner at the stamps' IP", "127.0.0.1", "Mimecast", kHour, EventClass::kMachine,
             "security scanner (Mimecast)"},
        // Proxies that fetch for a reader: the open is real, the place hidden.
        Case{"Gmail's image proxy", "66.102.8.1", kGmail, kHour, EventClass::kPerson,
             "Gmail image proxy: opened by the reader; place hidden"},
        Case{"Gmail's image proxy right on delivery is still the reader", "66.102.8.1", kGmail, 1 * kSecond,
             EventClass::kPerson, "Gmail image proxy: opened by the reader; place hidden"},
        Case{"Gmail's image proxy again", "66.102.8.1", kGmail, 2 * kHour, EventClass::kMachine,
             "Gmail image proxy: fetched again from its cache; not a new open", "GET", nullptr,
             "Gmail image proxy: opened by the reader; place hidden"},
        Case{"Yahoo's proxy", "98.136.0.1", kYahoo, kHour, EventClass::kPerson,
             "Yahoo image proxy: opened by the reader; place hidden"},
        Case{"Yahoo's proxy after a Gmail open is Yahoo's first", "98.136.0.1", kYahoo, kHour, EventClass::kPerson,
             "Yahoo image proxy: opened by the reader; place hidden", "GET", nullptr,
             "Gmail image proxy: opened by the reader; place hidden"},
        // Prefetchers that fetch for everyone.
        Case{"Apple Mail Privacy Protection", "17.58.100.3", "Mozilla/5.0", 40 * kSecond, EventClass::kMachine,
             "Apple Mail Privacy Protection: fetched on delivery"},
        Case{"Apple's network with a whole browser signature", "17.58.100.3", kBrowser, kHour, EventClass::kPerson,
             kPerson},
        Case{"a bare Mozilla/5.0 outside Apple's network", "192.0.2.8", "Mozilla/5.0", kHour, EventClass::kPerson,
             kPerson},
        Case{"Microsoft's existence discovery", "192.0.2.8", "Microsoft Office Existence Discovery", kHour,
             EventClass::kMachine, "Microsoft Office existence discovery: checked the address, nothing shown"},
        // Scanners, by User-Agent and by network, however late.
        Case{"a security scanner, letter case aside", "192.0.2.8", "MIMECAST url checker", kHour, EventClass::kMachine,
             "security scanner (Mimecast)"},
        Case{"Exchange Online Protection's network a day later", "40.107.22.4", kBrowser, 30 * kHour,
             EventClass::kMachine, "security scanner (Microsoft network)"},
        Case{"Exchange Online Protection with an old browser's signature", "104.47.1.9",
             "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 6.1)", kHour, EventClass::kMachine,
             "security scanner (Microsoft network, outdated browser signature)"},
        Case{"Exchange Online Protection over IPv6", "2a01:111:f400:7e1b::5", kBrowser, kHour, EventClass::kMachine,
             "security scanner (Microsoft network)"},
        Case{"next to Exchange Online Protection's range", "40.106.255.255", kBrowser, kHour, EventClass::kPerson,
             kPerson},
        Case{"a link preview", "192.0.2.8", "Slackbot-LinkExpanding 1.0 (+https://api.slack.com/robots)", kHour,
             EventClass::kMachine, "link preview (Slack)"},
        Case{"a script", "192.0.2.8", "python-requests/2.31", kHour, EventClass::kMachine,
             "a program, not a mail program (Python)"},
        // Requests that show nothing to a person.
        Case{"HEAD", "192.0.2.8", kBrowser, kHour, EventClass::kMachine, "HEAD request: only checked the address",
             "HEAD"},
        Case{"HEAD from the stamps' IP", "127.0.0.1", kBrowser, kHour, EventClass::kMachine,
             "HEAD request: only checked the address", "HEAD"},
        Case{"a browser's prefetch", "192.0.2.8", kBrowser, kHour, EventClass::kMachine,
             "browser prefetch: fetched ahead, not shown", "GET", "Sec-Purpose: prefetch;prerender"},
        Case{"an older browser's prefetch", "192.0.2.8", kBrowser, kHour, EventClass::kMachine,
             "browser prefetch: fetched ahead, not shown", "GET", "Purpose: prefetch"},
        Case{"no User-Agent at all", "192.0.2.8", nullptr, kHour, EventClass::kMachine,
             "no User-Agent: a program, not a mail program"},
        Case{"an empty User-Agent", "192.0.2.8", "  ", kHour, EventClass::kMachine,
             "no User-Agent: a program, not a mail program"},
        // Time since the stamps.
        Case{"one second after the stamps", "192.0.2.8", kBrowser, 1 * kSecond, EventClass::kMachine,
             "fetched 1 second after sending, on delivery"},
        Case{"just inside the delivery window", "192.0.2.8", kBrowser, events::kDeliveryWindow - 1,
             EventClass::kMachine, "fetched 9 seconds after sending, on delivery"},
        Case{"at the end of the delivery window", "192.0.2.8", kBrowser, events::kDeliveryWindow, EventClass::kPerson,
             kPerson}),
    [](const auto& param) {
      std::string name;
      for (const char* c = param.param.what; *c; ++c)
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
      return name;
    });

TEST(ClassifySignedIn, BrowserSignedInAsTheStampsSenderIsTheSender) {
  auto store = store::OpenStore("sqlite::memory:");
  const auto ann = store->AddAccount("ann@example.com", 10, kIssued);
  const auto bea = store->AddAccount("bea@example.com", 10, kIssued);
  // The "/p/" cookie holds the session's marker token, not its session token.
  const std::string session = pages::NewToken();
  const std::string token = pages::NewToken();
  store->CreateSession(pages::HashToken(session), {ann.id, "csrf", kIssued, kIssued, pages::HashToken(token)});
  const std::string other = pages::NewToken();
  store->CreateSession(pages::HashToken(pages::NewToken()),
                       {bea.id, "csrf", kIssued, kIssued, pages::HashToken(other)});

  store::StampInfo stamp;
  stamp.accountId = ann.id;
  stamp.issued = kIssued;
  stamp.issuerIp = "127.0.0.1";
  auto request = [](const std::string& cookie) {
    http::Request r;
    r.ip = "127.0.0.5";
    r.headers.emplace_back("User-Agent", kBrowser);
    r.headers.emplace_back("Cookie", "cvx_sender=" + cookie);
    return r;
  };
  const store::Time hour = kIssued + 3600 * kSecond;
  const events::Classifier classify;
  EXPECT_EQ(classify(stamp, request(token), hour, store.get()).eventClass, EventClass::kSender);
  EXPECT_EQ(classify(stamp, request(token), hour, store.get()).reason, "you (signed in to your pages)");
  // Another sender of the service reading the mail it received is a person.
  EXPECT_EQ(classify(stamp, request(other), hour, store.get()).eventClass, EventClass::kPerson);
  EXPECT_EQ(classify(stamp, request(pages::NewToken()), hour, store.get()).eventClass, EventClass::kPerson);
  EXPECT_EQ(classify(stamp, request(session), hour, store.get()).eventClass, EventClass::kPerson);
  // A session idle for more than 12 hours no longer counts.
  EXPECT_EQ(classify(stamp, request(token), hour + 13 * 3600 * kSecond, store.get()).eventClass, EventClass::kPerson);
}

TEST(MachineData, EveryPatternAndRangeHasAReasonAndASource) {
  const auto& patterns = events::MachineAgents();
  ASSERT_GT(patterns.size(), 20u);
  for (const events::AgentPattern& pattern : patterns) {
    EXPECT_FALSE(pattern.pattern.empty());
    EXPECT_FALSE(pattern.reason.empty()) << pattern.pattern;
    EXPECT_EQ(pattern.pattern.find_first_of("#|\r\n"), std::string::npos) << pattern.pattern;
  }
  // A pattern that a usual browser matches would make every reader a machine.
  EXPECT_EQ(events::FindMachineAgent(kBrowser), nullptr);
  EXPECT_GE(events::Networks::BuiltIn().Size(), 9u);
}

// The files are checked as they are read: a line without a source, a
// reason or a range is refused, naming the line.
struct BadData {
  const char* what;
  const char* text;
  const char* message;
};

TEST(MachineData, LinesWithoutSourceOrFormAreRefused) {
  const BadData agents[] = {
      {"no source", "# a comment\nFooBot | link preview (Foo)\n", "line 2: no \"# Source:\" above it"},
      {"source of another group", "# Source: x\nA | a\n\nB | b\n", "line 4: no \"# Source:\" above it"},
      {"no reason", "# Source: x\nFooBot\n", "line 2: not \"PATTERN | REASON\""},
  };
  for (const BadData& bad : agents) {
    try {
      events::ReadAgentPatterns(bad.text);
      ADD_FAILURE() << bad.what;
    } catch (const std::invalid_argument& error) {
      EXPECT_THAT(error.what(), ::testing::HasSubstr(bad.message)) << bad.what;
    }
  }
  const BadData networks[] = {
      {"no source", "192.0.2.0/24 scanner Example\n", "line 1: a range without a \"# Source:\" comment"},
      {"unknown kind", "# Source: x\n192.0.2.0/24 proxy Example\n", "line 2: not \"RANGE apple|scanner OWNER\""},
      {"no owner", "# Source: x\n192.0.2.0/24 scanner\n", "line 2: a range without its owner"},
      {"a prefix too long", "# Source: x\n192.0.2.0/33 scanner Example\n", "line 2: not an address range"},
      {"no address", "# Source: x\nexample.com scanner Example\n", "line 2: not an address range"},
  };
  for (const BadData& bad : networks) {
    try {
      events::Networks().Add(bad.text, true);
      ADD_FAILURE() << bad.what;
    } catch (const std::invalid_argument& error) {
      EXPECT_THAT(error.what(), ::testing::HasSubstr(bad.message)) << bad.what;
    }
  }
}

// An operator's file in Apple's published CSV form, and the most specific
// range winning over a wider one.
TEST(MachineData, OperatorNetworksAddToTheBuiltInOnes) {
  events::Networks networks = events::Networks::BuiltIn();
  networks.Add(
      "172.224.224.0/31,US,US-CA,Los Angeles,\n"
      "2a02:26f7:b3c0:4000::/64,DE,DE-BE,Berlin,\n"
      "40.107.22.0/24 apple Apple test\n",
      false);
  ASSERT_NE(networks.Find("172.224.224.1"), nullptr);
  EXPECT_EQ(networks.Find("172.224.224.1")->kind, events::NetworkKind::kApple);
  EXPECT_EQ(networks.Find("172.224.224.2"), nullptr);
  ASSERT_NE(networks.Find("2a02:26f7:b3c0:4000::17"), nullptr);
  EXPECT_EQ(networks.Find("40.107.22.4")->owner, "Apple test");
  EXPECT_EQ(networks.Find("40.107.23.4")->owner, "Microsoft");
  EXPECT_EQ(networks.Find("not an address"), nullptr);

  store::StampInfo stamp;
  stamp.issued = kIssued;
  http::Request request;
  request.ip = "172.224.224.0";
  request.headers.emplace_back("User-Agent", "Mozilla/5.0");
  EXPECT_EQ(events::Classifier(networks)(stamp, request, kIssued + kHour).reason,
            "Apple Mail Privacy Protection: fetched on delivery");
  EXPECT_EQ(events::Classifier()(stamp, request, kIssued + kHour).eventClass, EventClass::kPerson);
}

}  // namespace
}  // namespace pages_test
