#include "host/sim/redemption.h"

#include <algorithm>

#include "host/error.h"

namespace host::sim {

namespace {

constexpr std::int32_t kInvalidArgument = 5;
constexpr std::int32_t kGone = static_cast<std::int32_t>(0x8004010Fu);  // MAPI_E_NOT_FOUND

std::string Field(const SimAddress& entry, std::uint32_t propTag) {
  if (propTag == host::PR_ADDRTYPE) return entry.addressType;
  if (propTag == host::PR_SMTP_ADDRESS) return entry.smtpAddress;
  return {};
}

}  // namespace

// --- SimSafeRecipient

SimSafeRecipient::SimSafeRecipient(std::shared_ptr<SimMailItem> item, std::shared_ptr<SimRecipient> entry,
                                   std::shared_ptr<Faults> faults)
    : item_(std::move(item)), entry_(std::move(entry)), faults_(std::move(faults)) {}

void SimSafeRecipient::Guard(const std::string& op) {
  faults_->Check(op);
  auto& entries = item_->recipientEntries();
  if (std::find(entries.begin(), entries.end(), entry_) == entries.end()) {
    throw host::Error(kGone, op + ": the recipient has been deleted");
  }
}

std::string SimSafeRecipient::Name() {
  Guard("SafeRecipient.Name");
  return entry_->name;
}

std::string SimSafeRecipient::Address() {
  Guard("SafeRecipient.Address");
  return entry_->address;
}

std::string SimSafeRecipient::Fields(std::uint32_t propTag) {
  Guard("SafeRecipient.Fields");
  return Field(*entry_, propTag);
}

void SimSafeRecipient::Delete() {
  Guard("SafeRecipient.Delete");
  std::erase(item_->recipientEntries(), entry_);
}

// --- SimSafeRecipients

SimSafeRecipients::SimSafeRecipients(std::shared_ptr<SimMailItem> item, std::shared_ptr<Faults> faults)
    : item_(std::move(item)), faults_(std::move(faults)) {}

void SimSafeRecipients::Guard(const std::string& op) {
  faults_->Check(op);
  if (item_->stale()) throw host::Error(kGone, op + ": the item has been moved or deleted");
}

int SimSafeRecipients::Count() {
  Guard("SafeRecipients.Count");
  return static_cast<int>(item_->recipientEntries().size());
}

std::shared_ptr<host::SafeRecipient> SimSafeRecipients::Item(int index) {
  Guard("SafeRecipients.Item");
  auto& entries = item_->recipientEntries();
  if (index < 1 || index > static_cast<int>(entries.size())) {
    throw host::Error(kInvalidArgument, "Array index out of bounds");
  }
  return std::make_shared<SimSafeRecipient>(item_, entries[static_cast<std::size_t>(index - 1)], faults_);
}

void SimSafeRecipients::ResolveAll() {
  faults_->Check("SafeRecipients.ResolveAll");
}

// --- SimSafeMailItem

SimSafeMailItem::SimSafeMailItem(std::shared_ptr<Faults> faults) : faults_(std::move(faults)) {}

std::shared_ptr<SimMailItem> SimSafeMailItem::Wrapped(const std::string& op) {
  faults_->Check(op);
  if (!item_) throw host::Error(kInvalidArgument, op + ": Item is not set");
  return item_;
}

void SimSafeMailItem::SetItem(std::shared_ptr<host::MailItem> item) {
  faults_->Check("SafeMailItem.SetItem");
  auto simItem = std::dynamic_pointer_cast<SimMailItem>(item);
  if (item && !simItem) throw host::Error(kInvalidArgument, "Item: not an Outlook item");
  item_ = std::move(simItem);
}

std::shared_ptr<host::MailItem> SimSafeMailItem::Item() {
  faults_->Check("SafeMailItem.Item");
  return item_;
}

std::shared_ptr<host::SafeRecipients> SimSafeMailItem::Recipients() {
  auto item = Wrapped("SafeMailItem.Recipients");
  item->Guard("MailItem.Recipients");
  if (item->itemClass() != host::olMail && item->itemClass() != olAppointment) {
    throw host::Error(kInvalidArgument, "Recipients: the item has none");
  }
  return std::make_shared<SimSafeRecipients>(item, faults_);
}

void SimSafeMailItem::Send() {
  item_ = Wrapped("SafeMailItem.Send")->HandForDelivery();
}

std::string SimSafeMailItem::Body() {
  return Wrapped("SafeMailItem.Body")->Body();
}

std::string SimSafeMailItem::HTMLBody() {
  return Wrapped("SafeMailItem.HTMLBody")->HTMLBody();
}

void SimSafeMailItem::SetBody(const std::string& body) {
  Wrapped("SafeMailItem.SetBody")->SetBody(body);
}

void SimSafeMailItem::SetHTMLBody(const std::string& html) {
  Wrapped("SafeMailItem.SetHTMLBody")->SetHTMLBody(html);
}

std::string SimSafeMailItem::Subject() {
  return Wrapped("SafeMailItem.Subject")->Subject();
}

void SimSafeMailItem::SetSubject(const std::string& subject) {
  Wrapped("SafeMailItem.SetSubject")->SetSubject(subject);
}

void SimSafeMailItem::Move(host::Folder& folder) {
  auto moved = Wrapped("SafeMailItem.Move")->Move(folder);
  item_ = std::dynamic_pointer_cast<SimMailItem>(moved);
}

// --- SimSafeCurrentUser

SimSafeCurrentUser::SimSafeCurrentUser(SimAddress user, std::shared_ptr<Faults> faults)
    : user_(std::move(user)), faults_(std::move(faults)) {}

std::string SimSafeCurrentUser::Name() {
  faults_->Check("SafeCurrentUser.Name");
  return user_.name;
}

std::string SimSafeCurrentUser::Address() {
  faults_->Check("SafeCurrentUser.Address");
  return user_.address;
}

std::string SimSafeCurrentUser::Fields(std::uint32_t propTag) {
  faults_->Check("SafeCurrentUser.Fields");
  return Field(user_, propTag);
}

// --- SimMAPIUtils

SimMAPIUtils::SimMAPIUtils(std::shared_ptr<Faults> faults) : faults_(std::move(faults)) {}

void SimMAPIUtils::DeliverNow() {
  faults_->Check("MAPIUtils.DeliverNow");
}

void SimMAPIUtils::Cleanup() {
  faults_->Check("MAPIUtils.Cleanup");
}

// --- SimRedemption

SimRedemption::SimRedemption() = default;

void SimRedemption::Create(const std::string& progId) {
  faults_->Check(progId);
  if (!installed_) throw host::Error(kCannotCreateObject, "ActiveX component can't create object");
}

std::shared_ptr<host::SafeMailItem> SimRedemption::CreateSafeMailItem() {
  Create(kProgIdSafeMailItem);
  return std::make_shared<SimSafeMailItem>(faults_);
}

std::shared_ptr<host::SafeCurrentUser> SimRedemption::CreateSafeCurrentUser() {
  Create(kProgIdSafeCurrentUser);
  return std::make_shared<SimSafeCurrentUser>(currentUser_, faults_);
}

std::shared_ptr<host::MAPIUtils> SimRedemption::CreateMAPIUtils() {
  Create(kProgIdMAPIUtils);
  return std::make_shared<SimMAPIUtils>(faults_);
}

}  // namespace host::sim
