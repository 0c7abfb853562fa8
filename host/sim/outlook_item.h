#pragma once
// Stand-in Outlook items and folders. An item that was moved, sent or
// deleted is stale, as in Outlook: its members fail, and the item object
// the move returned (or the one now in the folder) is the one to use.
#include <memory>
#include <string>
#include <vector>

#include "host/outlook.h"
#include "host/sim/mail_store.h"
#include "host/sim/outlook_events.h"

namespace host::sim {

struct SimSession;
class SimFolder;

// Item classes besides olMail (43).
constexpr int olAppointment = 26;
constexpr int olContact = 40;
constexpr int olNote = 44;

// MAPI's MAPI_E_NOT_SUPPORTED: what Outlook's guard gives when the user refuses.
constexpr std::int32_t kMapiNotSupported = static_cast<std::int32_t>(0x80040102u);

// An address entry: the item's recipients and the current users.
struct SimAddress {
  std::string name;
  std::string address;               // an X.500 address for "EX" entries
  std::string addressType = "SMTP";  // PR_ADDRTYPE
  std::string smtpAddress;           // PR_SMTP_ADDRESS; may be empty

  // Where a message to this entry goes: Address for "SMTP", else PR_SMTP_ADDRESS.
  std::string DeliveryAddress() const { return addressType == "SMTP" ? address : smtpAddress; }
  static SimAddress Smtp(std::string name, std::string address);
  // An Exchange entry: the X.500 address and the SMTP address (may be empty).
  static SimAddress Exchange(std::string name, std::string x500, std::string smtp);
};

struct SimRecipient : SimAddress {
  RecipientKind kind = RecipientKind::To;

  static SimRecipient Smtp(std::string name, std::string address, RecipientKind kind = RecipientKind::To);
  static SimRecipient Exchange(std::string name, std::string x500, std::string smtp,
                               RecipientKind kind = RecipientKind::To);
};

class SimMailItem : public host::MailItem, public std::enable_shared_from_this<SimMailItem> {
 public:
  SimMailItem(std::weak_ptr<SimSession> session, int itemClass);

  int Class() override;
  // Keeps the item's state (what Close(1) returns to) and puts an unsaved
  // item into Drafts.
  void Save() override;
  // A new, independent, saved item in the same folder with the same
  // content and recipients.
  std::shared_ptr<host::MailItem> Copy() override;
  std::string Body() override;
  // On an HTML item, setting Body makes it a plain-text item.
  void SetBody(const std::string& body) override;
  // Mail items only. Empty for an item composed as plain text.
  std::string HTMLBody() override;
  // Makes the item an HTML item; Body becomes the HTML's text.
  void SetHTMLBody(const std::string& html) override;
  std::string Subject() override;
  void SetSubject(const std::string& subject) override;
  // 0 saves, 1 discards changes since the last Save (2, the prompt, discards
  // too: nobody answers it). Closes the windows that show the item.
  void Close(int saveMode) override;
  // Moves the item to "Deleted Items".
  void Delete() override;
  // Moving into "Sent Items" also writes the item there in the mail store.
  std::shared_ptr<host::MailItem> Move(host::Folder& folder) override;
  std::string OutlookVersion() override;

  // The sim side: no failure injection, works on stale items too.
  int itemClass() const { return itemClass_; }
  const std::string& subject() const { return subject_; }
  const std::string& body() const { return body_; }
  const std::string& htmlBody() const { return html_; }
  bool isHtml() const { return !html_.empty(); }
  std::vector<SimRecipient> recipients() const;
  void AddRecipient(const SimRecipient& recipient);
  // The recipient entries themselves, shared with Redemption's safe recipients.
  std::vector<std::shared_ptr<SimRecipient>>& recipientEntries() { return recipients_; }
  std::shared_ptr<SimFolder> folder() const { return folder_.lock(); }
  bool stale() const { return stale_; }
  // Filed in Sent Items by the spooler after it was sent (not moved there by anyone).
  bool filedAfterSending() const { return filedAfterSending_; }
  bool everSaved() const { return everSaved_; }
  int closeCount() const { return closeCount_; }
  int lastCloseMode() const { return lastCloseMode_; }
  // The mail store's record when the item was written there.
  MailMessage ToMessage() const;

  // Redemption's Send: the item leaves Drafts for "Outbox" and is written to
  // the mail store's "Outbox". Fails on a non-mail item or one without
  // recipients. Returns the item now in Outbox. Later, through Outlook's
  // event queue (when it has one), the spooler hands it to the transport
  // and files it in "Sent Items" (see SimOutlook::SetEventQueue).
  std::shared_ptr<SimMailItem> HandForDelivery();
  // Fails with the stale item's error when the item was moved away.
  void Guard(const std::string& op);

 private:
  friend class SimFolder;
  friend class SimOutlook;
  struct State {
    std::string subject, body, html;
    std::vector<SimRecipient> recipients;
  };
  State Snapshot() const;
  void Restore(const State& state);
  std::shared_ptr<SimMailItem> CloneInto(const std::shared_ptr<SimFolder>& folder) const;
  std::shared_ptr<SimMailItem> MoveInto(const std::shared_ptr<SimFolder>& folder);
  // The transport took the item from Outbox: it goes to "Sent Items", or
  // away when the user keeps no copies of sent mail.
  void Transported();

  std::weak_ptr<SimSession> session_;
  int itemClass_;
  std::string subject_;
  std::string body_;
  std::string html_;
  std::vector<std::shared_ptr<SimRecipient>> recipients_;
  State saved_;
  bool everSaved_ = false;
  std::weak_ptr<SimFolder> folder_;
  bool stale_ = false;
  bool filedAfterSending_ = false;
  int closeCount_ = 0;
  int lastCloseMode_ = -1;
};

class SimFolder : public host::Folder, public std::enable_shared_from_this<SimFolder> {
 public:
  SimFolder(std::weak_ptr<SimSession> session, std::string name);
  std::string Name() override;
  std::shared_ptr<host::Items> GetItems() override;

  const std::string& name() const { return name_; }
  const std::vector<std::shared_ptr<SimMailItem>>& items() const { return items_; }
  std::size_t count() const { return items_.size(); }
  // Subjects in order, for quick assertions.
  std::vector<std::string> Subjects() const;

  // The item arrives: ItemAdd follows through Outlook's event queue, or at
  // once when it has none.
  void Add(const std::shared_ptr<SimMailItem>& item);
  void Remove(const SimMailItem* item);
  std::size_t itemAddSubscribers() const { return itemAdd_.Count(); }

 private:
  friend class SimItems;
  std::weak_ptr<SimSession> session_;
  std::string name_;
  std::vector<std::shared_ptr<SimMailItem>> items_;
  EventSource<std::shared_ptr<host::MailItem>> itemAdd_;
};

// A folder's Items. As in Outlook, its ItemAdd subscribers hear nothing more
// once the Items object itself is released.
class SimItems : public host::Items, public std::enable_shared_from_this<SimItems> {
 public:
  explicit SimItems(std::shared_ptr<SimFolder> folder) : folder_(std::move(folder)) {}
  host::Subscription OnItemAdd(ItemAddHandler handler) override;

 private:
  std::shared_ptr<SimFolder> folder_;
};

// Outlook derives a plain body from an HTML one: tags dropped, line breaks
// for <br> and block ends, the common entities decoded, a link's address
// in angle brackets after its text.
std::string PlainFromHtml(const std::string& html);

}  // namespace host::sim
