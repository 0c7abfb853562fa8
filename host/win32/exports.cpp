// The four entry points of the in-process server, and DllMain, which only
// keeps the module handle: Outlook's start is not slowed by us.
#include "host/win32/class_factory.h"
#include "host/win32/clsid.h"
#include "host/win32/com.h"
#include "host/win32/module.h"
#include "host/win32/registration.h"
#include "host/win32/win32_api.h"

using namespace host::win32;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) KeepModuleHandle(instance);
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_Connect)) return CLASS_E_CLASSNOTAVAILABLE;
  auto* factory = new (std::nothrow) ClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  HRESULT hr = factory->QueryInterface(iid, object);
  factory->Release();
  return hr;
}

STDAPI DllCanUnloadNow() {
  return LiveObjects() == 0 && ModuleLocks() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
  try {
    return RegisterServer(ModuleHandle());
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}

STDAPI DllUnregisterServer() {
  try {
    return UnregisterServer();
  } catch (...) {
    return SELFREG_E_CLASS;
  }
}
