#include "host/sim/outlook.h"

#include <algorithm>

#include "host/error.h"
#include "host/sim/outlook_session.h"

namespace host::sim {

namespace {

constexpr std::int32_t kInvalidArgument = 5;
constexpr std::int32_t kObjectGone = static_cast<std::int32_t>(0x800A01A8u);

void Check(const std::weak_ptr<SimSession>& session, const std::string& op) {
  if (auto held = session.lock()) held->faults->Check(op);
}

}  // namespace

void SimSession::CloseWindowsOf(const SimMailItem* item) {
  auto windows = openInspectors;
  for (const auto& window : windows) {
    if (window->item().get() == item) window->Close();
  }
}

// --- Recipient and namespace

SimRecipientObject::SimRecipientObject(std::weak_ptr<SimSession> session, SimAddress entry)
    : session_(std::move(session)), entry_(std::move(entry)) {}

std::string SimRecipientObject::Name() {
  Check(session_, "Recipient.Name");
  return entry_.name;
}

std::string SimRecipientObject::Address() {
  Check(session_, "Recipient.Address");
  if (auto session = session_.lock()) {
    ++session->guardPrompts;
    if (session->refuseCurrentUser) {
      throw host::Error(kMapiNotSupported, "The operation failed: access to the address was refused.");
    }
  }
  return entry_.address;
}

SimNameSpace::SimNameSpace(std::weak_ptr<SimSession> session) : session_(std::move(session)) {}

std::shared_ptr<host::Recipient> SimNameSpace::CurrentUser() {
  Check(session_, "NameSpace.CurrentUser");
  auto session = session_.lock();
  if (!session) throw host::Error(kObjectGone, "Outlook is gone");
  return std::make_shared<SimRecipientObject>(session_, session->currentUser);
}

std::shared_ptr<host::Folder> SimNameSpace::GetDefaultFolder(int folderType) {
  Check(session_, "NameSpace.GetDefaultFolder");
  auto session = session_.lock();
  if (!session) throw host::Error(kObjectGone, "Outlook is gone");
  const char* name = nullptr;
  switch (folderType) {
    case olFolderDeletedItems:
      name = kDeletedItems;
      break;
    case host::olFolderOutbox:
      name = MailStore::kOutbox;
      break;
    case host::olFolderSentMail:
      name = MailStore::kSentItems;
      break;
    case olFolderInbox:
      name = kInbox;
      break;
    case host::olFolderDrafts:
      name = MailStore::kDrafts;
      break;
    default:
      throw host::Error(kInvalidArgument, "Invalid procedure call or argument");
  }
  return session->Folder(name);
}

// --- Inspector

SimInspector::SimInspector(std::weak_ptr<SimSession> session, std::shared_ptr<SimMailItem> item,
                           std::shared_ptr<SimCommandBars> bars)
    : session_(std::move(session)), item_(std::move(item)), bars_(std::move(bars)) {}

std::shared_ptr<host::MailItem> SimInspector::CurrentItem() {
  Check(session_, "Inspector.CurrentItem");
  if (!open_) throw host::Error(kObjectGone, "The window has been closed");
  return item_;
}

std::shared_ptr<host::CommandBars> SimInspector::GetCommandBars() {
  Check(session_, "Inspector.CommandBars");
  if (!open_) throw host::Error(kObjectGone, "The window has been closed");
  return bars_;
}

void SimInspector::Close() {
  if (!open_) return;
  open_ = false;
  bars_->RemoveTemporary();
  if (auto session = session_.lock()) {
    std::erase_if(session->openInspectors, [this](const auto& window) { return window.get() == this; });
  }
}

std::shared_ptr<SimPopup> SimInspector::TrackingPopup() const {
  auto standard = bars_->Bar("Standard");
  if (!standard) return nullptr;
  for (const auto& control : standard->controls()->all()) {
    if (control->caption() == "Tracking" && control->type() == host::msoControlPopup) {
      return std::dynamic_pointer_cast<SimPopup>(control);
    }
  }
  return nullptr;
}

std::shared_ptr<SimButton> SimInspector::TrackingButton(const std::string& caption) const {
  auto popup = TrackingPopup();
  if (!popup) return nullptr;
  return std::dynamic_pointer_cast<SimButton>(popup->children()->Find(caption));
}

bool SimInspector::ClickTrackingButton(const std::string& caption) {
  auto popup = TrackingPopup();
  if (!open_ || !popup || !popup->visible()) throw host::Error("No visible \"Tracking\" drop-down to click in");
  auto button = TrackingButton(caption);
  if (!button || !button->visible()) throw host::Error("No visible button \"" + caption + "\" to click");
  return button->Click();
}

int SimInspector::StandardPosition(const std::string& caption) const {
  auto standard = bars_->Bar("Standard");
  return standard ? standard->controls()->PositionOf(caption) : 0;
}

host::Subscription SimInspectors::OnNewInspector(NewInspectorHandler handler) {
  return newInspector_.Subscribe(std::move(handler));
}

// --- Explorer

SimExplorer::SimExplorer(std::weak_ptr<SimSession> session, std::shared_ptr<SimCommandBars> bars)
    : session_(std::move(session)), bars_(std::move(bars)) {}

std::shared_ptr<host::CommandBars> SimExplorer::GetCommandBars() {
  Check(session_, "Explorer.CommandBars");
  if (!open_) throw host::Error(kObjectGone, "The window has been closed");
  return bars_;
}

void SimExplorer::Close() {
  Check(session_, "Explorer.Close");
  if (auto session = session_.lock()) ++session->explorerCloseCalls;
  CloseWindow();
}

host::Subscription SimExplorer::OnClose(std::function<void()> handler) {
  return close_.Subscribe(std::move(handler));
}

void SimExplorer::UserClose() {
  CloseWindow();
}

void SimExplorer::CloseWindow() {
  if (!open_) return;
  open_ = false;
  if (auto session = session_.lock()) {
    std::erase_if(session->openExplorers, [this](const auto& window) { return window.get() == this; });
  }
  close_.Raise();
}

std::shared_ptr<SimButton> SimExplorer::SendReceiveButton() const {
  return std::dynamic_pointer_cast<SimButton>(bars_->Find(host::msoControlButton, kIdSendReceive));
}

// --- Application

SimOutlook::SimOutlook(std::string outlookVersion) : session_(std::make_shared<SimSession>()) {
  session_->version = std::move(outlookVersion);
  for (const char* name : {MailStore::kDrafts, MailStore::kOutbox, MailStore::kSentItems, kDeletedItems, kInbox}) {
    session_->folders[name] = std::make_shared<SimFolder>(session_, name);
  }
}

SimOutlook::~SimOutlook() = default;

std::shared_ptr<host::Inspectors> SimOutlook::GetInspectors() {
  session_->faults->Check("Application.Inspectors");
  return session_->inspectors;
}

std::shared_ptr<host::Inspector> SimOutlook::ActiveInspector() {
  session_->faults->Check("Application.ActiveInspector");
  return activeInspector();
}

std::shared_ptr<host::Explorer> SimOutlook::ActiveExplorer() {
  session_->faults->Check("Application.ActiveExplorer");
  return activeExplorer();
}

std::shared_ptr<host::MailItem> SimOutlook::CreateItem(int itemType) {
  session_->faults->Check("Application.CreateItem");
  if (itemType != host::olMailItem) throw host::Error(kInvalidArgument, "Invalid procedure call or argument");
  return std::make_shared<SimMailItem>(session_, host::olMail);
}

std::shared_ptr<host::NameSpace> SimOutlook::GetNamespace(const std::string& type) {
  session_->faults->Check("Application.GetNamespace");
  if (type != "MAPI") throw host::Error(kInvalidArgument, "Invalid procedure call or argument");
  return std::make_shared<SimNameSpace>(session_);
}

std::shared_ptr<SimMailItem> SimOutlook::NewMail(const std::string& subject,
                                                 const std::vector<SimRecipient>& recipients, const std::string& body,
                                                 const std::string& html) {
  auto item = NewItem(host::olMail, subject);
  for (const auto& recipient : recipients) item->AddRecipient(recipient);
  if (!html.empty()) item->SetHTMLBody(html);
  if (html.empty() || !body.empty()) item->body_ = body;
  item->Save();
  return item;
}

std::shared_ptr<SimMailItem> SimOutlook::NewItem(int itemClass, const std::string& subject) {
  auto item = std::make_shared<SimMailItem>(session_, itemClass);
  item->subject_ = subject;
  item->Save();
  return item;
}

std::shared_ptr<SimInspector> SimOutlook::OpenInspector(std::shared_ptr<SimMailItem> item, InspectorOptions options) {
  auto bars = SimCommandBars::ForInspector(session_->faults, options.withFormattingBar, options.withButton1377);
  if (options.prepareBars) options.prepareBars(*bars);
  auto inspector = std::make_shared<SimInspector>(session_, std::move(item), std::move(bars));
  session_->openInspectors.push_back(inspector);
  if (options.raiseNewInspector) RaiseNewInspector(inspector);
  return inspector;
}

void SimOutlook::RaiseNewInspector(const std::shared_ptr<SimInspector>& inspector) {
  session_->inspectors->Raise(inspector);
}

std::shared_ptr<SimInspector> SimOutlook::activeInspector() const {
  return session_->openInspectors.empty() ? nullptr : session_->openInspectors.back();
}

std::vector<std::shared_ptr<SimInspector>> SimOutlook::openInspectors() const {
  return session_->openInspectors;
}

std::size_t SimOutlook::newInspectorSubscribers() const {
  return session_->inspectors->subscribers();
}

std::shared_ptr<SimExplorer> SimOutlook::OpenExplorer() {
  auto explorer = std::make_shared<SimExplorer>(session_, SimCommandBars::ForExplorer(session_->faults));
  session_->openExplorers.push_back(explorer);
  session_->everyExplorer.push_back(explorer);
  return explorer;
}

std::shared_ptr<SimExplorer> SimOutlook::activeExplorer() const {
  return session_->openExplorers.empty() ? nullptr : session_->openExplorers.back();
}

int SimOutlook::explorerCloseCalls() const {
  return session_->explorerCloseCalls;
}

int SimOutlook::sendReceiveCount() const {
  int count = 0;
  for (const auto& explorer : session_->everyExplorer) {
    if (auto button = explorer->SendReceiveButton()) count += button->executeCount();
  }
  return count;
}

void SimOutlook::SetCurrentUser(SimAddress user) {
  session_->currentUser = std::move(user);
}

void SimOutlook::RefuseCurrentUser(bool refuse) {
  session_->refuseCurrentUser = refuse;
}

int SimOutlook::guardPrompts() const {
  return session_->guardPrompts;
}

std::shared_ptr<SimFolder> SimOutlook::folder(const std::string& name) const {
  return session_->Folder(name);
}

void SimOutlook::SetMailStore(std::shared_ptr<MailStore> store) {
  session_->store = std::move(store);
}

std::shared_ptr<MailStore> SimOutlook::mailStore() const {
  return session_->store;
}

void SimOutlook::SetEventQueue(std::function<void(std::function<void()>)> post) {
  session_->post = std::move(post);
}

void SimOutlook::SetSaveSentCopies(bool save) {
  session_->saveSentCopies = save;
}

const std::vector<std::shared_ptr<SimMailItem>>& SimOutlook::handedForDelivery() const {
  return session_->handedForDelivery;
}

Faults& SimOutlook::faults() {
  return *session_->faults;
}

const std::string& SimOutlook::outlookVersion() const {
  return session_->version;
}

}  // namespace host::sim
