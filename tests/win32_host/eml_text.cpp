// The mail store's message text for the Windows host, which has no GMime:
// the same headers, the bodies as 8-bit text. Only the host's artefacts are
// written with it; the checks read the stand-in Outlook's folders.
#include <atomic>
#include <ctime>
#include <sstream>

#include "host/sim/mail_store_eml.h"

namespace host::sim {
namespace {

std::string Address(const std::string& name, const std::string& address) {
  return name.empty() ? "<" + address + ">" : "\"" + name + "\" <" + address + ">";
}

std::string Header(const char* name, const std::vector<MailRecipient>& recipients, RecipientKind kind) {
  std::string list;
  for (const auto& recipient : recipients) {
    if (recipient.kind != kind) continue;
    if (!list.empty()) list += ", ";
    list += Address(recipient.name, recipient.address);
  }
  return list.empty() ? std::string() : std::string(name) + ": " + list + "\r\n";
}

}  // namespace

EmlText FormatEml(const MailMessage& message) {
  static std::atomic<int> counter{0};
  EmlText eml;
  eml.messageId = "standin." + std::to_string(std::time(nullptr)) + "." + std::to_string(++counter) + "@corvanta.test";
  std::ostringstream out;
  out << "From: " << Address(message.from.name, message.from.address) << "\r\n";
  out << Header("To", message.recipients, RecipientKind::To) << Header("Cc", message.recipients, RecipientKind::Cc)
      << Header("Bcc", message.recipients, RecipientKind::Bcc);
  out << "Subject: " << message.subject << "\r\nMessage-ID: <" << eml.messageId << ">\r\nMIME-Version: 1.0\r\n";
  if (message.htmlBody.empty()) {
    out << "Content-Type: text/plain; charset=windows-1252\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" << message.body;
  } else {
    const char* boundary = "=_corvanta_standin";
    out << "Content-Type: multipart/alternative; boundary=\"" << boundary << "\"\r\n\r\n";
    out << "--" << boundary << "\r\nContent-Type: text/plain; charset=windows-1252\r\n\r\n" << message.body << "\r\n";
    out << "--" << boundary << "\r\nContent-Type: text/html; charset=windows-1252\r\n\r\n"
        << message.htmlBody << "\r\n";
    out << "--" << boundary << "--\r\n";
  }
  eml.text = out.str();
  return eml;
}

}  // namespace host::sim
