// The mailwarden program itself: its options, its first line, a clean stop.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "addin_requests.h"
#include "protocol/request_signature.h"
#include "protocol/service.h"
#include "service/store/attempt_key.h"
#include "service/store/store.h"
#include "support/child_program.h"
#include "support/loopback_client.h"

namespace service_test {
namespace {

const std::string kProgram = std::string(CORVANTA_BINARY_DIR) + "/service/mailwarden";

class Program : public testsupport::ChildProgram {
 public:
  explicit Program(std::vector<std::string> args, const std::string* input = nullptr)
      : ChildProgram(kProgram, std::move(args), input) {}
};

int PortOf(const std::string& line) {
  return testsupport::ListeningPort(line);
}

std::string AskCredit(int port, const std::string& email) {
  httplib::Client client = testsupport::LoopbackClient(port);
  auto result = client.Get(std::string(corvanta::protocol::kCreditPath) + "?" + CreditQuery(email, {1, 2, 3, 4}));
  return result ? result->body : "no answer";
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(kProgram)) << "build mailwarden first"; }
};

std::vector<std::string> Serve(std::vector<std::string> more) {
  std::vector<std::string> args = {"serve", "--listen", "127.0.0.1:0", "--database", "sqlite::memory:"};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST_F(ProgramTest, ServesOnTheFreePortItPrintsAndStopsCleanlyOnEachSignal) {
  for (int signal : {SIGTERM, SIGINT}) {
    Program program(Serve({"--new-sender-credit", "5"}));
    int port = PortOf(program.Line());
    ASSERT_GT(port, 0);
    EXPECT_EQ(AskCredit(port, "ann@example.com"), "qo;5");
    program.Signal(signal);
    EXPECT_EQ(program.Rest(), "mailwarden stopped\n");
    EXPECT_EQ(program.Wait(), 0);
  }
}

// Everything up to and including needle from fd ("" when the connection ends first).
std::string ReadThrough(int fd, const std::string& needle) {
  std::string got;
  char buffer[4096];
  for (ssize_t n; got.find(needle) == std::string::npos;) {
    if ((n = ::recv(fd, buffer, sizeof buffer, 0)) <= 0) return "";
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

// An upload whose body is still arriving when SIGTERM comes is finished and
// answered before the program exits.
TEST_F(ProgramTest, StoppingFinishesTheRequestInProgress) {
  Program program(Serve({"--new-sender-credit", "5"}));
  int port = PortOf(program.Line());
  ASSERT_GT(port, 0);
  AddinSend send;
  send.to = {{"bob@example.com", "Bob"}};
  const std::string body = UploadBody(send, {1, 2, 3, 4});
  const std::string head = std::string("POST ") + corvanta::protocol::kUploadPath +
                           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                           "Content-Length: " +
                           std::to_string(body.size()) + "\r\n\r\n";
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  // A whole request first: the service has taken the connection before the stop.
  const std::string health = "GET /healthz HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  ASSERT_EQ(::send(fd, health.data(), health.size(), MSG_NOSIGNAL), static_cast<ssize_t>(health.size()));
  ASSERT_NE(ReadThrough(fd, "\r\n\r\nok\n"), "");
  const std::string first = head + body.substr(0, body.size() / 2), rest = body.substr(body.size() / 2);
  ASSERT_EQ(::send(fd, first.data(), first.size(), MSG_NOSIGNAL), static_cast<ssize_t>(first.size()));
  program.Signal(SIGTERM);
  // The rest goes once the stop is under way: nothing listens any more.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!testsupport::NothingListens(port) && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(testsupport::NothingListens(port)) << "still listening long after SIGTERM";
  ASSERT_EQ(::send(fd, rest.data(), rest.size(), MSG_NOSIGNAL), static_cast<ssize_t>(rest.size()));
  std::string reply;
  char buffer[4096];
  for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, static_cast<std::size_t>(n));
  ::close(fd);
  EXPECT_TRUE(reply.starts_with("HTTP/1.1 200")) << reply;
  EXPECT_NE(reply.find("\r\n\r\nqo;"), std::string::npos) << reply;
  EXPECT_EQ(program.Rest(), "mailwarden stopped\n");
  EXPECT_EQ(program.Wait(), 0);
}

class DatabaseFileTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    std::filesystem::remove(path_);
  }
  void TearDown() override {
    for (const char* end : {"", "-wal", "-shm", ".key"}) std::filesystem::remove(path_.string() + end);
  }
  std::string Url() const { return "sqlite:" + path_.string(); }

  std::filesystem::path path_ =
      std::filesystem::temp_directory_path() / ("mailwarden-program-" + std::to_string(::getpid()) + ".db");
  std::string keyOutput_;
};

