#pragma once
// A scriptable COM object for the tests, playing an Outlook, Office or
// Redemption object: it answers GetIDsOfNames for the members it is given,
// accepts each member only with the Invoke flags it is declared with (a
// method called as a property fails, as on a strict host), records every call
// with its arguments in declared order, counts its references, and raises
// events through one connection point.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/win32/com.h"
#include "host/win32/win32_api.h"

namespace corvanta_test {

using host::win32::ComPtr;
using host::win32::Variant;

// Thrown by a member's handler: the call fails, through EXCEPINFO or as a bare HRESULT.
struct FakeFailure {
  HRESULT code;
  std::string description;  // empty: Invoke returns `code` itself
};

class FakeDispatch final : public IDispatch, public IConnectionPointContainer {
 public:
  struct Call {
    std::string member;
    WORD flags = 0;
    std::vector<Variant> args;  // declared order
  };
  using Handler = std::function<Variant(const Call&)>;

  static ComPtr<FakeDispatch> Make();

  void Method(const std::string& name, Handler handler = {}) { Member(name, DISPATCH_METHOD, std::move(handler)); }
  void Getter(const std::string& name, Handler handler) { Member(name, DISPATCH_PROPERTYGET, std::move(handler)); }
  // A property that keeps what is put into it.
  void Property(const std::string& name, Variant initial = {});
  // Item, reachable as a method or as an indexed property.
  void Item(Handler handler) { Member("Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, std::move(handler)); }
  void Member(const std::string& name, WORD accepted, Handler handler);

  const Variant& Value(const std::string& property) { return properties_[property]; }
  std::vector<Call> CallsOf(const std::string& member) const;
  std::vector<Call> calls;

  // Events: one connection point, for `events`.
  void RaisesEvents(const IID& events);
  // Calls every advised sink; arguments in declared order. Returns the last HRESULT.
  HRESULT Fire(DISPID id, std::vector<Variant> args);
  int Advised() const { return static_cast<int>(sinks_.size()); }
  int advises = 0, unadvises = 0;

  ULONG References() const { return references_; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* badArgument) override;
  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

 private:
  class Point;
  FakeDispatch() = default;
  ~FakeDispatch();

  struct Entry {
    std::string name;
    WORD accepted;
    Handler handler;
  };
  std::vector<Entry> members_;  // DISPID = index + 100
  std::map<std::string, Variant> properties_;
  ULONG references_ = 0;
  bool raises_ = false;
  IID events_{};
  std::map<DWORD, ComPtr<IDispatch>> sinks_;
  DWORD nextCookie_ = 1;
  friend class Point;
};

// A class factory for CoRegisterClassObject that hands out new fakes, set up by `setUp`.
class FakeClass {
 public:
  // Registers the class in-process and its ProgID under HKLM\Software\Classes; undone in the destructor.
  FakeClass(const std::string& progId, const CLSID& clsid, std::function<void(FakeDispatch&)> setUp);
  ~FakeClass();
  FakeClass(const FakeClass&) = delete;
  FakeClass& operator=(const FakeClass&) = delete;
  // Every object created so far.
  std::vector<ComPtr<FakeDispatch>> created;

 private:
  class Factory;
  std::string progId_;
  DWORD cookie_ = 0;
  ComPtr<IClassFactory> factory_;
};

// Reads a VARIANT for assertions: "I4:5", "BSTR:text", "BOOL:-1", "MISSING", "DISPATCH", "EMPTY".
std::string Describe(const VARIANT& value);
std::string Describe(const Variant& value);

}  // namespace corvanta_test
