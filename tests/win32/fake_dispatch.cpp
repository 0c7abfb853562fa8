#include "fake_dispatch.h"

#include <cwchar>
#include <stdexcept>

#include "host/win32/text.h"

namespace corvanta_test {

using host::win32::Bstr;
using host::win32::FromBstr;
using host::win32::Narrow;
using host::win32::ToBstr;

class FakeDispatch::Point final : public IConnectionPoint {
 public:
  explicit Point(FakeDispatch& owner) : owner_(&owner) { owner_->AddRef(); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IConnectionPoint)) {
      *object = static_cast<IConnectionPoint*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG count = --references_;
    if (count == 0) {
      owner_->Release();
      delete this;
    }
    return count;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    *iid = owner_->events_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override {
    *container = owner_;
    owner_->AddRef();
    return S_OK;
  }
  // As a real source does: the sink must answer for the event interface.
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    ComPtr<IDispatch> events;
    if (FAILED(sink->QueryInterface(owner_->events_, events.put_void()))) return CONNECT_E_CANNOTCONNECT;
    *cookie = owner_->nextCookie_++;
    owner_->sinks_[*cookie] = events;
    ++owner_->advises;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    if (owner_->sinks_.erase(cookie) == 0) return CONNECT_E_NOCONNECTION;
    ++owner_->unadvises;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

 private:
  ~Point() = default;
  FakeDispatch* owner_;
  ULONG references_ = 0;
};

ComPtr<FakeDispatch> FakeDispatch::Make() {
  return ComPtr<FakeDispatch>(new FakeDispatch());
}

FakeDispatch::~FakeDispatch() = default;

void FakeDispatch::Property(const std::string& name, Variant initial) {
  properties_[name] = std::move(initial);
  Member(name, DISPATCH_PROPERTYGET | DISPATCH_PROPERTYPUT, [this, name](const Call& call) {
    if (call.flags & DISPATCH_PROPERTYPUT) {
      properties_[name] = call.args.at(0);
      return Variant();
    }
    return properties_[name];
  });
}

void FakeDispatch::Member(const std::string& name, WORD accepted, Handler handler) {
  for (auto& entry : members_) {
    if (entry.name == name) {
      entry = {name, accepted, std::move(handler)};
      return;
    }
  }
  members_.push_back({name, accepted, std::move(handler)});
}

std::vector<FakeDispatch::Call> FakeDispatch::CallsOf(const std::string& member) const {
  std::vector<Call> found;
  for (const auto& call : calls)
    if (call.member == member) found.push_back(call);
  return found;
}

void FakeDispatch::RaisesEvents(const IID& events) {
  raises_ = true;
  events_ = events;
}

HRESULT FakeDispatch::Fire(DISPID id, std::vector<Variant> args) {
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->get());
  DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  HRESULT hr = S_OK;
  auto sinks = sinks_;  // a handler may unadvise
  for (auto& [cookie, sink] : sinks) {
    Variant result;
    hr = sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result.put(), nullptr, nullptr);
  }
  return hr;
}

HRESULT FakeDispatch::QueryInterface(REFIID iid, void** object) {
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
    *object = static_cast<IDispatch*>(this);
  } else if (raises_ && IsEqualIID(iid, IID_IConnectionPointContainer)) {
    *object = static_cast<IConnectionPointContainer*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG FakeDispatch::Release() {
  ULONG count = --references_;
  if (count == 0) delete this;
  return count;
}

HRESULT FakeDispatch::GetTypeInfoCount(UINT* count) {
  *count = 0;
  return S_OK;
}

HRESULT FakeDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  HRESULT result = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    std::string name = Narrow(names[i], std::wcslen(names[i]));
    for (std::size_t m = 0; i == 0 && m < members_.size(); ++m)
      if (_stricmp(members_[m].name.c_str(), name.c_str()) == 0) ids[i] = static_cast<DISPID>(100 + m);
    if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
  }
  return result;
}

