// The messages list and a message's page with its recipients' timelines.
#include <algorithm>

#include "service/pages/certified_view.h"
#include "service/pages/folded_timeline.h"
#include "service/pages/message_text.h"
#include "service/pages/pages.h"
#include "service/pages/summary.h"
#include "service/pages/web_text.h"

namespace mailwarden::pages {

namespace {

// When the service issued the stamps, in the zone of every other time; the
// sender's PC clock, which may be off or in another zone, only beside it.
std::string Sent(const store::MessageView& message) {
  std::string html = TimeElement(message.issued);
  if (!message.sentDate.empty() || !message.sentTime.empty()) {
    html += " <small class=\"clock\">(your computer's clock said " + Escape(message.sentDate) + " " +
            Escape(message.sentTime) + ")</small>";
  }
  return html;
}

const char* EventText(store::EventType type) {
  switch (type) {
    case store::EventType::kImage:
      return "Opened (image fetched)";
    case store::EventType::kReceipt:
      return "Read receipt sent";
    case store::EventType::kRead:
      return "Certified message read";
    case store::EventType::kCancel:
      return "Delivery cancelled";
    case store::EventType::kVisit:
      return "Link followed, nothing pressed";
  }
  return "";
}

const char* ClassText(store::EventClass eventClass) {
  switch (eventClass) {
    case store::EventClass::kPerson:
      return "a person";
    case store::EventClass::kMachine:
      return "a machine";
    case store::EventClass::kSender:
      return "you";
  }
  return "";
}

// The page's links through one recipient's timeline, newest page first.
std::string TimelinePager(const store::RecipientView& recipient, std::int64_t messageId, std::size_t number,
                          bool paged) {
  const int rows = TimelineRows(recipient);
  const std::int64_t older = OlderThan(recipient);
  if (!older && !paged) return "";
  const std::string page = "/cvx/messages/" + std::to_string(messageId);
  const std::string anchor = "#recipient-" + std::to_string(number);
  std::string html = "<nav class=\"pager\"><span>" + std::to_string(recipient.events.size()) + " of " +
                     std::to_string(rows) + " entries shown.</span> ";
  if (paged) html += "<a href=\"" + page + anchor + "\">Latest entries</a> ";
  if (older) {
    html += "<a rel=\"next\" href=\"" + page + "?recipient=" + std::to_string(number) +
            "&amp;events_before=" + std::to_string(older) + anchor + "\">Older entries</a>";
  }
  return html + "</nav>\n";
}

// Repeated events of one program folded into a line each: what a sender asks first.
std::string Folded(const store::RecipientView& recipient, const events::ClientNames* names) {
  if (recipient.events.empty()) return "<p class=\"quiet\">Nothing has happened yet.</p>\n";
  std::string html =
      "<table class=\"folded\"><thead><tr><th>What</th><th>Program</th><th>How often</th><th>First</th><th>Last</th>"
      "<th>Taken for</th><th>Why</th></tr></thead><tbody>\n";
  for (const FoldedLine& line : Fold(recipient.events, names)) {
    std::string raw;
    for (const std::string& agent : line.agents) raw += (raw.empty() ? "" : "<br>") + Escape(agent);
    std::string ips;
    for (const std::string& ip : line.ips) ips += (ips.empty() ? "" : ", ") + Escape(ip);
    const bool named = line.agents.size() != 1 || line.client != line.agents.front();
    html += "<tr class=\"" + std::string(ClassName(line.eventClass)) + "\"><td>" + EventText(line.type) + "</td><td>" +
            (named ? "<details class=\"agent\"><summary>" + Escape(line.client) + "</summary><small>" + raw +
                         "<br>from " + ips + "</small></details>"
                   : "<small class=\"agent\">" + raw + "</small><br><small>from " + ips + "</small>") +
            "</td><td class=\"count\">" + std::to_string(line.count) + (line.count == 1 ? " time" : " times") +
            "</td><td>" + TimeElement(line.first) + "</td><td>" +
            (line.count > 1 ? TimeElement(line.last) : std::string()) + "</td><td><span class=\"class\">" +
            ClassText(line.eventClass) + "</span></td><td class=\"reason\">" + Escape(line.reason) + "</td></tr>\n";
  }
  return html + "</tbody></table>\n";
}

// The newest event of the message, all of whose events are loaded: its stream goes on from there.
std::int64_t NewestEvent(const store::MessageView& message) {
  std::int64_t newest = 0;
  for (const store::RecipientView& recipient : message.recipients)
    for (const store::Event& event : recipient.events) newest = std::max(newest, event.id);
  return newest;
}

std::string Timeline(const store::RecipientView& recipient, const events::ClientNames* names) {
  if (recipient.events.empty()) return "<p class=\"quiet\">No entries.</p>\n";
  std::string html =
      "<table class=\"timeline\"><thead><tr><th>Time</th><th>What</th><th>Taken for</th><th>Why</th><th>From</th>"
      "</tr></thead><tbody>\n";
  for (const store::Event& event : recipient.events) {
    html += "<tr class=\"" + std::string(ClassName(event.eventClass)) + "\"><td>" + TimeElement(event.time) +
            "</td><td>" + EventText(event.type) +
            (event.count > 1 ? " (" + std::to_string(event.count) + " times)" : std::string()) +
            "</td><td><span class=\"class\">" + ClassText(event.eventClass) + "</span></td><td class=\"reason\">" +
            Escape(event.reason) + "</td><td>" + Escape(event.ip) + "<br>" +
            ClientHtml(event.userAgent, event.reason, names) + "</td></tr>\n";
  }
  return html + "</tbody></table>\n";
}

}  // namespace

http::Reply Pages::MessagePage(const http::Request& request, const SignedIn& sender, std::int64_t id) {
  const Viewer viewer{sender.account.address, sender.session.csrf};
  auto fields = ParseFields(request.query);
  const store::TimelinePage events = TimelineAsked(fields);
  // The whole of each timeline (a few hundred rows at most): folded, and a page of it cut here.
  const auto message = store_.GetMessage(sender.account.id, id, store::TimelinePage{-1});
  if (!message) return NotFound(&viewer);

  std::string body = "<p><a href=\"/cvx/\">&larr; All messages</a></p>\n<h1>" + SubjectHtml(*message) +
                     "</h1>\n<div id=\"live\" data-src=\"/cvx/live?message=" + std::to_string(message->id) +
                     "&amp;after=" + std::to_string(NewestEvent(*message)) +
                     "\" hidden></div><div id=\"live-part\">\n<dl class=\"facts\"><dt>Kind</dt><dd>" +
                     KindHtml(*message) + "</dd><dt>Sent</dt><dd>" + Sent(*message) +
                     "</dd><dt>At a glance</dt><dd class=\"glance\">" + GlanceText(*message) + "</dd>";
  if (message->kind == store::Kind::kCertified) {
    body += "<dt>Content</dt><dd>" +
            std::string(message->hasContent ? "kept for the recipients to read" : "deleted (expired or cancelled)") +
            "</dd>";
  }
  body += "</dl>\n";

  // The result of a "Cancel delivery" just made (after its redirect).
  const std::string& done = fields["cancelled"];
  const std::size_t index = static_cast<std::size_t>(ParseId(fields["to"]));
  if (!done.empty() && index >= 1 && index <= message->recipients.size()) {
    const store::CertifiedState state = done == "found"       ? store::CertifiedState::kFound
                                        : done == "cancelled" ? store::CertifiedState::kCancelled
                                        : done == "expired"   ? store::CertifiedState::kExpired
                                                              : store::CertifiedState::kUnknown;
    store::StampInfo info;
    info.recipient = message->recipients[index - 1].address;
    body += "<p class=\"notice\" role=\"status\">" + Escape(CancelResultText(state, &info)) + "</p>\n";
  }

  const bool receipts = ReceiptAsked(*message);
  std::size_t number = 0;
  for (const store::RecipientView& recipient : message->recipients) {
    ++number;
    body += "<section class=\"recipient\" id=\"recipient-" + std::to_string(number) + "\"><h2>" +
            RecipientHtml(recipient) + "</h2>\n<p>" + StatusHtml(Summarize(recipient), message->kind, receipts) +
            "</p>\n";
    if (message->kind == store::Kind::kCertified && !recipient.cancelled) {
      body += "<form class=\"cancel\" method=\"post\" action=\"/cvx/messages/" + std::to_string(message->id) +
              "/cancel\">" + CsrfField(sender.session.csrf) + "<input type=\"hidden\" name=\"to\" value=\"" +
              std::to_string(number) + "\"><button type=\"submit\">Cancel delivery</button></form>\n";
    }
    const bool paged = events.recipient == number;
    const store::RecipientView page = TimelineSlice(recipient, number, events);
    body += Folded(recipient, options_.clients.get());
    if (!recipient.events.empty()) {
      body += "<details class=\"entries\"" + std::string(paged ? " open" : "") + "><summary>Every entry (" +
              std::to_string(TimelineRows(recipient)) + ")</summary>\n" + Timeline(page, options_.clients.get()) +
              TimelinePager(page, message->id, number, paged) + "</details>\n";
    }
    body += "</section>\n";
  }
  body += "</div>\n";
  return HtmlReply(200, Frame(message->subject.empty() ? "(no subject)" : message->subject, body, &viewer), true);
}

http::Reply Pages::CancelDelivery(const http::Request& request, const SignedIn& sender, std::int64_t id) {
  const Viewer viewer{sender.account.address, sender.session.csrf};
  const auto message = store_.GetMessage(sender.account.id, id, store::TimelinePage{0});  // no events needed
  if (!message) return NotFound(&viewer);
  auto fields = ParseFields(request.body);
  const std::size_t index = static_cast<std::size_t>(ParseId(fields["to"]));
  if (message->kind != store::Kind::kCertified || index < 1 || index > message->recipients.size()) {
    return NotFound(&viewer);
  }
  store::NewEvent cancel;
  cancel.stamp = message->recipients[index - 1].stamp;
  cancel.type = store::EventType::kCancel;
  cancel.eventClass = store::EventClass::kSender;
  cancel.time = Now();
  cancel.ip = request.ip;
  cancel.userAgent = request.Header("User-Agent");
  cancel.reason = "you (pressed \"Cancel delivery\" on your pages)";
  const store::CertifiedState state = store_.Cancel(cancel);
  const char* done = state == store::CertifiedState::kFound       ? "found"
                     : state == store::CertifiedState::kCancelled ? "cancelled"
                     : state == store::CertifiedState::kExpired   ? "expired"
                                                                  : "unknown";
  return Redirect("/cvx/messages/" + std::to_string(id) + "?cancelled=" + done + "&to=" + std::to_string(index));
}

}  // namespace mailwarden::pages
