#include "memory_store.h"

#include <algorithm>

namespace pages_test {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool Contains(std::string_view text, std::string_view part) {
  return Lower(text).find(Lower(part)) != std::string::npos;
}

}  // namespace

store::Account MemoryStore::AddAccount(std::string_view address, int monthlyCredit, store::Time now) {
  std::lock_guard lock(mutex_);
  const std::string key = Lower(address);
  if (accounts_.count(key)) throw store::StoreError("account exists");
  store::Account account;
  account.id = nextAccount_++;
  account.address = key;
  account.monthlyCredit = monthlyCredit;
  account.created = now;
  return accounts_[key] = account;
}

std::optional<store::Account> MemoryStore::FindAccount(std::string_view address) {
  std::lock_guard lock(mutex_);
  auto found = accounts_.find(Lower(address));
  if (found == accounts_.end()) return std::nullopt;
  return found->second;
}

std::vector<store::Account> MemoryStore::ListAccounts() {
  std::lock_guard lock(mutex_);
  std::vector<store::Account> list;
  for (const auto& [key, account] : accounts_) list.push_back(account);
  return list;
}

bool MemoryStore::SetMonthlyCredit(std::string_view address, int monthlyCredit) {
  std::lock_guard lock(mutex_);
  auto found = accounts_.find(Lower(address));
  if (found == accounts_.end()) return false;
  found->second.monthlyCredit = monthlyCredit;
  return true;
}

bool MemoryStore::SetPasswordHash(std::string_view address, std::string_view hash) {
  std::lock_guard lock(mutex_);
  auto found = accounts_.find(Lower(address));
  if (found == accounts_.end()) return false;
  found->second.passwordHash = hash;
  return true;
}

bool MemoryStore::RemoveAccount(std::string_view address) {
  std::lock_guard lock(mutex_);
  return accounts_.erase(Lower(address)) > 0;
}

std::optional<int> MemoryStore::CreditLeft(std::string_view address, store::Time) {
  std::lock_guard lock(mutex_);
  auto found = accounts_.find(Lower(address));
  if (found == accounts_.end()) return std::nullopt;
  return found->second.monthlyCredit - used_[found->first];
}

store::Issued MemoryStore::IssueStamps(const store::NewMessage& message, int,
                                       const std::function<std::string()>& newStamp) {
  std::lock_guard lock(mutex_);
  store::Issued issued;
  auto account = accounts_.find(Lower(message.sender));
  if (account == accounts_.end()) {
    issued.outcome = store::IssueOutcome::kUnknownSender;
    return issued;
  }
  int& used = used_[account->first];
  if (account->second.monthlyCredit - used < static_cast<int>(message.recipients.size())) {
    issued.outcome = store::IssueOutcome::kInsufficientCredit;
    return issued;
  }
  used += static_cast<int>(message.recipients.size());
  Message kept;
  kept.view.id = nextMessage_++;
  kept.view.kind = message.kind;
  kept.view.subject = message.subject;
  kept.view.sentDate = message.sentDate;
  kept.view.sentTime = message.sentTime;
  kept.view.issued = message.issued;
  kept.view.hasContent = message.kind == store::Kind::kCertified;
  kept.accountId = account->second.id;
  kept.ip = message.ip;
  kept.fromName = message.fromName;
  kept.content = message.content;
  kept.isHtml = message.isHtml;
  for (const store::NewRecipient& recipient : message.recipients) {
    store::RecipientView view;
    view.stamp = newStamp();
    view.address = recipient.address;
    view.name = recipient.name;
    stamps_[view.stamp] = {kept.view.id, kept.view.recipients.size()};
    issued.stamps.push_back(view.stamp);
    kept.view.recipients.push_back(std::move(view));
  }
  issued.messageId = kept.view.id;
  issued.creditLeft = account->second.monthlyCredit - used;
  messages_[kept.view.id] = std::move(kept);
  return issued;
}

std::optional<store::StampInfo> MemoryStore::Info(std::string_view stamp) const {
  auto found = stamps_.find(stamp);
  if (found == stamps_.end()) return std::nullopt;
  const Message& message = messages_.at(found->second.first);
  const store::RecipientView& recipient = message.view.recipients[found->second.second];
  store::StampInfo info;
  info.stamp = recipient.stamp;
  info.messageId = message.view.id;
  info.accountId = message.accountId;
  for (const auto& [key, account] : accounts_)
    if (account.id == message.accountId) info.sender = account.address;
  info.recipient = recipient.address;
  info.recipientName = recipient.name;
  info.kind = message.view.kind;
  info.subject = message.view.subject;
  info.issued = message.view.issued;
  info.issuerIp = message.ip;
  info.cancelled = recipient.cancelled;
  return info;
}

