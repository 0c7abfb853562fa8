#include "host/win32/late_binding.h"

#include <cstdio>

#include "host/win32/text.h"

namespace host::win32 {
namespace {

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// Frees every string the callee put into an EXCEPINFO.
class ExceptionInfo {
 public:
  ExceptionInfo() { ZeroMemory(&info_, sizeof info_); }
  ExceptionInfo(const ExceptionInfo&) = delete;
  ExceptionInfo& operator=(const ExceptionInfo&) = delete;
  ~ExceptionInfo() {
    SysFreeString(info_.bstrSource);
    SysFreeString(info_.bstrDescription);
    SysFreeString(info_.bstrHelpFile);
  }
  EXCEPINFO* put() { return &info_; }

  // The error as the object reported it, or hr with the system's text.
  [[noreturn]] void Throw(HRESULT hr, const std::string& member) {
    std::string text;
    if (hr == DISP_E_EXCEPTION) {
      if (info_.pfnDeferredFillIn) info_.pfnDeferredFillIn(&info_);
      if (info_.scode != 0) hr = info_.scode;
      text = FromBstr(info_.bstrDescription);
      if (text.empty() && info_.wCode != 0) text = "error " + std::to_string(info_.wCode);
    }
    if (text.empty()) text = SystemMessage(static_cast<DWORD>(hr));
    if (text.empty()) text = "failed";
    throw Error(hr, member + ": " + text + " (" + Hex(hr) + ")");
  }

 private:
  EXCEPINFO info_;
};

DISPID DispIdOf(IDispatch& object, const std::string& member) {
  Bstr name = ToBstr(member);
  LPOLESTR names[] = {name.get()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object.GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) throw Error(hr, member + ": no such member (" + Hex(hr) + ")");
  return id;
}

VARIANT AsVariant(const VARIANT& value) {
  VARIANT copy = value;  // shallow: Invoke only reads the arguments
  return copy;
}

}  // namespace

Variant Invoke(IDispatch& object, const std::string& member, WORD flags, const Args& args) {
  DISPID id = DispIdOf(object, member);

  // Invoke takes the arguments last to first.
  std::vector<VARIANT> reversed;
  reversed.reserve(args.size());
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(AsVariant(it->get()));

  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.cArgs = static_cast<UINT>(reversed.size());
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (put) {
    params.cNamedArgs = 1;
    params.rgdispidNamedArgs = &putId;
  }

  Variant result;
  ExceptionInfo info;
  UINT badArgument = 0;
  HRESULT hr = object.Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, put ? nullptr : result.put(),
                             info.put(), &badArgument);
  if (FAILED(hr)) info.Throw(hr, member);
  return result;
}

Variant Call(IDispatch& object, const std::string& member, const Args& args) {
  return Invoke(object, member, DISPATCH_METHOD, args);
}

Variant Get(IDispatch& object, const std::string& member, const Args& args) {
  return Invoke(object, member, DISPATCH_PROPERTYGET, args);
}

Variant GetItem(IDispatch& object, const Args& args) {
  return Invoke(object, "Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
}

void Put(IDispatch& object, const std::string& member, const Variant& value) {
  Invoke(object, member, DISPATCH_PROPERTYPUT, {value});
}

namespace {

Variant Converted(const VARIANT& value, VARTYPE type) {
  Variant result;
  HRESULT hr = VariantChangeType(result.put(), const_cast<VARIANT*>(&value), 0, type);
  if (FAILED(hr)) throw Error(hr, "unexpected value type " + std::to_string(value.vt) + " (" + Hex(hr) + ")");
  return result;
}

}  // namespace

std::string ToString(const VARIANT& value) {
  if (value.vt == VT_EMPTY || value.vt == VT_NULL || value.vt == VT_ERROR) return {};
  if (value.vt == VT_BSTR) return FromBstr(value.bstrVal);
  return FromBstr(Converted(value, VT_BSTR).get().bstrVal);
}

std::int32_t ToInt(const VARIANT& value) {
  if (value.vt == VT_I4) return value.lVal;
  return Converted(value, VT_I4).get().lVal;
}

bool ToBool(const VARIANT& value) {
  if (value.vt == VT_BOOL) return value.boolVal != VARIANT_FALSE;
  return Converted(value, VT_BOOL).get().boolVal != VARIANT_FALSE;
}

ComPtr<IDispatch> ToObject(const VARIANT& value) {
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return nullptr;
    case VT_DISPATCH:
      return ComPtr<IDispatch>(value.pdispVal);
    case VT_DISPATCH | VT_BYREF:
      return ComPtr<IDispatch>(value.ppdispVal ? *value.ppdispVal : nullptr);
    case VT_UNKNOWN: {
      if (!value.punkVal) return nullptr;
      ComPtr<IDispatch> object;
      HRESULT hr = value.punkVal->QueryInterface(IID_IDispatch, object.put_void());
      if (FAILED(hr)) throw Error(hr, "the object offers no IDispatch (" + Hex(hr) + ")");
      return object;
    }
    default:
      throw Error(DISP_E_TYPEMISMATCH, "an object was expected, got type " + std::to_string(value.vt));
  }
}

LateBound::LateBound(ComPtr<IDispatch> object) : object_(std::move(object)) {
  if (!object_) throw Error(E_POINTER, "no object");
}

}  // namespace host::win32