TEST_F(DatabaseFileTest, KeepsItsStateInTheDatabaseAcrossRestarts) {
  {
    Program program({"serve", "--listen", "127.0.0.1:0", "--new-sender-credit", "9", "--database", Url()});
    int port = PortOf(program.Line());
    ASSERT_GT(port, 0);
    AddinSend send;
    send.to = {{"bob@example.com", "Bob"}};
    httplib::Client client = testsupport::LoopbackClient(port);
    auto stamps = client.Get(std::string(corvanta::protocol::kStampPath) + "?" + StampQuery(send, {5, 6, 7, 8}));
    ASSERT_TRUE(stamps);
    EXPECT_EQ(StampsOf(stamps->body).size(), 1u) << stamps->body;
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
  }
  Program program({"serve", "--listen", "127.0.0.1:0", "--database", Url()});
  int port = PortOf(program.Line());
  ASSERT_GT(port, 0);
  EXPECT_EQ(AskCredit(port, AddinSend().from), "qo;8");
  // Without --new-sender-credit only accounts may send.
  EXPECT_EQ(AskCredit(port, "new@example.com"), "qx;No account for this sender address.");
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(), 0);
}

TEST_F(DatabaseFileTest, TheTermsComeFromTheFileGiven) {
  const std::string terms = path_.string() + ".terms.txt";
  std::ofstream(terms, std::ios::binary) << "Our own terms.\r\nSecond line.\r\n";
  Program program(Serve({"--terms", terms}));
  int port = PortOf(program.Line());
  ASSERT_GT(port, 0);
  httplib::Client client = testsupport::LoopbackClient(port);
  auto served = client.Get(corvanta::protocol::kTermsPath);
  ASSERT_TRUE(served);
  EXPECT_EQ(served->body, "Our own terms.\r\nSecond line.\r\n");
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(), 0);
  std::filesystem::remove(terms);
  Program missing(Serve({"--terms", terms}));
  EXPECT_EQ(missing.Wait(), 1);
}

TEST_F(DatabaseFileTest, TheDonationPageSaysWhatTheFileGivenSays) {
  const std::string donation = path_.string() + ".donation.txt";
  std::ofstream(donation, std::ios::binary) << "Give to <the fund>.\n\nThank you!\n";
  Program program(Serve({"--donation", donation}));
  int port = PortOf(program.Line());
  ASSERT_GT(port, 0);
  httplib::Client client = testsupport::LoopbackClient(port);
  auto served = client.Get(corvanta::protocol::kDonationPath);
  ASSERT_TRUE(served);
  EXPECT_NE(served->body.find("<p>Give to &lt;the fund&gt;.</p>\n<p>Thank you!</p>"), std::string::npos)
      << served->body;
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(), 0);
  std::filesystem::remove(donation);
  Program missing(Serve({"--donation", donation}));
  EXPECT_EQ(missing.Wait(), 1);
}

// Tests move the service's time on without waiting for it: a hidden option
// names a file with the seconds the clock runs ahead, read at every use.
TEST_F(DatabaseFileTest, TheTestingClockFileMovesTheServicesTimeOn) {
  const std::string ahead = path_.string() + ".clock";
  std::filesystem::remove(ahead);  // none yet: the system's time
  Program program(Serve({"--new-sender-credit", "9", "--status-pages", "--testing-clock-file", ahead}));
  int port = PortOf(program.Line());
  ASSERT_GT(port, 0);
  httplib::Client client = testsupport::LoopbackClient(port);
  auto issue = [&](const std::string& recipient) {
    AddinSend send;
    send.to = {{recipient, ""}};
    auto stamps = client.Get(std::string(corvanta::protocol::kStampPath) + "?" + StampQuery(send, {5, 6, 7, 8}));
    EXPECT_TRUE(stamps && StampsOf(stamps->body).size() == 1u);
  };
  issue("now@example.com");
  std::ofstream(ahead) << "86400\n";
  issue("tomorrow@example.com");
  auto status = client.Get("/status.json");
  ASSERT_TRUE(status);
  std::map<std::string, std::time_t> issued;
  const nlohmann::json stamps = nlohmann::json::parse(status->body).at("stamps");
  for (const auto& stamp : stamps) {
    std::tm time{};
    const std::string text = stamp.at("issued");
    ASSERT_NE(strptime(text.c_str(), "%Y-%m-%dT%H:%M:%SZ", &time), nullptr) << text;
    issued[stamp.at("recipient").get<std::string>()] = timegm(&time);
  }
  ASSERT_EQ(issued.size(), 2u) << status->body;
  EXPECT_GE(issued["tomorrow@example.com"] - issued["now@example.com"], 86400);
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(), 0);

  // A file that holds no number stops the service instead of leaving its time where it was.
  std::ofstream(ahead) << "soon\n";
  Program garbled(Serve({"--testing-clock-file", ahead}));
  EXPECT_NE(garbled.Wait(), 0);
  std::filesystem::remove(ahead);
}

