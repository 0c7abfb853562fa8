#include "host/win32/form_dialog.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/error.h"
#include "host/win32/module.h"
#include "host/win32/text.h"

namespace host::win32 {
namespace {

// The progress bar works in steps; the model's Max and Value are floats.
constexpr int kProgressSteps = 10000;

std::vector<HWND>& Modeless() {
  static std::vector<HWND> dialogs;
  return dialogs;
}

void InitialiseCommonControls() {
  static bool done = false;
  if (done) return;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  done = InitCommonControlsEx(&controls) != FALSE;
}

std::wstring WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

void SetText(HWND window, const std::string& text) {
  const std::wstring wide = Widen(text);
  if (WindowText(window) != wide) SetWindowTextW(window, wide.c_str());
}

// A multi-line edit control breaks lines only at CR LF.
std::string WithCrLf(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result += '\r';
    result += text[i];
  }
  return result;
}

void SetItems(HWND combo, const std::vector<std::string>& items) {
  bool same = SendMessageW(combo, CB_GETCOUNT, 0, 0) == static_cast<LRESULT>(items.size());
  for (std::size_t i = 0; same && i < items.size(); ++i) {
    LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
    std::wstring text(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(std::max<LRESULT>(length, 0)));
    same = text == Widen(items[i]);
  }
  if (same) return;
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const auto& item : items) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
}

int ProgressPosition(const Control& control) {
  if (!(control.max > 0)) return 0;
  double share = std::clamp(static_cast<double>(control.value) / control.max, 0.0, 1.0);
  return static_cast<int>(std::lround(share * kProgressSteps));
}

}  // namespace

void FormDialog::ShowModal(Form& form, HWND owner) {
  const FormTemplate* layout = FindTemplate(form.Name());
  if (!layout) throw Error("no dialog template for " + form.Name());
  // As in Basic: a form on the screen already cannot also be shown modally.
  if (form.Visible()) throw Error(400, "Form already displayed; can't show modally");
  InitialiseCommonControls();
  FormDialog view(form, *layout, true);
  INT_PTR result = DialogBoxParamW(ModuleHandle(), MAKEINTRESOURCEW(layout->templateId), owner, &DialogProc,
                                   reinterpret_cast<LPARAM>(&view));
  if (result == -1) throw Error(static_cast<std::int32_t>(GetLastError()), "cannot show " + form.Name());
  // However the dialog ended, the form no longer shows in it.
  if (!view.closed_) form.Hide();
}

HWND FormDialog::ShowModeless(Form& form) {
  const FormTemplate* layout = FindTemplate(form.Name());
  if (!layout) throw Error("no dialog template for " + form.Name());
  if (form.Visible()) return nullptr;  // on the screen already: one window per form
  InitialiseCommonControls();
  auto* view = new FormDialog(form, *layout, false);
  HWND window = CreateDialogParamW(ModuleHandle(), MAKEINTRESOURCEW(layout->templateId), nullptr, &DialogProc,
                                   reinterpret_cast<LPARAM>(view));
  if (!window) {
    DWORD error = GetLastError();
    delete view;
    throw Error(static_cast<std::int32_t>(error), "cannot show " + form.Name());
  }
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  return window;
}

bool FormDialog::IsModelessMessage(MSG& message) {
  for (HWND dialog : Modeless())
    if (IsDialogMessageW(dialog, &message)) return true;
  return false;
}

bool FormDialog::IsOwnModeless(HWND window) {
  const auto& dialogs = Modeless();
  return std::find(dialogs.begin(), dialogs.end(), window) != dialogs.end();
}

