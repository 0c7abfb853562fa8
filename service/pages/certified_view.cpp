#include "service/pages/certified_view.h"

#include "service/pages/layout.h"
#include "service/pages/web_text.h"

namespace mailwarden::pages {

namespace {

// The whole reply is sandboxed (no script, an origin of its own), and so is
// the frame inside it; the message may show its own styles and images.
constexpr const char* kReadPolicy =
    "sandbox allow-popups allow-popups-to-escape-sandbox; default-src 'none'; "
    "style-src 'self' 'unsafe-inline'; img-src 'self' http: https: data:; font-src data:; "
    "form-action 'none'; base-uri 'none'; frame-ancestors 'none'";

http::Reply ReadReply(int status, std::string html) {
  http::Reply reply;
  reply.status = status;
  reply.Set("Content-Type", "text/html; charset=utf-8");
  reply.Set("Content-Security-Policy", kReadPolicy);
  reply.Set("X-Content-Type-Options", "nosniff");
  reply.Set("Referrer-Policy", "no-referrer");
  reply.Set("Cache-Control", "no-store");
  reply.body = std::move(html);
  return reply;
}

std::string Sender(const store::Certified& certified) {
  std::string text;
  if (!certified.fromName.empty()) text += "&quot;" + Escape(certified.fromName) + "&quot; ";
  return text + "&lt;" + Escape(certified.info.sender) + "&gt;";
}

http::Reply Gone(int status, std::string_view title, std::string_view text) {
  return ReadReply(status, Frame(title, "<h1>" + Escape(title) + "</h1>\n<p>" + Escape(text) + "</p>", nullptr, false));
}

}  // namespace

http::Reply RenderCertified(const store::Certified& certified) {
  switch (certified.state) {
    case store::CertifiedState::kFound:
      break;
    case store::CertifiedState::kCancelled:
      return Gone(410, "Message cancelled",
                  "The sender has cancelled the delivery of this message. It can no longer be read.");
    case store::CertifiedState::kExpired:
      return Gone(410, "Message expired",
                  "This message was kept for 30 days and has been deleted. It can no longer be read.");
    case store::CertifiedState::kUnknown:
    case store::CertifiedState::kNotCertified:
      return Gone(404, "No such message", "There is no message at this address. Check that the link is complete.");
  }
  std::string body = "<p class=\"from\">Certified mail from " + Sender(certified) + " to &lt;" +
                     Escape(certified.info.recipient) + "&gt;</p>\n<h1>" + Escape(certified.info.subject) + "</h1>\n";
  if (certified.isHtml) {
    body +=
        "<iframe class=\"message\" title=\"The message\" sandbox=\"allow-popups allow-popups-to-escape-sandbox\" "
        "referrerpolicy=\"no-referrer\" srcdoc=\"" +
        Escape(certified.content) + "\"></iframe>";
  } else {
    body += "<pre class=\"message\">" + Escape(certified.content) + "</pre>";
  }
  return ReadReply(
      200, Frame(certified.info.subject.empty() ? "Certified mail" : certified.info.subject, body, nullptr, false));
}

std::string CancelResultText(store::CertifiedState state, const store::StampInfo* info) {
  const std::string who = info ? " to " + info->recipient : std::string();
  switch (state) {
    case store::CertifiedState::kFound:
      return "The delivery" + who + " has been cancelled. The message can no longer be read.";
    case store::CertifiedState::kCancelled:
      return "The delivery" + who + " was already cancelled.";
    case store::CertifiedState::kExpired:
      return "The message" + who + " had already expired; there was nothing left to cancel.";
    case store::CertifiedState::kUnknown:
    case store::CertifiedState::kNotCertified:
      break;
  }
  return "There is no certified delivery at this address.";
}

http::Reply RenderCancelResult(store::CertifiedState state, const std::optional<store::StampInfo>& info) {
  const bool known = state != store::CertifiedState::kUnknown && state != store::CertifiedState::kNotCertified;
  // A delivery cancelled or expired before is gone: 410, as its read link says.
  const int status = !known ? 404 : state == store::CertifiedState::kFound ? 200 : 410;
  const std::string title = state == store::CertifiedState::kFound ? "Delivery cancelled" : "Nothing to cancel";
  std::string body = "<h1>" + Escape(title) + "</h1>\n<p>" + Escape(CancelResultText(state, info ? &*info : nullptr));
  if (info && known) body += "</p>\n<p>Subject: " + Escape(info->subject);
  body += "</p>\n<p><a href=\"/cvx/\">Your messages</a></p>";
  return HtmlReply(status, Frame(title, body));
}

}  // namespace mailwarden::pages
