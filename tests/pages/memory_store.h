#pragma once
// A store kept in memory, for testing the pages alone: what the engines
// promise (senders see only their own messages, keyset paging newest first,
// search over subject and recipients, sessions ending when idle), plainly.
#include <map>
#include <mutex>

#include "service/store/store.h"

namespace pages_test {

namespace store = mailwarden::store;

class MemoryStore : public store::Store {
 public:
  store::Account AddAccount(std::string_view address, int monthlyCredit, store::Time now) override;
  std::optional<store::Account> FindAccount(std::string_view address) override;
  std::vector<store::Account> ListAccounts() override;
  bool SetMonthlyCredit(std::string_view address, int monthlyCredit) override;
  bool SetPasswordHash(std::string_view address, std::string_view hash) override;
  bool SetCodepage(std::string_view, int) override { return true; }
  bool RemoveAccount(std::string_view address) override;
  std::optional<int> CreditLeft(std::string_view address, store::Time now) override;
  store::Issued IssueStamps(const store::NewMessage& message, int newSenderCredit,
                            const std::function<std::string()>& newStamp) override;
  std::optional<store::StampInfo> FindStamp(std::string_view stamp) override;
  void RecordEvents(const std::vector<store::NewEvent>& events) override;
  store::Certified ReadCertified(const store::NewEvent& read) override;
  store::CertifiedState Cancel(const store::NewEvent& cancel) override;
  int ExpireContent(store::Time) override { return 0; }
  int PurgeBefore(store::Time) override { return 0; }
  std::vector<store::MessageView> ListMessages(const store::MessageQuery& query) override;
  std::optional<store::MessageView> GetMessage(std::int64_t accountId, std::int64_t messageId) override;
  void CreateSession(std::string_view tokenHash, const store::Session& session) override;
  std::optional<store::Session> TouchSession(std::string_view tokenHash, store::Time idleSince,
                                             store::Time now) override;
  void DeleteSession(std::string_view tokenHash) override;
  int CountAttempt(std::string_view kind, std::string_view key, store::Time windowStart, store::Time now) override;
  bool Healthy() override { return true; }

  std::size_t SessionCount() const { return sessions_.size(); }

 private:
  struct Message {
    store::MessageView view;
    std::int64_t accountId = 0;
    std::string ip;
    std::string fromName;
    std::string content;
    bool isHtml = false;
  };
  std::optional<store::StampInfo> Info(std::string_view stamp) const;
  void Record(const store::NewEvent& event);

  std::mutex mutex_;
  std::map<std::string, store::Account> accounts_;  // by lower-case address
  std::map<std::string, int> used_;                 // credit used, by address
  std::map<std::int64_t, Message> messages_;
  std::map<std::string, std::pair<std::int64_t, std::size_t>, std::less<>> stamps_;  // message, recipient
  std::map<std::string, store::Session, std::less<>> sessions_;
  std::multimap<std::string, store::Time> attempts_;
  std::int64_t nextAccount_ = 1;
  std::int64_t nextMessage_ = 1;
};

}  // namespace pages_test
