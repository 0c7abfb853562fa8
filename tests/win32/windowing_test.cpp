// Message boxes and the forms' dialogs, driven from a watcher thread as a
// user would: find the window, read it, press its buttons.
#include "host/win32/windowing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/error.h"
#include "host/form.h"
#include "host/win32/dialog_ids.h"
#include "host/win32/module.h"
#include "test_support.h"

namespace corvanta_test {
namespace {

using host::Control;
using host::ControlKind;
using host::MsgAnswer;
using host::MsgButtons;
using host::MsgIcon;

void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

struct MsgBoxCase {
  const char* name;
  MsgButtons buttons;
  int press;
  MsgAnswer answer;
};

class MessageBoxes : public ::testing::TestWithParam<MsgBoxCase> {};

TEST_P(MessageBoxes, ShowTheTextUnderTheApplicationTitleAndGiveTheAnswer) {
  const auto& param = GetParam();
  std::string seen;
  WindowWatcher user("#32770", "Corvanta", [&](HWND box) {
    seen = WindowText(GetDlgItem(box, 0xFFFF));
    Press(box, param.press);
  });
  host::win32::Windowing windowing;
  MsgAnswer answer = windowing.MsgBox("Insufficient credit.", param.buttons, MsgIcon::Exclamation);
  EXPECT_TRUE(user.Found());
  EXPECT_EQ(seen, "Insufficient credit.");
  EXPECT_EQ(answer, param.answer);
}

INSTANTIATE_TEST_SUITE_P(Answers, MessageBoxes,
                         ::testing::Values(MsgBoxCase{"Ok", MsgButtons::OK, IDOK, MsgAnswer::OK},
                                           MsgBoxCase{"Cancel", MsgButtons::OKCancel, IDCANCEL, MsgAnswer::Cancel},
                                           MsgBoxCase{"Yes", MsgButtons::YesNo, IDYES, MsgAnswer::Yes},
                                           MsgBoxCase{"No", MsgButtons::YesNo, IDNO, MsgAnswer::No}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

// A message box that could not be shown (MessageBox gave 0) never passes for consent.
TEST(MessageBoxes, AFailedBoxAnswersAsCancelOrNo) {
  using host::win32::AnswerOf;
  EXPECT_EQ(AnswerOf(0, MsgButtons::OKCancel), MsgAnswer::Cancel);
  EXPECT_EQ(AnswerOf(0, MsgButtons::YesNo), MsgAnswer::No);
  EXPECT_EQ(AnswerOf(0, MsgButtons::OK), MsgAnswer::OK);
  EXPECT_EQ(AnswerOf(IDOK, MsgButtons::OKCancel), MsgAnswer::OK);
  EXPECT_EQ(AnswerOf(IDYES, MsgButtons::YesNo), MsgAnswer::Yes);
}

std::wstring WideText(HWND window) {
  wchar_t text[512] = {};
  GetWindowTextW(window, text, 512);
  return text;
}

TEST(MessageBoxes, ShowTextInAnyLanguage) {
  std::wstring seen;
  WindowWatcher user("#32770", "Corvanta", [&](HWND box) {
    seen = WideText(GetDlgItem(box, 0xFFFF));
    Press(box, IDOK);
  });
  host::win32::Windowing windowing;
  windowing.MsgBox("Ωμέγα Здравствуйте 日本語 😀 €", MsgButtons::OK, MsgIcon::None);
  EXPECT_TRUE(user.Found());
  EXPECT_EQ(seen,
            L"\u03A9\u03BC\u03AD\u03B3\u03B1 \u0417\u0434\u0440\u0430\u0432\u0441\u0442\u0432\u0443\u0439\u0442\u0435 "
            L"\u65E5\u672C\u8A9E \xD83D\xDE00 \u20AC");
}

Control Make(const char* name, ControlKind kind, const char* caption) {
  Control control;
  control.name = name;
  control.kind = kind;
  control.caption = caption;
  return control;
}

// A form that records what the user did; its buttons hide it, as the add-in's do.
class RecordingForm : public host::Form {
 public:
  RecordingForm(const char* name, const char* caption, std::vector<Control> controls)
      : Form(name, caption, 3000, 2000, std::move(controls)) {}
  void Click(const std::string& control) override {
    clicks.push_back(control);
    if (hideOnClick) Hide();
  }
  void SelectionChanged(const std::string& control, int listIndex) override {
    selections.push_back(control + "=" + std::to_string(listIndex));
    Form::SelectionChanged(control, listIndex);
  }
  std::vector<std::string> clicks, selections;
  bool hideOnClick = true;
};

RecordingForm TermsForm() {
  return RecordingForm("toua", "Terms",
                       {Make("Text1", ControlKind::TextBox, "TERMS\n\nline two"),
                        Make("OKButton", ControlKind::CommandButton, "I Agree"),
                        Make("CancelButton", ControlKind::CommandButton, "I Decline")});
}

TEST(Dialogs, ModalFormShowsItsModelAndEndsWhenAButtonHidesIt) {
  RecordingForm form = TermsForm();
  std::string text, agree;
  WindowWatcher user("#32770", "Terms", [&](HWND dialog) {
    text = WindowText(GetDlgItem(dialog, IDC_TOUA_TEXT1));
    agree = WindowText(GetDlgItem(dialog, IDC_TOUA_OKBUTTON));
    Press(dialog, IDC_TOUA_OKBUTTON);
  });
  host::win32::Windowing windowing;
  windowing.ShowModal(form);
  EXPECT_TRUE(user.Found());
  EXPECT_EQ(text, "TERMS\r\n\r\nline two");
  EXPECT_EQ(agree, "I Agree");
  EXPECT_EQ(form.clicks, std::vector<std::string>{"OKButton"});
  EXPECT_FALSE(form.Visible());
}

// The terms open with the focus on their text and no default button: Enter
// accepts nothing.
TEST(Dialogs, TheTermsOpenOnTheTextAndEnterAcceptsNothing) {
  RecordingForm form("toua", "Terms",
                     {Make("Text1", ControlKind::TextBox, "Ωμέγα 日本語 TERMS"),
                      Make("OKButton", ControlKind::CommandButton, "I Agree"),
                      Make("CancelButton", ControlKind::CommandButton, "I Decline")});
  bool focusOnText = false, agreeIsDefault = true;
  std::wstring text;
  WindowWatcher user("#32770", "Terms", [&](HWND dialog) {
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &thread);
    focusOnText = thread.hwndFocus == GetDlgItem(dialog, IDC_TOUA_TEXT1);
    agreeIsDefault = (GetWindowLongW(GetDlgItem(dialog, IDC_TOUA_OKBUTTON), GWL_STYLE) & BS_DEFPUSHBUTTON) != 0;
    text = WideText(GetDlgItem(dialog, IDC_TOUA_TEXT1));
    HWND focus = thread.hwndFocus ? thread.hwndFocus : dialog;
    PostMessageW(focus, WM_KEYDOWN, VK_RETURN, 1);
    PostMessageW(focus, WM_CHAR, L'\r', 1);
    PostMessageW(focus, WM_KEYUP, VK_RETURN, 0xC0000001);
    Sleep(300);
    Press(dialog, IDC_TOUA_CANCELBUTTON);
  });
  host::win32::Windowing windowing;
  windowing.ShowModal(form);
  EXPECT_TRUE(user.Found());
  EXPECT_TRUE(focusOnText);
  EXPECT_FALSE(agreeIsDefault);
  EXPECT_EQ(text, L"\u03A9\u03BC\u03AD\u03B3\u03B1 \u65E5\u672C\u8A9E TERMS");
  EXPECT_EQ(form.clicks, std::vector<std::string>{"CancelButton"}) << "Enter pressed nothing";
}

TEST(Dialogs, ClosingTheFrameUnloadsTheForm) {
  RecordingForm form = TermsForm();
  WindowWatcher user("#32770", "Terms", [&](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); });
  host::win32::Windowing windowing;
  windowing.ShowModal(form);
  EXPECT_TRUE(user.Found());
  EXPECT_TRUE(form.clicks.empty());
  EXPECT_FALSE(form.Loaded());
}

TEST(Dialogs, KeyboardOkAndCancelAreNoButtonsOfTheForm) {
  RecordingForm form = TermsForm();
  WindowWatcher user("#32770", "Terms", [&](HWND dialog) {
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    Press(dialog, IDC_TOUA_CANCELBUTTON);
  });
  host::win32::Windowing windowing;
  windowing.ShowModal(form);
  EXPECT_EQ(form.clicks, std::vector<std::string>{"CancelButton"});
}

TEST(Dialogs, ModalFormIsOwnedByOutlooksWindow) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "rctrl_renwnd32";
  RegisterClassA(&windowClass);
  HWND outlook = CreateWindowExA(0, "rctrl_renwnd32", "Inbox - Outlook", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400,
                                 300, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_TRUE(outlook);
  EXPECT_EQ(host::win32::FindOwner(), outlook);

  RecordingForm form = TermsForm();
  HWND owner = nullptr;
  WindowWatcher user("#32770", "Terms", [&](HWND dialog) {
    owner = GetWindow(dialog, GW_OWNER);
    Press(dialog, IDC_TOUA_OKBUTTON);
  });
  host::win32::Windowing windowing;
  windowing.ShowModal(form);
  EXPECT_EQ(owner, outlook);
  DestroyWindow(outlook);
}

std::vector<Control> ProgressControls() {
  return {Make("lblProgress", ControlKind::Label, ""), Make("lblEmail", ControlKind::Label, ""),
          Make("ctlProgress", ControlKind::ProgressBar, ""), Make("Close", ControlKind::CommandButton, "Close")};
}

BOOL CALLBACK CountProgressWindows(HWND window, LPARAM count) {
  if (WindowText(window) == "Sending...") ++*reinterpret_cast<int*>(count);
  return TRUE;
}

class ModelessDialog : public ::testing::Test {
 protected:
  HWND Shown(const char* title) {
    windowing_.ShowModeless(form_);
    windowing_.DoEvents();
    return FindWindowA("#32770", title);
  }
  host::win32::Windowing windowing_;
  LONG objectsBefore_ = host::win32::LiveObjects();
  RecordingForm form_{"dlgProgress", "Sending...", ProgressControls()};
};

TEST_F(ModelessDialog, FollowsTheModel) {
  HWND dialog = Shown("Sending...");
  ASSERT_TRUE(dialog);
  EXPECT_TRUE(form_.Visible());
  EXPECT_FALSE(GetWindow(dialog, GW_OWNER));

  form_["lblProgress"].caption = "Receiving stamp...";
  form_.Update("lblProgress");
  EXPECT_EQ(WindowText(GetDlgItem(dialog, IDC_PROGRESS_LBLPROGRESS)), "Receiving stamp...");

  form_["ctlProgress"].max = 4;
  form_["ctlProgress"].value = 1;
  form_.Update("ctlProgress");
  HWND bar = GetDlgItem(dialog, IDC_PROGRESS_CTLPROGRESS);
  LRESULT high = SendMessageA(bar, PBM_GETRANGE, FALSE, 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0) * 4, high);

