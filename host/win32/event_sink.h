#pragma once
// The shared base of every event sink: an IDispatch that a connection point
// calls. It answers QueryInterface for its event interface (Advise asks for
// it), hands each event to OnEvent, and always returns S_OK to the source,
// whatever our own handling did.
#include <atomic>

#include "host/subscription.h"
#include "host/win32/com.h"
#include "host/win32/module.h"

namespace host::win32 {

class EventSink : public IDispatch {
 public:
  explicit EventSink(const IID& events) : events_(events) {}
  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;

  // Advises the sink on the source's connection point for its event
  // interface; the subscription unadvises and silences the sink when it goes.
  static Subscription Advise(ComPtr<EventSink> sink, IDispatch& source);

  // No more events reach the handler, even if the source keeps calling.
  void Disconnect() { connected_ = false; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                                   EXCEPINFO* exception, UINT* badArgument) override;

 protected:
  virtual ~EventSink() = default;
  // One event; throwing is allowed (the source still gets S_OK).
  virtual void OnEvent(DISPID id, DISPPARAMS& params) = 0;

  // Argument `position` (0 = first declared) of an event with `count`
  // arguments: Invoke passes them last to first. Null when the count or the
  // type (checked without VT_BYREF unless byRef is asked for) does not match.
  static VARIANT* Argument(DISPPARAMS& params, UINT count, UINT position, VARTYPE type);

 private:
  const IID events_;
  std::atomic<ULONG> references_{1};
  bool connected_ = true;
  ModuleObject counted_;
};

}  // namespace host::win32
