#pragma once
// A host::Form shown as a Win32 dialog from its template: the model's state is
// pushed into the controls, the user's presses go back to the model.
#include "host/form.h"
#include "host/win32/form_templates.h"
#include "host/win32/module.h"
#include "host/win32/win32_api.h"

namespace host::win32 {

class FormDialog final : public FormView {
 public:
  // Runs the dialog until the form is hidden or unloaded.
  static void ShowModal(Form& form, HWND owner);
  // Creates the dialog and returns; it goes when the form is hidden or unloaded.
  static HWND ShowModeless(Form& form);
  // Keyboard handling of the modeless dialogs, for the message pump.
  static bool IsModelessMessage(MSG& message);
  // One of the modeless dialogs now on the screen.
  static bool IsOwnModeless(HWND window);

  void Changed(const Control& control) override;
  void CaptionChanged() override;
  void Closed() override;

 private:
  FormDialog(Form& form, const FormTemplate& layout, bool modal) : form_(form), layout_(layout), modal_(modal) {}
  ~FormDialog() override = default;
  FormDialog(const FormDialog&) = delete;
  FormDialog& operator=(const FormDialog&) = delete;

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Initialise(HWND window);
  void Command(int id, int code, HWND control);
  void CloseByFrame();
  // Calls into the form, which may close the dialog meanwhile: the window is
  // then destroyed once the outermost call has returned.
  template <class Action>
  void Forward(Action action);
  void DestroyIfClosed();

  Form& form_;
  const FormTemplate& layout_;
  const bool modal_;
  HWND window_ = nullptr;
  int depth_ = 0;
  bool closed_ = false;
  ModuleObject counted_;  // its window calls into the module
};

}  // namespace host::win32
