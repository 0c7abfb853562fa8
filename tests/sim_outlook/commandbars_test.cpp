// The stand-in command bars as the drop-down code uses them: Add with Before
// and Temporary, look-ups that fail or come back empty, clicks reaching the
// current subscribers only, and failure injection per call.
#include <gtest/gtest.h>

#include "host/error.h"
#include "host/sim/outlook.h"

namespace host::sim {
namespace {

class CommandBarsTest : public ::testing::Test {
 protected:
  SimOutlook outlook;
  std::shared_ptr<SimInspector> Open(InspectorOptions options = {}) {
    return outlook.OpenInspector(outlook.NewMail("s", {SimRecipient::Smtp("A", "a@example.org")}, "b"), options);
  }
  static std::shared_ptr<host::CommandBarControls> Standard(const std::shared_ptr<SimInspector>& window) {
    return window->GetCommandBars()->Item("Standard")->Controls();
  }
};

TEST_F(CommandBarsTest, StandardBarStartsWithSixBuiltInControls) {
  auto controls = Standard(Open());
  ASSERT_EQ(controls->Count(), 6);
  EXPECT_EQ(controls->Item(1)->Id(), kIdSend);
  EXPECT_EQ(controls->Item(4)->Id(), kIdCut);
  EXPECT_EQ(controls->Item(6)->Type(), host::msoControlButton);
}

TEST_F(CommandBarsTest, AddPutsTheControlBeforeTheGivenPosition) {
  struct Case {
    std::optional<int> before;
    int position;
  };
  for (const Case& c : {Case{1, 1}, Case{4, 4}, Case{7, 7}, Case{std::nullopt, 7}}) {
    auto window = Open();
    auto added = Standard(window)->Add(host::msoControlPopup, std::nullopt, c.before, true);
    added->SetCaption("Tracking");
    EXPECT_EQ(window->StandardPosition("Tracking"), c.position) << c.before.value_or(0);
    EXPECT_EQ(Standard(window)->Count(), 7);
    EXPECT_EQ(added->Id(), kIdCustom);
  }
  auto window = Open();
  EXPECT_THROW(Standard(window)->Add(host::msoControlButton, std::nullopt, 0), host::Error);
  EXPECT_THROW(Standard(window)->Add(host::msoControlButton, std::nullopt, 8), host::Error);
  EXPECT_EQ(Standard(window)->Count(), 6);
}

TEST_F(CommandBarsTest, AddGivesPopupsAndButtonsTheirInterfaces) {
  auto window = Open();
  auto popup = std::dynamic_pointer_cast<host::CommandBarPopup>(Standard(window)->Add(host::msoControlPopup));
  ASSERT_NE(popup, nullptr);
  auto button = std::dynamic_pointer_cast<host::CommandBarButton>(popup->Controls()->Add(host::msoControlButton));
  ASSERT_NE(button, nullptr);
  button->SetStyle(host::msoButtonIconAndCaption);
  button->SetFaceId(1709);
  EXPECT_EQ(button->Style(), 3);
  EXPECT_EQ(button->FaceId(), 1709);
  EXPECT_EQ(popup->Controls()->Count(), 1);
}

TEST_F(CommandBarsTest, TemporaryControlsGoWithTheirWindowAndFailAfterwards) {
  auto window = Open();
  auto bar = window->bars()->Bar("Standard");
  auto temporary = Standard(window)->Add(host::msoControlPopup, std::nullopt, 4, true);
  temporary->SetCaption("Tracking");
  auto lasting = Standard(window)->Add(host::msoControlButton);
  lasting->SetCaption("Lasting");

  window->Close();
  EXPECT_EQ(bar->controls()->Captions(),
            (std::vector<std::string>{"&Send", "&Save", "&Print", "Cu&t", "&Copy", "&Paste", "Lasting"}));
  EXPECT_THROW(temporary->Caption(), host::Error);
  EXPECT_EQ(lasting->Caption(), "Lasting");
}

TEST_F(CommandBarsTest, TemporaryButtonsInsideALastingPopupGoToo) {
  auto window = Open();
  auto popup = std::dynamic_pointer_cast<host::CommandBarPopup>(Standard(window)->Add(host::msoControlPopup));
  auto button = popup->Controls()->Add(host::msoControlButton, std::nullopt, std::nullopt, true);
  window->Close();
  EXPECT_EQ(popup->Controls()->Count(), 0);
  EXPECT_THROW(button->Visible(), host::Error);
}

TEST_F(CommandBarsTest, LookupsByUnknownNameOrCaptionFail) {
  auto window = Open();
  EXPECT_THROW(window->GetCommandBars()->Item("Nonesuch"), host::Error);
  EXPECT_THROW(Standard(window)->Item("Tracking"), host::Error);
  EXPECT_THROW(Standard(window)->Item(0), host::Error);
  EXPECT_THROW(Standard(window)->Item(7), host::Error);
  EXPECT_EQ(Standard(window)->Item("&Print")->Id(), kIdPrint);
}

TEST_F(CommandBarsTest, FindControlGivesTheFirstMatchOrNull) {
  auto plain = Open();
  auto with1377 = Open({.withButton1377 = true});
  EXPECT_EQ(plain->GetCommandBars()->FindControl(host::msoControlButton, kIdButton1377), nullptr);
  auto found = with1377->GetCommandBars()->FindControl(host::msoControlButton, kIdButton1377);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->Id(), kIdButton1377);
  EXPECT_EQ(with1377->GetCommandBars()->FindControl(host::msoControlPopup, kIdButton1377), nullptr);

