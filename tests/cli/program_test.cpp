// The corvanta program as a person runs it: options, what it prints, what it
// leaves in the registry file, the log and the mail store, and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "host/sim/mail_store.h"
#include "service/keys/account_keys.h"
#include "support/local_service.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string output;
};

std::string Quote(const std::string& argument) {
  std::string quoted = "'";
  for (char c : argument) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("corvanta-cli-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the program with standard input from /dev/null, as CI does.
  Outcome Corvanta(const std::vector<std::string>& arguments) {
    std::string command = Quote(CORVANTA_PROGRAM);
    for (const auto& argument : arguments) command += " " + Quote(argument);
    const fs::path output = dir_ / "output.txt";
    command += " < /dev/null > " + Quote(output.string()) + " 2>&1";
    const int raw = std::system(command.c_str());
    std::ifstream stream(output);
    std::stringstream text;
    text << stream.rdbuf();
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, text.str()};
  }

  std::vector<std::string> Send(const std::string& service, const std::string& mode, bool acceptTerms = true) {
    std::ofstream(dir_ / "body.txt") << "Hello Bob,\nthe figures are in.\n";
    std::vector<std::string> arguments = {"send",
                                          "--service",
                                          service,
                                          "--mode",
                                          mode,
                                          "--from",
                                          "Ann Sender <ann@example.com>",
                                          "--to",
                                          "Bob <bob@example.net>",
                                          "--cc",
                                          "carol@example.org",
                                          "--subject",
                                          "Figures",
                                          "--text",
                                          (dir_ / "body.txt").string(),
                                          "--registry",
                                          Registry(),
                                          "--store",
                                          Store(),
                                          "--log",
                                          Log()};
    if (acceptTerms) arguments.push_back("--accept-terms");
    return arguments;
  }

  std::string Registry() const { return (dir_ / "registry.reg").string(); }
  std::string Store() const { return (dir_ / "store").string(); }
  std::string Log() const { return (dir_ / "events.jsonl").string(); }

  std::vector<nlohmann::json> LogEvents(const std::string& kind) const {
    std::vector<nlohmann::json> events;
    std::ifstream stream(Log());
    for (std::string line; std::getline(stream, line);) {
      auto event = nlohmann::json::parse(line);
      if (event["event"] == kind) events.push_back(event);
    }
    return events;
  }

  std::string RegistryText() const {
    std::ifstream stream(Registry());
    std::stringstream text;
    text << stream.rdbuf();
    return text.str();
  }

  fs::path dir_;
};

class ServiceTest : public ProgramTest {
 protected:
  void StartService(int credit) { server_ = std::make_unique<testsupport::LocalService>(credit); }
  std::unique_ptr<testsupport::LocalService> server_;
};

TEST_F(ProgramTest, WrongCommandLinesExitWithTwo) {
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"fly"},
      {"send", "--mode", "loud", "--from", "a@b.c"},
      {"send", "--mode", "automatic"},
      {"send", "--mode", "automatic", "--from", "Ann <>", "--registry", Registry(), "--store", Store()},
      {"send", "--mode", "automatic", "--from", "a@b.c", "--to", "Bob <bob@x", "--registry", Registry()},
      {"send", "--mode", "automatic", "--from", "a@b.c", "--text", "-", "--html", "-"},
      {"send", "--mode", "automatic", "--from", "a@b.c", "--answer", "maybe"},
      {"send", "--mode", "automatic", "--from", "a@b.c", "--text", "/no/such/file", "--registry", Registry()},
      {"send", "--mode", "automatic", "--from", "a@b.c", "--codepage", "4", "--registry", Registry()},
      {"send", "--mode", "automatic", "--from", "a@b.c", "--service-key", "c0ffee-secret", "--registry", Registry()},
  };
  for (const auto& arguments : wrong) {
    Outcome run = Corvanta(arguments);
    std::string joined;
    for (const auto& argument : arguments) joined += argument + " ";
    EXPECT_EQ(run.status, 2) << joined << "\n" << run.output;
    EXPECT_EQ(run.output.find("c0ffee"), std::string::npos) << "a key is never shown back: " << run.output;
  }
  EXPECT_FALSE(fs::exists(Registry())) << "a wrong command line must not touch the registry";
}

TEST_F(ProgramTest, HelpOnEachCommand) {
  for (const std::string command : {"send", "credit", "demo"}) {
    Outcome run = Corvanta({command, "--help"});
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_NE(run.output.find("--help"), std::string::npos) << run.output;
  }
  EXPECT_NE(Corvanta({"send", "--help"}).output.find("--accept-terms"), std::string::npos);
}

TEST_F(ServiceTest, SendFinishesWithZeroAndRemembersTheTerms) {
  StartService(10);
  Outcome run = Corvanta(Send(server_->Host(), "automatic"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Sending to... (2/2)"), std::string::npos) << run.output;

  const auto sent = LogEvents("sent");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0]["recipient"], "bob@example.net");
  EXPECT_EQ(sent[0]["kind"], "To");
  EXPECT_EQ(sent[1]["recipient"], "carol@example.org");
  EXPECT_EQ(sent[1]["name"], "carol@example.org") << "a bare address is its own display name";
  EXPECT_EQ(sent[1]["kind"], "Cc");
  for (const auto& event : sent) EXPECT_TRUE(fs::exists(event["path"].get<std::string>()));
  EXPECT_EQ(LogEvents("dialog").front()["form"], "toua");
  EXPECT_NE(RegistryText().find("\"TOUA\"=dword:00000001"), std::string::npos) << RegistryText();
  EXPECT_NE(RegistryText().find(server_->Host()), std::string::npos) << "ServiceHost is kept";

  // The second run starts without the terms or the About dialog, from the saved registry.
  fs::remove(Log());
  ASSERT_EQ(Corvanta(Send(server_->Host(), "guaranteed", false)).status, 0);
  for (const auto& dialog : LogEvents("dialog")) EXPECT_EQ(dialog["form"], "dlgProgress");
  EXPECT_EQ(LogEvents("moved").size(), 2u) << "one kept copy per recipient";
}

