#pragma once
// The stand-in Outlook's COM face: one generic IDispatch object whose members
// are a table built per class (outlook_objects.cpp, commandbar_objects.cpp,
// redemption_objects.cpp). Members answer GetIDsOfNames with the DISPIDs the
// real libraries use and are invoked strictly as what they are: a method
// only with DISPATCH_METHOD, a property read only with DISPATCH_PROPERTYGET,
// a write only with DISPATCH_PROPERTYPUT and the named DISPID_PROPERTYPUT.
// Event sources are real connection points. Every object counts its
// references and stays listed (LiveObjects) until the last Release.
#define WIN32_LEAN_AND_MEAN
#include <ocidl.h>
#include <oleauto.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/subscription.h"

namespace standin {

// A VARIANT that clears itself.
class Value {
 public:
  Value() { VariantInit(&v_); }
  Value(const Value& other);
  Value& operator=(const Value& other);
  ~Value() { VariantClear(&v_); }
  static Value Of(const std::string& text);
  static Value Of(std::int32_t number);
  static Value Bool(bool flag);
  // Takes over one reference; null gives Nothing.
  static Value Adopt(IDispatch* object);
  VARIANT& get() { return v_; }
  const VARIANT& get() const { return v_; }
  // Moves the value out into a caller's VARIANT.
  void Detach(VARIANT* out);

 private:
  VARIANT v_;
};

std::wstring Widen(const std::string& text);
std::string Narrow(const wchar_t* text, int length = -1);
BSTR ToBstr(const std::string& text);

class HostObject;

// The arguments of one call, in their declared order.
class Args {
 public:
  Args(DISPPARAMS& params, bool put);
  std::size_t Count() const { return count_; }
  bool Missing(std::size_t position) const;
  const VARIANT& At(std::size_t position) const;
  std::int32_t Int(std::size_t position) const;
  std::optional<std::int32_t> OptionalInt(std::size_t position) const;
  std::optional<bool> OptionalBool(std::size_t position) const;
  std::string String(std::size_t position) const;
  // Our own object passed back to us; throws for anything else.
  HostObject& Object(std::size_t position) const;
  // The value of a property write.
  const VARIANT& PutValue() const;

 private:
  DISPPARAMS& params_;
  bool put_;
  std::size_t count_;
};

// A wrong argument: its position and the HRESULT for Invoke.
struct ArgumentError {
  std::size_t position;
  HRESULT hr;
};

struct Member {
  const wchar_t* name;
  DISPID id;
  std::function<Value(const Args&)> method = nullptr;
  std::function<Value(const Args&)> get = nullptr;
  std::function<void(const Args&)> put = nullptr;
};

// An event interface the object raises: advising a sink subscribes it to
// the stand-in object's event; the subscription goes with Unadvise.
struct EventSource {
  IID iid;
  std::function<host::Subscription(HostObject& self, IDispatch* sink)> subscribe;
  // Outlook's Inspectors and Explorers keep their sinks until Unadvise, even
  // after the client let go of the object; an Office button drops them with
  // its last reference.
  bool keptByOutlook = false;
};

class HostObject : public IDispatch, public IConnectionPointContainer {
 public:
  // kind names the class in reports; target is the stand-in object behind it.
  HostObject(std::string kind, const IID& iid, std::shared_ptr<void> target);
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;

  void Add(Member member) { members_.push_back(std::move(member)); }
  void AddEvents(EventSource source) { events_.push_back(std::move(source)); }

  const std::string& Kind() const { return kind_; }
  template <class T>
  std::shared_ptr<T> Target(const char* kind) const {
    if (kind_ != kind) throw ArgumentError{0, DISP_E_TYPEMISMATCH};
    return std::static_pointer_cast<T>(target_);
  }
  // This object as a result (one more reference).
  Value AsValue();
  std::size_t Connections() const { return connections_.size(); }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* badArgument) override;
  // IConnectionPointContainer
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

  // For the connection points.
  HRESULT Advise(const IID& iid, IUnknown* sink, DWORD* cookie);
  HRESULT Unadvise(DWORD cookie);

 private:
  virtual ~HostObject();

  struct Connection {
    IDispatch* sink;  // one reference held
    host::Subscription subscription;
    bool keptByOutlook;
  };

  std::atomic<ULONG> references_{1};
  std::string kind_;
  IID iid_;
  std::shared_ptr<void> target_;
  std::vector<Member> members_;
  std::vector<EventSource> events_;
  std::map<DWORD, Connection> connections_;
  DWORD nextCookie_ = 1;
};

// Makes a host object with one reference for the caller.
HostObject* NewHostObject(std::string kind, const IID& iid, std::shared_ptr<void> target);

// Raises an event on a sink: DISPATCH_METHOD with the arguments given last
// to first, as a connection point does. Returns the sink's HRESULT.
HRESULT RaiseEvent(IDispatch& sink, DISPID id, std::vector<VARIANT> reversedArgs);

// --- Bookkeeping, for the checks.

struct LiveObject {
  std::string kind;
  ULONG references;
};
// Every host object and connection point not yet destroyed.
std::vector<LiveObject> LiveObjects();
// Sinks never unadvised from an object Outlook keeps: still held and still
// called, as Outlook would.
std::size_t ForgottenConnections();
// How many objects were ever made.
std::size_t ObjectsMade();
// Calls the add-in made that a real object would refuse outright: unknown
// names, a method called as a property or the reverse, wrong argument
// counts or types. Each is also logged as it happens.
std::vector<std::string> Slips();

}  // namespace standin
