#include "host_object.h"

#include <olectl.h>

#include <cstdio>
#include <mutex>

#include "host/error.h"

namespace standin {
namespace {

// {9F0C7E21-4B1A-4E55-9B53-6C2D5A0B7E11}: our own objects answer it, so an
// object the add-in passes back (Move's folder, the safe item's Item) is found.
constexpr IID IID_HostObject = {0x9F0C7E21, 0x4B1A, 0x4E55, {0x9B, 0x53, 0x6C, 0x2D, 0x5A, 0x0B, 0x7E, 0x11}};

struct Registry {
  std::mutex mutex;
  std::vector<std::shared_ptr<void>> forgotten;
  std::map<const void*, std::pair<std::string, const std::atomic<ULONG>*>> live;
  std::size_t made = 0;
  std::vector<std::string> slips;
};

Registry& Objects() {
  static Registry* registry = new Registry;  // outlives every object
  return *registry;
}

void Register(const void* object, const std::string& kind, const std::atomic<ULONG>* references) {
  std::lock_guard lock(Objects().mutex);
  Objects().live[object] = {kind, references};
  ++Objects().made;
}

void Unregister(const void* object) {
  std::lock_guard lock(Objects().mutex);
  Objects().live.erase(object);
}

HRESULT Slip(const std::string& what, HRESULT hr) {
  std::fprintf(stderr, "  [host] refused: %s\n", what.c_str());
  std::lock_guard lock(Objects().mutex);
  Objects().slips.push_back(what);
  return hr;
}

class ConnectionPoint final : public IConnectionPoint {
 public:
  ConnectionPoint(HostObject* container, const IID& iid) : container_(container), iid_(iid) {
    container_->AddRef();
    Register(this, "ConnectionPoint(" + container_->Kind() + ")", &references_);
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
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
    if (count == 0) delete this;
    return count;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = iid_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override {
    if (!container) return E_POINTER;
    *container = container_;
    container_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    return container_->Advise(iid_, sink, cookie);
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override { return container_->Unadvise(cookie); }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
  }

 private:
  ~ConnectionPoint() {
    Unregister(this);
    container_->Release();
  }
  std::atomic<ULONG> references_{1};
  HostObject* container_;
  IID iid_;
};

}  // namespace

// --- Value

Value::Value(const Value& other) {
  VariantInit(&v_);
  VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
}

Value& Value::operator=(const Value& other) {
  if (this != &other) VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
  return *this;
}

Value Value::Of(const std::string& text) {
  Value value;
  value.v_.vt = VT_BSTR;
  value.v_.bstrVal = ToBstr(text);
  return value;
}

Value Value::Of(std::int32_t number) {
  Value value;
  value.v_.vt = VT_I4;
  value.v_.lVal = number;
  return value;
}

Value Value::Bool(bool flag) {
  Value value;
  value.v_.vt = VT_BOOL;
  value.v_.boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
  return value;
}

Value Value::Adopt(IDispatch* object) {
  Value value;
  value.v_.vt = VT_DISPATCH;
  value.v_.pdispVal = object;
  return value;
}

void Value::Detach(VARIANT* out) {
  *out = v_;
  VariantInit(&v_);
}

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

std::string Narrow(const wchar_t* text, int length) {
  if (!text) return {};
  if (length < 0) length = static_cast<int>(wcslen(text));
  if (length == 0) return {};
  int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, narrow.data(), size, nullptr, nullptr);
  return narrow;
}

BSTR ToBstr(const std::string& text) {
  std::wstring wide = Widen(text);
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// --- Args

Args::Args(DISPPARAMS& params, bool put) : params_(params), put_(put) {
  count_ = params.cArgs - (put ? 1 : 0);
}

const VARIANT& Args::At(std::size_t position) const {
  if (position >= count_) throw ArgumentError{position, DISP_E_BADPARAMCOUNT};
  // Last to first; a property write's value sits in front as the named argument.
  const VARIANT& value = params_.rgvarg[params_.cArgs - 1 - position];
  if (value.vt == (VT_VARIANT | VT_BYREF) && value.pvarVal) return *value.pvarVal;
  return value;
}

bool Args::Missing(std::size_t position) const {
  if (position >= count_) return true;
  const VARIANT& value = At(position);
  return value.vt == VT_ERROR && value.scode == DISP_E_PARAMNOTFOUND;
}

std::int32_t Args::Int(std::size_t position) const {
  if (Missing(position)) throw ArgumentError{position, DISP_E_PARAMNOTFOUND};
  Value number;
  if (FAILED(VariantChangeType(&number.get(), const_cast<VARIANT*>(&At(position)), 0, VT_I4)))
    throw ArgumentError{position, DISP_E_TYPEMISMATCH};
  return number.get().lVal;
}

std::optional<std::int32_t> Args::OptionalInt(std::size_t position) const {
  if (Missing(position)) return std::nullopt;
  return Int(position);
}

std::optional<bool> Args::OptionalBool(std::size_t position) const {
  if (Missing(position)) return std::nullopt;
  Value flag;
  if (FAILED(VariantChangeType(&flag.get(), const_cast<VARIANT*>(&At(position)), 0, VT_BOOL)))
    throw ArgumentError{position, DISP_E_TYPEMISMATCH};
  return flag.get().boolVal != VARIANT_FALSE;
}

std::string Args::String(std::size_t position) const {
  if (Missing(position)) throw ArgumentError{position, DISP_E_PARAMNOTFOUND};
  const VARIANT& value = At(position);
  if (value.vt == VT_BSTR) return Narrow(value.bstrVal, static_cast<int>(SysStringLen(value.bstrVal)));
  Value text;
  if (FAILED(VariantChangeType(&text.get(), const_cast<VARIANT*>(&value), 0, VT_BSTR)))
    throw ArgumentError{position, DISP_E_TYPEMISMATCH};
  return Narrow(text.get().bstrVal, static_cast<int>(SysStringLen(text.get().bstrVal)));
}

HostObject& Args::Object(std::size_t position) const {
  const VARIANT& value = At(position);
  IUnknown* unknown = nullptr;
  if (value.vt == VT_DISPATCH) unknown = value.pdispVal;
  if (value.vt == VT_UNKNOWN) unknown = value.punkVal;
  if (value.vt == (VT_DISPATCH | VT_BYREF) && value.ppdispVal) unknown = *value.ppdispVal;
  if (!unknown) throw ArgumentError{position, DISP_E_TYPEMISMATCH};
  HostObject* object = nullptr;
  if (FAILED(unknown->QueryInterface(IID_HostObject, reinterpret_cast<void**>(&object))) || !object)
    throw ArgumentError{position, DISP_E_TYPEMISMATCH};
  object->Release();  // the caller's VARIANT keeps it alive for the call
  return *object;
}

const VARIANT& Args::PutValue() const {
  const VARIANT& value = params_.rgvarg[0];
  if (value.vt == (VT_VARIANT | VT_BYREF) && value.pvarVal) return *value.pvarVal;
  return value;
}

// --- HostObject

HostObject::HostObject(std::string kind, const IID& iid, std::shared_ptr<void> target)
    : kind_(std::move(kind)), iid_(iid), target_(std::move(target)) {
  Register(this, kind_, &references_);
}

HostObject::~HostObject() {
  for (auto& [cookie, connection] : connections_) {
    if (connection.keptByOutlook) {
      // Outlook's own object lives on and keeps calling the sink.
      std::lock_guard lock(Objects().mutex);
      Objects().forgotten.push_back(std::make_shared<Connection>(std::move(connection)));
      continue;
    }
    connection.subscription = host::Subscription();
    connection.sink->Release();
  }
  Unregister(this);
}

HostObject* NewHostObject(std::string kind, const IID& iid, std::shared_ptr<void> target) {
  return new HostObject(std::move(kind), iid, std::move(target));
}

Value HostObject::AsValue() {
  AddRef();
  return Value::Adopt(this);
}

HRESULT HostObject::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, iid_)) {
    *object = static_cast<IDispatch*>(this);
  } else if (IsEqualIID(iid, IID_IConnectionPointContainer) && !events_.empty()) {
    *object = static_cast<IConnectionPointContainer*>(this);
  } else if (IsEqualIID(iid, IID_HostObject)) {
    *object = this;
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG HostObject::AddRef() {
  return ++references_;
}

ULONG HostObject::Release() {
  ULONG count = --references_;
  if (count == 0) delete this;
  return count;
}

HRESULT HostObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT HostObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT HostObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  for (const Member& member : members_) {
    if (_wcsicmp(member.name, names[0]) == 0) {
      ids[0] = member.id;
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;  // no named parameters here
    }
  }
  return Slip(kind_ + "." + Narrow(names[0]) + ": no such member", DISP_E_UNKNOWNNAME);
}

