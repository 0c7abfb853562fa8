// The scripted user's answers to message boxes, and what is recorded of them.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "host/error.h"
#include "host/sim/windowing.h"

namespace {

using host::MsgAnswer;
using host::MsgButtons;
using host::MsgIcon;
using host::sim::Event;
using host::sim::EventKind;
using host::sim::MessageRecord;
using host::sim::SimWindowing;

struct DefaultCase {
  MsgButtons buttons;
  MsgAnswer expected;
};

class DefaultAnswer : public ::testing::TestWithParam<DefaultCase> {};

TEST_P(DefaultAnswer, WithoutScriptTheFirstButtonIsTaken) {
  SimWindowing windowing;
  EXPECT_EQ(windowing.MsgBox("text", GetParam().buttons), GetParam().expected);
  ASSERT_EQ(windowing.Messages().size(), 1u);
  EXPECT_EQ(windowing.Messages()[0].answer, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Buttons, DefaultAnswer,
                         ::testing::Values(DefaultCase{MsgButtons::OK, MsgAnswer::OK},
                                           DefaultCase{MsgButtons::OKCancel, MsgAnswer::OK},
                                           DefaultCase{MsgButtons::YesNo, MsgAnswer::Yes}));

TEST(MessageBoxes, RecordTextButtonsIconAndAnswerInOrder) {
  SimWindowing windowing;
  windowing.QueueAnswer(MsgAnswer::No);
  windowing.QueueAnswer(MsgAnswer::Cancel);
  EXPECT_EQ(windowing.MsgBox("Use Word?", MsgButtons::YesNo, MsgIcon::Exclamation), MsgAnswer::No);
  EXPECT_EQ(windowing.MsgBox("Go on?", MsgButtons::OKCancel), MsgAnswer::Cancel);
  EXPECT_EQ(windowing.MsgBox("Done."), MsgAnswer::OK);  // queue used up: the default again

  const auto& shown = windowing.Messages();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].text, "Use Word?");
  EXPECT_EQ(shown[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(shown[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(shown[0].answer, MsgAnswer::No);
  EXPECT_EQ(shown[1].text, "Go on?");
  EXPECT_EQ(shown[1].icon, MsgIcon::None);
  EXPECT_EQ(shown[1].answer, MsgAnswer::Cancel);
  EXPECT_EQ(shown[2].answer, MsgAnswer::OK);
}

struct WrongCase {
  MsgButtons buttons;
  MsgAnswer answer;
};

class AnswerNotOffered : public ::testing::TestWithParam<WrongCase> {};

TEST_P(AnswerNotOffered, IsATestError) {
  SimWindowing windowing;
  windowing.QueueAnswer(GetParam().answer);
  try {
    windowing.MsgBox("Question", GetParam().buttons);
    FAIL() << "an answer the box does not offer was accepted";
  } catch (const host::Error& error) {
    EXPECT_NE(std::string(error.what()).find("Question"), std::string::npos) << error.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Buttons, AnswerNotOffered,
                         ::testing::Values(WrongCase{MsgButtons::OK, MsgAnswer::Cancel},
                                           WrongCase{MsgButtons::OK, MsgAnswer::Yes},
                                           WrongCase{MsgButtons::OKCancel, MsgAnswer::No},
                                           WrongCase{MsgButtons::YesNo, MsgAnswer::OK}));

TEST(MessageBoxes, TheAnswererIsAskedWhenTheQueueIsEmpty) {
  SimWindowing windowing;
  std::vector<std::string> asked;
  windowing.SetAnswerer([&](const MessageRecord& message) -> std::optional<MsgAnswer> {
    asked.push_back(message.text);
    if (message.buttons == MsgButtons::YesNo) return MsgAnswer::No;
    return std::nullopt;  // the first button
  });
  windowing.QueueAnswer(MsgAnswer::Yes);
  EXPECT_EQ(windowing.MsgBox("first", MsgButtons::YesNo), MsgAnswer::Yes);  // queued answer first
  EXPECT_EQ(windowing.MsgBox("second", MsgButtons::YesNo), MsgAnswer::No);
  EXPECT_EQ(windowing.MsgBox("third", MsgButtons::OKCancel), MsgAnswer::OK);
  EXPECT_EQ(asked, (std::vector<std::string>{"second", "third"}));
}

TEST(MessageBoxes, TheObserverSeesEachMessageWithItsAnswer) {
  SimWindowing windowing;
  std::vector<Event> seen;
  windowing.SetObserver([&](const Event& event) { seen.push_back(event); });
  windowing.QueueAnswer(MsgAnswer::Cancel);
  windowing.MsgBox("Really?", MsgButtons::OKCancel);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].kind, EventKind::MessageShown);
  EXPECT_EQ(seen[0].text, "Really?");
  EXPECT_EQ(seen[0].message.answer, MsgAnswer::Cancel);
}

}  // namespace
