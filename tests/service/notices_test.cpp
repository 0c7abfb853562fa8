// The sender hears of what persons did: the mailwarden program sends its
// notices through a real mail relay (aiosmtpd on 127.0.0.1) and POSTs them,
// signed, to a webhook receiver in this test. The relay and the receiver
// refuse at first and the program is killed outright with notices still to
// send; started again (on PostgreSQL as two processes sharing the database),
// it sends each mail once and each webhook event with the same id, in order
// per recipient. What machines and the sender's own copy did is told nobody.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sodium.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>

#include "addin_requests.h"
#include "protocol/service.h"
#include "service/notices/smtp_sender.h"
#include "service/store/store.h"
#include "support/child_program.h"
#include "support/loopback_client.h"
#include "support/press_button.h"
#include "support/store_engines.h"

namespace service_test {
namespace {

using namespace corvanta::protocol;
namespace fs = std::filesystem;
namespace store = mailwarden::store;

const std::string kProgram = std::string(CORVANTA_BINARY_DIR) + "/service/mailwarden";
const std::string kSink = std::string(CORVANTA_SOURCE_DIR) + "/tests/support/smtp_sink.py";
const std::string kExamples = std::string(CORVANTA_SOURCE_DIR) + "/build";
constexpr const char* kSender = "ann.sender@example.com";
constexpr const char* kRelayUser = "notices";
constexpr const char* kRelayPassword = "relay-secret-42";
// A mail program's User-Agent, no machine's.
constexpr const char* kReader = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) Thunderbird/115.0";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Waits for what another process does; the bound only ends a hang.
template <typename Done>
bool Eventually(Done done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(90);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// aiosmtpd as the operator's relay, asking for a login; refuses while the
// file "refuse" is in its folder.
class Relay {
 public:
  explicit Relay(const fs::path& folder, std::vector<std::string> more = {})
      : folder_(folder), program_("/usr/bin/python3", SinkArgs(folder, std::move(more))) {
    const std::string line = program_.Line();
    const auto space = line.rfind(' ');
    port_ = line.starts_with("smtp sink listening on ") ? std::stoi(line.substr(space + 1)) : 0;
  }
  static std::vector<std::string> SinkArgs(const fs::path& folder, std::vector<std::string> more) {
    std::vector<std::string> args = {kSink, folder.string(), "--user", kRelayUser, "--password", kRelayPassword};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  int Port() const { return port_; }
  void Refuse(bool refuse) {
    if (refuse) {
      std::ofstream(folder_ / "refuse") << "451\n";
    } else {
      fs::remove(folder_ / "refuse");
    }
  }
  int Refused() const {
    const std::string log = ReadAll(folder_ / "refused.log");
    return static_cast<int>(std::count(log.begin(), log.end(), '\n'));
  }
  std::vector<std::string> Mail() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      if (entry.path().extension() == ".eml") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::string> mail;
    for (const auto& file : files) mail.push_back(ReadAll(file));
    return mail;
  }

 private:
  fs::path folder_;
  testsupport::ChildProgram program_;
  int port_ = 0;
};

struct Delivery {
  std::string signature;
  std::string body;
  bool answeredOk = false;
  bool signatureGood = false;
};

// A webhook receiver that checks every signature with the secret, and
// answers 503 while failing.
class Receiver {
 public:
  Receiver() {
    server_.Post("/hook", [this](const httplib::Request& request, httplib::Response& response) {
      std::lock_guard lock(mutex_);
      Delivery delivery{request.get_header_value("Mailwarden-Signature"), request.body};
      delivery.signatureGood = Check(delivery.signature, delivery.body);
      delivery.answeredOk = !failing_;
      response.status = failing_ ? 503 : 200;
      deliveries_.push_back(std::move(delivery));
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~Receiver() {
    server_.stop();
    thread_.join();
  }
  int Port() const { return port_; }
  void SetSecret(const std::string& secret) {
    std::lock_guard lock(mutex_);
    secret_ = secret;
  }
  void Fail(bool failing) {
    std::lock_guard lock(mutex_);
    failing_ = failing;
  }
  std::vector<Delivery> Deliveries() {
    std::lock_guard lock(mutex_);
    return deliveries_;
  }

 private:
  // "t=T,v1=HEX" with HEX the HMAC-SHA256 of "T.BODY".
  bool Check(const std::string& header, const std::string& body) const {
    const auto comma = header.find(",v1=");
    if (!header.starts_with("t=") || comma == std::string::npos) return false;
    const std::string t = header.substr(2, comma - 2), signed_ = t + "." + body;
    unsigned char mac[crypto_auth_hmacsha256_BYTES];
    crypto_auth_hmacsha256_state state;
    crypto_auth_hmacsha256_init(&state, reinterpret_cast<const unsigned char*>(secret_.data()), secret_.size());
    crypto_auth_hmacsha256_update(&state, reinterpret_cast<const unsigned char*>(signed_.data()), signed_.size());
    crypto_auth_hmacsha256_final(&state, mac);
    char hex[sizeof mac * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, mac, sizeof mac);
    return header.substr(comma + 4) == hex;
  }

  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::mutex mutex_;
  std::string secret_;
  bool failing_ = false;
  std::vector<Delivery> deliveries_;
};

std::string RunCommand(std::vector<std::string> args) {
  testsupport::ChildProgram program(kProgram, std::move(args));
  std::string out = program.Rest();
  EXPECT_EQ(program.Wait(), 0) << out;
  return out;
}

class NoticesTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kProgram)) << "build mailwarden first";
    ASSERT_TRUE(fs::exists("/usr/bin/python3")) << "scripts/setup installs python3 and python3-aiosmtpd";
    ASSERT_GE(sodium_init(), 0);
    testsupport::EmptyDatabase(GetParam());
    dir_ = fs::temp_directory_path() / ("mailwarden-notices-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "relay");
    SetAhead(0);
    ::setenv("MAILWARDEN_SMTP_PASSWORD", kRelayPassword, 1);
    // The service's own key, which seals the webhooks' secrets, for the commands and the service alike.
    ::setenv("MAILWARDEN_KEY", std::string(64, 'c').c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("MAILWARDEN_KEY");
    testsupport::EmptyDatabase(GetParam());
    fs::remove_all(dir_);
  }

  // The service's clock runs this many seconds ahead of the system's.
  void SetAhead(int seconds) {
    std::ofstream(dir_ / "clock.new") << seconds;
    fs::rename(dir_ / "clock.new", dir_ / "clock");
  }

  // Without allowPrivate, webhooks on loopback are refused at delivery.
  std::unique_ptr<testsupport::ChildProgram> Serve(int relayPort, bool allowPrivate = true,
                                                   std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"serve",
                                     "--listen",
                                     "127.0.0.1:0",
                                     "--database",
                                     GetParam(),
                                     "--testing-clock-file",
                                     (dir_ / "clock").string(),
                                     "--smtp",
                                     "smtp://127.0.0.1:" + std::to_string(relayPort),
                                     "--smtp-user",
                                     kRelayUser,
                                     "--smtp-from",
                                     "notices@track.example.com",
                                     "--public-url",
                                     "https://track.example.com/"};
    if (allowPrivate) args.push_back("--webhooks-allow-private");
    args.insert(args.end(), more.begin(), more.end());
    auto program = std::make_unique<testsupport::ChildProgram>(kProgram, args);
    port_ = testsupport::ListeningPort(program->Line());
    return program;
  }

  fs::path dir_;
  int port_ = 0;
};

TEST_P(NoticesTest, PersonsEventsAreToldOnceAcrossAKill) {
  Relay relay(dir_ / "relay");
  ASSERT_GT(relay.Port(), 0);
  Receiver receiver;
  RunCommand({"account", "add", kSender, "--credit", "100", "--database", GetParam()});
  RunCommand({"account", "notify", kSender, "--time-zone", "Europe/Berlin", "--database", GetParam()});
  const std::string added =
      RunCommand({"account", "webhook", kSender, "add", "http://127.0.0.1:" + std::to_string(receiver.Port()) + "/hook",
                  "--allow-private", "--database", GetParam()});
  const auto secretAt = added.find("whsec_");
  ASSERT_NE(secretAt, std::string::npos) << added;
  receiver.SetSecret(added.substr(secretAt, added.find('\n', secretAt) - secretAt));

  // Nothing gets through until the service has been killed.
  relay.Refuse(true);
  receiver.Fail(true);
  auto first = Serve(relay.Port());
  ASSERT_GT(port_, 0);
  httplib::Client http = testsupport::LoopbackClient(port_);
  AddinSend send;
  send.from = kSender;
  send.subject = "Quartalszahlen für März";
  send.to = {{"bob@example.org", "Bob Brown"}, {"cy@example.org", "Cy Chen"}};
  auto stamped = http.Get(std::string(kStampPath) + "?" + StampQuery(send, {1, 2, 3, 4}));
  ASSERT_TRUE(stamped);
  const std::vector<std::string> stamps = StampsOf(stamped->body);
  ASSERT_EQ(stamps.size(), 2u) << stamped->body;
  const std::string bobImage = std::string(kTrackPath) + "?img=1&" + stamps[0];

  // A scanner on delivery and the sender's own copy: nobody is told.
  ASSERT_TRUE(http.Get(bobImage, {{"User-Agent", "Barracuda"}}));
  ASSERT_TRUE(http.Get(bobImage + "&own=1", {{"User-Agent", kReader}}));
  // A day on (past the time the sender's address counts as the sender's): Bob opens
  // twice, minutes apart, and Cy confirms receipt.
  SetAhead(90000);
  ASSERT_TRUE(http.Get(bobImage, {{"User-Agent", kReader}}));
  SetAhead(90300);
  ASSERT_TRUE(http.Get(bobImage, {{"User-Agent", kReader}}));
  ASSERT_TRUE(testsupport::PressButton(http, std::string(kTrackPath) + "?" + stamps[1]));
  // Killed once both were tried and refused: the notices are in the outbox, not sent.
  ASSERT_TRUE(Eventually([&] { return relay.Refused() >= 1 && !receiver.Deliveries().empty(); }));
  first->Signal(SIGKILL);
  first->Wait();
  first.reset();

  // Started again an hour on (leases of a send cut short have run out); on
  // PostgreSQL twice, the two sharing the outbox.
  SetAhead(90300 + 3600);
  relay.Refuse(false);
  receiver.Fail(false);
  auto again = Serve(relay.Port());
  ASSERT_GT(port_, 0);
  std::unique_ptr<testsupport::ChildProgram> second;
  if (GetParam().starts_with("postgres")) second = Serve(relay.Port());

  auto delivered = [&] {
    std::set<std::string> ids;
    for (const Delivery& delivery : receiver.Deliveries()) {
      if (delivery.answeredOk) ids.insert(nlohmann::json::parse(delivery.body).at("id").get<std::string>());
    }
    return ids;
  };
  ASSERT_TRUE(Eventually([&] { return relay.Mail().size() >= 2 && delivered().size() >= 3; }))
      << relay.Mail().size() << " mails, " << delivered().size() << " webhook events";
  for (auto* program : {again.get(), second.get()}) {
    if (!program) continue;
    program->Signal(SIGTERM);
    EXPECT_EQ(program->Wait(), 0);
  }
  // Nothing left to send, nothing sent twice.
  auto db = store::OpenStore(GetParam());
  EXPECT_TRUE(db->ClaimDeliveries(std::numeric_limits<store::Time>::max() / 2, 0, 100).empty());
  // The database keeps the webhook's secret only sealed.
  const auto kept = db->ListWebhooks(db->FindAccount(kSender)->id);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(kept[0].secret.starts_with("sb1:")) << kept[0].secret;
  EXPECT_EQ(kept[0].secret.find(added.substr(secretAt + 6, 64)), std::string::npos);
  db.reset();

  // Mail: Bob's first open and Cy's receipt, each once, to the sender.
  const std::vector<std::string> mail = relay.Mail();
  ASSERT_EQ(mail.size(), 2u);
  std::set<std::string> subjects, messageIds;
  for (const std::string& text : mail) {
    EXPECT_NE(text.find("X-Envelope-To: ann.sender@example.com\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nContent-Type: multipart/alternative;"), std::string::npos) << text;
    EXPECT_NE(text.find("Content-Type: text/html; charset=UTF-8"), std::string::npos) << text;
    // The link to the message's page, and the time in the sender's zone (CET in winter, CEST in summer).
    EXPECT_NE(text.find("https://track.example.com/cvx/messages/"), std::string::npos) << text;
    EXPECT_TRUE(text.find(" CET") != std::string::npos || text.find(" CEST") != std::string::npos) << text;
    const auto subject = text.find("\r\nSubject: ");
    ASSERT_NE(subject, std::string::npos);
    subjects.insert(text.substr(subject + 11, text.find("\r\n", subject + 2) - subject - 11));
    const auto id = text.find("\r\nMessage-ID: <");
    ASSERT_NE(id, std::string::npos);
    messageIds.insert(text.substr(id, text.find('>', id) - id));
  }
  EXPECT_EQ(messageIds.size(), 2u);
  // The subject's "ü" and "ä" as encoded words; the reason of the open in the text.
  for (const std::string& subject : subjects) EXPECT_TRUE(subject.starts_with("=?UTF-8?B?")) << subject;
  EXPECT_EQ(std::count_if(mail.begin(), mail.end(),
                          [](const std::string& text) {
                            return text.find("Why a person: a mail program or browser; no sign of a machine") !=
                                   std::string::npos;
                          }),
            1);

  // Webhooks: every delivery, failed ones too, signed; three events, the same
  // id each time one was tried again; Bob's two opens in order.
  std::map<std::string, nlohmann::json> events;
  std::map<std::string, std::vector<std::string>> order;  // per recipient, the ids as first delivered
  for (const Delivery& delivery : receiver.Deliveries()) {
    EXPECT_TRUE(delivery.signatureGood) << delivery.signature << " " << delivery.body;
    const nlohmann::json event = nlohmann::json::parse(delivery.body);
    const std::string id = event.at("id");
    auto& seen = order[event.at("recipient").at("address")];
    if (std::find(seen.begin(), seen.end(), id) == seen.end()) seen.push_back(id);
    if (events.contains(id)) {
      EXPECT_EQ(events[id], event) << "a retry must send the same event";
    }
    events[id] = event;
  }
  ASSERT_EQ(events.size(), 3u);
  ASSERT_EQ(order["bob@example.org"].size(), 2u);
  const nlohmann::json& bobFirst = events[order["bob@example.org"][0]];
  const nlohmann::json& bobSecond = events[order["bob@example.org"][1]];
  EXPECT_EQ(bobFirst.at("type"), "open");
  EXPECT_EQ(bobFirst.at("class"), "person");
  EXPECT_EQ(bobFirst.at("recipient").at("name"), "Bob Brown");
  EXPECT_EQ(bobFirst.at("message").at("subject"), send.subject);
  EXPECT_LT(bobFirst.at("time").get<std::string>(), bobSecond.at("time").get<std::string>());
  ASSERT_EQ(order["cy@example.org"].size(), 1u);
  EXPECT_EQ(events[order["cy@example.org"][0]].at("type"), "receipt");
  EXPECT_EQ(events[order["cy@example.org"][0]].at("reason").get<std::string>().empty(), false);

  // Kept for the record: a notice as the relay took it, a signed delivery.
  fs::create_directories(kExamples);
  std::ofstream(kExamples + "/notice-example.eml", std::ios::binary) << mail[0];
  const Delivery example = receiver.Deliveries().back();
  std::ofstream(kExamples + "/webhook-example.txt", std::ios::binary)
      << "POST /hook\nContent-Type: application/json\nMailwarden-Signature: " << example.signature << "\n\n"
      << example.body << "\n";
}

// The count of mailwarden_notices_total with these labels on /metrics.
int NoticeCount(httplib::Client& http, const std::string& channel, const std::string& outcome) {
  auto metrics = http.Get("/metrics");
  if (!metrics) return -1;
  const std::string line = "mailwarden_notices_total{channel=\"" + channel + "\",outcome=\"" + outcome + "\"} ";
  const auto at = metrics->body.find(line);
  return at == std::string::npos ? 0 : std::stoi(metrics->body.substr(at + line.size()));
}

// An hourly digest in one mail; a webhook pointed at loopback while the
// service does not allow it is refused at each delivery (its name could
// have been pointed there after it was added) and, failing for a day, paused.
TEST_P(NoticesTest, DigestsGatherAndAReceiverFailingForADayIsPaused) {
  Relay relay(dir_ / "relay");
  ASSERT_GT(relay.Port(), 0);
  Receiver receiver;
  RunCommand({"account", "add", kSender, "--credit", "100", "--database", GetParam()});
  RunCommand({"account", "notify", kSender, "--mail", "hourly", "--database", GetParam()});
  RunCommand({"account", "webhook", kSender, "add", "http://127.0.0.1:" + std::to_string(receiver.Port()) + "/hook",
              "--allow-private", "--database", GetParam()});
  auto service = Serve(relay.Port(), false);
  ASSERT_GT(port_, 0);
  httplib::Client http = testsupport::LoopbackClient(port_);
  AddinSend send;
  send.from = kSender;
  send.to = {{"bob@example.org", "Bob Brown"}, {"cy@example.org", "Cy Chen"}};
  auto stamped = http.Get(std::string(kStampPath) + "?" + StampQuery(send, {4, 3, 2, 1}));
  ASSERT_TRUE(stamped);
  const std::vector<std::string> stamps = StampsOf(stamped->body);
  ASSERT_EQ(stamps.size(), 2u) << stamped->body;
  SetAhead(90000);
  ASSERT_TRUE(http.Get(std::string(kTrackPath) + "?img=1&" + stamps[0], {{"User-Agent", kReader}}));
  ASSERT_TRUE(testsupport::PressButton(http, std::string(kTrackPath) + "?" + stamps[1]));

  // Both held for the hour's digest; both webhook deliveries refused before connecting.
  ASSERT_TRUE(
      Eventually([&] { return NoticeCount(http, "mail", "held") == 2 && NoticeCount(http, "webhook", "retry") >= 2; }));
  EXPECT_TRUE(relay.Mail().empty());
  EXPECT_TRUE(receiver.Deliveries().empty());
  const std::string failing = RunCommand({"account", "webhook", kSender, "list", "--database", GetParam()});
  EXPECT_NE(failing.find("failing: the address leads to 127.0.0.1"), std::string::npos) << failing;

  // A day and an hour on: the digest goes, the webhook is paused.
  SetAhead(90000 + 90000);
  ASSERT_TRUE(Eventually([&] { return relay.Mail().size() == 1 && NoticeCount(http, "webhook", "given up") >= 1; }));
  const std::string paused = RunCommand({"account", "webhook", kSender, "list", "--database", GetParam()});
  EXPECT_NE(paused.find("paused: the address leads to 127.0.0.1"), std::string::npos) << paused;
  EXPECT_TRUE(receiver.Deliveries().empty());
  service->Signal(SIGTERM);
  EXPECT_EQ(service->Wait(), 0);

  const std::string digest = relay.Mail()[0];
  EXPECT_NE(digest.find("\r\nSubject: Your tracked mail this hour: 2 events\r\n"), std::string::npos) << digest;
  EXPECT_NE(digest.find("Bob Brown <bob@example.org> opened"), std::string::npos) << digest;
  EXPECT_NE(digest.find("Cy Chen <cy@example.org> confirmed receipt of"), std::string::npos) << digest;
  EXPECT_EQ(relay.Mail().size(), 1u);
}

// A flood of opens cannot become a flood of mail: past the hour's cap the
// rest wait for the hour's end and go in one mail together.
TEST_P(NoticesTest, PastTheHoursCapTheRestGoInOneMail) {
  Relay relay(dir_ / "relay");
  ASSERT_GT(relay.Port(), 0);
  RunCommand({"account", "add", kSender, "--credit", "100", "--database", GetParam()});
  auto service = Serve(relay.Port(), true, {"--notices-per-hour", "2"});
  ASSERT_GT(port_, 0);
  httplib::Client http = testsupport::LoopbackClient(port_);
  AddinSend send;
  send.from = kSender;
  for (const char* who : {"ann", "bob", "cy", "dee", "eve"})
    send.to.push_back({std::string(who) + "@example.org", who});
  auto stamped = http.Get(std::string(kStampPath) + "?" + StampQuery(send, {4, 3, 2, 1}));
  ASSERT_TRUE(stamped);
  const std::vector<std::string> stamps = StampsOf(stamped->body);
  ASSERT_EQ(stamps.size(), 5u) << stamped->body;
  // A minute into the next hour by the service's clock: well past the
  // machines' moment after sending, and the whole flood within one hour.
  const int ahead = 3600 - static_cast<int>(std::time(nullptr) % 3600) + 60;
  SetAhead(ahead);
  for (const std::string& stamp : stamps) {
    ASSERT_TRUE(http.Get(std::string(kTrackPath) + "?img=1&" + stamp, {{"User-Agent", kReader}}));
  }
  ASSERT_TRUE(Eventually([&] { return relay.Mail().size() == 2 && NoticeCount(http, "mail", "held") == 3; }));
  SetAhead(ahead + 3600);
  ASSERT_TRUE(Eventually([&] { return relay.Mail().size() == 3; }));
  service->Signal(SIGTERM);
  EXPECT_EQ(service->Wait(), 0);
  const std::string rest = relay.Mail()[2];
  EXPECT_NE(rest.find("\r\nSubject: More on your tracked mail: 3 events\r\n"), std::string::npos) << rest;
  EXPECT_EQ(relay.Mail().size(), 3u);
}

// A relay that takes neither a login nor mail before STARTTLS: the mail goes
// over TLS when the operator names the authority of the relay's certificate,
// and not at all to a certificate nobody here vouches for.
TEST(SmtpRelayTest, MailGoesOverStartTlsToACertificateTheOperatorVouchesFor) {
  ASSERT_TRUE(fs::exists("/usr/bin/openssl")) << "scripts/setup installs openssl";
  const fs::path dir = fs::temp_directory_path() / ("mailwarden-relay-tls-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "relay");
  const std::string cert = (dir / "relay.pem").string(), key = (dir / "relay.key").string();
  testsupport::ChildProgram made(
      "/usr/bin/openssl",
      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
       "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert});
  made.Rest();
  ASSERT_EQ(made.Wait(), 0);
  Relay relay(dir / "relay", {"--tls-cert", cert, "--tls-key", key});
  ASSERT_GT(relay.Port(), 0);

  mailwarden::notices::SmtpSettings smtp{"smtp://127.0.0.1:" + std::to_string(relay.Port()), kRelayUser, kRelayPassword,
                                         "notices@track.example.com", cert};
  const std::string message = "From: notices@track.example.com\r\nSubject: Opened\r\n\r\nBob opened it.\r\n";
  EXPECT_EQ(mailwarden::notices::SendMail(smtp, kSender, message), "");
  ASSERT_EQ(relay.Mail().size(), 1u);
  EXPECT_NE(relay.Mail()[0].find("Bob opened it."), std::string::npos);

  smtp.caFile.clear();  // the system's authorities do not know this relay
  EXPECT_NE(mailwarden::notices::SendMail(smtp, kSender, message), "");
  EXPECT_EQ(relay.Mail().size(), 1u);
  fs::remove_all(dir);
}

// A login never travels in clear beyond this machine: to another, smtp://
// goes over STARTTLS or not at all.
TEST(SmtpRelayTest, ALoginLeavesThisMachineOnlyOverTls) {
  struct Case {
    const char* url;
    bool login;
    bool tls;
  };
  const Case cases[] = {
      {"smtp://relay.example.com:587", true, true},   {"smtp://relay.example.com:25", false, false},
      {"smtps://relay.example.com:465", false, true}, {"smtp://10.0.0.5:25", true, true},
      {"smtp://127.example.com:25", true, true},      {"smtp://127.0.0.1:25", true, false},
      {"smtp://localhost:25", true, false},           {"smtp://[::1]:25", true, false},
  };
  for (const Case& c : cases) EXPECT_EQ(mailwarden::notices::TlsRequired(c.url, c.login), c.tls) << c.url;
}

// A relay set up by halves stops the service with the reason; its password
// is taken from the environment only.
TEST(NoticeOptions, AnIncompleteRelayIsRefusedWithTheReason) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* said;
  };
  const Case cases[] = {
      {{"--smtp", "ftp://127.0.0.1:25"}, 1, "must start with smtp:// or smtps://"},
      {{"--smtp", "smtp://127.0.0.1:25"}, 1, "--smtp needs --smtp-from"},
      {{"--smtp", "smtps://127.0.0.1:465", "--smtp-from", "n@example.com"}, 1, "--smtp needs --public-url"},
      {{"--smtp-user", "notices"}, 1, "--smtp-user, --smtp-from and --smtp-ca need --smtp"},
      {{"--smtp", "smtp://127.0.0.1:25", "--smtp-password", "secret"}, 2, "--smtp-password"},
  };
  for (const Case& c : cases) {
    std::string line = "exec '" + kProgram + "' serve --listen 127.0.0.1:0 --database sqlite::memory:";
    for (const std::string& arg : c.args) line += " '" + arg + "'";
    testsupport::ChildProgram program("/bin/sh", {"-c", line + " 2>&1"});
    const std::string said = program.Rest();
    EXPECT_EQ(program.Wait(), c.status) << line << "\n" << said;
    EXPECT_NE(said.find(c.said), std::string::npos) << line << "\n" << said;
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, NoticesTest,
                         ::testing::Values(testsupport::StoreEngineUrls()[1], testsupport::StoreEngineUrls()[2]),
                         [](const auto& engine) { return testsupport::EngineName(engine.param); });

}  // namespace
}  // namespace service_test
