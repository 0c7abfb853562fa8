#include "devservice/links.h"

#include <optional>

#include "devservice/bad_request.h"
#include "devservice/form.h"
#include "devservice/pages.h"

namespace mailwarden {
namespace {

constexpr const char* kHtml = "text/html; charset=utf-8";

PageReply Html(int status, std::string body) {
  return {status, kHtml, std::move(body)};
}

PageReply Problem(int status, const std::string& title, const std::string& text) {
  return Html(status, Page(title, "<h1>" + title + "</h1>\n<p>" + text + "</p>"));
}

// The link's form and its one bare token, the stamp; nothing when the query
// is broken or has no single stamp.
std::optional<Form> ParseLink(std::string_view query) {
  try {
    Form form = ParseForm(query);
    if (form.tokens.size() != 1 || form.tokens.front().empty()) return std::nullopt;
    return form;
  } catch (const BadRequest&) {
    return std::nullopt;
  }
}

}  // namespace

PageReply TrackingLink(Service& service, std::string_view query) {
  std::optional<Form> link = ParseLink(query);
  bool image = link ? link->Optional("img") == "1" : query.starts_with("img=1&");
  if (image) {
    // The image is served whatever the stamp, so the recipient's message never shows a broken picture.
    if (link) service.RecordImage(link->tokens.front());
    return {200, "image/gif", TransparentGif()};
  }
  std::optional<StampRecord> record = link ? service.RecordReceipt(link->tokens.front()) : std::nullopt;
  if (!record) return Problem(404, "Unknown receipt link", "This receipt link is not known to Mailwarden.");
  return Html(200, ReceiptThanksPage(*record));
}

PageReply CertifiedLink(Service& service, std::string_view query) {
  std::optional<Form> link = ParseLink(query);
  if (!link) return Problem(404, "Unknown message", "This link does not lead to a message.");
  std::optional<std::string> command = link->Optional("cmd");
  if (command && *command != "del") return Problem(400, "Unknown command", "This link is not complete.");
  const std::string& stamp = link->tokens.front();
  Reading reading = command ? service.Cancel(stamp) : service.Read(stamp);
  switch (reading.result) {
    case Lookup::kFound:
      return Html(200, command ? CancelConfirmPage(reading.record) : MessagePage(reading.record));
    case Lookup::kCancelled:
      return Html(410, CancelledPage(reading.record));
    case Lookup::kNotCertified:
    case Lookup::kUnknown:
      break;
  }
  return Problem(404, "Unknown message", "No certified message is kept for this link.");
}

}  // namespace mailwarden
