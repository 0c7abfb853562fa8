#include "cli/terminal_user.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <sstream>

namespace cli {

namespace {

using host::MsgAnswer;
using host::MsgButtons;
using host::sim::AnswerName;
using host::sim::Offered;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The add-in's texts break lines with CR LF; the terminal wants LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += text[i];
    }
  }
  lines.push_back(line);
  return lines;
}

// The buttons a person can press on the add-in's modal dialogs.
std::vector<std::string> ButtonsOf(const host::Form& form) {
  std::vector<std::string> buttons;
  for (const host::Control& control : form.Controls())
    if (control.kind == host::ControlKind::CommandButton && control.visible) buttons.push_back(control.name);
  return buttons;
}

}  // namespace

std::optional<MsgAnswer> ParseAnswer(const std::string& word) {
  const std::string lower = Lower(word);
  if (lower == "ok") return MsgAnswer::OK;
  if (lower == "cancel") return MsgAnswer::Cancel;
  if (lower == "yes") return MsgAnswer::Yes;
  if (lower == "no") return MsgAnswer::No;
  return std::nullopt;
}

TerminalUser::TerminalUser(host::sim::SimDesktop& desktop, UserOptions options, std::ostream& out, std::istream& in)
    : desktop_(desktop), options_(std::move(options)), out_(out), in_(in) {
  if (!options_.logFile.empty()) {
    log_.open(options_.logFile, std::ios::app);
    if (!log_) throw std::runtime_error("Cannot write the log file " + options_.logFile);
  }
  auto& windowing = desktop_.windowing;
  windowing.SetAnswerer([this](const host::sim::MessageRecord& message) { return Answer(message); });
  windowing.OnDialog("toua", [this](host::sim::DialogUser& user) {
    if (options_.acceptTerms) return user.Click("OKButton");
    if (!options_.interactive) return user.Click("CancelButton");
    for (const std::string& line : Lines(user.form()["Text1"].caption)) out_ << "  " << line << "\n";
    ChooseInDialog(user);
  });
  windowing.OnAnyDialog([this](host::sim::DialogUser& user) {
    if (!options_.interactive) {
      auto buttons = ButtonsOf(user.form());
      // The About dialog of a first start is closed with its OK button.
      if (std::find(buttons.begin(), buttons.end(), "ok") != buttons.end()) return user.Click("ok");
      return user.CloseByFrame();
    }
    ChooseInDialog(user);
  });
  windowing.SetObserver([this](const host::sim::Event& event) { Observe(event); });
}

TerminalUser::~TerminalUser() {
  desktop_.windowing.SetObserver(nullptr);
  desktop_.windowing.SetAnswerer(nullptr);
}

std::string TerminalUser::AskLine(const std::string& prompt) {
  out_ << prompt << std::flush;
  std::string line;
  if (!std::getline(in_, line)) return {};
  return line;
}

std::optional<MsgAnswer> TerminalUser::Answer(const host::sim::MessageRecord& message) {
  const auto offered = Offered(message.buttons);
  if (offered.size() == 1) return offered.front();
  if (!options_.answers.empty()) {
    MsgAnswer answer = options_.answers.front();
    options_.answers.pop_front();
    if (std::find(offered.begin(), offered.end(), answer) != offered.end()) return answer;
    std::cerr << "corvanta: --answer " << Lower(AnswerName(answer)) << " does not fit a box with "
              << AnswerName(offered[0]) << " and " << AnswerName(offered[1]) << "; taking " << AnswerName(offered[0])
              << "\n";
    return offered.front();
  }
  if (!options_.interactive) return std::nullopt;
  for (const std::string& line : Lines(message.text)) out_ << "| " << line << "\n";
  while (true) {
    const std::string prompt = "Answer " + Lower(AnswerName(offered[0])) + "/" + Lower(AnswerName(offered[1])) + ": ";
    const std::string line = AskLine(prompt);
    if (!in_) return std::nullopt;
    auto answer = ParseAnswer(line);
    if (answer && std::find(offered.begin(), offered.end(), *answer) != offered.end()) return answer;
  }
}

