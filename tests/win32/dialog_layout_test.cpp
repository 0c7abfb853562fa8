// The add-in's own dialogs: every control of each form has its place in the
// dialog template, where the form's twips put it.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "account/dlg_about.h"
#include "account/toua.h"
#include "host/win32/form_templates.h"
#include "host/win32/platform.h"
#include "sending/dlg_progress.h"
#include "test_support.h"

namespace corvanta_test {
namespace {

// The same conversion as dialogs.rc: 22.5 twips a dialog unit across, 24.375 down.
int DialogX(int twips) {
  return (twips * 4 + 45) / 90;
}
int DialogY(int twips) {
  return (twips * 16 + 195) / 390;
}

struct FormCase {
  const char* name;
  std::function<std::unique_ptr<host::Form>(host::Platform&)> make;
};

class DialogLayout : public ::testing::TestWithParam<FormCase> {};

TEST_P(DialogLayout, EveryControlStandsWhereItsTwipsSay) {
  host::win32::Platform platform;
  auto form = GetParam().make(platform.Get());
  const auto* layout = host::win32::FindTemplate(form->Name());
  ASSERT_TRUE(layout) << form->Name();
  platform.Get().windowing.ShowModeless(*form);
  HWND dialog = FindWindowA("#32770", form->Caption().c_str());
  ASSERT_TRUE(dialog);

  RECT client{};
  GetClientRect(dialog, &client);
  RECT expectedClient{0, 0, DialogX(form->Width()), DialogY(form->Height())};
  MapDialogRect(dialog, &expectedClient);
  EXPECT_NEAR(client.right, expectedClient.right, 1);
  EXPECT_NEAR(client.bottom, expectedClient.bottom, 1);

  for (const host::Control& control : form->Controls()) {
    SCOPED_TRACE(control.name);
    int id = layout->IdOf(control.name);
    ASSERT_NE(id, 0);
    HWND item = GetDlgItem(dialog, id);
    ASSERT_TRUE(item);
    int left = control.left, top = control.top;
    if (!control.container.empty()) {
      const host::Control& frame = (*form)[control.container];
      left += frame.left;
      top += frame.top;
    }
    RECT expected{DialogX(left), DialogY(top), DialogX(left) + DialogX(control.width),
                  DialogY(top) + DialogY(control.height)};
    MapDialogRect(dialog, &expected);
    RECT actual{};
    GetWindowRect(item, &actual);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_NEAR(actual.left, expected.left, 1);
    EXPECT_NEAR(actual.top, expected.top, 1);
    EXPECT_NEAR(actual.right, expected.right, 1);
    if (control.kind != host::ControlKind::ComboBox) {  // a combo box's height is the system's
      EXPECT_NEAR(actual.bottom, expected.bottom, 1);
    }
  }
  form->Unload();
  EXPECT_FALSE(IsWindow(dialog));
}

INSTANTIATE_TEST_SUITE_P(Forms, DialogLayout,
                         ::testing::Values(FormCase{"Progress",
                                                    [](host::Platform& platform) -> std::unique_ptr<host::Form> {
                                                      return std::make_unique<corvanta::dlgProgress>(platform);
                                                    }},
                                           FormCase{"About",
                                                    [](host::Platform& platform) -> std::unique_ptr<host::Form> {
                                                      return std::make_unique<corvanta::dlgAbout>(platform,
                                                                                                  "127.0.0.1:9");
                                                    }},
                                           FormCase{"Terms",
                                                    [](host::Platform& platform) -> std::unique_ptr<host::Form> {
                                                      return std::make_unique<corvanta::toua>(platform, "127.0.0.1:9");
                                                    }}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

}  // namespace
}  // namespace corvanta_test
