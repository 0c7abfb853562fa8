// Letting go: Outlook beginning to shut down, the main window closing,
// Outlook disconnecting the add-in, and the add-in object going away.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "addin_world.h"

namespace addintest {
namespace {

TEST(Shutdown, CleansUpRedemptionAndDropsOutlookAndItsWindows) {
  AddinWorld world;
  world.StartAccepted();
  auto window = world.OpenMail();
  const int created = world.redemption.created(host::sim::kProgIdMAPIUtils);
  const auto utils = world.addin->Utils;

  world.addin->OnBeginShutdown();

  // A fresh MAPIUtils, not the one kept since start-up, does the cleanup.
  EXPECT_EQ(world.redemption.created(host::sim::kProgIdMAPIUtils), created + 1);
  EXPECT_EQ(world.redemption.cleanupCalls(), 1);
  EXPECT_EQ(world.addin->Utils, utils);
  EXPECT_EQ(world.addin->goOutlook, nullptr);
  EXPECT_EQ(world.addin->goInspectors, nullptr);
  EXPECT_EQ(world.outlook->newInspectorSubscribers(), 0u);
  EXPECT_TRUE(world.windowing.Messages().empty());

  // No more drop-downs.
  auto later = world.OpenMail();
  EXPECT_TRUE(PopupsOf(*later).empty());
}

TEST(Shutdown, OutlookIsLetGoEvenWhenRedemptionCannotBeCleanedUp) {
  for (const bool installed : {false, true}) {
    AddinWorld world;
    world.StartAccepted();
    world.redemption.SetInstalled(installed);
    if (installed) world.redemption.faults().FailAlways("MAPIUtils.Cleanup");

    EXPECT_THROW(world.addin->OnBeginShutdown(), host::Error);

    EXPECT_EQ(world.addin->goOutlook, nullptr);
    EXPECT_EQ(world.addin->goInspectors, nullptr);
    EXPECT_EQ(world.outlook->newInspectorSubscribers(), 0u);
    EXPECT_TRUE(world.windowing.Messages().empty());
  }
}

TEST(Shutdown, ClosingTheMainWindowDropsOnlyTheExplorer) {
  AddinWorld world;
  world.StartAccepted();
  auto explorer = world.outlook->activeExplorer();

  explorer->UserClose();

  EXPECT_EQ(world.addin->oMyExplorer, nullptr);
  EXPECT_EQ(explorer->closeSubscribers(), 0u);
  EXPECT_EQ(world.addin->goOutlook, world.outlook);
  EXPECT_EQ(world.outlook->newInspectorSubscribers(), 1u);
  auto window = world.OpenMail();
  EXPECT_NE(window->TrackingPopup(), nullptr);
}

TEST(Shutdown, DisconnectingLetsGoOfEverything) {
  AddinWorld world;
  world.StartAccepted();
  auto window = world.OpenMail();
  auto buttons = ButtonsOf(*window->TrackingPopup());

  world.addin->OnBeginShutdown();
  world.addin->OnDisconnection(0);

  EXPECT_EQ(world.addin->goOutlook, nullptr);
  EXPECT_EQ(world.addin->goInspectors, nullptr);
  EXPECT_EQ(world.addin->oMyExplorer, nullptr);
  EXPECT_EQ(world.addin->Utils, nullptr);
  EXPECT_EQ(world.addin->autoButton, nullptr);
  EXPECT_EQ(world.addin->aboutButton, nullptr);
  EXPECT_EQ(world.outlook->activeExplorer()->closeSubscribers(), 0u);
  for (const auto& button : buttons) EXPECT_EQ(button->clickSubscribers(), 0u);
  EXPECT_EQ(world.outlook->newInspectorSubscribers(), 0u);
}

TEST(Shutdown, SwitchedOffWithoutShutdownItLetsGoAsWell) {
  AddinWorld world;
  world.StartAccepted();
  world.OpenMail();

  world.addin->OnDisconnection(1);

  EXPECT_EQ(world.addin->goOutlook, nullptr);
  EXPECT_EQ(world.outlook->newInspectorSubscribers(), 0u);
  EXPECT_EQ(world.outlook->activeExplorer()->closeSubscribers(), 0u);
  EXPECT_EQ(world.redemption.cleanupCalls(), 0);
  world.addin->OnAddInsUpdate();
  EXPECT_TRUE(world.windowing.Messages().empty());
}

TEST(Shutdown, TheAddinObjectGoingStopsEveryEvent) {
  AddinWorld world;
  world.StartAccepted();
  auto window = world.OpenMail();
  auto explorer = world.outlook->activeExplorer();

  world.addin.reset();

  EXPECT_EQ(world.outlook->newInspectorSubscribers(), 0u);
  EXPECT_EQ(explorer->closeSubscribers(), 0u);
  for (const auto& button : ButtonsOf(*window->TrackingPopup())) EXPECT_EQ(button->clickSubscribers(), 0u);
  // Events after that reach nobody.
  EXPECT_NO_THROW(window->ClickTrackingButton("About"));
  EXPECT_NO_THROW(world.OpenMail());
  EXPECT_NO_THROW(explorer->UserClose());
  EXPECT_TRUE(world.windowing.Dialogs().empty());
}

}  // namespace
}  // namespace addintest