void TerminalUser::ChooseInDialog(host::sim::DialogUser& user) {
  host::Form& form = user.form();
  const auto buttons = ButtonsOf(form);
  out_ << "Press one of:";
  for (const std::string& name : buttons) out_ << " [" << name << ": " << form[name].caption << "]";
  out_ << "\n";
  while (in_) {
    const std::string choice = AskLine("Button: ");
    for (const std::string& name : buttons)
      if (Lower(choice) == Lower(name) || Lower(choice) == Lower(form[name].caption)) return user.Click(name);
  }
  user.CloseByFrame();
}

std::string TerminalUser::CaptionOf(const std::string& form, const std::string& control) const {
  const auto& dialogs = desktop_.windowing.Dialogs();
  for (auto record = dialogs.rbegin(); record != dialogs.rend(); ++record) {
    if (record->form != form) continue;
    for (const host::Control& shown : record->controls)
      if (shown.name == control) return shown.caption;
  }
  return control;
}

void TerminalUser::Observe(const host::sim::Event& event) {
  using host::sim::EventKind;
  switch (event.kind) {
    case EventKind::MessageShown: {
      const auto& message = event.message;
      out_ << "+-- Corvanta " << std::string(40, '-') << "\n";
      for (const std::string& line : Lines(message.text)) out_ << "| " << line << "\n";
      nlohmann::json buttons = nlohmann::json::array();
      std::string shown;
      for (MsgAnswer offered : Offered(message.buttons)) {
        buttons.push_back(AnswerName(offered));
        shown += std::string(" [") + AnswerName(offered) + "]";
      }
      out_ << "+--" << shown << "  -> " << AnswerName(message.answer) << "\n";
      Log({{"event", "message"},
           {"text", message.text},
           {"buttons", buttons},
           {"icon", message.icon == host::MsgIcon::Exclamation ? "exclamation" : "none"},
           {"answer", AnswerName(message.answer)}});
      break;
    }
    case EventKind::DialogShown:
      if (event.modal) out_ << "== " << event.text << " ==\n";
      Log({{"event", "dialog"}, {"form", event.form}, {"caption", event.text}, {"modal", event.modal}});
      break;
    case EventKind::ButtonPressed: {
      const std::string caption = CaptionOf(event.form, event.control);
      out_ << "   (pressed \"" << caption << "\")\n";
      Log({{"event", "button"}, {"form", event.form}, {"control", event.control}, {"caption", caption}});
      break;
    }
    case EventKind::SelectionChanged:
      Log({{"event", "select"}, {"form", event.form}, {"control", event.control}, {"index", event.index}});
      break;
    case EventKind::ControlChanged:
      if ((event.control == "lblProgress" || event.control == "lblEmail") && !event.text.empty()) {
        out_ << (event.control == "lblProgress" ? "   ... " : "       ") << event.text << "\n";
        Log({{"event", "progress"}, {"form", event.form}, {"control", event.control}, {"text", event.text}});
      }
      break;
    case EventKind::DialogClosed:
    case EventKind::CaptionChanged:
    case EventKind::TextTyped:
      break;
  }
}

std::size_t TerminalUser::StoreMark() const {
  return desktop_.store->Written().size();
}

void TerminalUser::ReportStore(std::size_t mark) {
  const auto& written = desktop_.store->Written();
  for (std::size_t i = mark; i < written.size(); ++i) {
    const auto& stored = written[i];
    if (stored.folder == host::sim::MailStore::kOutbox) {
      for (const auto& recipient : stored.message.recipients) {
        out_ << "   sent to " << recipient.name << " <" << recipient.address << "> ("
             << host::sim::KindName(recipient.kind) << "): " << stored.path.string() << "\n";
        Log({{"event", "sent"},
             {"recipient", recipient.address},
             {"name", recipient.name},
             {"kind", host::sim::KindName(recipient.kind)},
             {"subject", stored.message.subject},
             {"path", stored.path.string()}});
      }
    } else if (stored.folder == host::sim::MailStore::kSentItems) {
      out_ << "   kept in Sent Items: \"" << stored.message.subject << "\": " << stored.path.string() << "\n";
      Log({{"event", "moved"},
           {"folder", stored.folder},
           {"subject", stored.message.subject},
           {"path", stored.path.string()}});
    }
  }
}

void TerminalUser::Log(const nlohmann::json& event) {
  if (log_.is_open())
    log_ << event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n" << std::flush;
}

std::size_t TerminalUser::MessagesShown() const {
  return desktop_.windowing.Messages().size();
}

}  // namespace cli