std::optional<store::StampInfo> MemoryStore::FindStamp(std::string_view stamp) {
  std::lock_guard lock(mutex_);
  return Info(stamp);
}

void MemoryStore::Record(const store::NewEvent& event) {
  auto found = stamps_.find(event.stamp);
  if (found == stamps_.end()) return;
  auto& recipient = messages_.at(found->second.first).view.recipients[found->second.second];
  recipient.events.push_back({event.type, event.eventClass, event.time, event.ip, event.userAgent});
  if (event.type == store::EventType::kCancel) recipient.cancelled = true;
}

void MemoryStore::RecordEvents(const std::vector<store::NewEvent>& events) {
  std::lock_guard lock(mutex_);
  for (const store::NewEvent& event : events) Record(event);
}

store::Certified MemoryStore::ReadCertified(const store::NewEvent& read) {
  std::lock_guard lock(mutex_);
  store::Certified certified;
  auto info = Info(read.stamp);
  if (!info) return certified;
  certified.info = *info;
  const Message& message = messages_.at(info->messageId);
  if (info->kind != store::Kind::kCertified) {
    certified.state = store::CertifiedState::kNotCertified;
  } else if (info->cancelled) {
    certified.state = store::CertifiedState::kCancelled;
  } else {
    certified.state = store::CertifiedState::kFound;
    certified.fromName = message.fromName;
    certified.content = message.content;
    certified.isHtml = message.isHtml;
    Record(read);
  }
  return certified;
}

store::CertifiedState MemoryStore::Cancel(const store::NewEvent& cancel) {
  std::lock_guard lock(mutex_);
  auto info = Info(cancel.stamp);
  if (!info) return store::CertifiedState::kUnknown;
  if (info->kind != store::Kind::kCertified) return store::CertifiedState::kNotCertified;
  if (info->cancelled) return store::CertifiedState::kCancelled;
  Record(cancel);
  return store::CertifiedState::kFound;
}

std::vector<store::MessageView> MemoryStore::ListMessages(const store::MessageQuery& query) {
  std::lock_guard lock(mutex_);
  std::vector<store::MessageView> list;
  for (auto it = messages_.rbegin(); it != messages_.rend() && static_cast<int>(list.size()) < query.limit; ++it) {
    const Message& message = it->second;
    if (message.accountId != query.accountId) continue;
    if (query.beforeId && message.view.id >= query.beforeId) continue;
    bool match = query.search.empty() || Contains(message.view.subject, query.search);
    for (const auto& recipient : message.view.recipients)
      match = match || Contains(recipient.address, query.search) || Contains(recipient.name, query.search);
    if (match) list.push_back(message.view);
  }
  return list;
}

std::optional<store::MessageView> MemoryStore::GetMessage(std::int64_t accountId, std::int64_t messageId) {
  std::lock_guard lock(mutex_);
  auto found = messages_.find(messageId);
  if (found == messages_.end() || found->second.accountId != accountId) return std::nullopt;
  return found->second.view;
}

void MemoryStore::CreateSession(std::string_view tokenHash, const store::Session& session) {
  std::lock_guard lock(mutex_);
  sessions_[std::string(tokenHash)] = session;
}

std::optional<store::Session> MemoryStore::TouchSession(std::string_view tokenHash, store::Time idleSince,
                                                        store::Time now) {
  std::lock_guard lock(mutex_);
  auto found = sessions_.find(tokenHash);
  if (found == sessions_.end() || found->second.lastSeen < idleSince) return std::nullopt;
  found->second.lastSeen = now;
  return found->second;
}

void MemoryStore::DeleteSession(std::string_view tokenHash) {
  std::lock_guard lock(mutex_);
  sessions_.erase(std::string(tokenHash));
}

int MemoryStore::CountAttempt(std::string_view kind, std::string_view key, store::Time windowStart, store::Time now) {
  std::lock_guard lock(mutex_);
  const std::string id = std::string(kind) + "\n" + std::string(key);
  attempts_.emplace(id, now);
  const auto [first, last] = attempts_.equal_range(id);
  return static_cast<int>(std::count_if(first, last, [&](const auto& entry) { return entry.second >= windowStart; }));
}

}  // namespace pages_test
