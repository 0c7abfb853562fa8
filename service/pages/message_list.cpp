// The messages list: each message with its recipients at a glance, filtered
// and sorted as the sender asks, a page at a time.
#include "service/pages/list_filter.h"
#include "service/pages/message_text.h"
#include "service/pages/pages.h"
#include "service/pages/summary.h"
#include "service/pages/web_text.h"

namespace mailwarden::pages {

http::Reply Pages::MessageList(const http::Request& request, const SignedIn& sender) {
  const Viewer viewer{sender.account.address, sender.session.csrf};
  const auto fields = ParseFields(request.query);
  const ListFilter filter = ReadListFilter(fields);
  const auto field = [&](const char* name) { return ParseId(FieldOf(fields, name)); };
  const std::int64_t before = field("before");

  store::MessageQuery query;
  query.accountId = sender.account.id;
  ApplyListFilter(filter, query);
  query.beforeId = before;
  query.activityBefore = field("active_before");
  query.limit = options_.pageSize + 1;  // one more tells whether an older page exists
  query.events.limit = 0;               // the list shows the totals only
  auto messages = store_.ListMessages(query);
  const bool more = messages.size() > static_cast<std::size_t>(options_.pageSize);
  if (more) messages.resize(options_.pageSize);

  const int credit = store_.CreditLeft(sender.account.address, Now()).value_or(0);
  std::string body =
      "<h1>Your messages</h1>\n<p class=\"credit\">You have <strong>" + std::to_string(credit) +
      "</strong> credits left this month.</p>\n" + ListFilterForm(filter) +
      "<div id=\"live\" data-src=\"/cvx/live?after=" + std::to_string(store_.NewestEventId(sender.account.id)) +
      "\" hidden></div><div id=\"live-part\">\n";
  if (messages.empty()) {
    body += Narrowed(filter) ? "<p class=\"quiet\">No message matches your search.</p>\n"
                             : "<p class=\"quiet\">You have sent no tracked message yet.</p>\n";
  } else {
    body +=
        "<table class=\"messages\"><thead><tr><th>Sent</th><th>Subject</th><th>Kind</th><th>At a glance</th>"
        "<th>Recipients</th><th>Last activity</th></tr></thead><tbody>\n";
    for (const store::MessageView& message : messages) {
      const bool receipts = ReceiptAsked(message);
      body += "<tr data-message=\"" + std::to_string(message.id) + "\"><td class=\"sent\">" +
              TimeElement(message.issued) + "</td><td class=\"subject\"><a href=\"/cvx/messages/" +
              std::to_string(message.id) + "\">" + SubjectHtml(message) + "</a></td><td class=\"kind\">" +
              KindHtml(message) + "</td><td class=\"glance\">" + GlanceText(message) +
              "</td><td><ul class=\"recipients\">";
      for (const store::RecipientView& recipient : message.recipients) {
        body += "<li><span class=\"who\">" + RecipientHtml(recipient) + "</span> " +
                StatusHtml(Summarize(recipient), message.kind, receipts) + "</li>";
      }
      body += "</ul></td><td class=\"activity\">" +
              (message.lastActivity > message.issued ? TimeElement(message.lastActivity) : std::string("none yet")) +
              "</td></tr>\n";
    }
    body += "</tbody></table>\n";
  }
  const std::string asked = ListFilterQuery(filter);
  if (more || before) {
    body += "<nav class=\"pager\">";
    if (before) body += "<a href=\"/cvx/" + Escape(asked.empty() ? "" : "?" + asked) + "\">Newest messages</a> ";
    if (more) {
      std::string next = asked + (asked.empty() ? "" : "&") + "before=" + std::to_string(messages.back().id);
      if (filter.order == store::MessageOrder::kLastActivity)
        next += "&active_before=" + std::to_string(messages.back().lastActivity);
      body += "<a rel=\"next\" href=\"/cvx/?" + Escape(next) + "\">Older messages</a>";
    }
    body += "</nav>\n";
  }
  body += "</div>\n";
  return HtmlReply(200, Frame("Your messages", body, &viewer), true);
}

}  // namespace mailwarden::pages
