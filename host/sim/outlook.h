#pragma once
// The stand-in Outlook: an Application with its Inspectors (NewInspector is
// raised when a test or the program opens an item window), Explorers with
// their Close event, mail items in folders, and the MAPI namespace.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/outlook.h"
#include "host/sim/commandbars.h"
#include "host/sim/mail_store.h"
#include "host/sim/outlook_events.h"
#include "host/sim/outlook_faults.h"
#include "host/sim/outlook_item.h"

namespace host::sim {

constexpr int olFolderDeletedItems = 3;
constexpr int olFolderInbox = 6;

// The folders every stand-in Outlook has, by their default-folder numbers.
constexpr const char* kDeletedItems = "Deleted Items";
constexpr const char* kInbox = "Inbox";

class SimOutlook;

class SimRecipientObject : public host::Recipient {
 public:
  SimRecipientObject(std::weak_ptr<SimSession> session, SimAddress entry);
  std::string Name() override;
  // Guarded: fails with MAPI_E_NOT_SUPPORTED when the user refuses the prompt.
  std::string Address() override;

 private:
  std::weak_ptr<SimSession> session_;
  SimAddress entry_;
};

class SimNameSpace : public host::NameSpace {
 public:
  explicit SimNameSpace(std::weak_ptr<SimSession> session);
  std::shared_ptr<host::Recipient> CurrentUser() override;
  // 3 Deleted Items, 4 Outbox, 5 Sent Items, 6 Inbox, 16 Drafts; others fail.
  std::shared_ptr<host::Folder> GetDefaultFolder(int folderType) override;

 private:
  std::weak_ptr<SimSession> session_;
};

struct InspectorOptions {
  bool withButton1377 = false;
  bool withFormattingBar = true;
  // Runs on the new window's bars before NewInspector is raised (for a
  // window that already carries controls, say).
  std::function<void(SimCommandBars&)> prepareBars = {};
  // False opens the window without raising NewInspector (raise it later
  // with SimOutlook::RaiseNewInspector).
  bool raiseNewInspector = true;
};

class SimInspector : public host::Inspector, public std::enable_shared_from_this<SimInspector> {
 public:
  SimInspector(std::weak_ptr<SimSession> session, std::shared_ptr<SimMailItem> item,
               std::shared_ptr<SimCommandBars> bars);

  std::shared_ptr<host::MailItem> CurrentItem() override;
  std::shared_ptr<host::CommandBars> GetCommandBars() override;

  // The user closes the window: its temporary controls go with it, and the
  // previous open window (if any) becomes the active one.
  void Close();
  bool isOpen() const { return open_; }
  std::shared_ptr<SimMailItem> item() const { return item_; }
  std::shared_ptr<SimCommandBars> bars() const { return bars_; }

  // The "Tracking" pop-up on the "Standard" bar, or null.
  std::shared_ptr<SimPopup> TrackingPopup() const;
  // A button of that pop-up by caption, or null.
  std::shared_ptr<SimButton> TrackingButton(const std::string& caption) const;
  // The user picks a button of the "Tracking" pop-up: fails (host::Error)
  // unless the pop-up and the button are there and visible. Returns
  // CancelDefault as the subscribers left it.
  bool ClickTrackingButton(const std::string& caption);
  // 1-based position of the control captioned so on the "Standard" bar; 0 when none.
  int StandardPosition(const std::string& caption) const;

 private:
  friend class SimOutlook;
  std::weak_ptr<SimSession> session_;
  std::shared_ptr<SimMailItem> item_;
  std::shared_ptr<SimCommandBars> bars_;
  bool open_ = true;
};

class SimInspectors : public host::Inspectors {
 public:
  host::Subscription OnNewInspector(NewInspectorHandler handler) override;
  std::size_t subscribers() const { return newInspector_.Count(); }
  void Raise(const std::shared_ptr<SimInspector>& inspector) { newInspector_.Raise(inspector); }

 private:
  EventSource<std::shared_ptr<host::Inspector>> newInspector_;
};

class SimExplorer : public host::Explorer, public std::enable_shared_from_this<SimExplorer> {
 public:
  SimExplorer(std::weak_ptr<SimSession> session, std::shared_ptr<SimCommandBars> bars);

  std::shared_ptr<host::CommandBars> GetCommandBars() override;
  // Closing the main window ends Outlook: recorded, then the Close event.
  void Close() override;
  host::Subscription OnClose(std::function<void()> handler) override;