// A subject and a recipient's name in many languages leave with every
// character (on the default code page, 1252, whose escapes the service reads).
TEST_F(ServiceTest, ASubjectAndNamesInAnyLanguageLeaveWhole) {
  StartService(10);
  std::vector<std::string> arguments = Send(server_->Host(), "automatic");
  const std::string subject = "Grüße Ωμέγα 日本語 😀 €";
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (arguments[i] == "--subject") arguments[i + 1] = subject;
    if (arguments[i] == "--to") arguments[i + 1] = "Γιώργος <bob@example.net>";
  }
  Outcome run = Corvanta(arguments);
  ASSERT_EQ(run.status, 0) << run.output;
  const auto sent = LogEvents("sent");
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0]["name"], "Γιώργος");
  const host::sim::ParsedMail mail = host::sim::ReadEml(sent[0]["path"].get<std::string>());
  EXPECT_EQ(mail.subject, subject);
  EXPECT_EQ(mail.recipients.at(0).name, "Γιώργος");
}

TEST_F(ServiceTest, NonInteractiveRunDeclinesTheTermsWithoutAcceptTerms) {
  StartService(10);
  Outcome run = Corvanta(Send(server_->Host(), "receipt", false));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("Failed to install Corvanta Add-in!"), std::string::npos) << run.output;
  EXPECT_TRUE(LogEvents("sent").empty());
  EXPECT_EQ(RegistryText().find("TOUA"), std::string::npos) << "a refusal stores nothing";
}

TEST_F(ServiceTest, ASenderWithAnAddinKeySendsWithItAndNotWithout) {
  mailwarden::ServeOptions options = mailwarden::LoopbackOptions(0);
  options.service.sealingKey = mailwarden::keys::NewSealingKey();
  server_ = std::make_unique<testsupport::LocalService>(options);
  server_->Store().AddAccount("ann@example.com", 10, mailwarden::SystemNow());
  const std::string key =
      *mailwarden::keys::MakeAddinKey(server_->Store(), *options.service.sealingKey, "ann@example.com");

  Outcome refused = Corvanta(Send(server_->Host(), "automatic"));
  EXPECT_EQ(refused.status, 1) << refused.output;
  EXPECT_NE(refused.output.find("This service needs your add-in key."), std::string::npos) << refused.output;

  std::vector<std::string> arguments = Send(server_->Host(), "guaranteed");
  arguments.insert(arguments.end(), {"--service-key", key});
  Outcome sent = Corvanta(arguments);
  ASSERT_EQ(sent.status, 0) << sent.output;
  EXPECT_EQ(LogEvents("moved").size(), 2u);
  EXPECT_EQ(sent.output.find(key), std::string::npos) << "the key is never shown back";
  EXPECT_EQ(server_->Credit("ann@example.com"), 8);

  // The registry keeps it: the next run signs without being told.
  ASSERT_EQ(Corvanta(Send(server_->Host(), "automatic", false)).status, 0);
  EXPECT_EQ(server_->Credit("ann@example.com"), 6);
}

TEST_F(ServiceTest, AFailureTheUserWasToldAboutExitsWithOne) {
  StartService(1);  // two recipients need two credits
  Outcome run = Corvanta(Send(server_->Host(), "automatic"));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("Insufficient credit."), std::string::npos) << run.output;
  const auto messages = LogEvents("message");
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back()["text"], "Insufficient credit.");
  EXPECT_EQ(messages.back()["buttons"], nlohmann::json::array({"OK"}));
  EXPECT_TRUE(LogEvents("sent").empty());

  const int closedPort = server_->Port();
  server_->Stop();
  run = Corvanta(Send("127.0.0.1:" + std::to_string(closedPort), "guaranteed"));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_NE(run.output.find("Connection timeout!"), std::string::npos) << run.output;
}

TEST_F(ServiceTest, AnswersGoToTheBoxesThatOfferAChoice) {
  StartService(10);
  // Word as the e-mail editor: the editor check asks OK/Cancel at start-up.
  std::ofstream(Registry()) << "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\9.0\\Outlook\\Options\\Mail]\r\n"
                               "\"EditorPreference\"=dword:00020001\r\n";
  auto arguments = Send(server_->Host(), "automatic");
  arguments.insert(arguments.end(), {"--answer", "ok", "--answer", "no"});
  Outcome run = Corvanta(arguments);
  ASSERT_EQ(run.status, 0) << run.output;
  std::vector<std::string> answers;
  for (const auto& message : LogEvents("message")) answers.push_back(message["answer"]);
  ASSERT_GE(answers.size(), 2u);
  EXPECT_EQ(answers[0], "OK");
  EXPECT_EQ(answers[1], "No") << "the restart question took the second answer";
  EXPECT_NE(RegistryText().find("\"EditorPreference\"=dword:00020000"), std::string::npos) << RegistryText();
}

TEST_F(ServiceTest, CreditPrintsTheAboutDialogsMessage) {
  StartService(42);
  Outcome run = Corvanta({"credit", "--service", server_->Host(), "--from", "ann@example.com", "--accept-terms",
                          "--registry", Registry(), "--store", Store()});
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("| You have 42 credits for this month."), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("| You will receive new credits on the 1st day of each month."), std::string::npos);
}

}  // namespace
