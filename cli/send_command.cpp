#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli/commands.h"

namespace cli {

namespace {

const char* ButtonCaption(const std::string& mode) {
  if (mode == "automatic") return "Automatic";
  if (mode == "receipt") return "Request receipt";
  if (mode == "guaranteed") return "Guaranteed";
  throw UsageError("--mode must be automatic, receipt or guaranteed, not '" + mode + "'");
}

std::string ReadBody(const std::string& file, std::istream& in) {
  if (file == "-") return std::string(std::istreambuf_iterator<char>(in), {});
  std::ifstream stream(file, std::ios::binary);
  if (!stream) throw UsageError("Cannot read the body file " + file);
  return std::string(std::istreambuf_iterator<char>(stream), {});
}

// Plain text as Outlook keeps it: CR LF line breaks.
std::string WithCrLf(const std::string& text) {
  std::string result;
  result.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result += '\r';
    result += text[i];
  }
  return result;
}

void AddRecipients(std::vector<host::sim::SimRecipient>& recipients, const std::vector<std::string>& people,
                   host::sim::RecipientKind kind, const char* option) {
  for (const std::string& text : people) {
    auto person = ParsePerson(text);
    if (!person) throw UsageError(std::string(option) + " '" + text + "' is not 'Name <address>' or an address");
    recipients.push_back(host::sim::SimRecipient::Smtp(person->name, person->address, kind));
  }
}

}  // namespace

int RunSend(const SendOptions& options, std::ostream& out, std::istream& in) {
  const char* caption = ButtonCaption(options.mode);
  if (!options.textFile.empty() && !options.htmlFile.empty()) throw UsageError("Give --text or --html, not both");
  if (options.textFile == "-" && options.session.user.interactive && options.session.user.answers.empty())
    out << "Type the message, then Ctrl-D:\n";
  std::vector<host::sim::SimRecipient> recipients;
  AddRecipients(recipients, options.to, host::sim::RecipientKind::To, "--to");
  AddRecipients(recipients, options.cc, host::sim::RecipientKind::Cc, "--cc");
  AddRecipients(recipients, options.bcc, host::sim::RecipientKind::Bcc, "--bcc");
  const std::string text = options.textFile.empty() ? std::string() : WithCrLf(ReadBody(options.textFile, in));
  const std::string html = options.htmlFile.empty() ? std::string() : ReadBody(options.htmlFile, in);

  Session session(options.session, out, in);
  if (!session.Start()) {
    out << "The add-in did not start: nothing was sent.\n";
    return 1;
  }
  auto& outlook = *session.desktop.outlook;
  auto item = outlook.NewMail(options.subject, recipients, text, html);
  auto inspector = outlook.OpenInspector(item);
  const auto deletedBefore = outlook.folder(host::sim::kDeletedItems)->count();
  const std::size_t mark = session.user.StoreMark();
  out << "Pressing \"" << caption << "\" in the \"Tracking\" drop-down...\n";
  try {
    inspector->ClickTrackingButton(caption);
  } catch (const host::Error& error) {
    out << "Cannot press \"" << caption << "\": " << error.what() << "\n";
    return 1;
  }
  session.user.ReportStore(mark);
  // The add-in discards the composed message only once every copy has left.
  const bool finished = outlook.folder(host::sim::kDeletedItems)->count() > deletedBefore;
  out << (finished ? "The message was sent.\n" : "The message was not sent; it stays in Drafts.\n");
  session.Finish();
  return finished ? 0 : 1;
}

int RunCredit(const SessionOptions& options, std::ostream& out, std::istream& in) {
  Session session(options, out, in);
  if (!session.Start()) {
    out << "The add-in did not start.\n";
    return 1;
  }
  // "View credit" in the About dialog, as the user would press it.
  session.desktop.windowing.QueueDialog("dlgAbout", host::sim::Press("credit"));
  const std::size_t before = session.desktop.windowing.Messages().size();
  bool cancelDefault = false;
  session.addin.aboutButton_Click(nullptr, cancelDefault);
  const auto& messages = session.desktop.windowing.Messages();
  for (std::size_t i = before; i < messages.size(); ++i)
    if (messages[i].text.rfind("You have ", 0) == 0) return 0;
  return 1;
}

}  // namespace cli