  // A bar searches its own top-level controls; the whole set also looks into pop-ups.
  auto bar = plain->GetCommandBars()->Item("Standard");
  auto first = bar->Controls()->Add(host::msoControlPopup);
  auto second = bar->Controls()->Add(host::msoControlPopup);
  second->SetCaption("second");
  EXPECT_EQ(bar->FindControl(host::msoControlPopup, kIdCustom), first);
  auto inner = std::dynamic_pointer_cast<host::CommandBarPopup>(first)->Controls()->Add(host::msoControlButton, 4242);
  EXPECT_EQ(bar->FindControl(host::msoControlButton, 4242), nullptr);
  EXPECT_EQ(plain->GetCommandBars()->FindControl(host::msoControlButton, 4242), inner);
}

TEST_F(CommandBarsTest, ClickReachesCurrentSubscribersOnly) {
  auto window = Open();
  auto button = std::dynamic_pointer_cast<host::CommandBarButton>(Standard(window)->Add(host::msoControlButton));
  std::vector<std::string> calls;
  auto first = button->OnClick([&](std::shared_ptr<host::CommandBarButton> ctrl, bool& cancel) {
    EXPECT_EQ(ctrl, button);
    EXPECT_FALSE(cancel);
    calls.push_back("first");
  });
  auto second = button->OnClick([&](std::shared_ptr<host::CommandBarButton>, bool&) { calls.push_back("second"); });
  auto sim = std::dynamic_pointer_cast<SimButton>(button);
  EXPECT_FALSE(sim->Click());
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));

  first.reset();
  sim->Click();
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "second", "second"}));
  { host::Subscription gone = std::move(second); }
  sim->Click();
  EXPECT_EQ(calls.size(), 3u);
  EXPECT_EQ(sim->clickSubscribers(), 0u);
}

TEST_F(CommandBarsTest, ASubscriberMayUnsubscribeAnotherDuringTheClick) {
  auto window = Open();
  auto button =
      std::dynamic_pointer_cast<SimButton>(window->bars()->Bar("Standard")->controls()->AddBuiltInButton(9, "x"));
  host::Subscription second;
  int secondCalls = 0;
  auto first = button->OnClick([&](auto, bool& cancel) {
    second.reset();
    cancel = true;
  });
  second = button->OnClick([&](auto, bool&) { ++secondCalls; });
  EXPECT_TRUE(button->Click());
  EXPECT_EQ(secondCalls, 0);
}

TEST_F(CommandBarsTest, TrackingConveniencesClickOnlyWhatIsShown) {
  auto window = Open();
  auto popup =
      std::dynamic_pointer_cast<host::CommandBarPopup>(Standard(window)->Add(host::msoControlPopup, {}, 4, true));
  popup->SetCaption("Tracking");
  auto about = std::dynamic_pointer_cast<host::CommandBarButton>(popup->Controls()->Add(host::msoControlButton));
  about->SetCaption("About");
  int clicks = 0;
  auto subscription = about->OnClick([&](auto, bool&) { ++clicks; });
  ASSERT_EQ(window->TrackingButton("About"), about);
  popup->SetVisible(false);
  EXPECT_THROW(window->ClickTrackingButton("About"), host::Error);
  popup->SetVisible(true);
  EXPECT_THROW(window->ClickTrackingButton("Automatic"), host::Error);
  window->ClickTrackingButton("About");
  EXPECT_EQ(clicks, 1);
}

TEST_F(CommandBarsTest, InjectedFailuresHitTheNamedCall) {
  auto window = Open();
  outlook.faults().FailAlways("CommandBarControls.Add");
  EXPECT_THROW(Standard(window)->Add(host::msoControlPopup), host::Error);
  outlook.faults().Clear();
  auto control = Standard(window)->Add(host::msoControlPopup);
  outlook.faults().FailNth("CommandBarControl.SetVisible", 1);
  EXPECT_THROW(control->SetVisible(false), host::Error);
  control->SetVisible(false);
  EXPECT_FALSE(control->Visible());
}

TEST_F(CommandBarsTest, SendReceiveExecuteIsCounted) {
  auto explorer = outlook.OpenExplorer();
  auto control = outlook.ActiveExplorer()->GetCommandBars()->FindControl(host::msoControlButton, kIdSendReceive);
  ASSERT_NE(control, nullptr);
  control->Execute();
  control->Execute();
  EXPECT_EQ(outlook.sendReceiveCount(), 2);
}

}  // namespace
}  // namespace host::sim
