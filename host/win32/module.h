#pragma once
// What the module knows about itself: its handle (for resources and its file
// name) and how many of its objects and locks are alive, so DllCanUnloadNow
// answers honestly.
#include "host/win32/win32_api.h"

namespace host::win32 {

// Corvix.dll's handle once DllMain has kept it; the program's otherwise.
HINSTANCE ModuleHandle();
void KeepModuleHandle(HINSTANCE module);

// Every object of ours that others may still call counts while it lives:
// COM objects handed out, event sinks, transfer threads.
class ModuleObject {
 public:
  ModuleObject();
  ModuleObject(const ModuleObject&);
  ModuleObject& operator=(const ModuleObject&) = default;
  ~ModuleObject();
};

LONG LiveObjects();
void LockModule();
void UnlockModule();
LONG ModuleLocks();

}  // namespace host::win32
