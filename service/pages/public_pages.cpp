#include "service/pages/public_pages.h"

#include "service/pages/embedded.h"
#include "service/pages/layout.h"
#include "service/pages/web_text.h"

namespace mailwarden::pages {

http::Reply HomePage() {
  return HtmlReply(
      200, Frame("E-mail tracking",
                 "<h1>Mailwarden</h1>\n"
                 "<p>Mailwarden is the e-mail tracking service of the senders who use the Corvanta add-in for "
                 "Outlook. When such a sender tracks a message, Mailwarden learns when it is opened, when its "
                 "recipient sends a read receipt, and when certified mail is read, and shows this to that sender "
                 "only.</p>\n"
                 "<h2>You received certified mail</h2>\n"
                 "<p>A certified message is kept here until you read it. Use the &quot;Read Email&quot; link in the "
                 "notification you received; it works for 30 days, unless the sender cancels the delivery "
                 "before.</p>\n"
                 "<h2>You received a tracked message</h2>\n"
                 "<p>A tracked message may carry a small invisible image or a &quot;Send a read receipt&quot; link. "
                 "If your mail program does not load images, or you do not follow the link, the sender learns "
                 "nothing.</p>\n"
                 "<p><a href=\"/cvx/toua.txt\">Terms of use</a> &middot; <a href=\"/cvx/donation/\">Support "
                 "Mailwarden</a> &middot; <a href=\"/cvx/\">Senders: sign in</a></p>"));
}

namespace {

// Paragraphs at blank lines; each line kept as a line.
std::string Paragraphs(std::string_view text) {
  std::string html;
  std::string paragraph;
  auto flush = [&] {
    if (!paragraph.empty()) html += "<p>" + paragraph + "</p>\n";
    paragraph.clear();
  };
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") == std::string_view::npos) {
      flush();
    } else {
      paragraph += (paragraph.empty() ? "" : "<br>\n") + Escape(line);
    }
  }
  flush();
  return html;
}

}  // namespace

http::Reply DonationPage(std::string_view text) {
  const std::string body = text.empty()
                               ? std::string(
                                     "<p>Mailwarden is run by your organisation for its own senders and costs you "
                                     "nothing. If it helps you, ask your administrator how you can support its "
                                     "running: every contribution keeps the service going. Thank you!</p>\n")
                               : Paragraphs(text);
  return HtmlReply(200, Frame("Support Mailwarden", "<h1>Support Mailwarden</h1>\n" + body +
                                                        "<p><a href=\"/cvx/\">Back to Mailwarden</a></p>"));
}

std::optional<http::Reply> StaticFile(std::string_view name) {
  std::string_view content;
  const char* type = nullptr;
  if (name == "site.css") {
    content = kSiteCss;
    type = "text/css; charset=utf-8";
  } else if (name == "local-time.js") {
    content = kLocalTimeJs;
    type = "text/javascript; charset=utf-8";
  } else if (name == "live.js") {
    content = kLiveJs;
    type = "text/javascript; charset=utf-8";
  } else {
    return std::nullopt;
  }
  http::Reply reply;
  reply.Set("Content-Type", type);
  reply.Set("Cache-Control", "public, max-age=3600");
  AddSecurityHeaders(reply, false);
  reply.body = std::string(content);
  return reply;
}

}  // namespace mailwarden::pages
