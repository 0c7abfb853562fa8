// Telling the sender, machines and persons apart.
#include "service/events/classify.h"

#include <gtest/gtest.h>

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

struct Case {
  const char* what;
  const char* ip;
  const char* userAgent;
  store::Time after;
  EventClass expected;
};

class ClassifyTest : public ::testing::TestWithParam<Case> {};

TEST_P(ClassifyTest, Classifies) {
  const Case& c = GetParam();
  store::StampInfo stamp;
  stamp.accountId = 1;
  stamp.issued = kIssued;
  stamp.issuerIp = "127.0.0.1";
  http::Request request;
  request.ip = c.ip;
  request.headers.emplace_back("User-Agent", c.userAgent);
  EXPECT_EQ(events::Classify(stamp, request, kIssued + c.after), c.expected) << c.what;
}

constexpr const char* kBrowser = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 Chrome/120.0";

INSTANTIATE_TEST_SUITE_P(
    Cases, ClassifyTest,
    ::testing::Values(
        Case{"a person's browser an hour later", "127.0.0.2", kBrowser, 3600 * kSecond, EventClass::kPerson},
        Case{"the stamps' IP within a day", "127.0.0.1", kBrowser, 23 * 3600 * kSecond, EventClass::kSender},
        Case{"the stamps' IP right away", "127.0.0.1", kBrowser, 0, EventClass::kSender},
        Case{"the stamps' IP after a day", "127.0.0.1", kBrowser, 25 * 3600 * kSecond, EventClass::kPerson},
        Case{"Gmail's image proxy", "127.0.0.3",
             "Mozilla/5.0 (Windows NT 5.1; rv:11.0) Gecko Firefox/11.0 (via ggpht.com GoogleImageProxy)",
             3600 * kSecond, EventClass::kMachine},
        Case{"a security scanner, letter case aside", "127.0.0.3", "MIMECAST url checker", 3600 * kSecond,
             EventClass::kMachine},
        Case{"a script", "127.0.0.3", "python-requests/2.31", 3600 * kSecond, EventClass::kMachine},
        Case{"within two seconds of the stamps", "127.0.0.2", kBrowser, 1 * kSecond, EventClass::kMachine},
        Case{"just after two seconds", "127.0.0.2", kBrowser, 2 * kSecond, EventClass::kPerson},
        Case{"no User-Agent at all", "127.0.0.2", "", 3600 * kSecond, EventClass::kPerson}),
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
  EXPECT_EQ(events::Classify(stamp, request(token), hour, store.get()), EventClass::kSender);
  // Another sender of the service reading the mail it received is a person.
  EXPECT_EQ(events::Classify(stamp, request(other), hour, store.get()), EventClass::kPerson);
  EXPECT_EQ(events::Classify(stamp, request(pages::NewToken()), hour, store.get()), EventClass::kPerson);
  EXPECT_EQ(events::Classify(stamp, request(session), hour, store.get()), EventClass::kPerson);
  // A session idle for more than 12 hours no longer counts.
  EXPECT_EQ(events::Classify(stamp, request(token), hour + 13 * 3600 * kSecond, store.get()), EventClass::kPerson);
}

TEST(MachineAgents, DataFileIsReadWithoutCommentsOrBlanks) {
  const auto& patterns = events::MachineAgents();
  ASSERT_GT(patterns.size(), 20u);
  for (const std::string& pattern : patterns) {
    EXPECT_FALSE(pattern.empty());
    EXPECT_NE(pattern.front(), '#');
    EXPECT_EQ(pattern.find_first_of("\r\n"), std::string::npos);
    // A pattern that a usual browser matches would make every reader a machine.
    EXPECT_FALSE(events::IsMachineAgent(kBrowser)) << pattern;
  }
}

}  // namespace
}  // namespace pages_test
