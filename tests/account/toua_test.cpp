// The terms-of-use dialog: the service's text or the built-in one, and the
// user's answer.
#include "account/toua.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/loopback_server.h"
#include "support/sim_fixture.h"

namespace {

using corvanta::toua;

const std::string kHeading = "TERMS OF USE AGREEMENT (TOUA)\r\n\r\n";

class TouaFixture {
 protected:
  std::string Loaded(const std::string& serviceHost) {
    toua dlg(world.platform, serviceHost);
    dlg.LoadText();
    return dlg["Text1"].caption;
  }

  testsupport::LoopbackServer server;
  testsupport::SimWorld world;
};

class TouaTest : public TouaFixture, public ::testing::Test {};

TEST_F(TouaTest, IsDesignedWithTheTwoAnswers) {
  toua dlg(world.platform, server.HostPort());
  EXPECT_EQ(dlg.Caption(), "Corvanta Add-in for Outlook");
  EXPECT_EQ(dlg.Width(), 5280);
  EXPECT_EQ(dlg.Height(), 5850);
  EXPECT_FALSE(dlg.bIagree);
  struct Expected {
    std::string name;
    host::ControlKind kind;
    std::string caption;
    int left, top, width, height;
  };
  const std::vector<Expected> expected = {
      {"Text1", host::ControlKind::TextBox, "Text1", 0, 0, 5295, 5295},
      {"OKButton", host::ControlKind::CommandButton, "I Agree", 2640, 5400, 1215, 375},
      {"CancelButton", host::ControlKind::CommandButton, "I Decline", 3960, 5400, 1215, 375},
  };
  ASSERT_EQ(dlg.Controls().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const host::Control& c = dlg.Controls()[i];
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(c.name, expected[i].name);
    EXPECT_EQ(c.kind, expected[i].kind);
    EXPECT_EQ(c.caption, expected[i].caption);
    EXPECT_EQ((std::vector<int>{c.left, c.top, c.width, c.height}),
              (std::vector<int>{expected[i].left, expected[i].top, expected[i].width, expected[i].height}));
  }
}

TEST_F(TouaTest, BuiltInAgreementIsAHeadingAndOneParagraph) {
  const std::string& text = toua::BuiltInAgreement();
  ASSERT_EQ(text.substr(0, kHeading.size()), kHeading);
  const std::string terms = text.substr(kHeading.size());
  EXPECT_GT(terms.size(), 200u);
  EXPECT_EQ(terms.find_first_of("\r\n"), std::string::npos);
  EXPECT_NE(terms.find("Mailwarden"), std::string::npos);
  EXPECT_EQ(terms.find("  "), std::string::npos);  // the pieces join with single blanks
  EXPECT_EQ(terms.back(), '.');
}

struct ServedCase {
  std::string name;
  std::size_t length;
  bool used;
};

void PrintTo(const ServedCase& c, std::ostream* os) {
  *os << c.name;
}

class TouaServedTest : public TouaFixture, public ::testing::TestWithParam<ServedCase> {};

TEST_P(TouaServedTest, ServedTextUsedOnlyWhenLongerThan200) {
  std::string served = "Terms of the service, as it states them today. ";
  while (served.size() < GetParam().length) served += "x";
  served.resize(GetParam().length);
  server.Get("/cvx/toua.txt", testsupport::Reply{.body = served});

  EXPECT_EQ(Loaded(server.HostPort()), GetParam().used ? served : toua::BuiltInAgreement());
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].method, "GET");
  EXPECT_EQ(server.Requests()[0].path, "/cvx/toua.txt");
  EXPECT_TRUE(world.windowing.Messages().empty());
}

// The 200 counts characters, not bytes: 200 Japanese characters (600 bytes)
// are still too short, 201 are the terms.
TEST_F(TouaTest, TheLengthCountsCharacters) {
  for (const int count : {200, 201}) {
    testsupport::LoopbackServer served;
    std::string text;
    for (int i = 0; i < count; ++i) text += "約";
    served.Get("/cvx/toua.txt", testsupport::Reply{.body = text});
    EXPECT_EQ(Loaded(served.HostPort()), count > 200 ? text : toua::BuiltInAgreement()) << count;
  }
}

