#include "devservice/requests.h"

#include <vector>

#include "devservice/bad_request.h"
#include "devservice/charset.h"
#include "devservice/form.h"
#include "devservice/recipients.h"
#include "protocol/encoding.h"

namespace mailwarden {
namespace {

// Digits where pattern has "9", the same character elsewhere.
bool Matches(const std::string& text, std::string_view pattern) {
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    if (pattern[i] == '9' ? !digit : text[i] != pattern[i]) return false;
  }
  return true;
}

void CheckHash(const std::string& input, const std::string& hash) {
  if (!corvanta::protocol::CheckHash(input, hash)) throw BadRequest("Wrong hash.");
}

// What the stamp request and the upload share, read from the form.
struct Send {
  std::string fromAddy, toAddy, toName, subject, curDate, curTime;

  explicit Send(const Form& form)
      : fromAddy(form.Required("fromAddy")),
        toAddy(form.Required("toAddy")),
        toName(form.Required("toName")),
        subject(form.Required("subject")),
        curDate(form.Required("curDate")),
        curTime(form.Required("curTime")) {}

  // Checks what the hash does not: the sender, the date and time, the lists.
  std::vector<Recipient> Recipients() const {
    if (fromAddy.empty()) throw BadRequest("Missing sender address.");
    if (!Matches(curDate, "9999-99-99")) throw BadRequest("Malformed field curDate.");
    if (!Matches(curTime, "99:99:99")) throw BadRequest("Malformed field curTime.");
    std::vector<Recipient> recipients = ParseRecipients(toAddy, toName);
    for (Recipient& recipient : recipients) {
      recipient.address = ToUtf8(recipient.address);
      recipient.name = ToUtf8(recipient.name);
    }
    return recipients;
  }

  Letter ToLetter() const {
    Letter letter;
    letter.sender = ToUtf8(fromAddy);
    letter.subject = ToUtf8(subject);
    letter.date = curDate;
    letter.time = curTime;
    return letter;
  }
};

std::string StampsReply(const std::vector<std::string>& stamps) {
  std::string reply = "qo;";
  for (std::size_t i = 0; i < stamps.size(); ++i) reply += (i ? " " : "") + stamps[i];
  return reply;
}

template <class Handle>
std::string Answer(Handle&& handle) {
  try {
    return handle();
  } catch (const BadRequest& refused) {
    return std::string("qx;") + refused.what();
  }
}

}  // namespace

std::string CreditQuery(Service& service, std::string_view query) {
  return Answer([&] {
    Form form = ParseForm(query);
    const std::string& email = form.Required("email");
    CheckHash(email, form.Required("hash"));
    return "qo;" + std::to_string(service.Credit(ToUtf8(email)));
  });
}

std::string StampRequest(Service& service, std::string_view query) {
  return Answer([&] {
    Form form = ParseForm(query);
    Send send(form);
    CheckHash(send.fromAddy + send.toAddy + send.subject + send.curDate + send.curTime, form.Required("hash"));
    std::vector<Recipient> recipients = send.Recipients();
    return StampsReply(service.IssueStamps(send.ToLetter(), recipients));
  });
}

std::string CertifiedUpload(Service& service, std::string_view body) {
  return Answer([&] {
    Form form = ParseForm(body);
    Send send(form);
    const std::string& fromName = form.Required("fromName");
    const std::string& content = form.Required("content");
    const std::string& isHtml = form.Required("isHTML");
    CheckHash(send.fromAddy + fromName + send.toAddy + send.toName + send.subject + send.curDate + send.curTime,
              form.Required("hash"));
    if (isHtml != "0" && isHtml != "1") throw BadRequest("Malformed field isHTML.");
    std::vector<Recipient> recipients = send.Recipients();
    Letter letter = send.ToLetter();
    letter.certified = true;
    letter.fromName = ToUtf8(fromName);
    letter.content = ToUtf8(content);
    letter.isHtml = isHtml == "1";
    return StampsReply(service.IssueStamps(letter, recipients));
  });
}

}  // namespace mailwarden
