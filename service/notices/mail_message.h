#pragma once
// A mail as the relay takes it (RFC 5322 with MIME): headers, non-ASCII
// subjects and names as encoded words, plain text and HTML as
// multipart/alternative, bodies quoted-printable, lines ending in CRLF.
#include <string>
#include <string_view>

#include "service/store/store.h"

namespace mailwarden::notices {

struct MailMessage {
  std::string from;  // addresses only
  std::string to;
  std::string subject;
  std::string text;
  std::string html;
  std::string messageId;  // without the angle brackets; stable, so a copy sent twice is seen as one
  store::Time date = 0;
};

std::string RenderMail(const MailMessage& mail);

// An address that may stand in a header and in the relay's envelope as it
// is: printable ASCII without blanks, quotes, brackets or separators, one
// "@" between a name and a domain. Accounts the service makes take the
// address the add-in sent, which may hold anything, line breaks included.
bool MailableAddress(std::string_view address);

// The text as it may stand in a header: itself when plain printable ASCII,
// else RFC 2047 encoded words (UTF-8, base64) that split no character.
std::string HeaderText(std::string_view text);
std::string QuotedPrintable(std::string_view text);
// "Fri, 11 Dec 2026 06:12:00 +0000"
std::string MailDate(store::Time time);

}  // namespace mailwarden::notices
