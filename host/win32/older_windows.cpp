// Outlook 2000 and 2002 run on Windows 2000 and XP. The thread runtime linked
// into Corvix.dll asks kernel32 for functions that Windows 2000 (and, for
// GetTickCount64, XP) lacks, and a DLL importing a missing function does not
// load at all. So the DLL fills these import slots itself: each is taken
// before the linker looks in kernel32's import library, and the functions
// never appear among the imports (host/win32/imports.txt lists those that do).
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

// kernel32's own function where this Windows has it (XP and later), else null.
// Looked up at each call: the runtime calls these once as the DLL is loaded and
// once as it is unloaded, where a guarded static would be out of place.
FARPROC Kernel32(const char* name) {
  HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
  return kernel32 ? GetProcAddress(kernel32, name) : nullptr;
}

using AddHandler = PVOID(WINAPI*)(ULONG, PVECTORED_EXCEPTION_HANDLER);
using RemoveHandler = ULONG(WINAPI*)(PVOID);

// The thread runtime installs a vectored handler only so that naming a thread
// without a debugger does not end the process; given no handler (Windows
// 2000 has none), it leaves threads unnamed instead, which nothing here needs.
PVOID WINAPI AddVectoredHandler(ULONG first, PVECTORED_EXCEPTION_HANDLER handler) {
  auto add = reinterpret_cast<AddHandler>(reinterpret_cast<void*>(Kernel32("AddVectoredExceptionHandler")));
  return add ? add(first, handler) : nullptr;
}

ULONG WINAPI RemoveVectoredHandler(PVOID handle) {
  if (!handle) return 0;
  auto remove = reinterpret_cast<RemoveHandler>(reinterpret_cast<void*>(Kernel32("RemoveVectoredExceptionHandler")));
  return remove ? remove(handle) : 0;
}

}  // namespace

// The import slots' names: stdcall-decorated on 32-bit Windows, plain on 64-bit
// (whose oldest kernel32, of XP x64, has the vectored handlers but not GetTickCount64).
#ifdef _WIN64
#define CORVIX_IMPORT_SLOT(name, argument_bytes) "__imp_" #name
#else
#define CORVIX_IMPORT_SLOT(name, argument_bytes) "__imp__" #name "@" #argument_bytes
#endif

extern "C" ULONGLONG(WINAPI* const corvixGetTickCount64)() asm(CORVIX_IMPORT_SLOT(GetTickCount64, 0));
extern "C" ULONGLONG(WINAPI* const corvixGetTickCount64)() = &TickCount64;
extern "C" PVOID(WINAPI* const corvixAddVectoredExceptionHandler)(ULONG, PVECTORED_EXCEPTION_HANDLER) asm(
    CORVIX_IMPORT_SLOT(AddVectoredExceptionHandler, 8));
extern "C" PVOID(WINAPI* const corvixAddVectoredExceptionHandler)(ULONG,
                                                                  PVECTORED_EXCEPTION_HANDLER) = &AddVectoredHandler;
extern "C" ULONG(WINAPI* const corvixRemoveVectoredExceptionHandler)(PVOID) asm(
    CORVIX_IMPORT_SLOT(RemoveVectoredExceptionHandler, 4));
extern "C" ULONG(WINAPI* const corvixRemoveVectoredExceptionHandler)(PVOID) = &RemoveVectoredHandler;
