// The mail-editor check at the end of start-up: Word as the e-mail editor is
// switched back to Outlook's own, with the user's consent.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "addin_world.h"

namespace addintest {
namespace {

using host::MsgButtons;
using host::sim::RegValue;

constexpr const char* kWordQuestion =
    "Built-in editor is not default mail editor. Corvanta Add-in does not support \"Use Microsoft Word to edit "
    "e-mail messages\" option. The add-in is now setting the built-in editor as default mail editor.";
constexpr const char* kDisabled = "Corvanta will be diabled until the built-in editor is the default mail editor.";
constexpr const char* kRestart =
    "You have to restart Outlook for the change to take effect. Do you want to close Outlook now?";

struct EditorCase {
  const char* name;
  const char* outlookVersion;
  std::optional<std::uint32_t> stored;
  std::vector<MsgAnswer> answers;
  std::optional<std::uint32_t> after;
  std::vector<std::pair<std::string, MsgButtons>> messages;
  int explorerCloses;
};

TEST(EditorCheck, Paths) {
  const EditorCase cases[] = {
      {"missing", "9.0", std::nullopt, {}, std::nullopt, {}, 0},
      {"built-in editor, HTML", "9.0", 131072, {}, 131072, {}, 0},
      {"Word, HTML, OK then No",
       "9.0",
       131073,
       {MsgAnswer::OK, MsgAnswer::No},
       131072,
       {{kWordQuestion, MsgButtons::OKCancel}, {kRestart, MsgButtons::YesNo}},
       0},
      {"Word, rich text, OK then No",
       "9.0",
       196609,
       {MsgAnswer::OK, MsgAnswer::No},
       196610,
       {{kWordQuestion, MsgButtons::OKCancel}, {kRestart, MsgButtons::YesNo}},
       0},
      {"Word, plain text, OK then No",
       "9.0",
       65537,
       {MsgAnswer::OK, MsgAnswer::No},
       65536,
       {{kWordQuestion, MsgButtons::OKCancel}, {kRestart, MsgButtons::YesNo}},
       0},
      {"all bits set, OK then No",
       "9.0",
       0xFFFFFFFFu,
       {MsgAnswer::OK, MsgAnswer::No},
       0xFFFFFFFEu,
       {{kWordQuestion, MsgButtons::OKCancel}, {kRestart, MsgButtons::YesNo}},
       0},
      {"Word, Cancel",
       "9.0",
       131073,
       {MsgAnswer::Cancel},
       131073,
       {{kWordQuestion, MsgButtons::OKCancel}, {kDisabled, MsgButtons::OK}},
       0},
      {"Word, OK then Yes",
       "9.0",
       131073,
       {MsgAnswer::OK, MsgAnswer::Yes},
       131072,
       {{kWordQuestion, MsgButtons::OKCancel}, {kRestart, MsgButtons::YesNo}},
       1},
      {"Outlook 2002, OK then No",
       "10.0",
       131073,
       {MsgAnswer::OK, MsgAnswer::No},
       131072,
       {{kWordQuestion, MsgButtons::OKCancel}, {kRestart, MsgButtons::YesNo}},
       0},
  };
  for (const EditorCase& c : cases) {
    SCOPED_TRACE(c.name);
    AddinWorld world(c.outlookVersion);
    const std::string key = std::string(c.outlookVersion) == "9.0" ? kOptions2000 : kOptions2002;
    if (c.stored) world.SetEditor(key, *c.stored);
    for (MsgAnswer answer : c.answers) world.windowing.QueueAnswer(answer);

    world.StartAccepted();

    std::vector<std::pair<std::string, MsgButtons>> shown;
    for (const auto& message : world.windowing.Messages()) shown.emplace_back(message.text, message.buttons);
    EXPECT_EQ(shown, c.messages);
    EXPECT_EQ(world.Editor(key), c.after ? std::optional(RegValue::Dword(*c.after)) : std::nullopt);
    EXPECT_EQ(world.outlook->explorerCloseCalls(), c.explorerCloses);
    EXPECT_EQ(world.outlook->activeExplorer() == nullptr, c.explorerCloses == 1);
  }
}

TEST(EditorCheck, CancelledAsksAgainAtEveryStart) {
  AddinWorld world;
  world.SetEditor(kOptions2000, 131073);
  for (int start = 0; start < 2; ++start) {
    world.addin = std::make_unique<RoutingSpy>(world.platform);
    world.windowing.QueueAnswer(MsgAnswer::Cancel);
    world.StartAccepted();
  }
  EXPECT_THAT(world.MessageTexts(), ::testing::ElementsAre(kWordQuestion, kDisabled, kWordQuestion, kDisabled));
  EXPECT_EQ(world.Editor(kOptions2000), RegValue::Dword(131073));
}

TEST(EditorCheck, UnsupportedVersionsLookDirectlyUnderTheUsersHive) {
  AddinWorld world("11.0");
  world.SetEditor(kOptions2000, 131073);
  world.StartAccepted();
  EXPECT_TRUE(world.windowing.Messages().empty());
  EXPECT_TRUE(world.addin->regPath.empty());

  AddinWorld rootSet("8.0");
  rootSet.SetEditor("", 131073);
  rootSet.windowing.QueueAnswer(MsgAnswer::OK);
  rootSet.windowing.QueueAnswer(MsgAnswer::No);
  rootSet.StartAccepted();
  EXPECT_THAT(rootSet.MessageTexts(), ::testing::ElementsAre(kWordQuestion, kRestart));
  EXPECT_EQ(rootSet.Editor(""), RegValue::Dword(131072));
}

}  // namespace
}  // namespace addintest
