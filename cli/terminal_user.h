#pragma once
// The person at the terminal, as the stand-in desktop's scripted user: every
// message box and dialog is printed as the user would read it, answered from
// the command line, by asking an interactive terminal, or with the first
// button; every event can also go to a JSON-lines log.
#include <cstddef>
#include <deque>
#include <fstream>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>

#include "host/sim/desktop.h"

namespace cli {

struct UserOptions {
  bool acceptTerms = false;
  std::deque<host::MsgAnswer> answers;  // for the boxes that offer a choice, in order
  bool interactive = false;             // standard input is a terminal
  std::string logFile;                  // empty: no log
};

// "ok", "cancel", "yes", "no" (any case); nothing for other words.
std::optional<host::MsgAnswer> ParseAnswer(const std::string& word);

class TerminalUser {
 public:
  TerminalUser(host::sim::SimDesktop& desktop, UserOptions options, std::ostream& out, std::istream& in);
  ~TerminalUser();
  TerminalUser(const TerminalUser&) = delete;
  TerminalUser& operator=(const TerminalUser&) = delete;

  // Where the mail store's record stands now; ReportStore prints and logs
  // what was written after such a mark (handed for delivery, moved to Sent Items).
  std::size_t StoreMark() const;
  void ReportStore(std::size_t mark);

  void Log(const nlohmann::json& event);
  // A message box was shown since construction.
  std::size_t MessagesShown() const;

 private:
  std::optional<host::MsgAnswer> Answer(const host::sim::MessageRecord& message);
  void ChooseInDialog(host::sim::DialogUser& user);
  void Observe(const host::sim::Event& event);
  std::string CaptionOf(const std::string& form, const std::string& control) const;
  std::string AskLine(const std::string& prompt);

  host::sim::SimDesktop& desktop_;
  UserOptions options_;
  std::ostream& out_;
  std::istream& in_;
  std::ofstream log_;
};

}  // namespace cli
