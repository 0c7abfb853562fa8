#include "service/links/links.h"

#include <optional>

#include "service/events/classify.h"
#include "service/http/router.h"
#include "service/links/form_token.h"
#include "service/links/link_pages.h"
#include "service/pages/certified_view.h"
#include "service/pages/layout.h"
#include "service/pages/web_text.h"
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
  const store::Time now = context.Now();
  events::Verdict verdict = context.classifier(stamp, request, now, &context.store);
  return store::NewEvent{
      stamp.stamp, type, verdict.eventClass, now, request.ip, request.Header("User-Agent"), std::move(verdict.reason)};
}

// The press of a page's button, classified as every event; a person is said
// to have pressed it.
store::NewEvent PressOf(Context& context, const store::StampInfo& stamp, store::EventType type,
                        const http::Request& request, const char* button) {
  store::NewEvent event = EventOf(context, stamp, type, request);
  if (event.eventClass == store::EventClass::kPerson) event.reason = std::string("pressed \"") + button + "\"";
  return event;
}

// A GET (or HEAD) of a link that changes the record only on its button: a
// machine's visit is kept apart, a person's is followed by the press.
void Visited(Context& context, const store::StampInfo& stamp, const http::Request& request) {
  events::Pending visit{store::EventType::kVisit, stamp.stamp, context.Now(), request};
  visit.onlyMachine = true;
  context.events.Push(std::move(visit));
}

std::string Target(const http::Request& request) {
  return request.path + "?" + request.query;
}

// A press must carry the token of its own stamp and action: a form of one
// stamp does nothing for another.
bool Pressed(Context& context, const http::Request& request, const store::StampInfo& stamp, const char* action) {
  if (request.method != "POST") return false;
  const auto fields = pages::ParseFields(request.body);
  const auto token = fields.find("token");
  return token != fields.end() && FormTokenMatches(context.formKey.Get(), action, stamp.stamp, token->second);
}

http::Reply NotThisForm() {
  return Problem(403, "This form has expired",
                 "The form does not belong to this link. Open the link from the message again and press the button.");
}

// Past its days the content is gone, whether or not the hourly upkeep has
// deleted it yet.
bool ContentGone(Context& context, const store::StampInfo& stamp) {
  constexpr store::Time kDay = 86400LL * 1000000;
  return !stamp.contentKept || stamp.issued < context.Now() - context.options.contentDays * kDay;
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
  if (request.method != "POST") {
    Visited(context, *stamp, request);
    return pages::HtmlReply(
        200, ReceiptAskPage(*stamp, Target(request), FormToken(context.formKey.Get(), "receipt", stamp->stamp)));
  }
  if (!Pressed(context, request, *stamp, "receipt")) return NotThisForm();
  // Pressed twice, or the page sent again: one receipt.
  context.store.RecordOnce(PressOf(context, *stamp, store::EventType::kReceipt, request, "Send a read receipt"));
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
  const char* action = command ? "cancel" : "read";
  if (request.method != "POST") {
    Visited(context, *stamp, request);
    if (stamp->cancelled) {
      return command ? pages::RenderCancelResult(store::CertifiedState::kCancelled, stamp)
                     : pages::RenderCertified({store::CertifiedState::kCancelled, *stamp, {}, {}, false});
    }
    if (!command && ContentGone(context, *stamp)) {
      return pages::RenderCertified({store::CertifiedState::kExpired, *stamp, {}, {}, false});
    }
    const std::string token = FormToken(context.formKey.Get(), action, stamp->stamp);
    return pages::HtmlReply(
        200, command ? CancelAskPage(*stamp, Target(request), token) : ReadAskPage(*stamp, Target(request), token));
  }
  if (!Pressed(context, request, *stamp, action)) return NotThisForm();
  if (command) {
    const store::CertifiedState state =
        context.store.Cancel(PressOf(context, *stamp, store::EventType::kCancel, request, "Cancel the delivery"));
    return pages::RenderCancelResult(state, stamp);
  }
  if (ContentGone(context, *stamp))
    return pages::RenderCertified({store::CertifiedState::kExpired, *stamp, {}, {}, false});
  // The sender's HTML only in a frame that can run no script, under a sandbox policy.
  return pages::RenderCertified(
      context.store.ReadCertified(PressOf(context, *stamp, store::EventType::kRead, request, "Read the message")));
}

}  // namespace mailwarden
