#include "host/win32/module.h"

#include <atomic>

namespace host::win32 {
namespace {

std::atomic<HINSTANCE> kept{nullptr};
std::atomic<LONG> objects{0};
std::atomic<LONG> locks{0};

}  // namespace

HINSTANCE ModuleHandle() {
  HINSTANCE module = kept.load();
  return module ? module : GetModuleHandleA(nullptr);
}

void KeepModuleHandle(HINSTANCE module) {
  kept = module;
}

ModuleObject::ModuleObject() {
  ++objects;
}
ModuleObject::ModuleObject(const ModuleObject&) {
  ++objects;
}
ModuleObject::~ModuleObject() {
  --objects;
}

LONG LiveObjects() {
  return objects.load();
}
void LockModule() {
  ++locks;
}
void UnlockModule() {
  --locks;
}
LONG ModuleLocks() {
  return locks.load();
}

}  // namespace host::win32
