#pragma once
// Message boxes, the dialogs of the forms and the message pump of the
// add-in's thread (Outlook's user-interface thread).
#include "host/win32/win32_api.h"
#include "host/windowing.h"

namespace host::win32 {

// The title of every message box.
inline constexpr const char* kApplicationTitle = "Corvanta";

class Windowing final : public host::Windowing {
 public:
  MsgAnswer MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon) override;
  void ShowModal(Form& form) override;
  void ShowModeless(Form& form) override;
  void DoEvents() override;
  void WaitForEvent() override;

 private:
  bool quitWaiting_ = false;  // the last DoEvents put a WM_QUIT back into the queue
};

// The answer of MessageBox's result. A box that could not be shown (0)
// answers as Cancel or No, so it never passes for consent.
MsgAnswer AnswerOf(int result, MsgButtons buttons);

// The window that owns the add-in's modal dialogs and message boxes: the
// active window of this thread, else Outlook's window on it, else none.
HWND FindOwner();

}  // namespace host::win32