TEST_F(DatabaseFileTest, AccountCommandsManageTheSenders) {
  struct Step {
    std::vector<std::string> args;
    int status;
    std::string out;  // a piece of the output
    std::string input = {};
  };
  const Step steps[] = {
      {{"add", "Ann@Example.com", "--credit", "40"}, 0, "added ann@example.com with 40 credits a month"},
      {{"add", "ann@example.COM"}, 1, ""},
      {{"add", "bob@example.com"}, 0, "100 credits"},
      {{"add", "not-an-address"}, 1, ""},
      {{"credit", "BOB@example.com", "7"}, 0, "monthly credit of BOB@example.com set to 7\n"},
      {{"credit", "nobody@example.com", "7"}, 1, ""},
      {{"codepage", "ann@example.com", "932"}, 0, "code page of ann@example.com set to 932\n"},
      {{"codepage", "ann@example.com", "4"}, 1, ""},
      {{"password", "ann@example.com"}, 0, "password of ann@example.com set; its sessions ended\n", "correct horse\n"},
      {{"password", "ann@example.com"}, 1, "", ""},
      {{"password", "ann@example.com"}, 1, "", "short\n"},
      {{"list"},
       0,
       "ann@example.com  monthly 40  left 40  code page 932\nbob@example.com  monthly 7  left 7  code page 1252  no "
       "password\n"},
      // Without a terminal to ask on, only --yes removes.
      {{"remove", "bob@example.com"}, 1, ""},
      {{"remove", "bob@example.com", "--yes"}, 0, "removed bob@example.com with all its messages\n"},
      {{"remove", "bob@example.com", "--yes"}, 1, ""},
      {{"list"}, 0, "ann@example.com  monthly 40"},
      {{"credit", "ann@example.com", "-1"}, 2, ""},
      {{"frobnicate"}, 2, ""},
      {{}, 2, ""},
  };
  for (const Step& step : steps) {
    std::vector<std::string> args = {"account"};
    args.insert(args.end(), step.args.begin(), step.args.end());
    args.insert(args.end(), {"--database", Url()});
    Program program(args, step.args.size() && step.args[0] == "password" ? &step.input : nullptr);
    std::string out = program.Rest();
    std::string line = ::testing::PrintToString(args);
    EXPECT_EQ(program.Wait(), step.status) << line;
    EXPECT_NE(out.find(step.out), std::string::npos) << line << " printed " << out;
  }
  auto store = mailwarden::store::OpenStore(Url());
  auto ann = store->FindAccount("ann@example.com");
  ASSERT_TRUE(ann);
  EXPECT_EQ(ann->codepage, 932);
  EXPECT_TRUE(ann->passwordHash.starts_with("$argon2id$")) << ann->passwordHash;
  EXPECT_FALSE(store->FindAccount("bob@example.com"));
}

