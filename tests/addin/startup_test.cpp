// Outlook loading the add-in: taking hold of its objects, the start-up work
// on a first and a later start, the terms refused, Redemption missing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "addin_world.h"
#include "protocol/service.h"

namespace addintest {
namespace {

using host::sim::RegValue;
using ::testing::ElementsAre;

constexpr const char* kDeclined =
    "Failed to install Corvanta Add-in! If you wish to uninstall completely, please use the Add/Remove Programs "
    "Wizard from the Control Panel";
constexpr const char* kWordQuestion =
    "Built-in editor is not default mail editor. Corvanta Add-in does not support \"Use Microsoft Word to edit "
    "e-mail messages\" option. The add-in is now setting the built-in editor as default mail editor.";
constexpr const char* kDisabled = "Corvanta will be diabled until the built-in editor is the default mail editor.";

// Modal dialogs and message boxes, in the order the user met them.
void Record(host::sim::SimWindowing& windowing, std::vector<std::string>& seen) {
  windowing.SetObserver([&seen](const host::sim::Event& event) {
    if (event.kind == host::sim::EventKind::DialogShown && event.modal) seen.push_back("dialog " + event.form);
    if (event.kind == host::sim::EventKind::MessageShown) seen.push_back("message " + event.message.text);
  });
}

TEST(Connection, TakesHoldOfTheApplicationItsWindowsAndTheMainWindow) {
  AddinWorld world;
  world.addin->OnConnection(world.outlook, 1);

  EXPECT_EQ(world.addin->goOutlook, world.outlook);
  EXPECT_NE(world.addin->goInspectors, nullptr);
  EXPECT_EQ(world.addin->oMyExplorer, world.outlook->activeExplorer());
  EXPECT_EQ(world.outlook->newInspectorSubscribers(), 1u);
  EXPECT_EQ(world.outlook->activeExplorer()->closeSubscribers(), 1u);
  // Nothing else happens before start-up.
  EXPECT_TRUE(world.addin->cvxRegPath.empty());
  EXPECT_TRUE(world.windowing.Messages().empty());
}

TEST(Connection, AFailureEndsItQuietlyKeepingWhatWasAssignedBefore) {
  {
    AddinWorld world;
    world.outlook->faults().FailAlways("Application.Inspectors");
    EXPECT_NO_THROW(world.addin->OnConnection(world.outlook, 1));
    EXPECT_EQ(world.addin->goOutlook, world.outlook);
    EXPECT_EQ(world.addin->goInspectors, nullptr);
    EXPECT_EQ(world.addin->oMyExplorer, nullptr);
    EXPECT_EQ(world.outlook->newInspectorSubscribers(), 0u);

    // Without the Inspectors collection no drop-down is ever built.
    world.outlook->faults().Clear();
    world.addin->OnStartupComplete();
    auto window = world.OpenMail();
    EXPECT_TRUE(PopupsOf(*window).empty());
  }
  {
    AddinWorld world;
    world.outlook->faults().FailAlways("Application.ActiveExplorer");
    EXPECT_NO_THROW(world.addin->OnConnection(world.outlook, 1));
    EXPECT_NE(world.addin->goInspectors, nullptr);
    EXPECT_EQ(world.addin->oMyExplorer, nullptr);
  }
  {
    AddinWorld world;
    EXPECT_NO_THROW(world.addin->OnConnection(nullptr, 1));
    EXPECT_EQ(world.addin->goOutlook, nullptr);
    EXPECT_EQ(world.addin->goInspectors, nullptr);
  }
}

TEST(StartUp, FirstStartShowsTheTermsThenTheAboutDialogThenChecksTheEditor) {
  AddinWorld world;
  world.SetEditor(kOptions2000, 131073);
  world.windowing.QueueDialog("toua", host::sim::Press("OKButton"));
  world.windowing.QueueDialog("dlgAbout", host::sim::Press("ok"));
  world.windowing.QueueAnswer(MsgAnswer::Cancel);
  std::vector<std::string> seen;
  Record(world.windowing, seen);

  world.Start();

  EXPECT_THAT(seen, ElementsAre("dialog toua", "dialog dlgAbout", std::string("message ") + kWordQuestion,
                                std::string("message ") + kDisabled));
  EXPECT_EQ(world.Setting("TOUA"), RegValue::Dword(1));
  EXPECT_TRUE(world.addin->bAcceptedTOUA);
  EXPECT_EQ(world.addin->cvxRegPath, testsupport::kCvxRegPath);
  EXPECT_EQ(world.addin->SizeLimit, 20000);
  EXPECT_EQ(world.addin->CVXversion, "1.0.0.1");
  EXPECT_EQ(world.addin->olVersion, "2000");
  EXPECT_NE(world.addin->Utils, nullptr);
  EXPECT_EQ(world.addin->fromAddy, "ann@example.com");
  EXPECT_EQ(world.addin->opt_send, 1);
}

TEST(StartUp, LaterStartShowsNoDialogAndReadsTheSendReceiveChoice) {
  struct Case {
    std::optional<std::uint32_t> stored;
    std::int16_t expected;
  };
  for (const Case& c : {Case{std::nullopt, 1}, Case{0, 0}, Case{1, 1}}) {
    AddinWorld world;
    if (c.stored) world.SetDword("opt_send", *c.stored);
    world.StartAccepted();

    EXPECT_TRUE(world.windowing.Dialogs().empty());
    EXPECT_TRUE(world.windowing.Messages().empty());
    EXPECT_TRUE(world.addin->bAcceptedTOUA);
    EXPECT_EQ(world.addin->opt_send, c.expected);
    EXPECT_EQ(world.addin->fromAddy, "ann@example.com");
    EXPECT_EQ(world.Setting("opt_send"), c.stored ? std::optional(RegValue::Dword(*c.stored)) : std::nullopt);
  }
}

TEST(StartUp, RefusedTermsLeaveTheAddinInert) {
  const std::vector<std::pair<const char*, host::sim::DialogAction>> refusals = {
      {"I Decline", host::sim::Press("CancelButton")},
      {"the window frame", host::sim::CloseByFrame()},
  };
  for (const auto& [how, action] : refusals) {
    SCOPED_TRACE(how);
    AddinWorld world;
    world.SetEditor(kOptions2000, 131073);
    world.windowing.QueueDialog("toua", action);

    world.Start();

    EXPECT_THAT(world.MessageTexts(), ElementsAre(kDeclined));
    EXPECT_THAT(world.DialogsShown(), ElementsAre("toua"));
    EXPECT_FALSE(world.Setting("TOUA").has_value());
    EXPECT_FALSE(world.addin->bAcceptedTOUA);
    // Nothing after the terms ran: no identity, no editor check.
    EXPECT_TRUE(world.addin->fromAddy.empty());
    EXPECT_EQ(world.Editor(kOptions2000), RegValue::Dword(131073));

    // Every window gets a hidden drop-down.
    auto window = world.OpenMail();
    ASSERT_NE(window->TrackingPopup(), nullptr);
    EXPECT_FALSE(window->TrackingPopup()->visible());
  }
}

TEST(StartUp, RefusedTermsAreAskedAgainAtTheNextStart) {
  AddinWorld world;
  world.windowing.QueueDialog("toua", host::sim::Press("CancelButton"));
  world.Start();

  world.addin = std::make_unique<RoutingSpy>(world.platform);
  world.windowing.QueueDialog("toua", host::sim::Press("OKButton"));
  world.windowing.QueueDialog("dlgAbout", host::sim::Press("ok"));
  world.Start();

  EXPECT_THAT(world.DialogsShown(), ElementsAre("toua", "toua", "dlgAbout"));
  EXPECT_EQ(world.Setting("TOUA"), RegValue::Dword(1));
}

TEST(StartUp, WithoutRedemptionItStopsAtStep80) {
  AddinWorld world;
  world.redemption.SetInstalled(false);

  world.Start();

  EXPECT_THAT(world.MessageTexts(), ElementsAre("Redemption.dll was not installed properly! #80"));
  EXPECT_TRUE(world.windowing.Dialogs().empty());
  EXPECT_EQ(world.addin->cvxRegPath, testsupport::kCvxRegPath);
  EXPECT_EQ(world.addin->SizeLimit, 20000);
  EXPECT_TRUE(world.addin->CVXversion.empty());
  EXPECT_TRUE(world.addin->olVersion.empty());
  EXPECT_FALSE(world.addin->bAcceptedTOUA);
  EXPECT_EQ(world.service.RequestCount(), 0u);
}

TEST(StartUp, AFailureReportsTheStepReachedAndSkipsTheRest) {
  struct Case {
    const char* failing;
    bool answerYesToRestart;
    const char* message;
  };
  const Case cases[] = {
      {"Application.CreateItem", false, "An error was occured! #101"},
      {"MailItem.Save", false, "An error was occured! #101"},
      {"MailItem.OutlookVersion", false, "An error was occured! #101"},
      // The editor check is the last step of 102.
      {"Explorer.Close", true, "An error was occured! #102"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    AddinWorld world;
    world.SetEditor(kOptions2000, 131073);
    if (c.answerYesToRestart) {
      world.AcceptedBefore();
      world.windowing.QueueAnswer(MsgAnswer::OK);
      world.windowing.QueueAnswer(MsgAnswer::Yes);
    }
    world.outlook->faults().FailAlways(c.failing);

    world.Start();

    ASSERT_FALSE(world.windowing.Messages().empty());
    EXPECT_EQ(world.windowing.Messages().back().text, c.message);
    EXPECT_TRUE(world.windowing.Dialogs().empty());
    if (!c.answerYesToRestart) {
      // Stopped before the terms, the identity and the editor check.
      EXPECT_EQ(world.windowing.Messages().size(), 1u);
      EXPECT_TRUE(world.addin->fromAddy.empty());
      EXPECT_EQ(world.Editor(kOptions2000), RegValue::Dword(131073));
    }
  }
}

TEST(StartUp, ASendReceiveChoiceTooLargeForItsMemberIsAnErrorAtStep102) {
  AddinWorld world;
  world.SetDword("opt_send", 70000);
  world.SetEditor(kOptions2000, 131073);
  world.StartAccepted();

  EXPECT_THAT(world.MessageTexts(), ElementsAre("An error was occured! #102"));
  EXPECT_EQ(world.addin->opt_send, 0);
}

TEST(StartUp, ReadsTheServiceHostAndFetchesTheTermsFromIt) {
  AddinWorld world;
  const std::string terms = "Our terms. " + std::string(250, 'x');
  world.service.Get(corvanta::protocol::kTermsPath, testsupport::Reply{200, terms});
  world.windowing.QueueDialog("toua", host::sim::Press("OKButton"));
  world.windowing.QueueDialog("dlgAbout", host::sim::Press("ok"));

  world.Start();

  EXPECT_EQ(world.addin->serviceHost, world.service.HostPort());
  ASSERT_EQ(world.service.RequestCount(), 1u);
  EXPECT_EQ(world.service.Requests()[0].path, corvanta::protocol::kTermsPath);
  ASSERT_FALSE(world.windowing.Dialogs().empty());
  const auto& shown = world.windowing.Dialogs()[0];
  ASSERT_EQ(shown.form, "toua");
  const auto text = std::find_if(shown.controls.begin(), shown.controls.end(),
                                 [](const host::Control& control) { return control.name == "Text1"; });
  ASSERT_NE(text, shown.controls.end());
  EXPECT_EQ(text->caption, terms);
}

TEST(StartUp, WithoutAServiceHostSettingTheBuiltInHostIsUsed) {
  {
    testsupport::SimWorld world;
    world.SetSender("Ann Example", "ann@example.com");
    // A later start: nothing goes to the service.
    world.AcceptedBefore();
    world.Start();
    EXPECT_EQ(world.addin->serviceHost, corvanta::protocol::kBuiltInServiceHost);
  }
  {
    AddinWorld world;
    world.UseService("");
    world.StartAccepted();
    EXPECT_EQ(world.addin->serviceHost, corvanta::protocol::kBuiltInServiceHost);
  }
}

}  // namespace
}  // namespace addintest
