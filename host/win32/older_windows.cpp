// Outlook 2000 and 2002 run on Windows 2000 and XP, whose kernel32 has no
// GetTickCount64. The thread runtime linked into Corvix.dll asks for it, and a
// DLL importing a missing function does not load at all, so the DLL brings
// its own: this import slot is taken before the linker looks in kernel32's
// import library, and GetTickCount64 never appears among the imports.
#include <windows.h>

namespace {

// Milliseconds since start-up from the performance counter, which every
// Windows since 2000 has; unlike GetTickCount it does not wrap after 49 days.
ULONGLONG WINAPI TickCount64() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER value;
    return QueryPerformanceFrequency(&value) && value.QuadPart > 0 ? value.QuadPart : 0;
  }();
  LARGE_INTEGER now;
  if (frequency == 0 || !QueryPerformanceCounter(&now)) return GetTickCount();
  return static_cast<ULONGLONG>(now.QuadPart / frequency * 1000 + now.QuadPart % frequency * 1000 / frequency);
}

}  // namespace

// The name the stdcall import slot has on 32-bit Windows.
extern "C" ULONGLONG(WINAPI* const corvixGetTickCount64)() asm("__imp__GetTickCount64@0");
extern "C" ULONGLONG(WINAPI* const corvixGetTickCount64)() = &TickCount64;
