#pragma once
// The stand-in Redemption library. Its safe items work on the stand-in
// Outlook's items; Send hands the item to the mail store's "Outbox".
#include <memory>
#include <string>

#include "host/redemption.h"
#include "host/sim/outlook_faults.h"
#include "host/sim/outlook_item.h"

namespace host::sim {

// What CreateObject gives when the library is not registered.
constexpr std::int32_t kCannotCreateObject = 429;

constexpr const char* kProgIdSafeMailItem = "Redemption.SafeMailItem";
constexpr const char* kProgIdSafeCurrentUser = "Redemption.SafeCurrentUser";
constexpr const char* kProgIdMAPIUtils = "Redemption.MAPIUtils";

class SimSafeRecipient : public host::SafeRecipient {
 public:
  SimSafeRecipient(std::shared_ptr<SimMailItem> item, std::shared_ptr<SimRecipient> entry,
                   std::shared_ptr<Faults> faults);
  std::string Name() override;
  std::string Address() override;
  // PR_ADDRTYPE and PR_SMTP_ADDRESS; empty for any other tag.
  std::string Fields(std::uint32_t propTag) override;
  // Removes the recipient from its item; the later positions close up.
  void Delete() override;

 private:
  void Guard(const std::string& op);
  std::shared_ptr<SimMailItem> item_;
  std::shared_ptr<SimRecipient> entry_;
  std::shared_ptr<Faults> faults_;
};

class SimSafeRecipients : public host::SafeRecipients {
 public:
  SimSafeRecipients(std::shared_ptr<SimMailItem> item, std::shared_ptr<Faults> faults);
  int Count() override;
  std::shared_ptr<host::SafeRecipient> Item(int index) override;
  void ResolveAll() override;

 private:
  void Guard(const std::string& op);
  std::shared_ptr<SimMailItem> item_;
  std::shared_ptr<Faults> faults_;
};

class SimSafeMailItem : public host::SafeMailItem {
 public:
  explicit SimSafeMailItem(std::shared_ptr<Faults> faults);
  // Fails for an item that is not a stand-in Outlook item.
  void SetItem(std::shared_ptr<host::MailItem> item) override;
  std::shared_ptr<host::MailItem> Item() override;
  std::shared_ptr<host::SafeRecipients> Recipients() override;
  // Hands the item for delivery (the mail store's "Outbox") and takes it out
  // of Drafts; the safe item then wraps the item in Outbox.
  void Send() override;
  std::string Body() override;
  std::string HTMLBody() override;
  void SetBody(const std::string& body) override;
  void SetHTMLBody(const std::string& html) override;
  std::string Subject() override;
  void SetSubject(const std::string& subject) override;
  // Moves the wrapped item; the safe item then wraps the moved one.
  void Move(host::Folder& folder) override;

 private:
  std::shared_ptr<SimMailItem> Wrapped(const std::string& op);
  std::shared_ptr<SimMailItem> item_;
  std::shared_ptr<Faults> faults_;
};

// A snapshot of the profile's user, taken when the object is created.
class SimSafeCurrentUser : public host::SafeCurrentUser {
 public:
  SimSafeCurrentUser(SimAddress user, std::shared_ptr<Faults> faults);
  std::string Name() override;
  std::string Address() override;
  std::string Fields(std::uint32_t propTag) override;

 private:
  SimAddress user_;
  std::shared_ptr<Faults> faults_;
};

class SimMAPIUtils : public host::MAPIUtils {
 public:
  explicit SimMAPIUtils(std::shared_ptr<Faults> faults);
  void DeliverNow() override;
  void Cleanup() override;

 private:
  std::shared_ptr<Faults> faults_;
};

// Operation names for Faults (and the counts): "SafeMailItem.Send",
// "SafeMailItem.SetItem", "SafeRecipients.ResolveAll", "SafeRecipient.Delete",
// "SafeCurrentUser.Address", "MAPIUtils.DeliverNow", "MAPIUtils.Cleanup",
// and the three ProgIds for the Create calls.
class SimRedemption : public host::Redemption {
 public:
  SimRedemption();

  std::shared_ptr<host::SafeMailItem> CreateSafeMailItem() override;
  std::shared_ptr<host::SafeCurrentUser> CreateSafeCurrentUser() override;
  std::shared_ptr<host::MAPIUtils> CreateMAPIUtils() override;

  // Not installed: every Create fails with 429, as CreateObject does.
  void SetInstalled(bool installed) { installed_ = installed; }
  // The profile's user as SafeCurrentUser reads it (SMTP, "EX" with or
  // without PR_SMTP_ADDRESS, or an empty address).
  void SetCurrentUser(SimAddress user) { currentUser_ = std::move(user); }
  const SimAddress& currentUser() const { return currentUser_; }

  // Create calls by ProgId, successful or not.
  int created(const std::string& progId) const { return faults_->Calls(progId); }
  int sendCalls() const { return faults_->Calls("SafeMailItem.Send"); }
  int resolveAllCalls() const { return faults_->Calls("SafeRecipients.ResolveAll"); }
  int deliverNowCalls() const { return faults_->Calls("MAPIUtils.DeliverNow"); }
  int cleanupCalls() const { return faults_->Calls("MAPIUtils.Cleanup"); }
  Faults& faults() { return *faults_; }

 private:
  void Create(const std::string& progId);

  bool installed_ = true;
  SimAddress currentUser_;
  std::shared_ptr<Faults> faults_ = std::make_shared<Faults>();
};

}  // namespace host::sim
