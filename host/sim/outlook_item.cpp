#include "host/sim/outlook_item.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

#include "host/error.h"
#include "host/sim/outlook_session.h"

namespace host::sim {

namespace {

constexpr std::int32_t kItemGone = static_cast<std::int32_t>(0x8004010Fu);  // MAPI_E_NOT_FOUND
constexpr std::int32_t kUnknownName = static_cast<std::int32_t>(0x80020006u);
constexpr std::int32_t kInvalidArgument = 5;

}  // namespace

// --- Address entries

SimAddress SimAddress::Smtp(std::string name, std::string address) {
  return {std::move(name), std::move(address), "SMTP", {}};
}

SimAddress SimAddress::Exchange(std::string name, std::string x500, std::string smtp) {
  return {std::move(name), std::move(x500), "EX", std::move(smtp)};
}

SimRecipient SimRecipient::Smtp(std::string name, std::string address, RecipientKind kind) {
  SimRecipient recipient;
  static_cast<SimAddress&>(recipient) = SimAddress::Smtp(std::move(name), std::move(address));
  recipient.kind = kind;
  return recipient;
}

SimRecipient SimRecipient::Exchange(std::string name, std::string x500, std::string smtp, RecipientKind kind) {
  SimRecipient recipient;
  static_cast<SimAddress&>(recipient) = SimAddress::Exchange(std::move(name), std::move(x500), std::move(smtp));
  recipient.kind = kind;
  return recipient;
}

// --- SimMailItem

SimMailItem::SimMailItem(std::weak_ptr<SimSession> session, int itemClass)
    : session_(std::move(session)), itemClass_(itemClass) {}

void SimMailItem::Guard(const std::string& op) {
  if (stale_) throw host::Error(kItemGone, "The item has been moved or deleted.");
  if (auto session = session_.lock()) session->faults->Check(op);
}

int SimMailItem::Class() {
  Guard("MailItem.Class");
  return itemClass_;
}

void SimMailItem::Save() {
  Guard("MailItem.Save");
  saved_ = Snapshot();
  everSaved_ = true;
  if (!folder_.lock()) {
    if (auto session = session_.lock()) {
      if (auto drafts = session->Folder(MailStore::kDrafts)) drafts->Add(shared_from_this());
    }
  }
}

std::shared_ptr<host::MailItem> SimMailItem::Copy() {
  Guard("MailItem.Copy");
  return CloneInto(folder_.lock());
}

std::string SimMailItem::Body() {
  Guard("MailItem.Body");
  return body_;
}

void SimMailItem::SetBody(const std::string& body) {
  Guard("MailItem.SetBody");
  body_ = body;
  html_.clear();
}

std::string SimMailItem::HTMLBody() {
  Guard("MailItem.HTMLBody");
  if (itemClass_ != host::olMail) throw host::Error(kUnknownName, "Unknown name: HTMLBody");
  return html_;
}

void SimMailItem::SetHTMLBody(const std::string& html) {
  Guard("MailItem.SetHTMLBody");
  if (itemClass_ != host::olMail) throw host::Error(kUnknownName, "Unknown name: HTMLBody");
  html_ = html;
  body_ = PlainFromHtml(html);
}

std::string SimMailItem::Subject() {
  Guard("MailItem.Subject");
  return subject_;
}

void SimMailItem::SetSubject(const std::string& subject) {
  Guard("MailItem.SetSubject");
  subject_ = subject;
}

void SimMailItem::Close(int saveMode) {
  Guard("MailItem.Close");
  if (saveMode < 0 || saveMode > 2) throw host::Error(kInvalidArgument, "Invalid procedure call or argument");
  if (saveMode == 0) {
    saved_ = Snapshot();
    everSaved_ = true;
  } else if (everSaved_) {
    Restore(saved_);
  }
  ++closeCount_;
  lastCloseMode_ = saveMode;
  if (auto session = session_.lock()) session->CloseWindowsOf(this);
}

void SimMailItem::Delete() {
  Guard("MailItem.Delete");
  auto session = session_.lock();
  auto deleted = session ? session->Folder("Deleted Items") : nullptr;
  if (!deleted) throw host::Error(kItemGone, "There is no Deleted Items folder");
  MoveInto(deleted);
}

std::shared_ptr<host::MailItem> SimMailItem::Move(host::Folder& folder) {
  Guard("MailItem.Move");
  auto* target = dynamic_cast<SimFolder*>(&folder);
  if (!target) throw host::Error(kInvalidArgument, "Not a folder of this Outlook");
  auto moved = MoveInto(target->shared_from_this());
  auto session = session_.lock();
  if (session && session->store && target->name() == MailStore::kSentItems) {
    session->store->Write(MailStore::kSentItems, moved->ToMessage());
  }
  return moved;
}

std::string SimMailItem::OutlookVersion() {
  Guard("MailItem.OutlookVersion");
  auto session = session_.lock();
  return session ? session->version : std::string();
}

std::vector<SimRecipient> SimMailItem::recipients() const {
  std::vector<SimRecipient> copies;
  for (const auto& recipient : recipients_) copies.push_back(*recipient);
  return copies;
}

void SimMailItem::AddRecipient(const SimRecipient& recipient) {
  recipients_.push_back(std::make_shared<SimRecipient>(recipient));
}

MailMessage SimMailItem::ToMessage() const {
  MailMessage message;
  for (const auto& recipient : recipients_) {
    std::string address = recipient->DeliveryAddress();
    message.recipients.push_back({recipient->name, address.empty() ? recipient->address : address, recipient->kind});
  }
  message.subject = subject_;
  message.body = body_;
  message.htmlBody = html_;
  return message;
}

std::shared_ptr<SimMailItem> SimMailItem::HandForDelivery() {
  Guard("MailItem.Send");
  if (itemClass_ != host::olMail) throw host::Error(kUnknownName, "Only a mail item can be sent");
  if (recipients_.empty()) {
    throw host::Error(kInjectedFailure,
                      "There must be at least one name or distribution list in the To, Cc, or Bcc box.");
  }
  auto session = session_.lock();
  auto outbox = session ? session->Folder(MailStore::kOutbox) : nullptr;
  if (!outbox) throw host::Error(kItemGone, "There is no Outbox folder");
  auto moved = MoveInto(outbox);
  session->handedForDelivery.push_back(moved);
  if (session->store) session->store->Write(MailStore::kOutbox, moved->ToMessage());
  // The spooler hands the message to the transport after Send has returned,
  // never inside it.
  if (session->post) {
    session->post([weak = std::weak_ptr<SimMailItem>(moved)] {
      if (auto item = weak.lock()) item->Transported();
    });
  }
  return moved;
}

void SimMailItem::Transported() {
  auto session = session_.lock();
  if (stale_ || !session) return;  // the user took it out of Outbox meanwhile
  auto sent = session->Folder(MailStore::kSentItems);
  if (session->saveSentCopies && sent) {
    // The copy is marked before it arrives, so that ItemAdd finds it so.
    auto filed = CloneInto(nullptr);
    filed->filedAfterSending_ = true;
    filed->everSaved_ = true;
    if (auto from = folder_.lock()) from->Remove(this);
    stale_ = true;
    sent->Add(filed);
  } else if (auto from = folder_.lock()) {
    from->Remove(this);
    stale_ = true;
  }
}

SimMailItem::State SimMailItem::Snapshot() const {
  return {subject_, body_, html_, recipients()};
}

void SimMailItem::Restore(const State& state) {
  subject_ = state.subject;
  body_ = state.body;
  html_ = state.html;
  recipients_.clear();
  for (const auto& recipient : state.recipients) AddRecipient(recipient);
}

std::shared_ptr<SimMailItem> SimMailItem::CloneInto(const std::shared_ptr<SimFolder>& folder) const {
  auto clone = std::make_shared<SimMailItem>(session_, itemClass_);
  clone->Restore(Snapshot());
  clone->saved_ = clone->Snapshot();
  clone->everSaved_ = folder != nullptr;
  if (folder) folder->Add(clone);
  return clone;
}

std::shared_ptr<SimMailItem> SimMailItem::MoveInto(const std::shared_ptr<SimFolder>& folder) {
  auto moved = CloneInto(folder);
  if (auto from = folder_.lock()) from->Remove(this);
  stale_ = true;
  return moved;
}

// --- SimFolder

SimFolder::SimFolder(std::weak_ptr<SimSession> session, std::string name)
    : session_(std::move(session)), name_(std::move(name)) {}

std::string SimFolder::Name() {
  if (auto session = session_.lock()) session->faults->Check("Folder.Name");
  return name_;
}

std::vector<std::string> SimFolder::Subjects() const {
  std::vector<std::string> subjects;
  for (const auto& item : items_) subjects.push_back(item->subject());
  return subjects;
}

std::shared_ptr<host::Items> SimFolder::GetItems() {
  if (auto session = session_.lock()) session->faults->Check("Folder.Items");
  return std::make_shared<SimItems>(shared_from_this());
}

void SimFolder::Add(const std::shared_ptr<SimMailItem>& item) {
  item->folder_ = weak_from_this();
  items_.push_back(item);
  if (itemAdd_.Count() == 0) return;
  auto raise = [folder = weak_from_this(), item] {
    if (auto self = folder.lock()) self->itemAdd_.Raise(item);
  };
  auto session = session_.lock();
  if (session && session->post) {
    session->post(std::move(raise));
  } else {
    raise();
  }
}

host::Subscription SimItems::OnItemAdd(ItemAddHandler handler) {
  return folder_->itemAdd_.Subscribe(
      [items = std::weak_ptr<SimItems>(shared_from_this()), handler = std::move(handler)](auto item) {
        if (items.lock()) handler(std::move(item));
      });
}

void SimFolder::Remove(const SimMailItem* item) {
  std::erase_if(items_, [item](const auto& held) { return held.get() == item; });
}

// --- Plain text from HTML

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The tag's name, lower-case, with a leading '/' for an end tag.
std::string TagName(const std::string& tag) {
  std::size_t i = 0;
  std::string name;
  if (i < tag.size() && tag[i] == '/') name += tag[i++];
  while (i < tag.size() && std::isalnum(static_cast<unsigned char>(tag[i]))) name += tag[i++];
  return Lower(name);
}

void AppendEntity(const std::string& entity, std::string& out) {
  static const std::map<std::string, std::string> named = {{"amp", "&"},   {"lt", "<"},   {"gt", ">"},
                                                           {"quot", "\""}, {"apos", "'"}, {"nbsp", " "}};
  if (auto found = named.find(Lower(entity)); found != named.end()) {
    out += found->second;
    return;
  }
  if (entity.size() > 1 && entity[0] == '#') {
    long code = entity[1] == 'x' || entity[1] == 'X' ? std::strtol(entity.c_str() + 2, nullptr, 16)
                                                     : std::strtol(entity.c_str() + 1, nullptr, 10);
    if (code > 0 && code < 256) {
      out += static_cast<char>(code);
      return;
    }
  }
  out += "&" + entity + ";";
}

// The href of an <a> tag's text (after "<"), entities decoded; "" when it has none.
std::string HrefOf(const std::string& tag) {
  const std::string lower = Lower(tag);
  std::size_t at = lower.find("href");
  while (at != std::string::npos && at > 0 && !std::isspace(static_cast<unsigned char>(lower[at - 1]))) {
    at = lower.find("href", at + 4);
  }
  if (at == std::string::npos) return "";
  std::size_t i = at + 4;
  while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i]))) ++i;
  if (i >= tag.size() || tag[i] != '=') return "";
  ++i;
  while (i < tag.size() && std::isspace(static_cast<unsigned char>(tag[i]))) ++i;
  std::string raw;
  if (i < tag.size() && (tag[i] == '"' || tag[i] == '\'')) {
    const std::size_t close = tag.find(tag[i], i + 1);
    raw = tag.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1);
  } else {
    while (i < tag.size() && !std::isspace(static_cast<unsigned char>(tag[i]))) raw += tag[i++];
  }
  std::string href;
  for (std::size_t k = 0; k < raw.size(); ++k) {
    const std::size_t semi = raw[k] == '&' ? raw.find(';', k) : std::string::npos;
    if (semi != std::string::npos && semi - k <= 10) {
      AppendEntity(raw.substr(k + 1, semi - k - 1), href);
      k = semi;
    } else {
      href += raw[k];
    }
  }
  return href;
}

}  // namespace

