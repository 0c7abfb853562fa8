#include "service/requests/requests.h"

#include <algorithm>
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
  if (!context.limits.Allow(kind, address, ip, context.Now())) throw BadRequest(kTooManyRequests + 3, "limit");
}

// The add-in's values read in the sender's code page (the account's
// setting; the service's default for a sender without one), after the hash
// over the fields it covers is checked. The hash is over character codes,
// so both readings of the escapes are tried whatever the setting: an escape
// that reads both as a two-byte character and as a control character
// followed by text is settled by the hash, and a sender on a double-byte
// Windows sends before anyone set the account's code page.
class Values {
 public:
  Values(Context& context, const Form& form, const std::string& senderKey)
      : form_(form), codepage_(context.options.defaultCodepage), default_(context.options.defaultCodepage) {
    const std::string& sender = form.Required(senderKey);
    if (!sender.empty()) {
      if (auto account = context.store.FindAccount(ToUtf8(sender))) {
        codepage_ = account->codepage;
        hadAccount_ = true;
      }
    }
  }

  bool HadAccount() const { return hadAccount_; }

  void CheckHash(const std::vector<const char*>& keys) {
    const std::string& hash = form_.Required("hash");
    for (const char* key : keys) form_.Required(key);
    for (bool twoByte : {true, false}) {
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
        twoByte_ = twoByte;
        bool wide = std::any_of(all.begin(), all.end(), [](int code) { return code < 0; });
        if (wide && !IsDoubleByte(codepage_)) codepage_ = DoubleBytePage(all);
        return;
      }
    }
    throw BadRequest("Wrong hash.", "hash");
  }

  // A field's text in UTF-8: hashed fields as the hash settled them, the
  // others in the same reading.
  std::string Text(const std::string& key) const {
    auto found = codes_.find(key);
    if (found != codes_.end()) return Convert(found->second);
    std::optional<Codes> codes = DecodeEscapes(form_.raw.at(key), codepage_, twoByte_);
    return codes ? Convert(*codes) : Name(form_.Required(key));
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
      throw BadRequest("The sender's code page is not supported.", "codepage");
    }
  }

 private:
  std::string Convert(const Codes& codes) const {
    if (IsDoubleByte(codepage_)) return Name(CodesToBytes(codes));
    // A two-byte character no page was found for: never bytes of another script.
    std::string text, run;
    for (int code : codes) {
      if (code >= 0) {
        run += static_cast<char>(code);
        continue;
      }
      text += Name(run) + "\xEF\xBF\xBD";
      run.clear();
    }
    return text + Name(run);
  }

  // Two-byte codes from a sender set to a single-byte page (or none): the
  // service's default when it is double-byte, else Japanese where it is
  // clearly that. Otherwise the page's own reading stands, each two-byte
  // character a replacement character.
  int DoubleBytePage(const Codes& codes) const {
    if (IsDoubleByte(default_)) return default_;
    return LooksJapanese(codes) ? 932 : codepage_;
  }

  const Form& form_;
  int codepage_;
  int default_;
  bool twoByte_ = false;
  bool hadAccount_ = false;
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

std::string Issue(Context& context, const Values& values, const store::NewMessage& message) {
  store::Issued issued = context.store.IssueStamps(message, context.options.newSenderCredit, NewStamp);
  // An account the service just made takes the organisation's code page.
  if (issued.outcome == store::IssueOutcome::kIssued && !values.HadAccount() &&
      context.options.defaultCodepage != 1252) {
    context.store.SetCodepage(message.sender, context.options.defaultCodepage);
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
    Form form = ParseForm(query);
    Values values(context, form, "email");
    values.CheckHash({"email"});
    std::string address = values.Text("email");
    if (address.empty()) throw BadRequest("Missing sender address.");
    CheckLimits(context, "credit", address, ip);
    std::optional<int> left = context.store.CreditLeft(address, context.Now());
    if (!left && context.options.newSenderCredit > 0) left = context.options.newSenderCredit;
    if (!left) throw BadRequest(kNoAccount, "unknown-sender");
    return "qo;" + std::to_string(*left < 0 ? 0 : *left);
  });
}

Answer StampRequest(Context& context, std::string_view query, std::string_view ip) {
  return Answered([&] {
    Form form = ParseForm(query);
    for (const char* key : {"fromAddy", "toAddy", "toName", "subject", "curDate", "curTime"}) form.Required(key);
    Values values(context, form, "fromAddy");
    values.CheckHash({"fromAddy", "toAddy", "subject", "curDate", "curTime"});
    store::NewMessage message = ToMessage(context, values, ip);
    CheckLimits(context, "stamp", message.sender, ip);
    return Issue(context, values, message);
  });
}

Answer CertifiedUpload(Context& context, std::string_view body, std::string_view ip) {
  return Answered([&] {
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
    return Issue(context, values, message);
  });
}

}  // namespace mailwarden
