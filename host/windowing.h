#pragma once
// Message boxes, dialogs and the window-message pump of the add-in's thread.
#include <string>

namespace host {

class Form;

enum class MsgButtons { OK, OKCancel, YesNo };
enum class MsgIcon { None, Exclamation };
enum class MsgAnswer { OK, Cancel, Yes, No };

class Windowing {
 public:
  virtual ~Windowing() = default;
  // A message box with the add-in's application title.
  virtual MsgAnswer MsgBox(const std::string& text, MsgButtons buttons = MsgButtons::OK,
                           MsgIcon icon = MsgIcon::None) = 0;
  // Shows the form owned by the add-in; returns once it is hidden or unloaded.
  virtual void ShowModal(Form& form) = 0;
  // Shows the form without an owner and returns at once.
  virtual void ShowModeless(Form& form) = 0;
  // Runs the pending events (window messages, transfer state changes), then returns.
  virtual void DoEvents() = 0;
  // Sleeps until an event is pending (or a short safety interval passes).
  virtual void WaitForEvent() = 0;
};

}  // namespace host