std::string PlainFromHtml(const std::string& html) {
  std::string out;
  // Outlook writes a link's address after its text, "Read Email <http://...>",
  // unless the text is the address itself.
  std::string href;
  std::size_t linkStart = 0;
  std::string skipUntil;  // the end tag of a head, style or script block being skipped
  for (std::size_t i = 0; i < html.size();) {
    char c = html[i];
    if (c == '<') {
      std::size_t end = html.find('>', i);
      if (end == std::string::npos) break;
      const std::string tagText = html.substr(i + 1, end - i - 1);
      std::string name = TagName(tagText);
      i = end + 1;
      if (!skipUntil.empty()) {
        if (name == skipUntil) skipUntil.clear();
        continue;
      }
      if (name == "head" || name == "style" || name == "script" || name == "title") {
        skipUntil = "/" + name;
      } else if (name == "a") {
        href = HrefOf(tagText);
        linkStart = out.size();
      } else if (name == "/a") {
        if (!href.empty() && out.substr(linkStart) != href) out += " <" + href + ">";
        href.clear();
      } else if (name == "br" || name == "/p" || name == "/div" || name == "/tr" || name == "/h1" || name == "/h2" ||
                 name == "/h3" || name == "/li") {
        out += "\r\n";
      }
      continue;
    }
    if (!skipUntil.empty()) {
      ++i;
      continue;
    }
    if (c == '&') {
      std::size_t semi = html.find(';', i);
      if (semi != std::string::npos && semi - i <= 10) {
        AppendEntity(html.substr(i + 1, semi - i - 1), out);
        i = semi + 1;
        continue;
      }
    }
    out += c;
    ++i;
  }
  return out;
}

}  // namespace host::sim
