// What an administrator relies on: limits on the add-in's requests, bounded
// request sizes, keep-alive, /healthz, /metrics and the request log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "service/requests/recipients.h"
#include "service_fixture.h"
#include "support/loopback_client.h"

namespace service_test {
namespace {

using namespace corvanta::protocol;

TEST_F(ServiceTest, TooManyRequestsFromOneAddressOrIpAreTurnedAway) {
  mailwarden::ServeOptions options = mailwarden::LoopbackOptions(100);
  options.service.limits.perAddress = 3;
  options.service.limits.perIp = 8;
  Restart(options);
  const std::string limited = "qx;Too many requests, please try again later.";
  AddinSend send = ThreeRecipients();
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(AskStamps(send).starts_with("qo;")) << i;
  EXPECT_EQ(AskStamps(send), limited);
  EXPECT_EQ(AskCredit(send.from), "qo;91");  // each kind of request has its own count
  // Other senders still get theirs, until the IP has had its share of stamp
  // requests (the refused one counted too).
  for (int i = 0; i < 4; ++i) {
    send.from = "other" + std::to_string(i) + "@example.com";
    EXPECT_TRUE(AskStamps(send).starts_with("qo;")) << i;
  }
  send.from = "late@example.com";
  EXPECT_EQ(AskStamps(send), limited);
  EXPECT_EQ(server_->Credit("late@example.com"), 100);  // nothing taken for a refused request
}

// The limits are counted before the recipients are paired: a request a
// client may send without end costs no more than reading its fields.
TEST_F(ServiceTest, LimitsCountBeforeTheRecipientsArePaired) {
  mailwarden::ServeOptions options = mailwarden::LoopbackOptions(100);
  options.service.limits.perAddress = 1;
  Restart(options);
  AddinSend send = ThreeRecipients();
  std::string query = StampQuery(send, Draws());
  // The name list is outside the hash: anyone may put what they like there.
  const std::size_t names = query.find("&toName=") + 8;
  query.replace(names, query.find('&', names) - names, "B-");
  EXPECT_EQ(GetText(kStampPath, query), "qx;Malformed name list.");
  EXPECT_EQ(GetText(kStampPath, query), "qx;Too many requests, please try again later.");
}

TEST_F(ServiceTest, AddressesLongerThanAnyAreRefusedUncounted) {
  mailwarden::ServeOptions options = mailwarden::LoopbackOptions(100);
  options.service.limits.perIp = 2;
  Restart(options);
  const std::string tooLong = std::string(250, 'a') + "@b.cd";
  for (int i = 0; i < 3; ++i) EXPECT_EQ(AskCredit(tooLong), "qx;The sender address is too long.") << i;
  // Refused before counting: the client still has its share.
  EXPECT_EQ(AskCredit("ann@example.com"), "qo;100");
}

TEST_F(ServiceTest, BehindAProxyTheClientIsTheAddressItForwardedFor) {
  AddinSend send = ThreeRecipients();
  auto issuer = [&](bool behindProxy) {
    mailwarden::ServeOptions options = mailwarden::LoopbackOptions(100);
    options.server.behindProxy = behindProxy;
    Restart(options);
    httplib::Client client = testsupport::LoopbackClient(server_->Port());
    auto reply = client.Get(std::string(kStampPath) + "?" + StampQuery(send, Draws()),
                            {{"X-Forwarded-For", "203.0.113.5, 198.51.100.9"}});
    std::vector<std::string> stamps = StampsOf(reply ? reply->body : "");
    return stamps.empty() ? std::string("no stamp") : server_->Store().FindStamp(stamps[0])->issuerIp;
  };
  EXPECT_EQ(issuer(true), "198.51.100.9");  // the one the proxy added; the rest the client says
  EXPECT_EQ(issuer(false), "127.0.0.1");
}

TEST_F(ServiceTest, OversizedRequestsAreRefusedWithAStatusAndTheServiceGoesOn) {
  mailwarden::ServeOptions options = mailwarden::LoopbackOptions(100);
  options.service.maxUpload = 4096;
  Restart(options);
  httplib::Result longQuery = Get(kStampPath, std::string(8200, 'a'));
  ASSERT_TRUE(longQuery);
  EXPECT_EQ(longQuery->status, 414);
  httplib::Result fits = Get(kStampPath, std::string(8000, 'a'));
  ASSERT_TRUE(fits);
  EXPECT_EQ(fits->status, 200);
  EXPECT_TRUE(fits->body.starts_with("qx;")) << fits->body;

  AddinSend send = ThreeRecipients();
  send.content = std::string(2000, '.');  // three bytes each once escaped
  httplib::Result big = Post(kUploadPath, UploadBody(send, Draws()));
  ASSERT_TRUE(big);
  EXPECT_EQ(big->status, 413);
  send.content = "short";
  EXPECT_EQ(StampsOf(Upload(send)).size(), 3u);
}

TEST_F(ServiceTest, ConnectionsAreKeptOpenBetweenRequests) {
  httplib::Client client = testsupport::LoopbackClient(server_->Port());
  client.set_keep_alive(true);
  for (int i = 0; i < 3; ++i) {
    auto reply = client.Get(std::string(kTrackPath) + "?img=1&x");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
    EXPECT_NE(reply->get_header_value("Connection"), "close");
  }
}

// Once stopped, nothing listens on the port: a client is refused at once
// instead of waiting in a queue that nobody serves. Several rounds: the stop
// raced the network threads and lost on a busy machine.
TEST_F(ServiceTest, AStoppedServiceListensNoMore) {
  for (int round = 0; round < 20; ++round) {
    Restart(mailwarden::LoopbackOptions(100));
    server_->Stop();
    EXPECT_TRUE(testsupport::NothingListens(server_->Port())) << round;
  }
}

TEST_F(ServiceTest, HealthAndMetricsAreForLoopbackOrTheAdministratorsListenerOnly) {
  auto status = [](int port, const char* path, const char* forwardedFor) {
    httplib::Client client = testsupport::LoopbackClient(port);
    httplib::Headers headers;
    if (forwardedFor) headers.emplace("X-Forwarded-For", forwardedFor);
    auto reply = client.Get(path, headers);
    return reply ? reply->status : -1;
  };
  mailwarden::ServeOptions options = mailwarden::LoopbackOptions(100);
  options.server.behindProxy = true;
  Restart(options);
  for (const char* path : {"/metrics", "/healthz"}) {
    EXPECT_EQ(status(server_->Port(), path, nullptr), 200) << path;
    EXPECT_EQ(status(server_->Port(), path, "203.0.113.5"), 404) << path;  // a visitor through the proxy
  }
  options.admin.emplace();
  options.admin->port = 0;
  Restart(options);
  ASSERT_NE(server_->instance().AdminPort(), 0);
  for (const char* path : {"/metrics", "/healthz"}) {
    EXPECT_EQ(status(server_->Port(), path, nullptr), 404) << path;
    EXPECT_EQ(status(server_->instance().AdminPort(), path, nullptr), 200) << path;
  }
  EXPECT_EQ(status(server_->instance().AdminPort(), "/cvx/", nullptr), 404);
}

TEST_F(ServiceTest, HealthAndMetricsTellHowTheServiceIsDoing) {
  httplib::Result health = Get("/healthz", "");
  ASSERT_TRUE(health);
  EXPECT_EQ(health->status, 200);

  AskCredit("ann@example.com");
  Get(kTrackPath, "img=1&nothing");
  std::vector<std::string> stamps = StampsOf(AskStamps(ThreeRecipients()));
  ASSERT_EQ(stamps.size(), 3u);
  Get(kTrackPath, "img=1&" + stamps[0]);
  server_->instance().Flush();
  Get("/no/such/page", "");
  httplib::Result metrics = Get("/metrics", "");
  ASSERT_TRUE(metrics);
  EXPECT_EQ(metrics->status, 200);
  const std::string& text = metrics->body;
  for (const char* line :
       {"mailwarden_requests_total{path=\"/p/b01/marlo.php\",status=\"200\"} 1\n",
        "mailwarden_requests_total{path=\"/p/b01/wrenna.php\",status=\"200\"} 2\n",
        "mailwarden_events_written_total 1\n", "mailwarden_requests_total{path=\"other\",status=\"404\"} 1\n",
        "mailwarden_request_duration_seconds_count{path=\"/p/b01/marlo.php\"} 1\n",
        "mailwarden_request_duration_seconds_bucket{path=\"/p/b01/marlo.php\",le=\"+Inf\"} 1\n",
        "# TYPE mailwarden_request_duration_seconds histogram\n", "mailwarden_event_queue_depth ",
        "mailwarden_database_errors_total 0\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
  }
  // The requested path itself never becomes a label.
  EXPECT_EQ(text.find("/no/such/page"), std::string::npos);
}

// The request log in a temporary file, read once the service has stopped.
class LogFile {
 public:
  LogFile()
      : path_(std::filesystem::temp_directory_path() /
              ("mailwarden-log-" + std::to_string(::getpid()) + "-" + std::to_string(++made_) + ".txt")),
        fd_(::open(path_.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600)) {}
  ~LogFile() {
    if (fd_ >= 0) ::close(fd_);
    std::filesystem::remove(path_);
  }
  int fd() const { return fd_; }
  std::string Text() const {
    std::stringstream text;
    text << std::ifstream(path_).rdbuf();
    return text.str();
  }

 private:
  static inline int made_ = 0;
  std::filesystem::path path_;
  int fd_;
};

TEST_F(ServiceTest, EachRequestIsLoggedWithoutItsQueryOrContent) {
  LogFile log;
  ASSERT_GE(log.fd(), 0);
  mailwarden::ServeOptions options = mailwarden::LoopbackOptions(100);
  options.logFd = log.fd();
  Restart(options);
  AddinSend send = ThreeRecipients();
  send.subject = "Secret merger";
  send.content = "The confidential figures";
  AskStamps(send);
  Upload(send);
  Get(kTrackPath, "img=1&Stamp%0D%0Aforged");
  server_.reset();  // the log is written out as the service stops
  std::string all = log.Text();
  const std::regex line(
      R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 127\.0\.0\.1 (/p/b01/\w+\.php) (\d{3}) \d+\.\d{3}ms)");
  std::vector<std::string> paths;
  std::istringstream lines(all);
  for (std::string one; std::getline(lines, one);) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(one, match, line)) << one;
    paths.push_back(match[1]);
  }
  EXPECT_EQ(paths, (std::vector<std::string>{kStampPath, kUploadPath, kTrackPath}));
  for (const char* secret : {"Secret", "merger", "confidential", "ann.sender", "forged", "hash"}) {
    EXPECT_EQ(all.find(secret), std::string::npos) << secret;
  }
}

TEST_F(ServiceTest, RefusalsAreLoggedAndCountedByTheirReasonWithoutTheirContent) {
  LogFile log;
  ASSERT_GE(log.fd(), 0);
  mailwarden::ServeOptions options = mailwarden::LoopbackOptions(0);  // no credit without an account
  options.service.limits.perAddress = 2;
  options.logFd = log.fd();
  Restart(options);
  AddinSend send = ThreeRecipients();
  send.subject = "Secret merger";
  server_->SetCredit(send.from, 2);
  std::string wrongHash = StampQuery(send, Draws());
  wrongHash = wrongHash.substr(0, wrongHash.find("&hash=")) + "&hash=AAAAAAAAAA";
  // Lists no add-in sends, refused by their size before anything reads them.
  AddinSend longList = send, manyRecipients = send;
  longList.to.assign(70, {"recipient.with.a.long.address@example.com", ""});
  manyRecipients.to.assign(mailwarden::kMaxRecipients + 1, {"a@b", ""});
  struct Case {
    std::function<std::string()> ask;
    std::string reply;
    std::string refused;  // "" for an answer
  };
  const Case cases[] = {
      {[&] { return GetText(kStampPath, wrongHash); }, "qx;Wrong hash.", "hash"},
      {[&] { return AskStamps(send); }, "qx;Insufficient credit.", "credit"},
      {[&] { return AskCredit(send.from); }, "qo;2", ""},
      {[&] { return AskCredit("nobody@example.com"); }, "qx;No account for this sender address.", "unknown-sender"},
      {[&] { return AskCredit("nobody@example.com"); }, "qx;No account for this sender address.", "unknown-sender"},
      {[&] { return AskCredit("nobody@example.com"); }, "qx;Too many requests, please try again later.", "limit"},
      {[&] { return GetText(kStampPath, "fromAddy=x"); }, "qx;Missing field toAddy.", "malformed"},
      {[&] { return GetText(kUploadPath, ""); }, "qx;The upload must be posted.", "method"},
      {[&] { return AskStamps(longList); }, "qx;The recipient list is too long.", "recipients"},
      {[&] { return Upload(manyRecipients); }, "qx;Too many recipients.", "recipients"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.ask(), c.reply) << c.refused;
  httplib::Result metrics = Get("/metrics", "");
  ASSERT_TRUE(metrics);
  for (const char* line :
       {"mailwarden_refused_total{reason=\"hash\"} 1\n", "mailwarden_refused_total{reason=\"credit\"} 1\n",
        "mailwarden_refused_total{reason=\"unknown-sender\"} 2\n", "mailwarden_refused_total{reason=\"limit\"} 1\n",
        "mailwarden_refused_total{reason=\"malformed\"} 1\n", "mailwarden_refused_total{reason=\"method\"} 1\n",
        "mailwarden_refused_total{reason=\"recipients\"} 2\n",
        // Still answered with 200, as the add-in needs.
        "mailwarden_requests_total{path=\"/p/b01/marlo.php\",status=\"200\"} 4\n"}) {
    EXPECT_NE(metrics->body.find(line), std::string::npos) << line << "\nin\n" << metrics->body;
  }
  EXPECT_EQ(metrics->headers.count("Content-Type"), 1u);

  server_.reset();
  const std::string all = log.Text();
  const std::regex line(R"(\S+ 127\.0\.0\.1 (/\S+) 200 \d+\.\d{3}ms(?: refused=([a-z-]+))?)");
  std::vector<std::string> refusals;
  std::istringstream lines(all);
  for (std::string one; std::getline(lines, one);) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(one, match, line)) << one;
    if (match[1] != "/metrics") refusals.push_back(match[2]);
  }
  std::vector<std::string> expected;
  for (const Case& c : cases) expected.push_back(c.refused);
  EXPECT_EQ(refusals, expected);
  for (const char* secret : {"Secret", "merger", "ann.sender", "nobody", "AAAAAAAAAA"}) {
    EXPECT_EQ(all.find(secret), std::string::npos) << secret;
  }
}

}  // namespace
}  // namespace service_test