// The whole text of the files, for looking for what must not be there.
std::string FileBytes(const std::vector<std::string>& paths) {
  std::string bytes;
  for (const std::string& path : paths) {
    std::ifstream in(path, std::ios::binary);
    bytes.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return bytes;
}

TEST_F(DatabaseFileTest, AnAddinKeyIsShownOnceKeptEncryptedAndAskedForByTheService) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"account", "add", "ann@example.com"},
                                               std::vector<std::string>{"account", "key", "ann@example.com"}}) {
    std::vector<std::string> line = args;
    line.insert(line.end(), {"--database", Url()});
    Program program(line);
    keyOutput_ = program.Rest();
    ASSERT_EQ(program.Wait(), 0) << keyOutput_;
  }
  const std::string digits = keyOutput_.substr(keyOutput_.rfind('\n', keyOutput_.size() - 2) + 1, 64);
  const auto key = corvanta::protocol::ParseAddinKey(digits);
  ASSERT_TRUE(key) << keyOutput_;
  EXPECT_NE(keyOutput_.find("shown this once"), std::string::npos) << keyOutput_;

  // The service's own key sits beside the database, for its user alone; the
  // database keeps the add-in key only encrypted with it.
  const std::string keyFile = path_.string() + ".key";
  ASSERT_TRUE(std::filesystem::exists(keyFile));
  EXPECT_EQ(std::filesystem::status(keyFile).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(FileBytes({path_.string(), path_.string() + "-wal"}).find(digits), std::string::npos);
  EXPECT_FALSE(mailwarden::store::OpenStore(Url())->FindAccount("ann@example.com")->addinKey.empty());

  Program missing({"account", "key", "nobody@example.com", "--database", Url()});
  EXPECT_EQ(missing.Rest(), "");
  EXPECT_EQ(missing.Wait(), 1);

  for (bool requireKeys : {false, true}) {
    std::vector<std::string> args = {"serve", "--listen", "127.0.0.1:0", "--database", Url(), "--new-sender-credit",
                                     "5"};
    if (requireKeys) args.push_back("--require-keys");
    Program program(args);
    const int port = PortOf(program.Line());
    ASSERT_GT(port, 0);
    // Draws of their own each time: the same query in the same second would be a replay.
    const std::string query = CreditQuery("ann@example.com", {1, 2, 3, requireKeys ? 5 : 4});
    httplib::Client client = testsupport::LoopbackClient(port);
    const auto path = std::string(corvanta::protocol::kCreditPath) + "?";
    EXPECT_TRUE(client.Get(path + query)->body.starts_with("qx;This service needs your add-in key."));
    const std::string signature = corvanta::protocol::SignRequest(query, *key, std::time(nullptr));
    EXPECT_EQ(client.Get(path + query + signature)->body, "qo;100");
    EXPECT_EQ(AskCredit(port, "new@example.com"), requireKeys ? client.Get(path + query)->body : std::string("qo;5"));
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
  }
}

// An administrator setting a sender's password ends the sender's sessions
// and clears the failed sign-ins for the address; unlock clears them alone.
TEST_F(DatabaseFileTest, PasswordAndUnlockClearFailedSignInsAndPasswordEndsSessions) {
  const mailwarden::store::Time window = 0;
  const auto failures = [&](mailwarden::store::Store& store) {
    return store.AttemptCounts({{mailwarden::store::SignInFailureKind("ann@example.com"), "client"}}, window)[0];
  };
  {
    auto store = mailwarden::store::OpenStore(Url());
    const auto ann = store->AddAccount("ann@example.com", 5, 1);
    store->CreateSession("ann-session", {ann.id, "csrf", 1, 1, {}});
    store->CountAttempt(mailwarden::store::SignInFailureKind("ann@example.com"), "client", window, 1);
  }
  std::string none;
  std::string input = "correct horse\n";
  for (const char* command : {"unlock", "password"}) {
    {
      auto store = mailwarden::store::OpenStore(Url());
      store->CountAttempt(mailwarden::store::SignInFailureKind("ann@example.com"), "client", window, 1);
      ASSERT_GT(failures(*store), 0) << command;
    }
    Program program({"account", command, "Ann@example.com", "--database", Url()},
                    std::string(command) == "password" ? &input : &none);
    program.Rest();
    ASSERT_EQ(program.Wait(), 0) << command;
    auto store = mailwarden::store::OpenStore(Url());
    EXPECT_EQ(failures(*store), 0) << command;
    EXPECT_EQ(store->TouchSession("ann-session", 0, 1).has_value(), std::string(command) == "unlock") << command;
  }
}

