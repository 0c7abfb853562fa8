#include "host/win32/outlook.h"

#include "host/win32/commandbars.h"
#include "host/win32/events.h"

namespace host::win32 {

std::shared_ptr<host::Application> WrapApplication(ComPtr<IDispatch> application) {
  return std::make_shared<Application>(std::move(application));
}

std::shared_ptr<host::MailItem> MailItem::Copy() {
  return Wrap<MailItem>(CallMember("Copy"));
}

std::shared_ptr<host::MailItem> MailItem::Move(host::Folder& folder) {
  return Wrap<MailItem>(CallMember("Move", {Variant::Of(&ObjectOf(folder))}));
}

std::shared_ptr<host::Items> Folder::GetItems() {
  return Wrap<Items>(GetMember("Items"));
}

Subscription Items::OnItemAdd(ItemAddHandler handler) {
  // Whatever arrives comes as an Outlook item; the handler asks its Class.
  return ListenItemAdd(Object(), [handler = std::move(handler)](ComPtr<IDispatch> item) {
    handler(std::make_shared<MailItem>(std::move(item)));
  });
}

std::shared_ptr<host::Recipient> NameSpace::CurrentUser() {
  return Wrap<Recipient>(GetMember("CurrentUser"));
}

std::shared_ptr<host::Folder> NameSpace::GetDefaultFolder(int folderType) {
  return Wrap<Folder>(CallMember("GetDefaultFolder", {Variant::Of(folderType)}));
}

std::shared_ptr<host::MailItem> Inspector::CurrentItem() {
  return Wrap<MailItem>(GetMember("CurrentItem"));
}

std::shared_ptr<host::CommandBars> Inspector::GetCommandBars() {
  return Wrap<CommandBars>(GetMember("CommandBars"));
}

Subscription Inspectors::OnNewInspector(NewInspectorHandler handler) {
  return ListenNewInspector(Object(), [handler = std::move(handler)](ComPtr<IDispatch> inspector) {
    handler(std::make_shared<Inspector>(std::move(inspector)));
  });
}

std::shared_ptr<host::CommandBars> Explorer::GetCommandBars() {
  return Wrap<CommandBars>(GetMember("CommandBars"));
}

Subscription Explorer::OnClose(std::function<void()> handler) {
  return ListenExplorerClose(Object(), std::move(handler));
}

std::shared_ptr<host::Inspectors> Application::GetInspectors() {
  return Wrap<Inspectors>(GetMember("Inspectors"));
}

std::shared_ptr<host::Inspector> Application::ActiveInspector() {
  return Wrap<Inspector>(CallMember("ActiveInspector"));
}

std::shared_ptr<host::Explorer> Application::ActiveExplorer() {
  return Wrap<Explorer>(CallMember("ActiveExplorer"));
}

std::shared_ptr<host::MailItem> Application::CreateItem(int itemType) {
  return Wrap<MailItem>(CallMember("CreateItem", {Variant::Of(itemType)}));
}

std::shared_ptr<host::NameSpace> Application::GetNamespace(const std::string& type) {
  return Wrap<NameSpace>(CallMember("GetNamespace", {Variant::Of(type)}));
}

}  // namespace host::win32
