#include "host/win32/windowing.h"

#include "host/win32/form_dialog.h"
#include "host/win32/text.h"
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
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (lstrcmpiW(className, L"rctrl_renwnd32") == 0) {  // Outlook's main and item windows
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
  return AnswerOf(MessageBoxW(owner, Widen(text).c_str(), Widen(kApplicationTitle).c_str(), style), buttons);
}

MsgAnswer AnswerOf(int result, MsgButtons buttons) {
  switch (result) {
    case IDOK:
      return MsgAnswer::OK;
    case IDYES:
      return MsgAnswer::Yes;
    case IDNO:
      return MsgAnswer::No;
    case IDCANCEL:
      return MsgAnswer::Cancel;
    default:
      if (buttons == MsgButtons::YesNo) return MsgAnswer::No;
      return buttons == MsgButtons::OKCancel ? MsgAnswer::Cancel : MsgAnswer::OK;
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
