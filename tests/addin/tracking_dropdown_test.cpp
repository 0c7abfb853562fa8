// The "Tracking" drop-down in each item window: where it goes, what it holds,
// when it shows, that host failures are ignored one by one, and that clicks
// reach the handlers through the newest set of buttons.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "addin_world.h"

namespace addintest {
namespace {

using host::sim::InspectorOptions;
using host::sim::SimButton;
using host::sim::SimInspector;
using host::sim::SimPopup;
using ::testing::ElementsAre;
using Button = Connect::TrackingButton;

struct ButtonLook {
  std::string caption;
  int type, style, faceId;
  bool beginGroup;
  std::string tag;
  bool operator==(const ButtonLook&) const = default;
};

std::vector<ButtonLook> Looks(SimPopup& popup) {
  std::vector<ButtonLook> looks;
  for (const auto& button : ButtonsOf(popup)) {
    looks.push_back(
        {button->caption(), button->type(), button->style(), button->faceId(), button->beginGroup(), button->tag()});
  }
  return looks;
}

const std::vector<ButtonLook> kFourButtons = {
    {"Automatic", 1, 3, 1709, false, ""},
    {"Request receipt", 1, 3, 593, false, ""},
    {"Guaranteed", 1, 3, 627, false, ""},
    {"About", 1, 3, 1089, true, ""},
};

TEST(TrackingDropDown, BuiltBeforeTheFourthControlWithItsFourButtons) {
  AddinWorld world;
  world.StartAccepted();

  auto window = world.OpenMail();

  EXPECT_THAT(window->bars()->Bar("Standard")->controls()->Captions(),
              ElementsAre("&Send", "&Save", "&Print", "Tracking", "Cu&t", "&Copy", "&Paste"));
  auto popup = window->TrackingPopup();
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->type(), host::msoControlPopup);
  EXPECT_EQ(popup->tag(), "Tracking");
  EXPECT_TRUE(popup->temporary());
  EXPECT_TRUE(popup->beginGroup());
  EXPECT_TRUE(popup->visible());
  EXPECT_EQ(Looks(*popup), kFourButtons);

