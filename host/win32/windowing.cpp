#include "host/win32/windowing.h"

#include "host/win32/form_dialog.h"
#include "host/win32/windowing_pump.h"

namespace host::win32 {
namespace {

bool IsCandidateOwner(HWND window) {
  return window && IsWindowVisible(window) && IsWindowEnabled(window) && !GetWindow(window, GW_OWNER);
}

struct OwnerSearch {
  HWND outlook = nullptr;
  HWND other = nullptr;
};

BOOL CALLBACK ConsiderWindow(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<OwnerSearch*>(lParam);
  if (!IsCandidateOwner(window) || FormDialog::IsOwnModeless(window)) return TRUE;
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (lstrcmpiA(className, "rctrl_renwnd32") == 0) {  // Outlook's main and item windows
    search->outlook = window;
    return FALSE;
  }
  if (!search->other) search->other = window;
  return TRUE;
}

}  // namespace

HWND FindOwner() {
  HWND active = GetActiveWindow();
  if (active && !FormDialog::IsOwnModeless(active)) return active;
  OwnerSearch search;
  EnumThreadWindows(GetCurrentThreadId(), &ConsiderWindow, reinterpret_cast<LPARAM>(&search));
  return search.outlook ? search.outlook : search.other;
}

MsgAnswer Windowing::MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon) {
  UINT style = 0;
  switch (buttons) {
    case MsgButtons::OK:
      style = MB_OK;
      break;
    case MsgButtons::OKCancel:
      style = MB_OKCANCEL;
      break;
    case MsgButtons::YesNo:
      style = MB_YESNO;
      break;
  }
  if (icon == MsgIcon::Exclamation) style |= MB_ICONEXCLAMATION;
  HWND owner = FindOwner();
  if (!owner) style |= MB_TASKMODAL;
  switch (MessageBoxA(owner, text.c_str(), kApplicationTitle, style)) {
    case IDCANCEL:
      return MsgAnswer::Cancel;
    case IDYES:
      return MsgAnswer::Yes;
    case IDNO:
      return MsgAnswer::No;
    default:
      return MsgAnswer::OK;
  }
}

void Windowing::ShowModal(Form& form) {
  FormDialog::ShowModal(form, FindOwner());
}

void Windowing::ShowModeless(Form& form) {
  FormDialog::ShowModeless(form);
}

void Windowing::DoEvents() {
  quitWaiting_ = PumpMessages();
}

void Windowing::WaitForEvent() {
  WaitForMessage(nullptr, quitWaiting_);
}

}  // namespace host::win32
