#pragma once
// The Windows headers of the Windows layer, all here, in the one order that
// works: Windows defines as macros some names that the host interfaces
// declare themselves (the predefined hive handles, registry types, status
// codes and the INI-file calls). The interfaces come first, so they are
// declared under their own names, and the INI-file macros are dropped so
// that the methods keep theirs. Code here uses Windows' own HKEY_..., REG_...
// and ERROR_..., and includes no Windows header but this one.
#include "host/registry.h"
// clang-format off
#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <ocidl.h>
#include <olectl.h>
#include <commctrl.h>
#include <wininet.h>
#include <wincrypt.h>
// clang-format on

#undef GetPrivateProfileString
#undef GetPrivateProfileInt
#undef WritePrivateProfileString
