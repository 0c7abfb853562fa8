// Redemption's safe objects over the stand-in Redemption, and the class
// objects that make them reachable by ProgID for the add-in's CoCreateInstance.
#include "redemption_objects.h"

#include <cstdio>
#include <mutex>

#include "host/error.h"
#include "objects.h"

namespace standin {
namespace {

std::function<void(host::SafeMailItem&)>& BeforeSend() {
  static std::function<void(host::SafeMailItem&)> observer;
  return observer;
}

Value Nothing() {
  return Value::Adopt(nullptr);
}

Member Method(const wchar_t* name, DISPID id, std::function<Value(const Args&)> method) {
  return Member{name, id, std::move(method), nullptr, nullptr};
}
Member Get(const wchar_t* name, DISPID id, std::function<Value(const Args&)> get) {
  return Member{name, id, nullptr, std::move(get), nullptr};
}

template <class Entry>
void AddAddressMembers(HostObject& object, std::shared_ptr<Entry> entry, DISPID fieldsId) {
  object.Add(Get(L"Name", 0x3001, [entry](const Args&) { return Value::Of(entry->Name()); }));
  object.Add(Get(L"Address", 0x3003, [entry](const Args&) { return Value::Of(entry->Address()); }));
  object.Add(Get(L"Fields", fieldsId, [entry](const Args& args) {
    return Value::Of(entry->Fields(static_cast<std::uint32_t>(args.Int(0))));
  }));
}

Value WrapSafeRecipient(std::shared_ptr<host::SafeRecipient> recipient) {
  if (!recipient) return Nothing();
  auto* object = NewHostObject(
      "SafeRecipient", {0x5C61669E, 0xF0CE, 0x4126, {0xB3, 0x65, 0x31, 0x65, 0x88, 0xE6, 0x22, 0x8F}}, recipient);
  AddAddressMembers(*object, recipient, 1);
  object->Add(Method(L"Delete", 0x6E, [recipient](const Args&) {
    recipient->Delete();
    return Value();
  }));
  return Value::Adopt(object);
}

Value WrapSafeRecipients(std::shared_ptr<host::SafeRecipients> recipients) {
  if (!recipients) return Nothing();
  auto* object = NewHostObject(
      "SafeRecipients", {0xCACB61E0, 0xAEEA, 0x404D, {0x88, 0xE1, 0x7F, 0x3B, 0xCA, 0x8B, 0x87, 0x26}}, recipients);
  object->Add(Get(L"Count", 0x50, [recipients](const Args&) { return Value::Of(recipients->Count()); }));
  auto item = [recipients](const Args& args) { return WrapSafeRecipient(recipients->Item(args.Int(0))); };
  object->Add(Member{L"Item", 0x51, item, item, nullptr});
  object->Add(Method(L"ResolveAll", 0x7E, [recipients](const Args&) {
    recipients->ResolveAll();
    return Value::Bool(true);
  }));
  return Value::Adopt(object);
}

constexpr CLSID kSafeMailItem = {0x741BEEFD, 0xAEC0, 0x4AFF, {0x84, 0xAF, 0x4F, 0x61, 0xD1, 0x5F, 0x55, 0x26}};
constexpr CLSID kSafeCurrentUser = {0x7ED1E9B1, 0xCB57, 0x4FA0, {0x84, 0xE8, 0xFA, 0xE6, 0x53, 0xFE, 0x8E, 0x6B}};
constexpr CLSID kMAPIUtils = {0x4A5E947E, 0xC407, 0x4DCC, {0xA0, 0xB5, 0x56, 0x58, 0xE4, 0x57, 0x15, 0x3B}};

class ClassObject final : public IClassFactory {
 public:
  using Make = std::function<Value()>;
  explicit ClassObject(Make make) : make_(std::move(make)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG count = --references_;
    if (count == 0) delete this;
    return count;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      Value made = make_();
      if (made.get().vt != VT_DISPATCH || !made.get().pdispVal) return E_FAIL;
      return made.get().pdispVal->QueryInterface(iid, object);
    } catch (const host::Error& error) {
      return error.code() < 0 ? error.code() : E_FAIL;
    } catch (...) {
      return E_FAIL;
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  ~ClassObject() = default;
  std::atomic<ULONG> references_{1};
  Make make_;
};

struct Registered {
  const char* progId;
  const char* clsidText;
  CLSID clsid;
};

const Registered kClasses[] = {
    {"Redemption.SafeMailItem", "{741BEEFD-AEC0-4AFF-84AF-4F61D15F5526}", kSafeMailItem},
    {"Redemption.SafeCurrentUser", "{7ED1E9B1-CB57-4FA0-84E8-FAE653FE8E6B}", kSafeCurrentUser},
    {"Redemption.MAPIUtils", "{4A5E947E-C407-4DCC-A0B5-5658E457153B}", kMAPIUtils},
};

std::string ClassesKey(const char* progId) {
  return std::string("Software\\Classes\\") + progId;
}

LONG DeleteKey(const std::string& path) {
  // The ProgID key holds only its CLSID key.
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (path + "\\CLSID").c_str());
  return RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
}

}  // namespace

void SetBeforeSend(std::function<void(host::SafeMailItem&)> observer) {
  BeforeSend() = std::move(observer);
}

Value WrapSafeMailItem(std::shared_ptr<host::SafeMailItem> item) {
  if (!item) return Nothing();
  auto* object = NewHostObject("SafeMailItem", kSafeMailItem, item);
  // Item: the Outlook item it wraps; written as a property (put or putref).
  object->Add(Member{L"Item", static_cast<DISPID>(0xBADBAE), nullptr,
                     [item](const Args&) { return WrapMailItem(item->Item()); },
                     [item](const Args& args) {
                       const VARIANT& value = args.PutValue();
                       IUnknown* unknown = value.vt == VT_DISPATCH ? value.pdispVal : nullptr;
                       if (!unknown) throw ArgumentError{0, DISP_E_TYPEMISMATCH};
                       // Only our own mail items can be wrapped, as Redemption only wraps Outlook's.
                       DISPPARAMS params{const_cast<VARIANT*>(&value), nullptr, 1, 0};
                       Args one(params, false);
                       item->SetItem(one.Object(0).Target<host::MailItem>("MailItem"));
                     }});
  object->Add(Get(L"Recipients", 0xF814, [item](const Args&) { return WrapSafeRecipients(item->Recipients()); }));
  object->Add(Method(L"Send", 0xF075, [item](const Args&) {
    if (BeforeSend()) BeforeSend()(*item);
    item->Send();
    return Value();
  }));
  object->Add(Get(L"Body", 0x9100, [item](const Args&) { return Value::Of(item->Body()); }));
  object->Add(Get(L"HTMLBody", 0xF404, [item](const Args&) { return Value::Of(item->HTMLBody()); }));
  return Value::Adopt(object);
}

Value WrapSafeCurrentUser(std::shared_ptr<host::SafeCurrentUser> user) {
  if (!user) return Nothing();
  auto* object = NewHostObject("SafeCurrentUser", kSafeCurrentUser, user);
  AddAddressMembers(*object, user, 1);
  return Value::Adopt(object);
}

Value WrapMAPIUtils(std::shared_ptr<host::MAPIUtils> utils) {
  if (!utils) return Nothing();
  auto* object = NewHostObject("MAPIUtils", kMAPIUtils, utils);
  // DeliverNow(Flags, ParentWnd), both optional.
  object->Add(Method(L"DeliverNow", 4, [utils](const Args&) {
    utils->DeliverNow();
    return Value();
  }));
  object->Add(Method(L"Cleanup", 9, [utils](const Args&) {
    utils->Cleanup();
    return Value();
  }));
  return Value::Adopt(object);
}

RedemptionClasses::RedemptionClasses(std::shared_ptr<host::sim::SimRedemption> redemption) {
  const ClassObject::Make makers[] = {
      [redemption] { return WrapSafeMailItem(redemption->CreateSafeMailItem()); },
      [redemption] { return WrapSafeCurrentUser(redemption->CreateSafeCurrentUser()); },
      [redemption] { return WrapMAPIUtils(redemption->CreateMAPIUtils()); },
  };
  for (std::size_t i = 0; i < std::size(kClasses); ++i) {
    HKEY key = nullptr;
    std::string path = ClassesKey(kClasses[i].progId) + "\\CLSID";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      throw host::Error("cannot write HKLM\\" + path);
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(kClasses[i].clsidText),
                   static_cast<DWORD>(strlen(kClasses[i].clsidText) + 1));
    RegCloseKey(key);

    auto* factory = new ClassObject(makers[i]);
    DWORD cookie = 0;
    HRESULT hr = CoRegisterClassObject(kClasses[i].clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    factory->Release();
    if (FAILED(hr)) throw host::Error(hr, std::string("CoRegisterClassObject failed for ") + kClasses[i].progId);
    cookies_.push_back(cookie);
  }
}

RedemptionClasses::~RedemptionClasses() {
  for (DWORD cookie : cookies_) CoRevokeClassObject(cookie);
}

void RemoveRedemptionRegistration() {
  for (const Registered& entry : kClasses) DeleteKey(ClassesKey(entry.progId));
}

}  // namespace standin