  // The user closes the main window (not recorded as the add-in's request).
  void UserClose();
  bool isOpen() const { return open_; }
  std::shared_ptr<SimCommandBars> bars() const { return bars_; }
  std::shared_ptr<SimButton> SendReceiveButton() const;
  std::size_t closeSubscribers() const { return close_.Count(); }

 private:
  void CloseWindow();

  std::weak_ptr<SimSession> session_;
  std::shared_ptr<SimCommandBars> bars_;
  EventSource<> close_;
  bool open_ = true;
};

class SimOutlook : public host::Application {
 public:
  // outlookVersion is what every item's OutlookVersion gives: "9.0" for
  // Outlook 2000, "10.0" for 2002, or anything else.
  explicit SimOutlook(std::string outlookVersion = "9.0");
  ~SimOutlook() override;

  std::shared_ptr<host::Inspectors> GetInspectors() override;
  std::shared_ptr<host::Inspector> ActiveInspector() override;
  std::shared_ptr<host::Explorer> ActiveExplorer() override;
  // 0 (a mail item) only; the item is unsaved until Save.
  std::shared_ptr<host::MailItem> CreateItem(int itemType) override;
  // "MAPI" only; other names fail.
  std::shared_ptr<host::NameSpace> GetNamespace(const std::string& type) override;

  // --- The sim side: set-up and inspection, no failure injection.

  // A composed message saved in Drafts; a non-empty html makes it an HTML
  // message (with body as its plain text, or the HTML's text when body is empty).
  std::shared_ptr<SimMailItem> NewMail(const std::string& subject, const std::vector<SimRecipient>& recipients,
                                       const std::string& body, const std::string& html = {});
  // Another kind of item (olContact, olAppointment, ...), saved in Drafts.
  std::shared_ptr<SimMailItem> NewItem(int itemClass, const std::string& subject = {});

  // Opens an item window: builds its bars, makes it the active Inspector,
  // then raises NewInspector to every subscriber.
  std::shared_ptr<SimInspector> OpenInspector(std::shared_ptr<SimMailItem> item, InspectorOptions options = {});
  void RaiseNewInspector(const std::shared_ptr<SimInspector>& inspector);
  std::shared_ptr<SimInspector> activeInspector() const;
  std::vector<std::shared_ptr<SimInspector>> openInspectors() const;
  std::size_t newInspectorSubscribers() const;

  // Opens the main window and makes it the active Explorer.
  std::shared_ptr<SimExplorer> OpenExplorer();
  std::shared_ptr<SimExplorer> activeExplorer() const;
  // How often the add-in closed the main window (asked Outlook to end).
  int explorerCloseCalls() const;
  // How often Send/Receive (5488) ran, over every main window.
  int sendReceiveCount() const;

  // The namespace's CurrentUser; refusing makes reading its address fail as
  // Outlook's guard does when the user says no.
  void SetCurrentUser(SimAddress user);
  void RefuseCurrentUser(bool refuse);
  int guardPrompts() const;

  // "Drafts", "Outbox", "Sent Items", "Deleted Items", "Inbox"; null for others.
  std::shared_ptr<SimFolder> folder(const std::string& name) const;
  // Messages sent through Redemption and items moved to Sent Items are
  // written to this store as well.
  void SetMailStore(std::shared_ptr<MailStore> store);
  std::shared_ptr<MailStore> mailStore() const;

  // Outlook's work that follows later on its own thread: the spooler taking
  // each sent message from Outbox and filing it in Sent Items, and the
  // folders' ItemAdd events. post queues such work on the add-in's thread
  // (the desktop's window messages); without one, sent messages stay in
  // Outbox and ItemAdd comes at once.
  void SetEventQueue(std::function<void(std::function<void()>)> post);
  // Outlook's option "Save copies of messages in Sent Items" (on by default).
  void SetSaveSentCopies(bool save);
  // Every item handed for delivery, as it went into Outbox, oldest first
  // (stale once the spooler took it, still readable).
  const std::vector<std::shared_ptr<SimMailItem>>& handedForDelivery() const;

  // Failure injection for Outlook's and the command bars' members.
  Faults& faults();
  const std::string& outlookVersion() const;

 private:
  std::shared_ptr<SimSession> session_;
};

}  // namespace host::sim
