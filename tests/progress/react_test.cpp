// How a reply text and a step code reach the user.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "protocol/service.h"
#include "support/sim_fixture.h"

namespace {

const std::string kDefault = "An error occured while receiving stamp.";
const std::string kSupport =
    std::string("\r\nPlease contact us with the error# at ") + corvanta::protocol::kSupportAddress;

std::string Repeat(const std::string& text, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += text;
  return out;
}

struct ReactCase {
  std::string response;
  bool accepted;
  std::optional<std::string> shown;  // the one message box, or none
};

void PrintTo(const ReactCase& c, std::ostream* os) {
  *os << '"' << c.response << '"';
}

class ReactTest : public ::testing::TestWithParam<ReactCase> {
 protected:
  testsupport::SimWorld world;
};

TEST_P(ReactTest, JudgesTheReplyAndTellsTheUser) {
  const ReactCase& c = GetParam();
  EXPECT_EQ(world.addin->React(c.response, kDefault), c.accepted);
  const auto& messages = world.windowing.Messages();
  if (!c.shown) {
    EXPECT_TRUE(messages.empty()) << messages.front().text;
    return;
  }
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, *c.shown);
  EXPECT_EQ(messages[0].buttons, host::MsgButtons::OK);
  EXPECT_EQ(messages[0].icon, host::MsgIcon::None);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReactTest,
    ::testing::Values(ReactCase{"qo;", true, std::nullopt}, ReactCase{"qo;abc def", true, std::nullopt},
                      ReactCase{"qo;12", true, std::nullopt},
                      // too short to carry a message: the caller's own, and where to turn
                      ReactCase{"", false, kDefault + kSupport}, ReactCase{"qx;", false, kDefault + kSupport},
                      ReactCase{"qx;a", false, kDefault + kSupport}, ReactCase{"qo", false, kDefault + kSupport},
                      ReactCase{"Qo;1", false, kDefault + kSupport},
                      // the reply's own message, from its fourth character on
                      ReactCase{"qx;ab", false, "ab"},
                      ReactCase{"qx;No recipient addresses found", false, "No recipient addresses found"},
                      ReactCase{"<html>Not Found</html>", false, "ml>Not Found</html>"},
                      ReactCase{"QO;12345", false, "12345"},
                      // already reported: nothing more, and the comparison is exact
                      ReactCase{"qx;not0", false, std::nullopt}, ReactCase{"qx;NOT0", false, "NOT0"},
                      ReactCase{"qx;not0 ", false, "not0 "},
                      // a message box shows no more than 1000 characters, and no control bytes
                      ReactCase{"qx;" + std::string(1000, 'a'), false, std::string(1000, 'a')},
                      ReactCase{"qx;" + std::string(1001, 'a'), false, std::string(1000, 'a') + "..."},
                      ReactCase{"<p>" + std::string(999, 'a') + "\x01" + "b", false, std::string(999, 'a') + "?..."},
                      ReactCase{std::string("qx;\0 the rest", 13), false, "? the rest"},
                      ReactCase{"qx;a\tb\r\nc\x01\x1b\x1f\x7f\x80\xff", false, "a\tb\r\nc????\x80\xff"},
                      // counted in characters as the platform counts them, none cut in two
                      ReactCase{"qx;" + Repeat("語", 1000), false, Repeat("語", 1000)},
                      ReactCase{"qx;" + Repeat("語", 1001), false, Repeat("語", 1000) + "..."},
                      ReactCase{"qx;" + std::string(999, 'a') + "😀b", false, std::string(999, 'a') + "..."},
                      ReactCase{"Ωμέγα", false, "γα"}, ReactCase{"日本", false, kDefault + kSupport}));

struct StepCase {
  std::int16_t code;
  std::optional<std::string> shown;
};

void PrintTo(const StepCase& c, std::ostream* os) {
  *os << c.code;
}

class ShowStepErrorTest : public ::testing::TestWithParam<StepCase> {
 protected:
  testsupport::SimWorld world;
};

TEST_P(ShowStepErrorTest, ShowsTheMessageOfTheCode) {
  world.addin->ShowStepError(GetParam().code);
  const auto& messages = world.windowing.Messages();
  if (!GetParam().shown) {
    EXPECT_TRUE(messages.empty());
    return;
  }
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, *GetParam().shown);
  EXPECT_EQ(messages[0].buttons, host::MsgButtons::OK);
  EXPECT_EQ(messages[0].icon, host::MsgIcon::None);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ShowStepErrorTest,
    ::testing::Values(StepCase{0, std::nullopt},
                      StepCase{7, "Connection timeout! Please check your Internet connection and try again. #7"},
                      StepCase{80, "Redemption.dll was not installed properly! #80"},
                      StepCase{88, "Failed to load your email address! #88"}, StepCase{17, "An error was occured! #17"},
                      StepCase{30, "An error was occured! #30"}, StepCase{81, "An error was occured! #81"},
                      StepCase{215, "An error was occured! #215"}, StepCase{-1, "An error was occured! #-1"},
                      StepCase{-32768, "An error was occured! #-32768"},
                      StepCase{32767, "An error was occured! #32767"}));

}  // namespace