HRESULT FakeDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* exception, UINT*) {
  std::size_t index = static_cast<std::size_t>(id - 100);
  if (id < 100 || index >= members_.size()) return DISP_E_MEMBERNOTFOUND;
  Entry entry = members_[index];
  if (!(flags & entry.accepted)) return DISP_E_MEMBERNOTFOUND;
  bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (put && (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
    return DISP_E_PARAMNOTOPTIONAL;
  if (!put && params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;

  Call call{entry.name, flags, {}};
  for (UINT i = params->cArgs; i > 0; --i) {
    Variant copy;
    VariantCopy(copy.put(), &params->rgvarg[i - 1]);
    call.args.push_back(std::move(copy));
  }
  calls.push_back(call);
  try {
    Variant value = entry.handler ? entry.handler(call) : Variant();
    if (result) VariantCopy(result, &value.get());
    return S_OK;
  } catch (const FakeFailure& failure) {
    if (failure.description.empty()) return failure.code;
    if (exception) {
      ZeroMemory(exception, sizeof *exception);
      exception->scode = failure.code;
      exception->bstrSource = ToBstr("Fake").detach();
      exception->bstrDescription = ToBstr(failure.description).detach();
    }
    return DISP_E_EXCEPTION;
  }
}

HRESULT FakeDispatch::EnumConnectionPoints(IEnumConnectionPoints** points) {
  *points = nullptr;
  return E_NOTIMPL;
}

HRESULT FakeDispatch::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  *point = nullptr;
  if (!raises_ || !IsEqualIID(iid, events_)) return CONNECT_E_NOCONNECTION;
  *point = new Point(*this);
  (*point)->AddRef();
  return S_OK;
}

class FakeClass::Factory final : public IClassFactory {
 public:
  Factory(FakeClass& owner, std::function<void(FakeDispatch&)> setUp) : owner_(owner), setUp_(std::move(setUp)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
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
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID iid, void** object) override {
    auto fake = FakeDispatch::Make();
    if (setUp_) setUp_(*fake);
    owner_.created.push_back(fake);
    return fake->QueryInterface(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  ~Factory() = default;
  FakeClass& owner_;
  std::function<void(FakeDispatch&)> setUp_;
  ULONG references_ = 0;
};

FakeClass::FakeClass(const std::string& progId, const CLSID& clsid, std::function<void(FakeDispatch&)> setUp)
    : progId_(progId), factory_(new Factory(*this, std::move(setUp))) {
  HRESULT hr = CoRegisterClassObject(clsid, factory_.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_);
  if (FAILED(hr)) throw std::runtime_error("CoRegisterClassObject failed");
  wchar_t text[64] = {};
  StringFromGUID2(clsid, text, 64);
  std::string clsidText = Narrow(text, std::wcslen(text));
  std::string key = "Software\\Classes\\" + progId + "\\CLSID";
  HKEY progIdKey = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &progIdKey, nullptr) !=
      ERROR_SUCCESS)
    throw std::runtime_error("cannot register the ProgID");
  RegSetValueExA(progIdKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(clsidText.c_str()),
                 static_cast<DWORD>(clsidText.size() + 1));
  RegCloseKey(progIdKey);
}

FakeClass::~FakeClass() {
  CoRevokeClassObject(cookie_);
  std::string key = "Software\\Classes\\" + progId_;
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (key + "\\CLSID").c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

std::string Describe(const VARIANT& value) {
  switch (value.vt) {
    case VT_EMPTY:
      return "EMPTY";
    case VT_I2:
      return "I2:" + std::to_string(value.iVal);
    case VT_I4:
      return "I4:" + std::to_string(value.lVal);
    case VT_BOOL:
      return "BOOL:" + std::to_string(value.boolVal);
    case VT_BSTR:
      return "BSTR:" + FromBstr(value.bstrVal);
    case VT_DISPATCH:
      return value.pdispVal ? "DISPATCH" : "NOTHING";
    case VT_ERROR:
      return value.scode == DISP_E_PARAMNOTFOUND ? "MISSING" : "ERROR";
    default:
      return "VT:" + std::to_string(value.vt);
  }
}

std::string Describe(const Variant& value) {
  return Describe(value.get());
}

}  // namespace corvanta_test
