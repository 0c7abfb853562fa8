// corvanta: the add-in's core on the stand-in desktop, from a terminal.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/commands.h"

namespace {

void AddSessionOptions(CLI::App& command, cli::SessionOptions& options, std::vector<std::string>& answers) {
  command.add_option("--service", options.service, "The service's web host, HOST[:PORT] (sets \"ServiceHost\")");
  command.add_option("--service-key", options.serviceKey,
                     "The sender's add-in key, 64 hexadecimal digits, as the service made it (sets \"ServiceKey\")");
  command.add_option("--from", options.from, "The sender as Redemption reports it: 'Name <address>'")->required();
  command
      .add_option("--registry", options.registryFile,
                  "The registry in .reg text form, read at start and saved at the end")
      ->default_str(cli::DefaultRegistryFile().string());
  command.add_option("--store", options.storeDir, "The mail store's folder")
      ->default_str(cli::DefaultStoreDir().string());
  command.add_option("--outlook", options.outlook, "Outlook 2000, 2002 or a version text such as 11.0")
      ->capture_default_str();
  command
      .add_option(
          "--codepage", options.codePage,
          "The system's ANSI code page, whose character codes go into the service's requests (932 Japanese, ...)")
      ->capture_default_str();
  command.add_flag("--accept-terms", options.user.acceptTerms, "Press \"I Agree\" if the terms of use appear");
  command
      .add_option("--answer", answers,
                  "Answer to the next message box that offers a choice: ok, cancel, yes or no (repeatable)")
      ->check(CLI::IsMember({"ok", "cancel", "yes", "no"}, CLI::ignore_case));
  command.add_option("--log", options.user.logFile, "Append every event as one JSON object a line to FILE");
}

void TakeAnswers(cli::SessionOptions& options, const std::vector<std::string>& answers) {
  for (const auto& word : answers) options.user.answers.push_back(*cli::ParseAnswer(word));
  options.user.interactive = ::isatty(STDIN_FILENO) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Corvanta: send a message tracked from a stand-in Outlook, ask for the credit, or run the demonstration."};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("corvanta ") + CORVANTA_VERSION);

  cli::SendOptions send;
  std::vector<std::string> sendAnswers;
  auto* sendCommand = app.add_subcommand("send", "Compose one message and press one of the add-in's buttons");
  AddSessionOptions(*sendCommand, send.session, sendAnswers);
  sendCommand->add_option("--mode", send.mode, "automatic, receipt or guaranteed")
      ->required()
      ->check(CLI::IsMember({"automatic", "receipt", "guaranteed"}));
  sendCommand->add_option("--to", send.to, "A recipient, 'Name <address>' or an address (repeatable)");
  sendCommand->add_option("--cc", send.cc, "A Cc recipient (repeatable)");
  sendCommand->add_option("--bcc", send.bcc, "A Bcc recipient (repeatable)");
  sendCommand->add_option("--subject", send.subject, "The subject");
  auto* text = sendCommand->add_option("--text", send.textFile, "A plain-text body from FILE, - for standard input");
  auto* html = sendCommand->add_option("--html", send.htmlFile, "An HTML body from FILE, - for standard input");
  text->excludes(html);

  cli::SessionOptions credit;
  std::vector<std::string> creditAnswers;
  auto* creditCommand = app.add_subcommand("credit", "Show the credit as the About dialog's \"View credit\" does");
  AddSessionOptions(*creditCommand, credit, creditAnswers);

  app.add_subcommand("demo", "Run a whole first day against mailwarden (SQLite) on a free loopback port");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? 0 : 2;
  }

  try {
    if (sendCommand->parsed()) {
      TakeAnswers(send.session, sendAnswers);
      return cli::RunSend(send, std::cout, std::cin);
    }
    if (creditCommand->parsed()) {
      TakeAnswers(credit, creditAnswers);
      return cli::RunCredit(credit, std::cout, std::cin);
    }
    return cli::RunDemo(std::cout);
  } catch (const cli::UsageError& error) {
    std::cerr << "corvanta: " << error.what() << "\n";
    return 2;
  } catch (const std::exception& error) {
    std::cerr << "corvanta: " << error.what() << "\n";
    return 1;
  }
}
