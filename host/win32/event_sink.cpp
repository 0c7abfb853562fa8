#include "host/win32/event_sink.h"

#include "host/error.h"

namespace host::win32 {

Subscription EventSink::Advise(ComPtr<EventSink> sink, IDispatch& source) {
  ComPtr<IConnectionPointContainer> container;
  HRESULT hr = source.QueryInterface(IID_IConnectionPointContainer, container.put_void());
  if (FAILED(hr)) throw Error(hr, "the object raises no events");
  ComPtr<IConnectionPoint> point;
  hr = container->FindConnectionPoint(sink->events_, point.put());
  if (FAILED(hr)) throw Error(hr, "the object does not raise these events");
  DWORD cookie = 0;
  hr = point->Advise(static_cast<IDispatch*>(sink.get()), &cookie);
  if (FAILED(hr)) throw Error(hr, "cannot listen to the object's events");
  return Subscription([sink, point, cookie] {
    sink->Disconnect();
    point->Unadvise(cookie);
  });
}

HRESULT EventSink::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, events_)) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG EventSink::AddRef() {
  return ++references_;
}

ULONG EventSink::Release() {
  ULONG count = --references_;
  if (count == 0) delete this;
  return count;
}

HRESULT EventSink::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
  return E_NOTIMPL;
}

HRESULT EventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  if (result) VariantInit(result);
  if (!connected_ || !params) return S_OK;
  ComPtr<EventSink> alive(this);  // the handler may drop the subscription that holds us
  try {
    OnEvent(id, *params);
  } catch (...) {
    // The source must not see our failures.
  }
  return S_OK;
}

VARIANT* EventSink::Argument(DISPPARAMS& params, UINT count, UINT position, VARTYPE type) {
  if (params.cArgs != count || position >= count || !params.rgvarg) return nullptr;
  VARIANT* argument = &params.rgvarg[count - 1 - position];
  return argument->vt == type ? argument : nullptr;
}

}  // namespace host::win32
