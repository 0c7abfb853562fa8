#include "host/win32/com.h"

#include "host/error.h"
#include "host/win32/text.h"

namespace host::win32 {

Variant::Variant(const Variant& other) {
  VariantInit(&v_);
  HRESULT hr = VariantCopy(&v_, const_cast<VARIANT*>(&other.v_));
  if (FAILED(hr)) throw Error(hr, "cannot copy a value");
}

Variant& Variant::operator=(const Variant& other) {
  if (this != &other) {
    Variant copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Variant::Variant(Variant&& other) noexcept : v_(other.v_) {
  VariantInit(&other.v_);
}

Variant& Variant::operator=(Variant&& other) noexcept {
  if (this != &other) {
    VariantClear(&v_);
    v_ = other.v_;
    VariantInit(&other.v_);
  }
  return *this;
}

Variant Variant::Of(std::int32_t value) {
  Variant v;
  v.v_.vt = VT_I4;
  v.v_.lVal = value;
  return v;
}

Variant Variant::Of(bool value) {
  Variant v;
  v.v_.vt = VT_BOOL;
  v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::Of(const std::string& text) {
  Variant v;
  v.v_.bstrVal = ToBstr(text).detach();
  v.v_.vt = VT_BSTR;
  return v;
}

Variant Variant::Of(IDispatch* object) {
  Variant v;
  v.v_.vt = VT_DISPATCH;
  v.v_.pdispVal = object;
  if (object) object->AddRef();
  return v;
}

Variant Variant::Missing() {
  Variant v;
  v.v_.vt = VT_ERROR;
  v.v_.scode = DISP_E_PARAMNOTFOUND;
  return v;
}

}  // namespace host::win32
