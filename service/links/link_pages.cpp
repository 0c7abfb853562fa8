#include "service/links/link_pages.h"

#include "service/links/html.h"
#include "service/pages/layout.h"

namespace mailwarden {
namespace {

std::string Subject(const store::StampInfo& stamp) {
  return "&ldquo;" + HtmlEscape(stamp.subject.empty() ? "(no subject)" : stamp.subject) + "&rdquo;";
}

std::string Sender(const store::StampInfo& stamp) {
  const std::string address = "<span class=\"who\">" + HtmlEscape(stamp.sender) + "</span>";
  return stamp.senderName.empty() ? address : HtmlEscape(stamp.senderName) + " &lt;" + address + "&gt;";
}

std::string Recipient(const store::StampInfo& stamp) {
  return "<span class=\"who\">" + HtmlEscape(stamp.recipient) + "</span>";
}

// The question, what pressing does, and the one button; a form that needs
// no script.
std::string Ask(const std::string& title, const std::string& question, const std::string& effect,
                std::string_view target, std::string_view token, const char* button) {
  return Page(title, "<section class=\"ask\"><h1>" + question + "</h1>\n<p>" + effect +
                         "</p>\n<form method=\"post\" action=\"" + HtmlEscape(target) +
                         "\"><input type=\"hidden\" name=\"token\" value=\"" + HtmlEscape(token) +
                         "\"><button type=\"submit\" class=\"primary\">" + button +
                         "</button></form>\n"
                         "<p class=\"hint\">Nothing happens unless you press the button.</p></section>");
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

std::string ReceiptAskPage(const store::StampInfo& stamp, std::string_view target, std::string_view token) {
  return Ask("Read receipt", Sender(stamp) + " asks for a read receipt",
             "For the message " + Subject(stamp) + " to " + Recipient(stamp) +
                 ". Pressing the button tells the sender that you have read it; nothing else is sent.",
             target, token, "Send a read receipt");
}

std::string ReceiptThanksPage(const store::StampInfo& stamp) {
  return Page("Thank you",
              "<h1>Thank you</h1>\n<p>" + Sender(stamp) + " has been told that you read " + Subject(stamp) + ".</p>");
}

std::string ReadAskPage(const store::StampInfo& stamp, std::string_view target, std::string_view token) {
  return Ask("Certified mail", Sender(stamp) + " sent you a certified message",
             "The message " + Subject(stamp) + " to " + Recipient(stamp) +
                 " is kept for you here. Pressing the button shows it and tells the sender that you have read it.",
             target, token, "Read the message");
}

std::string CancelAskPage(const store::StampInfo& stamp, std::string_view target, std::string_view token) {
  return Ask("Cancel delivery", "Cancel the delivery of " + Subject(stamp) + " to " + Recipient(stamp) + "?",
             "Pressing the button cancels it: the recipient can no longer read the message. This cannot be undone.",
             target, token, "Cancel the delivery");
}

}  // namespace mailwarden