HRESULT HostObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* exception, UINT* badArgument) {
  if (result) VariantInit(result);
  const Member* member = nullptr;
  for (const Member& candidate : members_)
    if (candidate.id == id) member = &candidate;
  if (!member) return Slip(kind_ + ": DISPID " + std::to_string(id) + " unknown", DISP_E_MEMBERNOTFOUND);
  std::string name = kind_ + "." + Narrow(member->name);
  if (!params) return Slip(name + ": no DISPPARAMS", E_INVALIDARG);

  bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  const std::function<Value(const Args&)>* call = nullptr;
  if (put) {
    if (!member->put) return Slip(name + " written, but it is read-only or a method", DISP_E_MEMBERNOTFOUND);
    if (params->cNamedArgs != 1 || !params->rgdispidNamedArgs || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT ||
        params->cArgs < 1)
      return Slip(name + " written without the named DISPID_PROPERTYPUT argument", DISP_E_PARAMNOTFOUND);
  } else {
    if (params->cNamedArgs != 0) return Slip(name + ": named arguments", DISP_E_NONAMEDARGS);
    if ((flags & DISPATCH_METHOD) && member->method)
      call = &member->method;
    else if ((flags & DISPATCH_PROPERTYGET) && member->get)
      call = &member->get;
    if (!call) {
      return Slip(name + (member->method ? " is a method, called as a property" : " is a property, called as a method"),
                  DISP_E_MEMBERNOTFOUND);
    }
  }

  AddRef();  // the call may drop the caller's last reference to us
  HRESULT hr = S_OK;
  try {
    Args args(*params, put);
    if (put) {
      member->put(args);
    } else {
      Value value = (*call)(args);
      if (result) value.Detach(result);
    }
  } catch (const ArgumentError& error) {
    if (badArgument) *badArgument = static_cast<UINT>(params->cArgs - 1 - error.position);
    hr = Slip(name + ": argument " + std::to_string(error.position + 1) + " missing or of the wrong type", error.hr);
  } catch (const host::Error& error) {
    // The stand-in failed as the real object would: raise it as Office does.
    if (exception) {
      ZeroMemory(exception, sizeof *exception);
      exception->bstrSource = ToBstr("Outlook stand-in");
      exception->bstrDescription = ToBstr(error.what());
      exception->scode = error.code() < 0 ? static_cast<SCODE>(error.code()) : E_FAIL;
    }
    hr = DISP_E_EXCEPTION;
  } catch (const std::exception& error) {
    if (exception) {
      ZeroMemory(exception, sizeof *exception);
      exception->bstrDescription = ToBstr(error.what());
      exception->scode = E_FAIL;
    }
    hr = DISP_E_EXCEPTION;
  }
  Release();
  return hr;
}

