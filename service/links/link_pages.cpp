#include "service/links/link_pages.h"

#include "service/links/html.h"
#include "service/time_text.h"

namespace mailwarden {
namespace {

std::string Sent(const store::StampInfo& stamp) {
  return "&quot;" + HtmlEscape(stamp.subject) + "&quot; to " + HtmlEscape(stamp.recipient);
}

}  // namespace

std::string Page(const std::string& title, const std::string& bodyHtml) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
         "</title></head>\n<body style=\"font-family: Arial, sans-serif\">\n" + bodyHtml + "\n</body></html>\n";
}

const std::string& TransparentGif() {
  static const std::string gif(
      "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff"
      "\x21\xf9\x04\x01\x00\x00\x00\x00"
      "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00"
      "\x02\x02\x44\x01\x00\x3b",
      43);
  return gif;
}

std::string ReceiptThanksPage(const store::StampInfo& stamp) {
  return Page("Thank you",
              "<h1>Thank you</h1>\n<p>The sender has been told that you received " + Sent(stamp) + ".</p>");
}

std::string MessagePage(const store::Certified& message) {
  std::string head = "<p>Certified mail from &quot;" + HtmlEscape(message.fromName) + "&quot; &lt;" +
                     HtmlEscape(message.info.sender) + "&gt;, sent " + FormatUtc(message.info.issued, "%Y-%m-%d %H:%M UTC") + "</p>\n<h2>" +
                     HtmlEscape(message.info.subject) + "</h2>\n<hr>\n";
  std::string content = message.isHtml ? message.content : "<pre>" + HtmlEscape(message.content) + "</pre>";
  return Page(message.info.subject, head + content);
}

std::string CancelConfirmPage(const store::StampInfo& stamp) {
  return Page("Delivery cancelled", "<h1>Delivery cancelled</h1>\n<p>The delivery of " + Sent(stamp) +
                                        " has been cancelled. The message has been deleted.</p>");
}

std::string CancelledPage(const store::StampInfo& stamp) {
  return Page("Message cancelled", "<h1>Message cancelled</h1>\n<p>The sender has cancelled the delivery of " +
                                       Sent(stamp) + ". It can no longer be read.</p>");
}

std::string ExpiredPage(const store::StampInfo& stamp) {
  return Page("Message expired", "<h1>Message expired</h1>\n<p>" + Sent(stamp) +
                                     " was kept for 30 days and has been deleted. It can no longer be read.</p>");
}

}  // namespace mailwarden