INSTANTIATE_TEST_SUITE_P(Lengths, TouaServedTest,
                         ::testing::Values(ServedCase{"Empty", 0, false}, ServedCase{"Short", 20, false},
                                           ServedCase{"Exactly200", 200, false}, ServedCase{"Of201", 201, true},
                                           ServedCase{"Long", 5000, true}),
                         [](const ::testing::TestParamInfo<ServedCase>& param) { return param.param.name; });

TEST_F(TouaTest, AskedWithATenSecondTimeOut) {
  server.Get("/cvx/toua.txt", testsupport::Reply{.body = std::string(300, 'T')});
  toua dlg(world.platform, server.HostPort());
  dlg.LoadText();
  const auto transfers = world.internet.Transfers();
  ASSERT_FALSE(transfers.empty());
  EXPECT_EQ(transfers.back()->RequestTimeout(), 10);
}

TEST_F(TouaTest, NoConnectionGivesTheBuiltInTextSilently) {
  const std::string text = Loaded("127.0.0.1:" + std::to_string(testsupport::LoopbackServer::UnusedPort()));
  EXPECT_EQ(text, toua::BuiltInAgreement());
  EXPECT_EQ(text.substr(0, kHeading.size()), kHeading);
  EXPECT_TRUE(world.windowing.Messages().empty());
}

TEST_F(TouaTest, NotFoundPageGivesTheBuiltInText) {
  // Nothing served at the path: the server's error page is no agreement.
  server.Get("/cvx/other.txt", testsupport::Reply{.body = std::string(300, 'T')});
  EXPECT_EQ(Loaded(server.HostPort()), toua::BuiltInAgreement());
}

struct AnswerCase {
  std::string name;
  host::sim::DialogAction action;
  bool agreed;
};

void PrintTo(const AnswerCase& c, std::ostream* os) {
  *os << c.name;
}

class TouaAnswerTest : public TouaFixture, public ::testing::TestWithParam<AnswerCase> {};

TEST_P(TouaAnswerTest, RecordsTheAnswer) {
  toua dlg(world.platform, server.HostPort());
  dlg.LoadText();
  world.windowing.QueueDialog("toua", GetParam().action);
  world.platform.windowing.ShowModal(dlg);
  EXPECT_EQ(dlg.bIagree, GetParam().agreed);
  ASSERT_EQ(world.windowing.Dialogs().size(), 1u);
  const auto& record = world.windowing.Dialogs()[0];
  EXPECT_TRUE(record.modal);
  EXPECT_TRUE(record.closed);
  EXPECT_FALSE(record.forcedClose);
  EXPECT_EQ(record.caption, "Corvanta Add-in for Outlook");
  EXPECT_EQ(record.controls[0].caption, toua::BuiltInAgreement());  // loaded before showing
}

INSTANTIATE_TEST_SUITE_P(Answers, TouaAnswerTest,
                         ::testing::Values(AnswerCase{"IAgree", host::sim::Press("OKButton"), true},
                                           AnswerCase{"IDecline", host::sim::Press("CancelButton"), false},
                                           AnswerCase{"FrameCloseBox", host::sim::CloseByFrame(), false}),
                         [](const ::testing::TestParamInfo<AnswerCase>& param) { return param.param.name; });

TEST_F(TouaTest, DeclineAfterAgreeCountsAsDeclined) {
  toua dlg(world.platform, server.HostPort());
  world.windowing.QueueDialog("toua", host::sim::Press("OKButton"));
  world.platform.windowing.ShowModal(dlg);
  world.windowing.QueueDialog("toua", host::sim::Press("CancelButton"));
  world.platform.windowing.ShowModal(dlg);
  EXPECT_FALSE(dlg.bIagree);
}

}  // namespace