HRESULT HostObject::EnumConnectionPoints(IEnumConnectionPoints** points) {
  if (points) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT HostObject::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  for (const EventSource& source : events_) {
    if (IsEqualIID(source.iid, iid)) {
      *point = new ConnectionPoint(this, iid);
      return S_OK;
    }
  }
  Slip(kind_ + ": no connection point for the events asked for", CONNECT_E_NOCONNECTION);
  return CONNECT_E_NOCONNECTION;
}

HRESULT HostObject::Advise(const IID& iid, IUnknown* sink, DWORD* cookie) {
  if (!sink || !cookie) return E_POINTER;
  *cookie = 0;
  // A connection point asks the sink for the event interface itself.
  IDispatch* events = nullptr;
  if (FAILED(sink->QueryInterface(iid, reinterpret_cast<void**>(&events))) || !events)
    return Slip(kind_ + ": the sink does not answer for the event interface", CONNECT_E_CANNOTCONNECT);
  for (const EventSource& source : events_) {
    if (!IsEqualIID(source.iid, iid)) continue;
    try {
      host::Subscription subscription = source.subscribe(*this, events);
      DWORD next = nextCookie_++;
      connections_.emplace(next, Connection{events, std::move(subscription), source.keptByOutlook});
      *cookie = next;
      return S_OK;
    } catch (...) {
      events->Release();
      return CONNECT_E_ADVISELIMIT;
    }
  }
  events->Release();
  return CONNECT_E_CANNOTCONNECT;
}

HRESULT HostObject::Unadvise(DWORD cookie) {
  auto found = connections_.find(cookie);
  if (found == connections_.end()) return CONNECT_E_NOCONNECTION;
  IDispatch* sink = found->second.sink;
  connections_.erase(found);  // unsubscribes
  sink->Release();
  return S_OK;
}

HRESULT RaiseEvent(IDispatch& sink, DISPID id, std::vector<VARIANT> reversedArgs) {
  DISPPARAMS params{};
  params.cArgs = static_cast<UINT>(reversedArgs.size());
  params.rgvarg = reversedArgs.empty() ? nullptr : reversedArgs.data();
  EXCEPINFO exception{};
  UINT badArgument = 0;
  Value result;
  HRESULT hr =
      sink.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result.get(), &exception, &badArgument);
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  return hr;
}

std::vector<LiveObject> LiveObjects() {
  std::lock_guard lock(Objects().mutex);
  std::vector<LiveObject> live;
  for (const auto& [object, entry] : Objects().live) live.push_back({entry.first, entry.second->load()});
  return live;
}

std::size_t ForgottenConnections() {
  std::lock_guard lock(Objects().mutex);
  return Objects().forgotten.size();
}

std::size_t ObjectsMade() {
  std::lock_guard lock(Objects().mutex);
  return Objects().made;
}

std::vector<std::string> Slips() {
  std::lock_guard lock(Objects().mutex);
  return Objects().slips;
}

}  // namespace standin
