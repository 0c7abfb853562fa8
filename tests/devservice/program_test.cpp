// The mailwarden-dev program itself: its options, its first line, a clean stop.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "addin_requests.h"
#include "protocol/service.h"

extern char** environ;

namespace devservice_test {
namespace {

const std::string kProgram = std::string(CORVANTA_BINARY_DIR) + "/devservice/mailwarden-dev";

// The program running with its standard output on a pipe.
class Program {
 public:
  explicit Program(std::vector<std::string> args) {
    args.insert(args.begin(), kProgram);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe(out) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    if (posix_spawn(&pid_, kProgram.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    output_ = ::fdopen(out[0], "r");
  }
  ~Program() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    if (output_) std::fclose(output_);
  }

  // The next line of its output, without the line end; "" at its end.
  std::string Line() {
    std::string line;
    for (int c; output_ && (c = std::fgetc(output_)) != EOF && c != '\n';) line += static_cast<char>(c);
    return line;
  }
  std::string Rest() {
    std::string rest;
    for (int c; output_ && (c = std::fgetc(output_)) != EOF;) rest += static_cast<char>(c);
    return rest;
  }
  // Its exit status; -1 when it did not exit normally.
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Signal(int signal) { ::kill(pid_, signal); }

 private:
  pid_t pid_ = -1;
  FILE* output_ = nullptr;
};

// The port of "mailwarden-dev listening on http://127.0.0.1:PORT/"; 0 if the line is not that.
int PortOf(const std::string& line) {
  const std::string prefix = "mailwarden-dev listening on http://127.0.0.1:";
  if (!line.starts_with(prefix) || !line.ends_with("/")) return 0;
  return std::stoi(line.substr(prefix.size()));
}

std::string AskCredit(int port, const std::string& email) {
  httplib::Client client("127.0.0.1", port);
  auto result = client.Get(std::string(corvanta::protocol::kCreditPath) + "?" + CreditQuery(email, {1, 2, 3, 4}));
  return result ? result->body : "no answer";
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(std::filesystem::exists(kProgram)) << "build mailwarden-dev first"; }
};

TEST_F(ProgramTest, ServesOnTheFreePortItPrintsAndStopsCleanlyOnEachSignal) {
  for (int signal : {SIGTERM, SIGINT}) {
    Program program({"--port", "0", "--credit", "5"});
    int port = PortOf(program.Line());
    ASSERT_GT(port, 0);
    EXPECT_EQ(AskCredit(port, "ann@example.com"), "qo;5");
    program.Signal(signal);
    EXPECT_EQ(program.Rest(), "mailwarden-dev stopped\n");
    EXPECT_EQ(program.Wait(), 0);
  }
}

TEST_F(ProgramTest, KeepsItsStateInTheDataFileAcrossRestarts) {
  std::filesystem::path data =
      std::filesystem::temp_directory_path() / ("mailwarden-program-" + std::to_string(::getpid()) + ".json");
  std::filesystem::remove(data);
  {
    Program program({"--credit", "9", "--data", data.string()});
    int port = PortOf(program.Line());
    ASSERT_GT(port, 0);
    AddinSend send;
    send.to = {{"bob@example.com", "Bob"}};
    httplib::Client client("127.0.0.1", port);
    auto stamps = client.Get(std::string(corvanta::protocol::kStampPath) + "?" + StampQuery(send, {5, 6, 7, 8}));
    ASSERT_TRUE(stamps);
    EXPECT_EQ(StampsOf(stamps->body).size(), 1u) << stamps->body;
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0);
  }
  Program program({"--credit", "9", "--data", data.string()});
  int port = PortOf(program.Line());
  ASSERT_GT(port, 0);
  EXPECT_EQ(AskCredit(port, AddinSend().from), "qo;8");
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(), 0);
  std::filesystem::remove(data);
}

TEST_F(ProgramTest, ExplainsItsOptionsAndRefusesBadOnes) {
  Program help({"--help"});
  std::string text = help.Rest();
  EXPECT_EQ(help.Wait(), 0);
  for (const char* option : {"--port", "--credit", "--data"}) EXPECT_NE(text.find(option), std::string::npos) << option;

  for (std::vector<std::string> bad :
       {std::vector<std::string>{"--port", "70000"}, {"--credit", "-1"}, {"--frobnicate"}}) {
    Program program(bad);
    EXPECT_NE(program.Wait(), 0) << bad[0];
  }
}

TEST_F(ProgramTest, ABusyPortIsReportedNotServed) {
  Program first({});
  int port = PortOf(first.Line());
  ASSERT_GT(port, 0);
  Program second({"--port", std::to_string(port)});
  // A second server sharing the port would print its line and keep running.
  ASSERT_EQ(second.Line(), "");
  EXPECT_EQ(second.Wait(), 1);
  first.Signal(SIGTERM);
  EXPECT_EQ(first.Wait(), 0);
}

}  // namespace
}  // namespace devservice_test
