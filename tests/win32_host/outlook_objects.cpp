// Outlook's Application, Inspectors, Inspector, Explorer, NameSpace,
// Recipient, mail items and folders, with the DISPIDs of Outlook's type library.
#include <atomic>

#include "host/error.h"
#include "host/sim/outlook_item.h"
#include "objects.h"

namespace standin {
namespace {

std::atomic<int> failedEvents{0};

template <class T>
std::shared_ptr<T> As(const std::shared_ptr<void>& target) {
  return std::static_pointer_cast<T>(target);
}

// A property that only reads.
Member Get(const wchar_t* name, DISPID id, std::function<Value(const Args&)> get) {
  return Member{name, id, nullptr, std::move(get), nullptr};
}

Member Method(const wchar_t* name, DISPID id, std::function<Value(const Args&)> method) {
  return Member{name, id, std::move(method), nullptr, nullptr};
}

Value Nothing() {
  return Value::Adopt(nullptr);
}

Value WrapRecipient(std::shared_ptr<host::Recipient> recipient) {
  if (!recipient) return Nothing();
  auto* object = NewHostObject("Recipient", OfficeIid(0x00063045), recipient);
  object->Add(Get(L"Name", 0x3001, [recipient](const Args&) { return Value::Of(recipient->Name()); }));
  object->Add(Get(L"Address", 0x3003, [recipient](const Args&) { return Value::Of(recipient->Address()); }));
  return Value::Adopt(object);
}

// An item's recipients as Outlook lists them (read-only here: the add-in
// changes recipients only through Redemption).
Value WrapRecipients(std::shared_ptr<host::sim::SimMailItem> item) {
  auto* object = NewHostObject("Recipients", OfficeIid(0x0006303B), item);
  object->Add(Get(L"Count", 0x50, [item](const Args&) {
    item->Guard("Recipients.Count");
    return Value::Of(static_cast<std::int32_t>(item->recipients().size()));
  }));
  object->Add(Method(L"Item", 0x51, [item](const Args& args) {
    item->Guard("Recipients.Item");
    auto all = item->recipients();
    std::int32_t index = args.Int(0);
    if (index < 1 || index > static_cast<std::int32_t>(all.size()))
      throw host::Error(DISP_E_BADINDEX, "Array index out of bounds.");
    const auto& entry = all[static_cast<std::size_t>(index - 1)];
    return WrapRecipient(
        std::make_shared<host::sim::SimRecipientObject>(std::weak_ptr<host::sim::SimSession>(), entry));
  }));
  return Value::Adopt(object);
}

Value WrapNameSpace(std::shared_ptr<host::NameSpace> ns) {
  auto* object = NewHostObject("NameSpace", OfficeIid(0x00063002), ns);
  object->Add(Get(L"CurrentUser", 0x2101, [ns](const Args&) { return WrapRecipient(ns->CurrentUser()); }));
  object->Add(Method(L"GetDefaultFolder", 0x210B,
                     [ns](const Args& args) { return WrapFolder(ns->GetDefaultFolder(args.Int(0))); }));
  return Value::Adopt(object);
}

Value WrapInspectors(std::shared_ptr<host::sim::SimOutlook> outlook) {
  auto inspectors = outlook->GetInspectors();
  auto* object = NewHostObject("Inspectors", OfficeIid(0x00063008), inspectors);
  object->Add(Get(L"Count", 0x50, [outlook](const Args&) {
    return Value::Of(static_cast<std::int32_t>(outlook->openInspectors().size()));
  }));
  object->Add(Method(L"Item", 0x51, [outlook](const Args& args) {
    auto open = outlook->openInspectors();
    std::int32_t index = args.Int(0);
    if (index < 1 || index > static_cast<std::int32_t>(open.size()))
      throw host::Error(DISP_E_BADINDEX, "Array index out of bounds.");
    return WrapInspector(open[static_cast<std::size_t>(index - 1)]);
  }));
  // InspectorsEvents: NewInspector(Inspector) 0xF001.
  object->AddEvents({OfficeIid(0x00063079),
                     [inspectors](HostObject&, IDispatch* sink) {
                       return inspectors->OnNewInspector([sink](std::shared_ptr<host::Inspector> inspector) {
                         Value argument = WrapInspector(std::move(inspector));
                         sink->AddRef();
                         NoteEventResult(RaiseEvent(*sink, 0xF001, {argument.get()}));
                         sink->Release();
                       });
                     },
                     true});
  return Value::Adopt(object);
}

Value WrapExplorer(std::shared_ptr<host::Explorer> explorer) {
  if (!explorer) return Nothing();
  auto* object = NewHostObject("Explorer", OfficeIid(0x00063003), explorer);
  object->Add(
      Get(L"CommandBars", 0x2100, [explorer](const Args&) { return WrapCommandBars(explorer->GetCommandBars()); }));
  object->Add(Method(L"Close", 0x2103, [explorer](const Args&) {
    explorer->Close();
    return Value();
  }));
  // ExplorerEvents: Close() 0xF008.
  object->AddEvents({OfficeIid(0x0006304F),
                     [explorer](HostObject&, IDispatch* sink) {
                       return explorer->OnClose([sink] {
                         sink->AddRef();
                         NoteEventResult(RaiseEvent(*sink, 0xF008, {}));
                         sink->Release();
                       });
                     },
                     true});
  return Value::Adopt(object);
}

}  // namespace

void NoteEventResult(HRESULT hr) {
  if (hr != S_OK) ++failedEvents;
}

int FailedEvents() {
  return failedEvents;
}

Value WrapApplication(std::shared_ptr<host::sim::SimOutlook> outlook) {
  auto* object = NewHostObject("Application", OfficeIid(0x00063001), outlook);
  object->Add(
      Method(L"ActiveExplorer", 0x111, [outlook](const Args&) { return WrapExplorer(outlook->ActiveExplorer()); }));
  object->Add(
      Method(L"ActiveInspector", 0x112, [outlook](const Args&) { return WrapInspector(outlook->ActiveInspector()); }));
  object->Add(Method(L"CreateItem", 0x10A,
                     [outlook](const Args& args) { return WrapMailItem(outlook->CreateItem(args.Int(0))); }));
  object->Add(Method(L"GetNamespace", 0x110,
                     [outlook](const Args& args) { return WrapNameSpace(outlook->GetNamespace(args.String(0))); }));
  object->Add(Get(L"Inspectors", 0x11A, [outlook](const Args&) { return WrapInspectors(outlook); }));
  object->Add(Get(L"Version", 0x116, [outlook](const Args&) { return Value::Of(outlook->outlookVersion()); }));
  return Value::Adopt(object);
}

Value WrapInspector(std::shared_ptr<host::Inspector> inspector) {
  if (!inspector) return Nothing();
  auto* object = NewHostObject("Inspector", OfficeIid(0x00063005), inspector);
  object->Add(
      Get(L"CommandBars", 0x2100, [inspector](const Args&) { return WrapCommandBars(inspector->GetCommandBars()); }));
  object->Add(Get(L"CurrentItem", 0x2102, [inspector](const Args&) { return WrapMailItem(inspector->CurrentItem()); }));
  return Value::Adopt(object);
}

Value WrapMailItem(std::shared_ptr<host::MailItem> item) {
  if (!item) return Nothing();
  auto* object = NewHostObject("MailItem", OfficeIid(0x00063034), item);
  auto text = [item](const wchar_t* name, DISPID id, std::string (host::MailItem::*read)(),
                     void (host::MailItem::*write)(const std::string&)) {
    return Member{name, id, nullptr, [item, read](const Args&) { return Value::Of(((*item).*read)()); },
                  [item, write](const Args& args) {
                    Value value;
                    if (FAILED(VariantChangeType(&value.get(), const_cast<VARIANT*>(&args.PutValue()), 0, VT_BSTR)))
                      throw ArgumentError{0, DISP_E_TYPEMISMATCH};
                    ((*item).*write)(Narrow(value.get().bstrVal, static_cast<int>(SysStringLen(value.get().bstrVal))));
                  }};
  };
  object->Add(Get(L"Class", 0xF00A, [item](const Args&) { return Value::Of(item->Class()); }));
  object->Add(text(L"Subject", 0x37, &host::MailItem::Subject, &host::MailItem::SetSubject));
  object->Add(text(L"Body", 0x9100, &host::MailItem::Body, &host::MailItem::SetBody));
  object->Add(text(L"HTMLBody", 0xF404, &host::MailItem::HTMLBody, &host::MailItem::SetHTMLBody));
  object->Add(Method(L"Save", 0xF048, [item](const Args&) {
    item->Save();
    return Value();
  }));
  object->Add(Method(L"Copy", 0xF032, [item](const Args&) { return WrapMailItem(item->Copy()); }));
  object->Add(Method(L"Close", 0xF023, [item](const Args& args) {
    item->Close(args.Int(0));
    return Value();
  }));
  object->Add(Method(L"Delete", 0xF04A, [item](const Args&) {
    item->Delete();
    return Value();
  }));
  object->Add(Method(L"Move", 0xF034, [item](const Args& args) {
    auto folder = args.Object(0).Target<host::Folder>("Folder");
    return WrapMailItem(item->Move(*folder));
  }));
  object->Add(Get(L"OutlookVersion", 0x8554, [item](const Args&) { return Value::Of(item->OutlookVersion()); }));
  object->Add(Get(L"Recipients", 0xF814, [item](const Args&) {
    auto simItem = std::dynamic_pointer_cast<host::sim::SimMailItem>(item);
    if (!simItem) throw host::Error(E_FAIL, "not a stand-in item");
    return WrapRecipients(simItem);
  }));
  // Outlook's own Send is guarded; the add-in sends through Redemption.
  object->Add(Method(L"Send", 0xF075, [](const Args&) -> Value {
    throw host::Error(static_cast<std::int32_t>(0x80040102u), "Outlook's object-model guard refused Send.");
  }));
  return Value::Adopt(object);
}

// A folder's Items, whose ItemAdd (ItemsEvents 0xF001) hands over the item
// now in the folder. Like an Office button, the Items object drops its sinks
// with its last reference: a client that lets go of it hears no more.
Value WrapItems(std::shared_ptr<host::Items> items) {
  if (!items) return Nothing();
  auto* object = NewHostObject("Items", OfficeIid(0x00063041), items);
  object->AddEvents({OfficeIid(0x00063077),
                     [items](HostObject&, IDispatch* sink) {
                       return items->OnItemAdd([sink](std::shared_ptr<host::MailItem> item) {
                         Value argument = WrapMailItem(std::move(item));
                         sink->AddRef();
                         NoteEventResult(RaiseEvent(*sink, 0xF001, {argument.get()}));
                         sink->Release();
                       });
                     },
                     false});
  return Value::Adopt(object);
}

Value WrapFolder(std::shared_ptr<host::Folder> folder) {
  if (!folder) return Nothing();
  auto* object = NewHostObject("Folder", OfficeIid(0x00063006), folder);
  object->Add(Get(L"Name", 0x3001, [folder](const Args&) { return Value::Of(folder->Name()); }));
  object->Add(Get(L"Items", 0x3100, [folder](const Args&) { return WrapItems(folder->GetItems()); }));
  return Value::Adopt(object);
}

}  // namespace standin