  form_["lblEmail"].visible = false;
  form_.Update("lblEmail");
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_PROGRESS_LBLEMAIL)));

  form_.SetCaption("Sending to 2 recipients");
  EXPECT_EQ(WindowText(dialog), "Sending to 2 recipients");
  form_.Unload();
  EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(ModelessDialog, CloseButtonReachesTheFormThroughThePump) {
  HWND dialog = Shown("Sending...");
  ASSERT_TRUE(dialog);
  form_.hideOnClick = false;
  Press(dialog, IDC_PROGRESS_CLOSE);
  EXPECT_TRUE(form_.clicks.empty());
  windowing_.DoEvents();
  EXPECT_EQ(form_.clicks, std::vector<std::string>{"Close"});
  EXPECT_TRUE(IsWindow(dialog));

  // A button that unloads the form takes the window with it, once its handler has returned.
  form_.hideOnClick = true;
  Press(dialog, IDC_PROGRESS_CLOSE);
  windowing_.DoEvents();
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_FALSE(form_.Visible());
  EXPECT_EQ(host::win32::LiveObjects(), objectsBefore_);
}

TEST_F(ModelessDialog, AFormShowsInOneWindowOnly) {
  HWND dialog = Shown("Sending...");
  ASSERT_TRUE(dialog);
  windowing_.ShowModeless(form_);
  int windows = 0;
  EnumThreadWindows(GetCurrentThreadId(), &CountProgressWindows, reinterpret_cast<LPARAM>(&windows));
  EXPECT_EQ(windows, 1);
  EXPECT_THROW(windowing_.ShowModal(form_), host::Error);
  EXPECT_TRUE(IsWindow(dialog));
  form_.Unload();
  EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(ModelessDialog, GoesWithItsFormWhenTheFormIsDestroyed) {
  auto form = std::make_unique<RecordingForm>("dlgProgress", "Sending...", ProgressControls());
  windowing_.ShowModeless(*form);
  HWND dialog = FindWindowA("#32770", "Sending...");
  ASSERT_TRUE(dialog);
  form.reset();
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_EQ(host::win32::LiveObjects(), objectsBefore_);
}

TEST(Dialogs, ComboSelectionGoesBackToTheForm) {
  Control combo = Make("opt_send", ControlKind::ComboBox, "");
  combo.items = {"off", "immediately!"};
  combo.listIndex = 1;
  RecordingForm form("dlgAbout", "About", {combo, Make("ok", ControlKind::CommandButton, "OK")});
  host::win32::Windowing windowing;
  windowing.ShowModeless(form);
  HWND dialog = FindWindowA("#32770", "About");
  ASSERT_TRUE(dialog);
  HWND box = GetDlgItem(dialog, IDC_ABOUT_OPT_SEND);
  EXPECT_EQ(SendMessageA(box, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageA(box, CB_GETCURSEL, 0, 0), 1);

  SendMessageA(box, CB_SETCURSEL, 0, 0);
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_OPT_SEND, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
  windowing.DoEvents();
  EXPECT_EQ(form.selections, std::vector<std::string>{"opt_send=0"});
  EXPECT_EQ(form["opt_send"].listIndex, 0);
  form.Unload();
}

TEST(Dialogs, FormWithoutATemplateCannotBeShown) {
  RecordingForm form("dlgElsewhere", "Elsewhere", {});
  host::win32::Windowing windowing;
  EXPECT_THROW(windowing.ShowModeless(form), host::Error);
  EXPECT_THROW(windowing.ShowModal(form), host::Error);
  EXPECT_FALSE(form.Visible());
}

}  // namespace
}  // namespace corvanta_test
