#include "host/win32/text.h"

#include <climits>

#include "host/error.h"

namespace host::win32 {

std::wstring Widen(const std::string& text) {
  if (text.empty()) return {};
  if (text.size() > INT_MAX) throw Error(E_INVALIDARG, "text too long");
  int size = static_cast<int>(text.size());
  int wide = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (wide <= 0) throw Error(static_cast<std::int32_t>(GetLastError()), "cannot convert text");
  std::wstring result(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, result.data(), wide);
  return result;
}

std::string Narrow(const wchar_t* text, std::size_t length) {
  if (!text || length == 0) return {};
  if (length > INT_MAX) throw Error(E_INVALIDARG, "text too long");
  int size = static_cast<int>(length);
  int narrow = WideCharToMultiByte(CP_UTF8, 0, text, size, nullptr, 0, nullptr, nullptr);
  if (narrow <= 0) throw Error(static_cast<std::int32_t>(GetLastError()), "cannot convert text");
  std::string result(static_cast<std::size_t>(narrow), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, size, result.data(), narrow, nullptr, nullptr);
  return result;
}

std::string Narrow(const std::wstring& text) {
  return Narrow(text.data(), text.size());
}

Bstr ToBstr(const std::string& text) {
  std::wstring wide = Widen(text);
  BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!b) throw Error(E_OUTOFMEMORY, "out of memory");
  return Bstr::Adopt(b);
}

std::string FromBstr(BSTR text) {
  return text ? Narrow(text, SysStringLen(text)) : std::string();
}

std::string SystemMessage(DWORD code, HMODULE source) {
  wchar_t* buffer = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                (source ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM);
  DWORD length = FormatMessageW(flags, source, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string message;
  try {
    if (length && buffer) message = Narrow(buffer, length);
  } catch (...) {
    message.clear();
  }
  LocalFree(buffer);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message;
}

}  // namespace host::win32
