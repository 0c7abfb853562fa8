#include "host/win32/connect_object.h"

#include <array>
#include <cwchar>

#include "host/win32/com_boundary.h"
#include "host/win32/late_binding.h"
#include "host/win32/outlook.h"

namespace host::win32 {
namespace {

struct Method {
  const wchar_t* name;
  DISPID id;
  UINT arguments;
};

constexpr std::array<Method, 5> kMethods = {{
    {L"OnConnection", kOnConnection, 4},
    {L"OnDisconnection", kOnDisconnection, 2},
    {L"OnAddInsUpdate", kOnAddInsUpdate, 1},
    {L"OnStartupComplete", kOnStartupComplete, 1},
    {L"OnBeginShutdown", kOnBeginShutdown, 1},
}};

// Argument `position` (0 = first declared): Invoke passes them last to first.
VARIANT& Argument(DISPPARAMS& params, UINT position) {
  return params.rgvarg[params.cArgs - 1 - position];
}

}  // namespace

ConnectObject::~ConnectObject() {
  try {
    addin_.reset();
  } catch (...) {
    // Releasing host objects that are gone already.
  }
}

HRESULT ConnectObject::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IDTExtensibility2)) {
    *object = static_cast<IDTExtensibility2*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG ConnectObject::AddRef() {
  return ++references_;
}

ULONG ConnectObject::Release() {
  ULONG count = --references_;
  if (count == 0) delete this;
  return count;
}

HRESULT ConnectObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT ConnectObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT ConnectObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT result = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    // Only the first name is a member; the others would name its parameters, which are not looked up.
    if (i == 0 && names[0]) {
      for (const Method& method : kMethods)
        if (_wcsicmp(names[0], method.name) == 0) ids[0] = method.id;
    }
    if (ids[i] == DISPID_UNKNOWN) result = DISP_E_UNKNOWNNAME;
  }
  return result;
}

HRESULT ConnectObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                              UINT* badArgument) {
  if (result) VariantInit(result);
  const Method* method = nullptr;
  for (const Method& candidate : kMethods)
    if (candidate.id == id) method = &candidate;
  if (!method || !(flags & DISPATCH_METHOD)) return DISP_E_MEMBERNOTFOUND;
  if (!params) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != method->arguments || !params->rgvarg) return DISP_E_BADPARAMCOUNT;

  // A mode argument as a number; its position goes back when it is none.
  auto mode = [&](UINT position, int& value) {
    Variant number;
    if (FAILED(VariantChangeType(number.put(), &Argument(*params, position), 0, VT_I4))) {
      if (badArgument) *badArgument = params->cArgs - 1 - position;
      return false;
    }
    value = number.get().lVal;
    return true;
  };

  switch (id) {
    case kOnConnection: {
      ComPtr<IDispatch> application;
      try {
        application = ToObject(Argument(*params, 0));
      } catch (const Error&) {
        if (badArgument) *badArgument = params->cArgs - 1;
        return DISP_E_TYPEMISMATCH;
      }
      int connectMode = 0;
      if (!mode(1, connectMode)) return DISP_E_TYPEMISMATCH;
      return OnConnection(application.get(), static_cast<ext_ConnectMode>(connectMode), nullptr, nullptr);
    }
    case kOnDisconnection: {
      int removeMode = 0;
      if (!mode(0, removeMode)) return DISP_E_TYPEMISMATCH;
      return OnDisconnection(static_cast<ext_DisconnectMode>(removeMode), nullptr);
    }
    case kOnAddInsUpdate:
      return OnAddInsUpdate(nullptr);
    case kOnStartupComplete:
      return OnStartupComplete(nullptr);
    default:
      return OnBeginShutdown(nullptr);
  }
}

corvanta::Connect& ConnectObject::Addin() {
  // Made again when Outlook connects once more after a disconnection.
  if (!addin_) addin_ = std::make_unique<corvanta::Connect>(platform_.Get());
  return *addin_;
}

template <class Action>
HRESULT ConnectObject::Event(Action&& action) {
  ComPtr<ConnectObject> alive(this);  // Outlook may release us while a dialog of ours pumps messages
  ++depth_;
  HRESULT hr = Guarded(std::forward<Action>(action));
  --depth_;
  if (depth_ == 0 && releasePending_) ReleaseAddin();
  return hr;
}

void ConnectObject::ReleaseAddin() {
  if (depth_ > 0) {
    releasePending_ = true;
    return;
  }
  releasePending_ = false;
  Guarded([&] { addin_.reset(); });
}

HRESULT ConnectObject::OnConnection(IDispatch* application, ext_ConnectMode connectMode, IDispatch*, SAFEARRAY**) {
  return Event([&] {
    if (!application) throw Error(E_INVALIDARG, "no Application");
    Addin().OnConnection(WrapApplication(ComPtr<IDispatch>(application)), connectMode);
  });
}

HRESULT ConnectObject::OnDisconnection(ext_DisconnectMode removeMode, SAFEARRAY**) {
  HRESULT hr = Event([&] {
    if (addin_) addin_->OnDisconnection(removeMode);
  });
  // Outlook does not finish closing while an add-in holds its objects: let go of everything now.
  ReleaseAddin();
  return hr;
}

HRESULT ConnectObject::OnAddInsUpdate(SAFEARRAY**) {
  return Event([&] { Addin().OnAddInsUpdate(); });
}

HRESULT ConnectObject::OnStartupComplete(SAFEARRAY**) {
  return Event([&] { Addin().OnStartupComplete(); });
}

HRESULT ConnectObject::OnBeginShutdown(SAFEARRAY**) {
  return Event([&] {
    if (addin_) addin_->OnBeginShutdown();
  });
}

}  // namespace host::win32
