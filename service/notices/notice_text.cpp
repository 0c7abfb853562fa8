#include "service/notices/notice_text.h"

#include "service/links/html.h"

namespace mailwarden::notices {
namespace {

std::string Who(const store::Delivery& event) {
  return event.recipientName.empty() ? event.recipient : event.recipientName + " <" + event.recipient + ">";
}

std::string Subject(const store::Delivery& event) {
  return event.subject.empty() ? "(no subject)" : event.subject;
}

std::string MessageLink(const store::Delivery& event, std::string_view publicUrl) {
  return std::string(publicUrl) + "/cvx/messages/" + std::to_string(event.messageId);
}

// The event in one line: "Bob <bob@example.org> opened "Figures"".
std::string Headline(const store::Delivery& event) {
  if (event.eventType == static_cast<int>(store::EventType::kCancel)) {
    return "Delivery of \"" + Subject(event) + "\" to " + Who(event) + " cancelled";
  }
  return Who(event) + " " + std::string(Deed(event.eventType)) + " \"" + Subject(event) + "\"";
}

std::string ReasonLabel(const store::Delivery& event) {
  return event.eventClass == static_cast<int>(store::EventClass::kSender) ? "Done by" : "Why a person";
}

const char* kFooter = "You get these notices for your tracked mail; choose which on your settings page: ";

}  // namespace

std::string_view Deed(int eventType) {
  switch (static_cast<store::EventType>(eventType)) {
    case store::EventType::kImage:
      return "opened";
    case store::EventType::kReceipt:
      return "confirmed receipt of";
    case store::EventType::kRead:
      return "read the certified message";
    case store::EventType::kCancel:
      return "cancelled";
    case store::EventType::kVisit:
      break;
  }
  return "visited the link of";
}

NoticeText SingleNotice(const store::Delivery& event, const TimeZone& zone, std::string_view publicUrl) {
  const std::string link = MessageLink(event, publicUrl), settings = std::string(publicUrl) + "/cvx/settings";
  const std::string when = zone.Format(event.time);
  NoticeText notice;
  notice.subject = Headline(event);
  notice.text = notice.subject + ".\n\n" +                                                       //
                "When: " + when + "\n" +                                                         //
                "Recipient: " + Who(event) + "\n" +                                              //
                "Message: " + Subject(event) + (event.certified ? " (certified)" : "") + "\n" +  //
                ReasonLabel(event) + ": " + event.reason + "\n\n" +                              //
                "The message's page: " + link + "\n\n" +                                         //
                "-- \n" + kFooter + settings + "\n";
  notice.html = "<!DOCTYPE html><html><body style=\"font-family:sans-serif\"><p><strong>" + HtmlEscape(notice.subject) +
                "</strong></p><table>" +                                                                   //
                "<tr><th align=\"left\">When</th><td>" + HtmlEscape(when) + "</td></tr>" +                 //
                "<tr><th align=\"left\">Recipient</th><td>" + HtmlEscape(Who(event)) + "</td></tr>" +      //
                "<tr><th align=\"left\">Message</th><td>" + HtmlEscape(Subject(event)) +                   //
                (event.certified ? " (certified)" : "") + "</td></tr>" +                                   //
                "<tr><th align=\"left\">" + ReasonLabel(event) + "</th><td>" + HtmlEscape(event.reason) +  //
                "</td></tr></table><p><a href=\"" + HtmlEscape(link) + "\">Open the message's page</a></p>" +
                "<p style=\"color:#666\">" + kFooter + "<a href=\"" + HtmlEscape(settings) + "\">" +
                HtmlEscape(settings) + "</a></p></body></html>";
  return notice;
}

NoticeText DigestNotice(const std::vector<store::Delivery>& events, Gathered why, const TimeZone& zone,
                        std::string_view publicUrl) {
  const std::string settings = std::string(publicUrl) + "/cvx/settings";
  const std::string count = std::to_string(events.size()) + (events.size() == 1 ? " event" : " events");
  NoticeText notice;
  std::string intro;
  switch (why) {
    case Gathered::kHourlyDigest:
      notice.subject = "Your tracked mail this hour: " + count;
      intro = "Your hourly digest of what recipients did.";
      break;
    case Gathered::kDailyDigest:
      notice.subject = "Your tracked mail today: " + count;
      intro = "Your daily digest of what recipients did.";
      break;
    case Gathered::kOverCap:
      notice.subject = "More on your tracked mail: " + count;
      intro = "More happened in the last hour than one notice each can tell; here is the rest together.";
      break;
  }
  notice.text = intro + "\n\n";
  notice.html = "<!DOCTYPE html><html><body style=\"font-family:sans-serif\"><p>" + HtmlEscape(intro) +
                "</p><table cellpadding=\"4\"><tr><th align=\"left\">When</th><th align=\"left\">What</th>"
                "<th align=\"left\">Why</th></tr>";
  for (const store::Delivery& event : events) {
    const std::string when = zone.Format(event.time), link = MessageLink(event, publicUrl);
    notice.text +=
        "* " + when + ": " + Headline(event) + "\n  " + ReasonLabel(event) + ": " + event.reason + "\n  " + link + "\n";
    notice.html += "<tr><td>" + HtmlEscape(when) + "</td><td><a href=\"" + HtmlEscape(link) + "\">" +
                   HtmlEscape(Headline(event)) + "</a></td><td>" + HtmlEscape(event.reason) + "</td></tr>";
  }
  notice.text += "\n-- \n" + std::string(kFooter) + settings + "\n";
  notice.html += "</table><p style=\"color:#666\">" + std::string(kFooter) + "<a href=\"" + HtmlEscape(settings) +
                 "\">" + HtmlEscape(settings) + "</a></p></body></html>";
  return notice;
}

}  // namespace mailwarden::notices
