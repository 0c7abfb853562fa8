#include "service/requests/requests.h"

#include <map>
#include <stdexcept>
#include <vector>

#include "service/requests/bad_request.h"
#include "service/requests/charset.h"
#include "service/requests/codepage.h"
#include "service/requests/form.h"
#include "service/requests/recipients.h"

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

void CheckLimits(Context& context, const char* kind, std::string_view address, std::string_view ip) {
  if (!context.limits.Allow(kind, address, ip, context.Now())) throw BadRequest(kTooManyRequests + 3);
}

// The add-in's values read in the sender's code page (the account's
// setting; 1252 for a sender without one), after the hash over the fields
// it covers is checked. On a double-byte code page an escape that reads
// both as a two-byte character and as a control character followed by
// text is settled by the hash.
class Values {
 public:
  Values(Context& context, const Form& form, const std::string& senderKey) : form_(form) {
    const std::string& sender = form.Required(senderKey);
    if (!sender.empty()) {
      if (auto account = context.store.FindAccount(ToUtf8(sender))) codepage_ = account->codepage;
    }
  }

  void CheckHash(const std::vector<const char*>& keys) {
    const std::string& hash = form_.Required("hash");
    for (const char* key : keys) form_.Required(key);
    for (bool twoByte : {true, false}) {
      if (twoByte && !IsDoubleByte(codepage_)) continue;
      Codes all;
      std::map<std::string, Codes> read;
      for (const char* key : keys) {
        std::optional<Codes> codes = DecodeEscapes(form_.raw.at(key), codepage_, twoByte);
        if (!codes) throw BadRequest(std::string("Malformed field ") + key + ".");
        all.insert(all.end(), codes->begin(), codes->end());
        read.emplace(key, std::move(*codes));
      }
      if (CheckHashOfCodes(all, hash)) {
        codes_ = std::move(read);
        return;
      }
    }
    throw BadRequest("Wrong hash.");
  }

  // A field's text in UTF-8: hashed fields as the hash settled them.
  std::string Text(const std::string& key) const {
    auto found = codes_.find(key);
    if (found != codes_.end()) return Convert(found->second);
    return BytesToUtf8(form_.Required(key), codepage_);
  }
  // The field byte by byte, for fields that are plain ASCII by their form.
  const std::string& Bytes(const std::string& key) const { return form_.Required(key); }
  // The field's bytes in the sender's code page, as the hash settled them.
  std::string PageBytes(const std::string& key) const {
    auto found = codes_.find(key);
    return found != codes_.end() ? CodesToBytes(found->second) : form_.Required(key);
  }
  std::string Name(const std::string& bytes) const {
    try {
      return BytesToUtf8(bytes, codepage_);
    } catch (const std::invalid_argument&) {
      throw BadRequest("The sender's code page is not supported.");
    }
  }

 private:
  std::string Convert(const Codes& codes) const { return Name(CodesToBytes(codes)); }

  const Form& form_;
  int codepage_ = 1252;
  std::map<std::string, Codes> codes_;
};

// What the stamp request and the upload share: the message as the store takes it.
store::NewMessage ToMessage(Context& context, const Values& values, std::string_view ip) {
  const std::string& curDate = values.Bytes("curDate");
  const std::string& curTime = values.Bytes("curTime");
  store::NewMessage message;
  message.sender = values.Text("fromAddy");
  if (message.sender.empty()) throw BadRequest("Missing sender address.");
  if (!Matches(curDate, "9999-99-99")) throw BadRequest("Malformed field curDate.");
  if (!Matches(curTime, "99:99:99")) throw BadRequest("Malformed field curTime.");
  // Paired in the code page's bytes, each piece then read alone, as the add-in wrote it.
  for (const Recipient& recipient : ParseRecipients(values.PageBytes("toAddy"), values.Bytes("toName"))) {
    message.recipients.push_back({values.Name(recipient.address), values.Name(recipient.name)});
  }
  message.subject = values.Text("subject");
  message.sentDate = curDate;
  message.sentTime = curTime;
  message.issued = context.Now();
  message.ip = std::string(ip);
  return message;
}

std::string Issue(Context& context, const store::NewMessage& message) {
  store::Issued issued = context.store.IssueStamps(message, context.options.newSenderCredit, NewStamp);
  switch (issued.outcome) {
    case store::IssueOutcome::kUnknownSender:
      throw BadRequest(kNoAccount);
    case store::IssueOutcome::kInsufficientCredit:
      throw BadRequest("Insufficient credit.");
    case store::IssueOutcome::kIssued:
      break;
  }
  std::string reply = "qo;";
  for (std::size_t i = 0; i < issued.stamps.size(); ++i) reply += (i ? " " : "") + issued.stamps[i];
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

std::string CreditQuery(Context& context, std::string_view query, std::string_view ip) {
  return Answer([&] {
    Form form = ParseForm(query);
    Values values(context, form, "email");
    values.CheckHash({"email"});
    std::string address = values.Text("email");
    if (address.empty()) throw BadRequest("Missing sender address.");
    CheckLimits(context, "credit", address, ip);
    std::optional<int> left = context.store.CreditLeft(address, context.Now());
    if (!left && context.options.newSenderCredit > 0) left = context.options.newSenderCredit;
    if (!left) throw BadRequest(kNoAccount);
    return "qo;" + std::to_string(*left < 0 ? 0 : *left);
  });
}

std::string StampRequest(Context& context, std::string_view query, std::string_view ip) {
  return Answer([&] {
    Form form = ParseForm(query);
    for (const char* key : {"fromAddy", "toAddy", "toName", "subject", "curDate", "curTime"}) form.Required(key);
    Values values(context, form, "fromAddy");
    values.CheckHash({"fromAddy", "toAddy", "subject", "curDate", "curTime"});
    store::NewMessage message = ToMessage(context, values, ip);
    CheckLimits(context, "stamp", message.sender, ip);
    return Issue(context, message);
  });
}

std::string CertifiedUpload(Context& context, std::string_view body, std::string_view ip) {
  return Answer([&] {
    Form form = ParseForm(body);
    for (const char* key :
         {"fromAddy", "toAddy", "toName", "subject", "curDate", "curTime", "fromName", "content", "isHTML"}) {
      form.Required(key);
    }
    Values values(context, form, "fromAddy");
    values.CheckHash({"fromAddy", "fromName", "toAddy", "toName", "subject", "curDate", "curTime"});
    const std::string& isHtml = values.Bytes("isHTML");
    if (isHtml != "0" && isHtml != "1") throw BadRequest("Malformed field isHTML.");
    store::NewMessage message = ToMessage(context, values, ip);
    CheckLimits(context, "upload", message.sender, ip);
    message.kind = store::Kind::kCertified;
    message.fromName = values.Text("fromName");
    message.content = values.Text("content");
    message.isHtml = isHtml == "1";
    return Issue(context, message);
  });
}

}  // namespace mailwarden
