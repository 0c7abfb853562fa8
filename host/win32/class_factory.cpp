#include "host/win32/class_factory.h"

#include "host/win32/com.h"
#include "host/win32/com_boundary.h"
#include "host/win32/connect_object.h"

namespace host::win32 {

HRESULT ClassFactory::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
    *object = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG ClassFactory::AddRef() {
  return ++references_;
}

ULONG ClassFactory::Release() {
  ULONG count = --references_;
  if (count == 0) delete this;
  return count;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  ComPtr<ConnectObject> connect;
  HRESULT hr = Guarded([&] { connect = ComPtr<ConnectObject>::Adopt(new ConnectObject()); });
  if (FAILED(hr)) return hr;
  return connect->QueryInterface(iid, object);
}

HRESULT ClassFactory::LockServer(BOOL lock) {
  if (lock)
    LockModule();
  else
    UnlockModule();
  return S_OK;
}

}  // namespace host::win32
