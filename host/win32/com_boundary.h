#pragma once
// The one catch at every COM entry point: no exception ever leaves the
// add-in; each becomes an HRESULT for the caller.
#include <new>

#include "host/error.h"
#include "host/win32/win32_api.h"

namespace host::win32 {

inline HRESULT ToHresult(const Error& error) {
  std::int32_t code = error.code();
  if (code == 0 || code == -1) return E_FAIL;  // no code of the platform's
  if (code < 0) return static_cast<HRESULT>(code);
  return HRESULT_FROM_WIN32(static_cast<DWORD>(code));
}

template <class Action>
HRESULT Guarded(Action&& action) noexcept {
  try {
    action();
    return S_OK;
  } catch (const Error& error) {
    return ToHresult(error);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace host::win32
