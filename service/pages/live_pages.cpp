// The stream of a sender's new events that keeps an open page up to date.
#include "service/pages/pages.h"
#include "service/pages/web_text.h"

namespace mailwarden::pages {

http::Reply Pages::Live(const http::Request& request, const SignedIn& sender) {
  const Viewer viewer{sender.account.address, sender.session.csrf};
  const auto fields = ParseFields(request.query);
  const auto asked = fields.find("message");
  const std::int64_t message = asked == fields.end() ? 0 : ParseId(asked->second);
  // Only the sender's own message; another's is as unknown as none.
  if (asked != fields.end() && (!message || !store_.GetMessage(sender.account.id, message, store::TimelinePage{0})))
    return NotFound(&viewer);
  const auto after = fields.find("after");
  auto wait = live_->Open(sender.account.id, message, after == fields.end() ? 0 : ParseId(after->second),
                          sender.tokenHash, request.ip);
  http::Reply reply;
  AddSecurityHeaders(reply, true);
  if (!wait) {
    reply.status = 429;
    reply.Set("Content-Type", "text/plain; charset=utf-8");
    reply.Set("Retry-After", "60");
    reply.body = "Too many live pages are open. Reload the page later to see new events.\n";
    return reply;
  }
  reply.Set("Content-Type", "text/event-stream; charset=utf-8");
  reply.Set("X-Accel-Buffering", "no");  // a proxy in front must pass each event on at once
  reply.body = "retry: 5000\n\n";
  reply.wait = std::move(*wait);
  return reply;
}

}  // namespace mailwarden::pages