// The shipped unit runs the service behind the proxy it is meant for, with a
// bound on its memory, and its command line is one the program takes.
TEST_F(DatabaseFileTest, TheSystemdUnitServesBehindTheProxyWithinAMemoryBound) {
  std::ifstream unit(std::string(CORVANTA_SOURCE_DIR) + "/packaging/linux/mailwarden.service");
  std::vector<std::string> args;
  bool memoryMax = false;
  for (std::string line; std::getline(unit, line);) {
    memoryMax = memoryMax || line.starts_with("MemoryMax=");
    if (!line.starts_with("ExecStart=")) continue;
    std::istringstream words(line.substr(line.find(' ') + 1));
    for (std::string word; words >> word;) args.push_back(word);
  }
  EXPECT_TRUE(memoryMax);
  ASSERT_FALSE(args.empty());
  EXPECT_NE(std::find(args.begin(), args.end(), "--behind-proxy"), args.end());
  // The unit's own command line, on a free port and this test's database.
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--listen") args[i + 1] = "127.0.0.1:0";
    if (args[i] == "--database") args[i + 1] = Url();
  }
  Program program(args);
  EXPECT_GT(PortOf(program.Line()), 0);
}

// Out of descriptors, the service pauses between tries to take a
// connection instead of trying again at once, and serves again once
// descriptors are free.
TEST_F(ProgramTest, OutOfDescriptorsItBacksOffAndRecovers) {
  testsupport::ChildProgram program(
      "/bin/sh", {"-c", "ulimit -n 40 && exec '" + kProgram +
                            "' serve --listen 127.0.0.1:0 --database sqlite::memory: --new-sender-credit 5 2>&1"});
  const int port = PortOf(program.Line());
  ASSERT_GT(port, 0);
  std::vector<int> idle;
  for (int i = 0; i < 60; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    idle.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  for (int fd : idle) ::close(fd);

  std::string metrics;
  for (int tries = 0; tries < 100 && metrics.empty(); ++tries) {
    httplib::Client client = testsupport::LoopbackClient(port);
    if (auto reply = client.Get("/metrics"); reply && reply->status == 200)
      metrics = reply->body;
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ASSERT_FALSE(metrics.empty()) << "the service never served again";
  EXPECT_EQ(AskCredit(port, "ann@example.com"), "qo;5");
  const std::string name = "\nmailwarden_accept_failures_total ";
  const auto at = metrics.find(name);
  ASSERT_NE(at, std::string::npos) << metrics;
  const long failures = std::stol(metrics.substr(at + name.size()));
  // It did run out; trying again at once would have failed many thousands
  // of times, a tenth of a second's pause about fifteen.
  EXPECT_GT(failures, 0);
  EXPECT_LT(failures, 200);

  program.Signal(SIGTERM);
  const std::string said = program.Rest();
  const std::string once = "cannot take connections: Too many open files";
  ASSERT_NE(said.find(once), std::string::npos) << said;
  EXPECT_EQ(said.find(once, said.find(once) + 1), std::string::npos) << "said once per spell: " << said;
  EXPECT_EQ(program.Wait(), 0);
}

TEST_F(ProgramTest, ExplainsItsOptionsAndRefusesBadOnes) {
  Program help({"serve", "--help"});
  std::string text = help.Rest();
  EXPECT_EQ(help.Wait(), 0);
  for (const char* option :
       {"--listen", "--database", "--new-sender-credit", "--terms", "--max-upload", "--retain-days"})
    EXPECT_NE(text.find(option), std::string::npos) << option;
  EXPECT_EQ(text.find("testing"), std::string::npos) << "the tests' own option is for no operator";

  for (std::vector<std::string> bad : {std::vector<std::string>{"serve", "--listen", "127.0.0.1:70000"},
                                       {"serve", "--listen", "nonsense"},
                                       {"serve", "--new-sender-credit", "-1"},
                                       {"serve", "--frobnicate"},
                                       {},
                                       {"fly"}}) {
    Program program(bad);
    EXPECT_EQ(program.Wait(), 2) << ::testing::PrintToString(bad);
  }
  Program postgres({"serve", "--listen", "127.0.0.1:0", "--database", "nosuch:thing"});
  EXPECT_EQ(postgres.Wait(), 1);
}

TEST_F(ProgramTest, ABusyPortIsReportedNotServed) {
  Program first(Serve({}));
  int port = PortOf(first.Line());
  ASSERT_GT(port, 0);
  Program second({"serve", "--listen", "127.0.0.1:" + std::to_string(port), "--database", "sqlite::memory:"});
  // A second server sharing the port would print its line and keep running.
  ASSERT_EQ(second.Line(), "");
  EXPECT_EQ(second.Wait(), 1);
  first.Signal(SIGTERM);
  EXPECT_EQ(first.Wait(), 0);
}

// The program's output and error output together, and its exit status.
struct Outcome {
  std::string text;
  int status;
};
Outcome RunWithErrors(const std::vector<std::string>& args) {
  std::string line = "exec '" + kProgram + "'";
  for (const std::string& arg : args) line += " '" + arg + "'";
  testsupport::ChildProgram program("/bin/sh", {"-c", line + " 2>&1"});
  std::string text = program.Rest();
  return {text, program.Wait()};
}

TEST_F(DatabaseFileTest, TheDatabaseComesFromTheOptionOrTheEnvironmentAndIsPrivate) {
  const bool stray = std::filesystem::exists("mailwarden.db");
  Outcome bare = RunWithErrors({"account", "list"});
  EXPECT_EQ(bare.status, 2);
  EXPECT_NE(bare.text.find("--database"), std::string::npos) << bare.text;
  EXPECT_EQ(std::filesystem::exists("mailwarden.db"), stray) << "a database made by surprise";

  // A database made in a folder that is missing: the folder 0700, the file 0600.
  const std::filesystem::path folder = path_.string() + ".d";
  const std::string url = "sqlite:" + (folder / "state" / "mailwarden.db").string();
  ::setenv("MAILWARDEN_DATABASE", url.c_str(), 1);
  Outcome added = RunWithErrors({"account", "add", "ann@example.com"});
  ::unsetenv("MAILWARDEN_DATABASE");
  EXPECT_EQ(added.status, 0) << added.text;
  namespace fs = std::filesystem;
  EXPECT_EQ(fs::status(folder / "state").permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(folder / "state" / "mailwarden.db").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  Outcome listed = RunWithErrors({"account", "list", "--database", url});
  EXPECT_EQ(listed.status, 0);
  EXPECT_TRUE(listed.text.starts_with("ann@example.com")) << listed.text;
  fs::remove_all(folder);
}

TEST_F(ProgramTest, ErrorsSayWhatIsWrongInWordsWithOnePrefix) {
  const std::filesystem::path junk =
      std::filesystem::temp_directory_path() / ("mailwarden-junk-" + std::to_string(::getpid()) + ".db");
  std::ofstream(junk) << std::string(5000, 'x');
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {{"serve", "--database", "sqlite::memory:", "--new-sender-credit", "-1"},
       2,
       "-1 is not a whole number, 0 or more"},
      {{"serve", "--database", "sqlite::memory:", "--listen", "127.0.0.1:99999"},
       2,
       "99999 is not a port (a whole number from 0 to 65535)"},
      {{"serve", "--database", "sqlite::memory:", "--listen", "no-such-host.invalid:80"},
       2,
       "the host no-such-host.invalid is neither an IP address nor a name"},
      {{"serve", "--database", "sqlite::memory:", "--default-codepage", "4"}, 2, "unknown code page 4"},
      {{"account", "list", "--database", "sqlite:" + junk.string()}, 1, junk.string() + " is not an SQLite database"},
      {{"account", "credit", "ann@example.com", "-5", "--database", "sqlite::memory:"},
       2,
       "-5 is not a whole number, 0 or more"},
  };
  for (const Case& c : cases) {
    Outcome outcome = RunWithErrors(c.args);
    const std::string line = ::testing::PrintToString(c.args);
    EXPECT_EQ(outcome.status, c.status) << line << "\n" << outcome.text;
    EXPECT_NE(outcome.text.find(c.says), std::string::npos) << line << "\n" << outcome.text;
    EXPECT_TRUE(outcome.text.starts_with("mailwarden: ")) << outcome.text;
    EXPECT_EQ(outcome.text.find("mailwarden: ", 1), std::string::npos) << "two prefixes: " << outcome.text;
    EXPECT_LT(outcome.text.size(), 300u) << outcome.text;
  }
  std::filesystem::remove(junk);

  // A host name is looked up, and the service listens on its address.
  Program named({"serve", "--listen", "localhost:0", "--database", "sqlite::memory:"});
  const std::string line = named.Line();
  EXPECT_GT(PortOf(line), 0) << line;
  named.Signal(SIGTERM);
  EXPECT_EQ(named.Wait(), 0);
}

TEST_F(ProgramTest, BothProgramsTellTheirVersion) {
  for (const auto& [program, name] :
       {std::pair{kProgram, "mailwarden"}, std::pair{std::string(CORVANTA_BINARY_DIR) + "/cli/corvanta", "corvanta"}}) {
    testsupport::ChildProgram run(program, {"--version"});
    EXPECT_EQ(run.Rest(), std::string(name) + " 1.0.0.1\n");
    EXPECT_EQ(run.Wait(), 0);
  }
}

TEST_F(DatabaseFileTest, ABackupUnderLoadHoldsEveryAnsweredStampAndRestores) {
  namespace fs = std::filesystem;
  const fs::path copy = path_.string() + ".backup", restored = path_.string() + ".restored";
  fs::remove(copy);
  Program serve({"serve", "--listen", "127.0.0.1:0", "--new-sender-credit", "1000000", "--database", Url()});
  int port = PortOf(serve.Line());
  ASSERT_GT(port, 0);

  // Stamp requests without pause, each answered stamp noted in order.
  std::mutex mutex;
  std::condition_variable progress;
  std::vector<std::string> answered;
  std::atomic<bool> stop{false};
  std::thread load([&] {
    httplib::Client client = testsupport::LoopbackClient(port);
    client.set_keep_alive(true);
    AddinSend send;
    send.to = {{"bob@example.com", "Bob"}};
    for (int i = 0; !stop; ++i) {
      send.subject = "Load " + std::to_string(i);
      auto reply = client.Get(std::string(corvanta::protocol::kStampPath) + "?" + StampQuery(send, {5, 6, 7, 8}));
      std::vector<std::string> stamps = StampsOf(reply ? reply->body : "");
      std::lock_guard lock(mutex);
      answered.insert(answered.end(), stamps.begin(), stamps.end());
      progress.notify_all();
    }
  });
  std::vector<std::string> before;
  {
    std::unique_lock lock(mutex);
    progress.wait(lock, [&] { return answered.size() >= 50; });
    before = answered;
  }
  Program backup({"backup", "--database", Url(), copy.string()});
  const std::string said = backup.Rest();
  const int status = backup.Wait();
  std::size_t duringOrAfter = 0;
  {
    std::unique_lock lock(mutex);
    progress.wait(lock, [&] { return answered.size() >= before.size() + 50; });
    duringOrAfter = answered.size() - before.size();
  }
  stop = true;
  load.join();
  ASSERT_EQ(status, 0) << said;
  EXPECT_TRUE(said.starts_with("backed up " + path_.string() + " to " + copy.string())) << said;
  EXPECT_GE(duringOrAfter, 50u);
  EXPECT_EQ(fs::status(copy).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  {
    auto store = mailwarden::store::OpenStore("sqlite:" + copy.string());
    for (const std::string& stamp : before) EXPECT_TRUE(store->FindStamp(stamp)) << stamp;
  }
  // Never over an existing file; PostgreSQL has pg_dump.
  Outcome again = RunWithErrors({"backup", "--database", Url(), copy.string()});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.text.find("the file exists"), std::string::npos) << again.text;
  Outcome postgres = RunWithErrors({"backup", "--database", "postgresql://localhost/mailwarden", copy.string()});
  EXPECT_EQ(postgres.status, 1);
  EXPECT_NE(postgres.text.find("pg_dump"), std::string::npos) << postgres.text;

  serve.Signal(SIGTERM);
  EXPECT_EQ(serve.Wait(), 0);
  Program restore({"restore", "--database", "sqlite:" + restored.string(), copy.string()});
  EXPECT_TRUE(restore.Rest().starts_with("restored " + restored.string())) << restored;
  EXPECT_EQ(restore.Wait(), 0);
  EXPECT_EQ(fs::status(restored).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
  {
    auto store = mailwarden::store::OpenStore("sqlite:" + restored.string());
    for (const std::string& stamp : before) EXPECT_TRUE(store->FindStamp(stamp)) << stamp;
  }
  // A file that is no backup is refused, and the database left as it is.
  const fs::path junkFile = path_.string() + ".junk";
  std::ofstream(junkFile) << std::string(5000, 'x');
  Outcome junk = RunWithErrors({"restore", "--database", "sqlite:" + restored.string(), junkFile.string()});
  EXPECT_EQ(junk.status, 1);
  EXPECT_NE(junk.text.find(junkFile.string() + " is not an SQLite database"), std::string::npos) << junk.text;
  EXPECT_TRUE(mailwarden::store::OpenStore("sqlite:" + restored.string())->FindStamp(before.front()));
  for (const fs::path& file : {copy, restored, junkFile}) {
    for (const char* end : {"", "-wal", "-shm"}) fs::remove(file.string() + end);
  }
}

}  // namespace
}  // namespace service_test
