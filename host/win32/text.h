#pragma once
// The one place where text crosses between the add-in's UTF-8 strings and the
// UTF-16 of COM and the wide Win32 calls: both ways through CP_UTF8, so no
// character is lost.
#include <string>

#include "host/win32/com.h"
#include "host/win32/win32_api.h"

namespace host::win32 {

std::wstring Widen(const std::string& text);
std::string Narrow(const wchar_t* text, std::size_t length);
std::string Narrow(const std::wstring& text);

Bstr ToBstr(const std::string& text);
std::string FromBstr(BSTR text);  // null reads as empty

// The system's text for a Win32 error or an HRESULT, or empty.
std::string SystemMessage(DWORD code, HMODULE source = nullptr);

}  // namespace host::win32
