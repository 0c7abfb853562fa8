#include "service/links/link_pages.h"

#include "service/links/html.h"

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

}  // namespace mailwarden