INT_PTR CALLBACK FormDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* view = reinterpret_cast<FormDialog*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    try {
      view->Initialise(window);
    } catch (...) {
      // The dialog shows what could be set.
    }
    // A text first in the tab order takes the focus without its text being
    // selected, as the dialog manager would select it.
    HWND first = GetNextDlgTabItem(window, nullptr, FALSE);
    if (first && (SendMessageW(first, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)) {
      SetFocus(first);
      return FALSE;
    }
    return TRUE;
  }
  auto* view = reinterpret_cast<FormDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (!view) return FALSE;
  try {
    switch (message) {
      case WM_COMMAND:
        view->Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
      case WM_CLOSE:
        view->CloseByFrame();
        return TRUE;
      case WM_NCDESTROY:
        SetWindowLongPtrW(window, DWLP_USER, 0);
        if (!view->modal_) {
          auto& dialogs = Modeless();
          dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), window), dialogs.end());
          if (!view->closed_) {
            // Destroyed from outside (its thread ended): the form no longer shows.
            view->closed_ = true;
            view->form_.Hide();
          }
          delete view;
        }
        return FALSE;
      default:
        return FALSE;
    }
  } catch (...) {
    // Nothing may leave a dialog procedure; the form handles its own failures.
    return TRUE;
  }
}

void FormDialog::Initialise(HWND window) {
  window_ = window;
  if (!modal_) Modeless().push_back(window);
  form_.Shown(this);
  CaptionChanged();
  for (const Control& control : form_.Controls()) Changed(control);
}

void FormDialog::Changed(const Control& control) {
  int id = layout_.IdOf(control.name);
  HWND item = id ? GetDlgItem(window_, id) : nullptr;
  if (!item) return;
  switch (control.kind) {
    case ControlKind::Label:
    case ControlKind::CommandButton:
    case ControlKind::Frame:
      SetText(item, control.caption);
      break;
    case ControlKind::TextBox:
      SetText(item, WithCrLf(control.caption));
      break;
    case ControlKind::ComboBox:
      SetItems(item, control.items);
      if (SendMessageW(item, CB_GETCURSEL, 0, 0) != control.listIndex)
        SendMessageW(item, CB_SETCURSEL, static_cast<WPARAM>(control.listIndex), 0);
      break;
    case ControlKind::ProgressBar:
      SendMessageW(item, PBM_SETRANGE32, 0, kProgressSteps);
      SendMessageW(item, PBM_SETPOS, static_cast<WPARAM>(ProgressPosition(control)), 0);
      break;
  }
  bool shown = (GetWindowLongW(item, GWL_STYLE) & WS_VISIBLE) != 0;
  if (shown != control.visible) ShowWindow(item, control.visible ? SW_SHOWNA : SW_HIDE);
}

void FormDialog::CaptionChanged() {
  SetText(window_, form_.Caption());
}

void FormDialog::Closed() {
  if (closed_) return;
  closed_ = true;
  if (modal_) {
    EndDialog(window_, 0);
    return;
  }
  ShowWindow(window_, SW_HIDE);
  DestroyIfClosed();  // may delete this
}

void FormDialog::DestroyIfClosed() {
  if (closed_ && depth_ == 0 && !modal_) DestroyWindow(window_);
}

template <class Action>
void FormDialog::Forward(Action action) {
  ++depth_;
  try {
    action();
  } catch (...) {
    --depth_;
    DestroyIfClosed();
    throw;
  }
  --depth_;
  DestroyIfClosed();  // may delete this
}

void FormDialog::Command(int id, int code, HWND control) {
  const std::string* name = layout_.NameOf(id);
  if (!name || closed_) return;  // IDOK and IDCANCEL from the keyboard are no buttons of ours
  std::string controlName = *name;
  wchar_t className[32] = {};
  GetClassNameW(control, className, 32);
  bool combo = lstrcmpiW(className, L"ComboBox") == 0;
  if (combo && code == CBN_SELCHANGE) {
    int index = static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0));
    Forward([&] { form_.SelectionChanged(controlName, index); });
  } else if (!combo && code == BN_CLICKED) {  // STN_CLICKED for a label has the same value
    Forward([&] { form_.Click(controlName); });
  }
}

void FormDialog::CloseByFrame() {
  if (closed_) return;
  Forward([&] { form_.CloseByFrame(); });
}

}  // namespace host::win32
