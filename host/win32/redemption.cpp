#include "host/win32/redemption.h"

#include "host/win32/outlook.h"
#include "host/win32/text.h"

namespace host::win32 {

ComPtr<IDispatch> CreateObject(const std::string& progId) {
  CLSID clsid{};
  std::wstring name = Widen(progId);
  HRESULT hr = CLSIDFromProgID(name.c_str(), &clsid);
  if (FAILED(hr)) throw Error(hr, progId + ": the class is not registered");
  ComPtr<IDispatch> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch, object.put_void());
  if (FAILED(hr)) {
    std::string text = SystemMessage(static_cast<DWORD>(hr));
    throw Error(hr, progId + ": cannot create the object" + (text.empty() ? "" : ": " + text));
  }
  return object;
}

std::shared_ptr<host::SafeRecipient> SafeRecipients::Item(int index) {
  return Wrap<SafeRecipient>(GetItem(Object(), {Variant::Of(index)}));
}

void SafeMailItem::SetItem(std::shared_ptr<host::MailItem> item) {
  PutMember("Item", Variant::Of(item ? &ObjectOf(*item) : nullptr));
  item_ = std::move(item);
}

std::shared_ptr<host::MailItem> SafeMailItem::Item() {
  if (!item_) item_ = Wrap<MailItem>(GetMember("Item"));
  return item_;
}

std::shared_ptr<host::SafeRecipients> SafeMailItem::Recipients() {
  return Wrap<SafeRecipients>(GetMember("Recipients"));
}

void SafeMailItem::Move(host::Folder& folder) {
  // Outlook's Move returns the moved item, which is the one to go on with.
  SetItem(Wrapped().Move(folder));
}

host::MailItem& SafeMailItem::Wrapped() {
  auto item = Item();
  if (!item) throw Error(E_POINTER, "the safe item wraps no Outlook item");
  return *item;
}

std::shared_ptr<host::SafeMailItem> Redemption::CreateSafeMailItem() {
  return std::make_shared<SafeMailItem>(CreateObject("Redemption.SafeMailItem"));
}

std::shared_ptr<host::SafeCurrentUser> Redemption::CreateSafeCurrentUser() {
  return std::make_shared<SafeCurrentUser>(CreateObject("Redemption.SafeCurrentUser"));
}

std::shared_ptr<host::MAPIUtils> Redemption::CreateMAPIUtils() {
  return std::make_shared<MAPIUtils>(CreateObject("Redemption.MAPIUtils"));
}

}  // namespace host::win32
