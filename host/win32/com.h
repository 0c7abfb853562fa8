#pragma once
// RAII for what COM hands out: interface pointers, BSTRs and VARIANTs. Every
// one of them is released exactly once, whatever path the code takes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "host/win32/win32_api.h"

namespace host::win32 {

// An interface pointer that owns one reference.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a reference of its own (AddRef); use Adopt for a reference handed over.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  static ComPtr Adopt(T* p) {
    ComPtr result;
    result.p_ = p;
    return result;
  }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For an out-parameter that receives a new reference.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  // Hands the reference to the caller.
  T* detach() { return std::exchange(p_, nullptr); }

  // QueryInterface; empty when the object does not offer the interface.
  template <class U>
  ComPtr<U> As(REFIID iid) const {
    ComPtr<U> result;
    if (p_) p_->QueryInterface(iid, result.put_void());
    return result;
  }

 private:
  T* p_ = nullptr;
};

// A BSTR that is freed with SysFreeString.
class Bstr {
 public:
  Bstr() = default;
  static Bstr Adopt(BSTR b) {
    Bstr result;
    result.b_ = b;
    return result;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    std::swap(b_, other.b_);
    return *this;
  }
  ~Bstr() { SysFreeString(b_); }

  BSTR get() const { return b_; }
  BSTR* put() {
    SysFreeString(std::exchange(b_, nullptr));
    return &b_;
  }
  BSTR detach() { return std::exchange(b_, nullptr); }

 private:
  BSTR b_ = nullptr;
};

// A VARIANT that is cleared with VariantClear.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant& other);
  Variant& operator=(const Variant& other);
  Variant(Variant&& other) noexcept;
  Variant& operator=(Variant&& other) noexcept;
  ~Variant() { VariantClear(&v_); }

  static Variant Of(std::int32_t value);
  static Variant Of(bool value);
  static Variant Of(const std::string& text);  // ANSI code page to BSTR
  static Variant Of(const char* text) { return Of(std::string(text)); }
  static Variant Of(IDispatch* object);  // takes a reference of its own
  // An optional argument left out: VT_ERROR with DISP_E_PARAMNOTFOUND.
  static Variant Missing();

  const VARIANT& get() const { return v_; }
  VARIANT& get() { return v_; }
  // For an out-parameter: clears first.
  VARIANT* put() {
    VariantClear(&v_);
    return &v_;
  }
  VARTYPE type() const { return v_.vt; }
  bool IsMissing() const { return v_.vt == VT_ERROR && v_.scode == DISP_E_PARAMNOTFOUND; }

 private:
  VARIANT v_;
};

}  // namespace host::win32
