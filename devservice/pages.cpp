#include "devservice/pages.h"

#include "devservice/html.h"

namespace mailwarden {
namespace {

std::string Text(const nlohmann::json& value) {
  if (value.is_string()) return HtmlEscape(value.get<std::string>());
  return HtmlEscape(value.dump());
}

std::string Row(std::initializer_list<std::string> cells, const char* tag = "td") {
  std::string row = "<tr>";
  for (const std::string& cell : cells) row += std::string("<") + tag + ">" + cell + "</" + tag + ">";
  return row + "</tr>\n";
}

std::string Sent(const StampRecord& record) {
  return "&quot;" + HtmlEscape(record.subject) + "&quot; to " + HtmlEscape(record.recipient);
}

}  // namespace

std::string Page(const std::string& title, const std::string& bodyHtml) {
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
         "</title></head>\n<body style=\"font-family: Arial, sans-serif\">\n" + bodyHtml + "\n</body></html>\n";
}

std::string TermsText() {
  return "TERMS OF USE AGREEMENT (TOUA)\r\n\r\n"
         "Mailwarden is a tracking service for e-mail. When you send a message through the Corvanta add-in, "
         "Mailwarden issues one stamp per recipient and charges one credit for each. With \"Automatic\" the "
         "message carries an invisible image, and with \"Request receipt\" a link, through which Mailwarden "
         "learns that the recipient opened the message or asked to confirm it. With \"Guaranteed\" the message "
         "itself is stored by Mailwarden until the recipient reads it or you cancel its delivery, and for no "
         "longer than 30 days. Mailwarden keeps the addresses, names, subjects and dates of the messages you "
         "track only to provide this service and shows them to no one but you. You agree not to use the service "
         "to send unsolicited or unlawful mail, and to tell your recipients that you track your messages where "
         "the law asks you to. The service is provided as it is, without warranty; Mailwarden is not liable for "
         "messages that are delayed, lost or not tracked. Credits are counted per sender and are not refunded. "
         "These terms may change; the add-in shows the current terms when it is installed.\r\n";
}

std::string HomePage() {
  return Page("Mailwarden",
              "<h1>Mailwarden</h1>\n<p>Tracking for your e-mail: know when your messages are opened, ask for "
              "read receipts, and send certified mail that is kept until it is read.</p>\n"
              "<ul><li><a href=\"/cvx/toua.txt\">Terms of use</a></li>"
              "<li><a href=\"/cvx/donation/\">Support Mailwarden</a></li>"
              "<li><a href=\"/status\">Service status</a></li></ul>");
}

std::string DonationPage() {
  return Page("Support Mailwarden",
              "<h1>Support Mailwarden</h1>\n<p>Mailwarden is free to use. If it helps you, a donation keeps "
              "it running. Thank you!</p>\n<p><a href=\"/cvx/\">Back to Mailwarden</a></p>");
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

std::string ReceiptThanksPage(const StampRecord& record) {
  return Page("Thank you",
              "<h1>Thank you</h1>\n<p>The sender has been told that you received " + Sent(record) + ".</p>");
}

std::string MessagePage(const StampRecord& record) {
  std::string head = "<p>Certified mail from &quot;" + HtmlEscape(record.fromName) + "&quot; &lt;" +
                     HtmlEscape(record.sender) + "&gt;, sent " + HtmlEscape(record.date) + " " +
                     HtmlEscape(record.time) + "</p>\n<h2>" + HtmlEscape(record.subject) + "</h2>\n<hr>\n";
  std::string content = record.isHtml ? record.content : "<pre>" + HtmlEscape(record.content) + "</pre>";
  return Page(record.subject, head + content);
}

std::string CancelConfirmPage(const StampRecord& record) {
  return Page("Delivery cancelled", "<h1>Delivery cancelled</h1>\n<p>The delivery of " + Sent(record) +
                                        " has been cancelled. The message has been deleted.</p>");
}

std::string CancelledPage(const StampRecord& record) {
  return Page("Message cancelled", "<h1>Message cancelled</h1>\n<p>The sender has cancelled the delivery of " +
                                       Sent(record) + ". It can no longer be read.</p>");
}

std::string StatusPage(const nlohmann::json& status) {
  std::string body =
      "<h1>Mailwarden status</h1>\n<h2>Credits</h2>\n<table border=\"1\">\n" + Row({"Sender", "Credit"}, "th");
  for (const auto& sender : status.at("senders")) body += Row({Text(sender.at("address")), Text(sender.at("credit"))});
  body += "</table>\n<h2>Events</h2>\n<table border=\"1\">\n" + Row({"Time", "Event", "Stamp", "Recipient"}, "th");
  for (const auto& event : status.at("events")) {
    body += Row({Text(event.at("time")), Text(event.at("type")), Text(event.at("stamp")), Text(event.at("recipient"))});
  }
  body += "</table>\n<h2>Stamps</h2>\n<table border=\"1\">\n" +
          Row({"Stamp", "Kind", "Sender", "Recipient", "Subject", "Issued"}, "th");
  for (const auto& stamp : status.at("stamps")) {
    body += Row({Text(stamp.at("stamp")), Text(stamp.at("kind")), Text(stamp.at("sender")), Text(stamp.at("recipient")),
                 Text(stamp.at("subject")), Text(stamp.at("issued"))});
  }
  return Page("Mailwarden status", body + "</table>\n<p><a href=\"/status.json\">As JSON</a></p>");
}

}  // namespace mailwarden
