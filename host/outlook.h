#pragma once
// The Outlook object model, as far as the add-in uses it. Members keep
// Outlook's names; a failed call throws host::Error.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/subscription.h"

namespace host {

class CommandBars;
class Folder;

constexpr int olMailItem = 0;        // CreateItem type
constexpr int olMail = 43;           // Class of a mail item
constexpr int olDiscard = 1;         // Close(SaveMode)
constexpr int olFolderSentMail = 5;  // GetDefaultFolder
constexpr int olFolderOutbox = 4;
constexpr int olFolderDrafts = 16;

// An Outlook recipient (the MAPI namespace's CurrentUser).
class Recipient {
 public:
  virtual ~Recipient() = default;
  virtual std::string Name() = 0;
  virtual std::string Address() = 0;
};

// An Outlook item. The add-in only works with mail items, but an Inspector
// may hold any kind of item: Class() tells (43 is a mail item). Members that
// the item's kind lacks throw.
class MailItem {
 public:
  virtual ~MailItem() = default;
  virtual int Class() = 0;
  virtual void Save() = 0;
  virtual std::shared_ptr<MailItem> Copy() = 0;
  virtual std::string Body() = 0;
  virtual void SetBody(const std::string& body) = 0;
  virtual std::string HTMLBody() = 0;
  virtual void SetHTMLBody(const std::string& html) = 0;
  virtual std::string Subject() = 0;
  virtual void SetSubject(const std::string& subject) = 0;
  virtual void Close(int saveMode) = 0;
  virtual void Delete() = 0;
  // Returns the moved item, which is the one to use afterwards.
  virtual std::shared_ptr<MailItem> Move(Folder& folder) = 0;
  virtual std::string OutlookVersion() = 0;
};

// A folder's items. ItemAdd comes for every item that arrives in the folder
// (moved, copied, saved or filed there by Outlook's spooler after sending),
// with that item as it now is in the folder; it comes only while this object
// is held.
class Items {
 public:
  virtual ~Items() = default;
  using ItemAddHandler = std::function<void(std::shared_ptr<MailItem>)>;
  virtual Subscription OnItemAdd(ItemAddHandler handler) = 0;
};

class Folder {
 public:
  virtual ~Folder() = default;
  virtual std::string Name() = 0;
  virtual std::shared_ptr<Items> GetItems() = 0;
};

class NameSpace {
 public:
  virtual ~NameSpace() = default;
  // May throw when the user refuses Outlook's object-model guard prompt.
  virtual std::shared_ptr<Recipient> CurrentUser() = 0;
  virtual std::shared_ptr<Folder> GetDefaultFolder(int folderType) = 0;
};

class Inspector {
 public:
  virtual ~Inspector() = default;
  virtual std::shared_ptr<MailItem> CurrentItem() = 0;
  virtual std::shared_ptr<CommandBars> GetCommandBars() = 0;
};

class Inspectors {
 public:
  virtual ~Inspectors() = default;
  using NewInspectorHandler = std::function<void(std::shared_ptr<Inspector>)>;
  virtual Subscription OnNewInspector(NewInspectorHandler handler) = 0;
};

class Explorer {
 public:
  virtual ~Explorer() = default;
  virtual std::shared_ptr<CommandBars> GetCommandBars() = 0;
  virtual void Close() = 0;
  virtual Subscription OnClose(std::function<void()> handler) = 0;
};

class Application {
 public:
  virtual ~Application() = default;
  virtual std::shared_ptr<Inspectors> GetInspectors() = 0;
  // Null when no item window is open.
  virtual std::shared_ptr<Inspector> ActiveInspector() = 0;
  // Null when no main window is open.
  virtual std::shared_ptr<Explorer> ActiveExplorer() = 0;
  virtual std::shared_ptr<MailItem> CreateItem(int itemType) = 0;
  virtual std::shared_ptr<NameSpace> GetNamespace(const std::string& type) = 0;
};

}  // namespace host
