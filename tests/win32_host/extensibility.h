#pragma once
// Office's add-in interface as Outlook calls it, declared by hand (mingw has
// no Add-In Designer type library).
#define WIN32_LEAN_AND_MEAN
#include <oaidl.h>
#include <windows.h>

namespace standin {

// {B65AD801-ABAF-11D0-BB8B-00A0C90F2744}
constexpr IID IID_IDTExtensibility2 = {0xB65AD801, 0xABAF, 0x11D0, {0xBB, 0x8B, 0x00, 0xA0, 0xC9, 0x0F, 0x27, 0x44}};

constexpr int ext_cm_Startup = 1;
constexpr int ext_dm_HostShutdown = 0;

class IDTExtensibility2 : public IDispatch {
 public:
  virtual HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* application, int connectMode, IDispatch* addInInst,
                                                 SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnDisconnection(int removeMode, SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** custom) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** custom) = 0;
};

}  // namespace standin
