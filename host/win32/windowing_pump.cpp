#include "host/win32/windowing_pump.h"

#include "host/win32/form_dialog.h"

namespace host::win32 {
namespace {

// DoEvents stops after this many messages, so a window that keeps posting cannot hold it.
constexpr int kMostMessages = 10000;
// How long a wait sleeps at most when nothing arrives.
constexpr DWORD kSafetyIntervalMs = 250;

}  // namespace

bool PumpMessages() {
  MSG message;
  for (int handled = 0; handled < kMostMessages && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++handled) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that owns the thread
      return true;
    }
    if (FormDialog::IsModelessMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return false;
}

void WaitForMessage(HANDLE object, bool quitWaiting) {
  const DWORD wakeOn = quitWaiting ? QS_ALLINPUT & ~QS_POSTMESSAGE : QS_ALLINPUT;
  MsgWaitForMultipleObjectsEx(object ? 1 : 0, object ? &object : nullptr, kSafetyIntervalMs, wakeOn,
                              MWMO_INPUTAVAILABLE);
}

void PumpUntil(HANDLE object) {
  for (;;) {
    const bool quitWaiting = PumpMessages();
    if (WaitForSingleObject(object, 0) == WAIT_OBJECT_0) return;
    WaitForMessage(object, quitWaiting);
  }
}

}  // namespace host::win32
