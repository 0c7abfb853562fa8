#include "service/requests/values.h"

#include <algorithm>
#include <stdexcept>

#include "service/requests/bad_request.h"
#include "service/requests/charset.h"
#include "service/requests/recipients.h"

namespace mailwarden {
namespace {

// The fields whose text a message keeps, and in which the escapes are kept.
constexpr const char* kTextFields[] = {"subject", "toAddy", "toName", "fromName"};

}  // namespace

Values::Values(Context& context, const Form& form, const std::string& senderKey)
    : form_(form), codepage_(context.options.defaultCodepage), default_(context.options.defaultCodepage) {
  const std::string& sender = form.Required(senderKey);
  if (!sender.empty()) {
    if (auto account = context.store.FindAccount(ToUtf8(sender))) {
      codepage_ = account->codepage;
      hadAccount_ = true;
    }
  }
}

Values::Values(const Form& form, int codepage, bool twoByte)
    : form_(form), codepage_(codepage), default_(codepage), twoByte_(twoByte) {
  for (const char* key : kTextFields) {
    auto raw = form.raw.find(key);
    if (raw == form.raw.end()) continue;
    if (std::optional<Codes> codes = DecodeEscapes(raw->second, codepage_, twoByte_)) codes_.emplace(key, *codes);
  }
}

void Values::CheckHash(const std::vector<const char*>& keys) {
  const std::string& hash = form_.Required("hash");
  for (const char* key : keys) form_.Required(key);
  // The sender's page's own reading first: where the hashed fields read
  // alike both ways, it decides the rest. A single-byte Windows never writes
  // a two-byte escape, so there a tab or line break and the letters after it
  // ("%0ADear") stay what they are.
  const bool wideFirst = IsDoubleByte(codepage_);
  for (bool twoByte : {wideFirst, !wideFirst}) {
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
      if (wide && !IsDoubleByte(codepage_)) {
        codepage_ = DoubleBytePage(all);
        sure_ = false;
      }
      return;
    }
  }
  throw BadRequest("Wrong hash.", "hash");
}

std::string Values::Received() const {
  std::string received = twoByte_ ? "twoByte=1" : "twoByte=0";
  for (const char* key : kTextFields) {
    auto raw = form_.raw.find(key);
    if (raw != form_.raw.end()) received += "&" + std::string(key) + "=" + std::string(raw->second);
  }
  return received;
}

std::optional<std::string> Values::RawContent() const {
  auto raw = form_.raw.find("content");
  if (raw == form_.raw.end()) return std::nullopt;
  return std::string(raw->second);
}

std::string Values::Text(const std::string& key) const {
  auto found = codes_.find(key);
  if (found != codes_.end()) return Convert(found->second);
  std::optional<Codes> codes = DecodeEscapes(form_.raw.at(key), codepage_, twoByte_);
  return codes ? Convert(*codes) : Name(form_.Required(key));
}

std::string Values::PageBytes(const std::string& key) const {
  auto found = codes_.find(key);
  return found != codes_.end() ? CodesToBytes(found->second) : form_.Required(key);
}

std::string Values::Name(const std::string& bytes) const {
  try {
    return BytesToUtf8(bytes, codepage_);
  } catch (const std::invalid_argument&) {
    throw BadRequest("The sender's code page is not supported.", "codepage");
  }
}

std::vector<store::NewRecipient> Values::Recipients() const {
  std::vector<store::NewRecipient> recipients;
  for (const Recipient& recipient : ParseRecipients(PageBytes("toAddy"), Bytes("toName"))) {
    recipients.push_back({Name(recipient.address), Name(recipient.name)});
  }
  return recipients;
}

std::string Values::Convert(const Codes& codes) const {
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
int Values::DoubleBytePage(const Codes& codes) const {
  if (IsDoubleByte(default_)) return default_;
  return LooksJapanese(codes) ? 932 : codepage_;
}

int ReadKeptTextsAgain(store::Store& store, std::string_view address, int codepage) {
  if (!IsDoubleByte(codepage)) return 0;
  int read = 0;
  for (const store::KeptText& kept : store.KeptTexts(address)) {
    try {
      const Form form = ParseForm(kept.received + (kept.content ? "&content=" + *kept.content : std::string()));
      // The page is double-byte now: its add-in wrote its characters as two-byte escapes.
      const Values values(form, codepage, true);
      store::TextReadAgain text;
      text.subject = values.Text("subject");
      text.fromName = form.Optional("fromName") ? values.Text("fromName") : std::string();
      if (kept.content) text.content = values.Text("content");
      text.recipients = values.Recipients();
      store.RewriteText(kept.messageId, text);
      ++read;
    } catch (const BadRequest&) {
      // Escapes that were read once are read again; a message that no
      // longer reads keeps its text and its escapes.
    }
  }
  return read;
}

}  // namespace mailwarden
