// Which Outlook is running: the version name, the mail-options key, and the
// windows of an Outlook the add-in does not support.
#include "addin/outlook_version.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "addin_world.h"

namespace addintest {
namespace {

TEST(OutlookVersion, NameAndOptionsKeyFromTheVersionNumber) {
  struct Case {
    const char* reported;
    const char* olVersion;
    const char* regPath;  // null: left as it was
  };
  const Case cases[] = {
      {"8.0", "97", nullptr},        {"8.49", "97", nullptr},        {"8.5", "98", nullptr},
      {"8.99", "98", nullptr},       {"9.0", "2000", kOptions2000},  {"9.0.0.2711", "2000", kOptions2000},
      {"9.5", "2000", kOptions2000}, {"10.0", "2002", kOptions2002}, {"10.0.2627", "2002", kOptions2002},
      {"11.0", "2003", nullptr},     {"12.0.4518", "2003", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reported);
    AddinWorld world(c.reported);
    world.addin->OnConnection(world.outlook, 1);
    world.addin->regPath = "as before";

    world.addin->DetectOutlookVersion();

    EXPECT_EQ(world.addin->olVersion, c.olVersion);
    EXPECT_EQ(world.addin->regPath, c.regPath ? c.regPath : "as before");
    // The item that asked was saved, then deleted.
    EXPECT_EQ(world.outlook->faults().Calls("MailItem.Save"), 1);
    EXPECT_EQ(world.outlook->folder("Drafts")->count(), 0u);
    EXPECT_EQ(world.outlook->folder("Deleted Items")->count(), 1u);
  }
}

TEST(OutlookVersion, AnUnreadableVersionFailsWithoutLeavingTheItemBehind) {
  AddinWorld world("unknown");
  world.addin->OnConnection(world.outlook, 1);

  EXPECT_THROW(world.addin->DetectOutlookVersion(), host::Error);
  EXPECT_TRUE(world.addin->olVersion.empty());
  EXPECT_EQ(world.outlook->folder("Drafts")->count(), 0u);

  // At start-up that is step 101.
  world.addin->OnStartupComplete();
  EXPECT_THAT(world.MessageTexts(), ::testing::ElementsAre("An error was occured! #101"));
  EXPECT_EQ(world.outlook->folder("Drafts")->count(), 0u);
}

TEST(OutlookVersion, LeadingNumberOfTheVersionText) {
  const std::pair<const char*, double> readable[] = {
      {"9.0", 9.0},  {"10.0", 10.0}, {"8.5", 8.5}, {"8.50", 8.5},    {"9.0.0.2711", 9.0},
      {" 10.0", 10}, {"11", 11},     {"9.", 9},    {"9.0 SP3", 9.0}, {"10.0.2627.1", 10.0},
  };
  for (const auto& [text, number] : readable) EXPECT_DOUBLE_EQ(corvanta::ParseOutlookVersion(text), number) << text;
  for (const char* text : {"", "abc", ".5", "v9.0"}) {
    EXPECT_THROW(corvanta::ParseOutlookVersion(text), host::Error) << text;
  }
}

TEST(OutlookVersion, UnsupportedOutlookGetsTheVersionMessageInEveryWindow) {
  for (const char* version : {"8.5", "11.0"}) {
    SCOPED_TRACE(version);
    AddinWorld world(version);
    world.StartAccepted();
    ASSERT_TRUE(world.windowing.Messages().empty());

    auto first = world.OpenMail();
    auto second = world.OpenMail();

    EXPECT_THAT(world.MessageTexts(), ::testing::ElementsAre("Corvanta v1.0.0.1 requires Outlook 2000/2002",
                                                             "Corvanta v1.0.0.1 requires Outlook 2000/2002"));
    EXPECT_EQ(world.windowing.Messages()[0].buttons, host::MsgButtons::OK);
    EXPECT_TRUE(PopupsOf(*first).empty());
    EXPECT_TRUE(PopupsOf(*second).empty());
    EXPECT_EQ(world.addin->autoButton, nullptr);
  }
}

TEST(OutlookVersion, AWindowBeforeStartUpCountsAsUnsupported) {
  AddinWorld world;
  world.addin->OnConnection(world.outlook, 1);

  auto window = world.OpenMail();

  EXPECT_THAT(world.MessageTexts(), ::testing::ElementsAre("Corvanta v requires Outlook 2000/2002"));
  EXPECT_TRUE(PopupsOf(*window).empty());
}

}  // namespace
}  // namespace addintest
