#include "service/links/links.h"

#include <optional>

#include "service/events/classify.h"
#include "service/http/router.h"
#include "service/links/link_pages.h"
#include "service/pages/certified_view.h"
#include "service/pages/layout.h"
#include "service/requests/bad_request.h"
#include "service/requests/form.h"

namespace mailwarden {
namespace {

http::Reply Problem(int status, const std::string& title, const std::string& text) {
  return pages::Problem(status, title, text);
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

store::NewEvent EventOf(Context& context, const store::StampInfo& stamp, store::EventType type,
                        const http::Request& request) {
  store::Time now = context.Now();
  return store::NewEvent{stamp.stamp, type,       events::Classify(stamp, request, now, &context.store),
                         now,         request.ip, request.Header("User-Agent")};
}

}  // namespace

bool IsImageRequest(const http::Request& request) {
  std::optional<Form> link = ParseLink(request.query);
  return link ? link->Optional("img") == "1" : std::string_view(request.query).starts_with("img=1&");
}

http::Reply TrackingLink(Context& context, const http::Request& request) {
  std::optional<Form> link = ParseLink(request.query);
  bool image = link ? link->Optional("img") == "1" : std::string_view(request.query).starts_with("img=1&");
  if (image) {
    // The image is served whatever the stamp, so the recipient's message never shows a broken picture.
    if (link) context.events.Push({store::EventType::kImage, link->tokens.front(), context.Now(), request});
    http::Reply reply{200, {}, TransparentGif()};
    return reply.Set("Content-Type", "image/gif").Set("Cache-Control", "no-store");
  }
  std::optional<store::StampInfo> stamp = link ? context.store.FindStamp(link->tokens.front()) : std::nullopt;
  if (!stamp) return Problem(404, "Unknown receipt link", "This receipt link is not known to Mailwarden.");
  context.events.Push({store::EventType::kReceipt, stamp->stamp, context.Now(), request});
  return pages::HtmlReply(200, ReceiptThanksPage(*stamp));
}

http::Reply CertifiedLink(Context& context, const http::Request& request) {
  std::optional<Form> link = ParseLink(request.query);
  if (!link) return Problem(404, "Unknown message", "This link does not lead to a message.");
  std::optional<std::string> command = link->Optional("cmd");
  if (command && *command != "del") return Problem(400, "Unknown command", "This link is not complete.");
  std::optional<store::StampInfo> stamp = context.store.FindStamp(link->tokens.front());
  if (!stamp || stamp->kind != store::Kind::kCertified) {
    return Problem(404, "Unknown message", "No certified message is kept for this link.");
  }
  if (command) {
    const store::CertifiedState state =
        context.store.Cancel(EventOf(context, *stamp, store::EventType::kCancel, request));
    return pages::RenderCancelResult(state, stamp);
  }
  // Past its days the content is gone, whether or not the hourly upkeep has
  // deleted it yet.
  constexpr store::Time kDay = 86400LL * 1000000;
  if (stamp->issued < context.Now() - context.options.contentDays * kDay) {
    store::Certified expired;
    expired.state = store::CertifiedState::kExpired;
    expired.info = *stamp;
    return pages::RenderCertified(expired);
  }
  // The sender's HTML only in a frame that can run no script, under a sandbox policy.
  return pages::RenderCertified(
      context.store.ReadCertified(EventOf(context, *stamp, store::EventType::kRead, request)));
}

}  // namespace mailwarden
