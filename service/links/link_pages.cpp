#include "service/links/link_pages.h"

#include "service/links/html.h"
#include "service/pages/layout.h"

namespace mailwarden {
namespace {

std::string Sent(const store::StampInfo& stamp) {
  return "&quot;" + HtmlEscape(stamp.subject) + "&quot; to " + HtmlEscape(stamp.recipient);
}

}  // namespace

std::string Page(const std::string& title, const std::string& bodyHtml) {
  // The senders' frame and stylesheet, without their script: one look for everyone.
  return pages::Frame(title, bodyHtml, nullptr, false);
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

}  // namespace mailwarden
