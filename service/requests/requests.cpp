#include "service/requests/requests.h"

#include <optional>
#include <string>

#include "service/requests/bad_request.h"
#include "service/requests/form.h"
#include "service/requests/recipients.h"
#include "service/requests/signature_check.h"
#include "service/requests/values.h"

namespace mailwarden {
namespace {

constexpr const char* kNoAccount = "No account for this sender address.";

// Digits where pattern has "9", the same character elsewhere.
bool Matches(const std::string& text, std::string_view pattern) {
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    if (pattern[i] == '9' ? !digit : text[i] != pattern[i]) return false;
  }
  return true;
}

// No e-mail address is longer (RFC 5321's path limit).
constexpr std::size_t kLongestAddress = 254;

// The add-in's whole stamp request is at most 2,000 characters: a longer
// recipient list is no add-in's.
constexpr std::size_t kLongestStampList = 2000;

// The sender's address read and counted against the limits, before anything
// that costs more than reading the fields (the pairing of the recipients).
std::string CountedSender(Context& context, const char* kind, const std::string& address, std::string_view ip) {
  if (address.empty()) throw BadRequest("Missing sender address.");
  if (address.size() > kLongestAddress) throw BadRequest("The sender address is too long.", "address");
  if (!context.limits.Allow(kind, address, ip, context.Now())) throw BadRequest(kTooManyRequests + 3, "limit");
  return address;
}

// What the stamp request and the upload share: the message as the store takes it.
store::NewMessage ToMessage(Context& context, const Values& values, std::string_view ip) {
  const std::string& curDate = values.Bytes("curDate");
  const std::string& curTime = values.Bytes("curTime");
  store::NewMessage message;
  message.sender = values.Text("fromAddy");
  if (message.sender.empty()) throw BadRequest("Missing sender address.");
  if (!Matches(curDate, "9999-99-99")) throw BadRequest("Malformed field curDate.");
  if (!Matches(curTime, "99:99:99")) throw BadRequest("Malformed field curTime.");
  message.recipients = values.Recipients();
  message.subject = values.Text("subject");
  message.sentDate = curDate;
  message.sentTime = curTime;
  message.issued = context.Now();
  message.ip = std::string(ip);
  return message;
}

std::string Issue(Context& context, const Values& values, const store::NewMessage& message) {
  store::Issued issued = context.store.IssueStamps(message, context.options.newSenderCredit, NewStamp);
  // An account the service just made takes the organisation's code page.
  if (issued.outcome == store::IssueOutcome::kIssued && !values.HadAccount() &&
      context.options.defaultCodepage != 1252) {
    context.store.SetCodepage(message.sender, context.options.defaultCodepage);
  }
  // Text read in no code page set for the sender keeps its escapes beside it.
  if (issued.outcome == store::IssueOutcome::kIssued && !values.Sure()) {
    const std::optional<std::string> content = values.RawContent();
    context.store.KeepReceived(issued.messageId, values.Received(),
                               content ? std::optional<std::string_view>(*content) : std::nullopt);
  }
  switch (issued.outcome) {
    case store::IssueOutcome::kUnknownSender:
      throw BadRequest(kNoAccount, "unknown-sender");
    case store::IssueOutcome::kInsufficientCredit:
      throw BadRequest("Insufficient credit.", "credit");
    case store::IssueOutcome::kIssued:
      break;
  }
  std::string reply = "qo;";
  for (std::size_t i = 0; i < issued.stamps.size(); ++i) reply += (i ? " " : "") + issued.stamps[i];
  return reply;
}

template <class Handle>
Answer Answered(Handle&& handle) {
  try {
    return {handle(), {}};
  } catch (const BadRequest& refused) {
    return {std::string("qx;") + refused.what(), refused.refusal()};
  }
}

}  // namespace

Answer CreditQuery(Context& context, std::string_view query, std::string_view ip) {
  return Answered([&] {
    const SignedText request = TakeSignature(query);
    Form form = ParseForm(request.text);
    Values values(context, form, "email");
    values.CheckHash({"email"});
    const std::string address = CountedSender(context, "credit", values.Text("email"), ip);
    CheckSender(context, address, request);
    std::optional<int> left = context.store.CreditLeft(address, context.Now());
    if (!left && context.options.newSenderCredit > 0) left = context.options.newSenderCredit;
    if (!left) throw BadRequest(kNoAccount, "unknown-sender");
    return "qo;" + std::to_string(*left < 0 ? 0 : *left);
  });
}

Answer StampRequest(Context& context, std::string_view query, std::string_view ip) {
  return Answered([&] {
    const SignedText request = TakeSignature(query);
    Form form = ParseForm(request.text);
    for (const char* key : {"fromAddy", "toAddy", "toName", "subject", "curDate", "curTime"}) form.Required(key);
    CheckListSizes(form.Required("toAddy"), form.Required("toName"), kLongestStampList);
    Values values(context, form, "fromAddy");
    values.CheckHash({"fromAddy", "toAddy", "subject", "curDate", "curTime"});
    // Counted and signed before the recipients are paired, the costly part.
    CheckSender(context, CountedSender(context, "stamp", values.Text("fromAddy"), ip), request);
    store::NewMessage message = ToMessage(context, values, ip);
    return Issue(context, values, message);
  });
}

Answer CertifiedUpload(Context& context, std::string_view body, std::string_view ip) {
  return Answered([&] {
    const SignedText request = TakeSignature(body);
    Form form = ParseForm(request.text);
    for (const char* key :
         {"fromAddy", "toAddy", "toName", "subject", "curDate", "curTime", "fromName", "content", "isHTML"}) {
      form.Required(key);
    }
    // The body's own cap bounds the lists' bytes; their count is bounded here.
    CheckListSizes(form.Required("toAddy"), form.Required("toName"), request.text.size());
    Values values(context, form, "fromAddy");
    values.CheckHash({"fromAddy", "fromName", "toAddy", "toName", "subject", "curDate", "curTime"});
    const std::string& isHtml = values.Bytes("isHTML");
    if (isHtml != "0" && isHtml != "1") throw BadRequest("Malformed field isHTML.");
    // Counted and signed before the recipients are paired, the costly part.
    CheckSender(context, CountedSender(context, "upload", values.Text("fromAddy"), ip), request);
    store::NewMessage message = ToMessage(context, values, ip);
    message.kind = store::Kind::kCertified;
    message.fromName = values.Text("fromName");
    message.content = values.Text("content");
    message.isHtml = isHtml == "1";
    return Issue(context, values, message);
  });
}

}  // namespace mailwarden
