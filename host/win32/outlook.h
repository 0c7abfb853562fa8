#pragma once
// Outlook's objects, reached by late binding. Each wrapper holds one
// reference to its Outlook object and releases it when the last shared_ptr goes.
#include <memory>

#include "host/outlook.h"
#include "host/win32/late_binding.h"

namespace host::win32 {

// The Application that Outlook hands to OnConnection.
std::shared_ptr<host::Application> WrapApplication(ComPtr<IDispatch> application);

class Recipient final : public host::Recipient, public LateBound {
 public:
  using LateBound::LateBound;
  std::string Name() override { return GetString("Name"); }
  std::string Address() override { return GetString("Address"); }
};

// A folder's Items. Outlook raises ItemAdd only while the Items object that
// carries the connection is held.
class Items final : public host::Items, public LateBound {
 public:
  using LateBound::LateBound;
  Subscription OnItemAdd(ItemAddHandler handler) override;
};

class Folder final : public host::Folder, public LateBound {
 public:
  using LateBound::LateBound;
  std::string Name() override { return GetString("Name"); }
  std::shared_ptr<host::Items> GetItems() override;
};

class MailItem final : public host::MailItem, public LateBound {
 public:
  using LateBound::LateBound;
  int Class() override { return GetInt("Class"); }
  void Save() override { CallMember("Save"); }
  std::shared_ptr<host::MailItem> Copy() override;
  std::string Body() override { return GetString("Body"); }
  void SetBody(const std::string& body) override { PutMember("Body", Variant::Of(body)); }
  std::string HTMLBody() override { return GetString("HTMLBody"); }
  void SetHTMLBody(const std::string& html) override { PutMember("HTMLBody", Variant::Of(html)); }
  std::string Subject() override { return GetString("Subject"); }
  void SetSubject(const std::string& subject) override { PutMember("Subject", Variant::Of(subject)); }
  void Close(int saveMode) override { CallMember("Close", {Variant::Of(saveMode)}); }
  void Delete() override { CallMember("Delete"); }
  std::shared_ptr<host::MailItem> Move(host::Folder& folder) override;
  std::string OutlookVersion() override { return GetString("OutlookVersion"); }
};

class NameSpace final : public host::NameSpace, public LateBound {
 public:
  using LateBound::LateBound;
  std::shared_ptr<host::Recipient> CurrentUser() override;
  std::shared_ptr<host::Folder> GetDefaultFolder(int folderType) override;
};

class Inspector final : public host::Inspector, public LateBound {
 public:
  using LateBound::LateBound;
  std::shared_ptr<host::MailItem> CurrentItem() override;
  std::shared_ptr<host::CommandBars> GetCommandBars() override;
};

class Inspectors final : public host::Inspectors, public LateBound {
 public:
  using LateBound::LateBound;
  Subscription OnNewInspector(NewInspectorHandler handler) override;
};

class Explorer final : public host::Explorer, public LateBound {
 public:
  using LateBound::LateBound;
  std::shared_ptr<host::CommandBars> GetCommandBars() override;
  void Close() override { CallMember("Close"); }
  Subscription OnClose(std::function<void()> handler) override;
};

class Application final : public host::Application, public LateBound {
 public:
  using LateBound::LateBound;
  std::shared_ptr<host::Inspectors> GetInspectors() override;
  std::shared_ptr<host::Inspector> ActiveInspector() override;
  std::shared_ptr<host::Explorer> ActiveExplorer() override;
  std::shared_ptr<host::MailItem> CreateItem(int itemType) override;
  std::shared_ptr<host::NameSpace> GetNamespace(const std::string& type) override;
};

// Wraps an object result, or gives null for Nothing.
template <class Wrapper>
std::shared_ptr<Wrapper> Wrap(const Variant& result) {
  ComPtr<IDispatch> object = ToObject(result.get());
  return object ? std::make_shared<Wrapper>(std::move(object)) : nullptr;
}

}  // namespace host::win32
