#pragma once
// What regsvr32 writes and removes: the class and its ProgID, and the key
// under which Outlook lists the add-in.
#include "host/win32/win32_api.h"

namespace host::win32 {

inline constexpr const char* kAddinKey = "Software\\Microsoft\\Office\\Outlook\\Addins\\Corvix.Connect";
inline constexpr const char* kFriendlyName = "Corvanta";
inline constexpr const char* kDescription = "Corvanta Add-In for Windows Outlook 2000/2002";
inline constexpr DWORD kLoadAtStartup = 3;  // loaded, and loaded at every start

// S_OK, or SELFREG_E_CLASS after removing what was written.
HRESULT RegisterServer(HINSTANCE module);
// S_OK once nothing of ours is left, or SELFREG_E_CLASS.
HRESULT UnregisterServer();

}  // namespace host::win32
