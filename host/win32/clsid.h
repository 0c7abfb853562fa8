#pragma once
// The identity of the add-in's COM class, fixed for good: Outlook finds the
// class through its ProgID, the ProgID through this CLSID.
#include "host/win32/win32_api.h"

namespace host::win32 {

// {4B38E840-61EB-42DD-93EA-CC8F67693DAD}
inline constexpr CLSID CLSID_Connect = {0x4B38E840, 0x61EB, 0x42DD, {0x93, 0xEA, 0xCC, 0x8F, 0x67, 0x69, 0x3D, 0xAD}};
inline constexpr const char* kClsidText = "{4B38E840-61EB-42DD-93EA-CC8F67693DAD}";
inline constexpr const char* kProgId = "Corvix.Connect";

}  // namespace host::win32
