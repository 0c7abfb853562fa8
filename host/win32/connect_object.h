#pragma once
// The COM object Outlook loads: IDTExtensibility2 (and IDispatch, for callers
// that go through Invoke), handing each event to the add-in's Connect on the
// real platform.
#include <atomic>
#include <memory>

#include "addin/connect.h"
#include "host/win32/idtextensibility2.h"
#include "host/win32/module.h"
#include "host/win32/platform.h"

namespace host::win32 {

class ConnectObject final : public IDTExtensibility2 {
 public:
  ConnectObject() = default;
  ConnectObject(const ConnectObject&) = delete;
  ConnectObject& operator=(const ConnectObject&) = delete;

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
  // IDTExtensibility2
  HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, ext_ConnectMode connectMode, IDispatch* addInInst,
                                         SAFEARRAY** custom) override;
  HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode removeMode, SAFEARRAY** custom) override;
  HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) override;
  HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) override;
  HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) override;

 private:
  ~ConnectObject();
  corvanta::Connect& Addin();
  // Runs one event of the add-in. Tear-down asked for meanwhile (a modal
  // dialog pumps messages) waits until the outermost event has returned.
  template <class Action>
  HRESULT Event(Action&& action);
  void ReleaseAddin();

  std::atomic<ULONG> references_{1};
  ModuleObject counted_;
  Platform platform_;
  std::unique_ptr<corvanta::Connect> addin_;
  int depth_ = 0;
  bool releasePending_ = false;
};

}  // namespace host::win32
