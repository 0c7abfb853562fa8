#pragma once
// The one way the add-in's thread waits: run the window messages that are
// there, then sleep in MsgWaitForMultipleObjects until a message arrives, an
// object is signalled or a short safety interval passes. DoEvents and
// WaitForEvent are made of it, and so is the transfer control's wait for a
// blocking request, so Outlook keeps repainting and answering meanwhile.
#include "host/win32/win32_api.h"

namespace host::win32 {

// Runs the messages waiting for this thread (a bounded number, so a window
// that keeps posting cannot hold it). A WM_QUIT goes back into the queue for
// the loop that owns the thread, and true says so.
bool PumpMessages();

// Sleeps until a message is waiting for this thread (one already seen
// included), object (if not null) is signalled, or a safety interval (a
// quarter second) passes; never spins. quitWaiting: the queue holds a
// WM_QUIT, which would end the sleep at once every time, so then only input,
// sent messages, timers and object wake it.
void WaitForMessage(HANDLE object, bool quitWaiting);

// Runs this thread's messages, sleeping between them, until object is signalled.
void PumpUntil(HANDLE object);

}  // namespace host::win32