  // The members hold this window's buttons and listen to them.
  const auto buttons = ButtonsOf(*popup);
  EXPECT_EQ(world.addin->autoButton.get(), AsHost(buttons[0]));
  EXPECT_EQ(world.addin->requButton.get(), AsHost(buttons[1]));
  EXPECT_EQ(world.addin->guarButton.get(), AsHost(buttons[2]));
  EXPECT_EQ(world.addin->aboutButton.get(), AsHost(buttons[3]));
  for (const auto& button : buttons) EXPECT_EQ(button->clickSubscribers(), 1u);
  EXPECT_TRUE(world.windowing.Messages().empty());
}

TEST(TrackingDropDown, AnExistingDropDownIsReusedUnchanged) {
  AddinWorld world;
  world.StartAccepted();
  InspectorOptions options;
  options.prepareBars = [](host::sim::SimCommandBars& bars) {
    auto existing = bars.Bar("Standard")->Controls()->Add(host::msoControlPopup, std::nullopt, std::nullopt, true);
    existing->SetCaption("Tracking");
    existing->SetVisible(false);
  };

  auto window = world.OpenMail(options);

  auto popups = PopupsOf(*window);
  ASSERT_EQ(popups.size(), 1u);
  EXPECT_TRUE(popups[0]->children()->all().empty());
  EXPECT_TRUE(popups[0]->tag().empty());
  EXPECT_FALSE(popups[0]->beginGroup());
  EXPECT_EQ(world.addin->autoButton, nullptr);
  // Its visibility is still decided.
  EXPECT_TRUE(popups[0]->visible());
}

TEST(TrackingDropDown, TheSameWindowAnnouncedTwiceKeepsOneDropDownAndItsButtons) {
  AddinWorld world;
  world.StartAccepted();
  auto window = world.OpenMail();
  const auto members = world.addin->autoButton;

  world.outlook->RaiseNewInspector(window);

  ASSERT_EQ(PopupsOf(*window).size(), 1u);
  EXPECT_EQ(Looks(*window->TrackingPopup()), kFourButtons);
  EXPECT_EQ(world.addin->autoButton, members);
}

TEST(TrackingDropDown, ShownOnlyForMailOnceTheTermsAreAcceptedAndWithoutButton1377) {
  struct Case {
    const char* name;
    int itemClass;
    bool accepted;
    bool with1377;
    bool visible;
  };
  const Case cases[] = {
      {"mail", host::olMail, true, false, true},
      {"contact", host::sim::olContact, true, false, false},
      {"appointment", host::sim::olAppointment, true, false, false},
      {"note", host::sim::olNote, true, false, false},
      {"mail with button 1377", host::olMail, true, true, false},
      {"mail, terms not accepted", host::olMail, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AddinWorld world;
    world.StartAccepted();
    world.addin->bAcceptedTOUA = c.accepted;
    InspectorOptions options;
    options.withButton1377 = c.with1377;

    auto window = world.outlook->OpenInspector(world.outlook->NewItem(c.itemClass, "Item"), options);

    auto popup = window->TrackingPopup();
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(popup->visible(), c.visible);
    EXPECT_EQ(Looks(*popup), kFourButtons);
  }
}

struct FailureCase {
  const char* name;
  const char* op;
  int nth;  // 0: every call
  std::function<void(AddinWorld&, SimInspector&)> check;
};

TEST(TrackingDropDown, FailuresOfTheHostAreIgnoredStepByStep) {
  auto noDropDown = [](AddinWorld& world, SimInspector& window) {
    EXPECT_TRUE(PopupsOf(window).empty());
    EXPECT_EQ(world.addin->autoButton, nullptr);
  };
  auto builtButHidden = [](AddinWorld&, SimInspector& window) {
    ASSERT_NE(window.TrackingPopup(), nullptr);
    EXPECT_EQ(Looks(*window.TrackingPopup()), kFourButtons);
    EXPECT_FALSE(window.TrackingPopup()->visible());
  };
  auto withButtons = [](std::vector<ButtonLook> looks) {
    return [looks](AddinWorld&, SimInspector& window) {
      ASSERT_EQ(PopupsOf(window).size(), 1u);
      EXPECT_EQ(Looks(*PopupsOf(window)[0]), looks);
      EXPECT_TRUE(PopupsOf(window)[0]->visible());
    };
  };
  auto changed = [](std::size_t index, std::function<void(ButtonLook&)> change) {
    auto looks = kFourButtons;
    change(looks[index]);
    return looks;
  };

  const FailureCase cases[] = {
      {"the window's bars", "Inspector.CommandBars", 0, noDropDown},
      {"the Standard bar", "CommandBars.Item", 0, noDropDown},
      {"adding the drop-down", "CommandBarControls.Add", 1, noDropDown},
      {"adding the first button", "CommandBarControls.Add", 2,
       [](AddinWorld& world, SimInspector& window) {
         auto popup = window.TrackingPopup();
         ASSERT_NE(popup, nullptr);
         EXPECT_EQ(Looks(*popup), std::vector<ButtonLook>(kFourButtons.begin() + 1, kFourButtons.end()));
         EXPECT_EQ(world.addin->autoButton, nullptr);
         EXPECT_EQ(world.addin->requButton.get(), AsHost(ButtonsOf(*popup)[0]));
         EXPECT_TRUE(popup->visible());
       }},
      {"the drop-down's caption", "CommandBarControl.SetCaption", 1,
       [](AddinWorld&, SimInspector& window) {
         ASSERT_EQ(PopupsOf(window).size(), 1u);
         auto popup = PopupsOf(window)[0];
         EXPECT_EQ(popup->caption(), "");
         EXPECT_EQ(popup->tag(), "Tracking");
         EXPECT_THAT(window.bars()->Bar("Standard")->controls()->Captions(),
                     ElementsAre("&Send", "&Save", "&Print", "", "Cu&t", "&Copy", "&Paste"));
         EXPECT_EQ(Looks(*popup), kFourButtons);
       }},
      {"the drop-down's tag", "CommandBarControl.SetTag", 1,
       [](AddinWorld&, SimInspector& window) {
         ASSERT_NE(window.TrackingPopup(), nullptr);
         EXPECT_EQ(window.TrackingPopup()->tag(), "");
         EXPECT_EQ(Looks(*window.TrackingPopup()), kFourButtons);
       }},
      {"the first button's caption", "CommandBarControl.SetCaption", 2,
       withButtons(changed(0, [](ButtonLook& look) { look.caption = ""; }))},
      {"the second button's style", "CommandBarButton.SetStyle", 2,
       withButtons(changed(1, [](ButtonLook& look) { look.style = 0; }))},
      {"the About button's face", "CommandBarButton.SetFaceId", 4,
       withButtons(changed(3, [](ButtonLook& look) { look.faceId = 0; }))},
      {"the About button's separator", "CommandBarControl.SetBeginGroup", 1,
       withButtons(changed(3, [](ButtonLook& look) { look.beginGroup = false; }))},
      {"the drop-down's separator", "CommandBarControl.SetBeginGroup", 2,
       [](AddinWorld&, SimInspector& window) {
         ASSERT_NE(window.TrackingPopup(), nullptr);
         EXPECT_FALSE(window.TrackingPopup()->beginGroup());
         EXPECT_TRUE(window.TrackingPopup()->visible());
       }},
      {"listening to the first button", "CommandBarButton.OnClick", 1,
       [](AddinWorld& world, SimInspector& window) {
         ASSERT_NE(window.TrackingPopup(), nullptr);
         EXPECT_EQ(Looks(*window.TrackingPopup()), kFourButtons);
         EXPECT_EQ(world.addin->autoButton, nullptr);
         EXPECT_EQ(window.TrackingButton("Automatic")->clickSubscribers(), 0u);
         EXPECT_EQ(window.TrackingButton("About")->clickSubscribers(), 1u);
       }},
      {"showing it", "CommandBarControl.SetVisible", 2, builtButHidden},
      {"the window's item", "Inspector.CurrentItem", 0, builtButHidden},
      {"the item's class", "MailItem.Class", 0, builtButHidden},
      {"the search for button 1377", "CommandBars.FindControl", 0, builtButHidden},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    AddinWorld world;
    world.StartAccepted();
    auto item = world.outlook->NewMail("Hello", {host::sim::SimRecipient::Smtp("Bob", "bob@example.com")}, "Hi");
    if (c.nth == 0) {
      world.outlook->faults().FailAlways(c.op);
    } else {
      world.outlook->faults().FailNth(c.op, c.nth);
    }

    std::shared_ptr<SimInspector> window;
    ASSERT_NO_THROW(window = world.outlook->OpenInspector(item));

    c.check(world, *window);
    EXPECT_TRUE(world.windowing.Messages().empty());
  }
}

TEST(TrackingDropDown, AFailedLookupForTheExistingDropDownBuildsANewOne) {
  AddinWorld world;
  world.StartAccepted();
  InspectorOptions options;
  options.prepareBars = [](host::sim::SimCommandBars& bars) {
    bars.Bar("Standard")->Controls()->Add(host::msoControlPopup)->SetCaption("Tracking");
  };
  world.outlook->faults().FailAlways("CommandBar.FindControl");

  auto window = world.OpenMail(options);

  auto popups = PopupsOf(*window);
  ASSERT_EQ(popups.size(), 2u);
  EXPECT_EQ(window->StandardPosition("Tracking"), 4);
  EXPECT_EQ(Looks(*popups[0]), kFourButtons);
}

TEST(TrackingDropDown, ASecondWindowTakesOverTheButtonMembersAndTheirClicks) {
  AddinWorld world;
  world.StartAccepted();
  auto first = world.OpenMail();
  auto second = world.OpenMail();
  ASSERT_TRUE(first->isOpen());

  const auto buttons = ButtonsOf(*second->TrackingPopup());
  EXPECT_EQ(world.addin->autoButton.get(), AsHost(buttons[0]));
  EXPECT_EQ(world.addin->requButton.get(), AsHost(buttons[1]));
  EXPECT_EQ(world.addin->guarButton.get(), AsHost(buttons[2]));
  EXPECT_EQ(world.addin->aboutButton.get(), AsHost(buttons[3]));
  for (const auto& button : ButtonsOf(*first->TrackingPopup())) EXPECT_EQ(button->clickSubscribers(), 0u);

  // The first window's buttons no longer reach the add-in.
  for (const char* caption : {"Automatic", "Request receipt", "Guaranteed", "About"}) {
    first->ClickTrackingButton(caption);
  }
  EXPECT_TRUE(world.spy().routed.empty());

  for (const char* caption : {"Automatic", "Request receipt", "Guaranteed", "About"}) {
    EXPECT_FALSE(second->ClickTrackingButton(caption)) << "the default action is never cancelled";
  }
  const auto& routed = world.spy().routed;
  ASSERT_EQ(routed.size(), 4u);
  const Button expected[] = {Button::Automatic, Button::RequestReceipt, Button::Guaranteed, Button::About};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(routed[i].button, expected[i]);
    EXPECT_EQ(routed[i].ctrl.get(), AsHost(buttons[i]));
  }
}

TEST(TrackingDropDown, TheAboutButtonOpensTheAboutDialog) {
  AddinWorld world;
  world.StartAccepted();
  world.spy().forward = true;
  auto window = world.OpenMail();
  world.windowing.QueueDialog("dlgAbout", host::sim::Press("ok"));

  EXPECT_FALSE(window->ClickTrackingButton("About"));

  EXPECT_THAT(world.DialogsShown(), ElementsAre("dlgAbout"));
  EXPECT_TRUE(world.windowing.Dialogs()[0].modal);
}

TEST(TrackingDropDown, NothingAHandlerThrowsGoesBackToOutlook) {
  AddinWorld world;
  world.StartAccepted();
  world.spy().throwOnRoute = true;
  auto window = world.OpenMail();

  for (const char* caption : {"Automatic", "Request receipt", "Guaranteed", "About"}) {
    EXPECT_NO_THROW(window->ClickTrackingButton(caption)) << caption;
  }
  EXPECT_EQ(world.spy().routed.size(), 4u);
}

TEST(TrackingDropDown, AWindowWithoutBarsOrWithoutAnInspectorIsIgnored) {
  AddinWorld world;
  world.StartAccepted();
  EXPECT_NO_THROW(world.addin->goInspectors_NewInspector(nullptr));
  EXPECT_TRUE(world.windowing.Messages().empty());
  EXPECT_EQ(world.addin->autoButton, nullptr);
}

}  // namespace
}  // namespace addintest
