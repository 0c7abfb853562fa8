// The progress dialog: its transfer's state changes, the wait for a running
// transfer, and the user closing it while the work goes on.
#include "sending/dlg_progress.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/sim/transfer_errors.h"
#include "support/loopback_server.h"
#include "support/sim_fixture.h"

namespace {

using corvanta::dlgProgress;

// A transfer control whose events and reply the test hands over itself.
class ScriptedTransfer : public host::Transfer {
 public:
  std::string OpenURL(const std::string&) override { throw host::Error("not used"); }
  void Execute(const std::string&, const std::string&, const std::string&, const std::string&) override {}
  bool StillExecuting() override { return false; }
  std::string GetChunk(std::int32_t size) override {
    chunkSizes.push_back(size);
    if (failChunk && chunkSizes.size() == static_cast<std::size_t>(failChunk))
      throw host::Error(35756, "The connection was reset");
    if (chunks.empty()) return "";
    std::string chunk = chunks.front();
    chunks.pop_front();
    return chunk;
  }
  std::int32_t RequestTimeout() override { return timeouts.empty() ? 60 : timeouts.back(); }
  void SetRequestTimeout(std::int32_t seconds) override { timeouts.push_back(seconds); }
  std::int32_t ResponseCode() override { return code; }
  std::string ResponseInfo() override { return info; }
  host::Subscription OnStateChanged(StateHandler h) override {
    handler = std::move(h);
    return host::Subscription([this] { handler = nullptr; });
  }

  void Fire(std::int16_t state) {
    ASSERT_TRUE(handler);
    handler(state);
  }

  StateHandler handler;
  std::deque<std::string> chunks;
  std::vector<std::int32_t> chunkSizes;
  std::vector<std::int32_t> timeouts;
  int failChunk = 0;  // the GetChunk call (1-based) that fails
  std::int32_t code = 0;
  std::string info;
};

class ScriptedInternet : public host::Internet {
 public:
  std::shared_ptr<host::Transfer> CreateTransfer() override { return transfer; }
  std::shared_ptr<ScriptedTransfer> transfer = std::make_shared<ScriptedTransfer>();
};

class StateChangeTest : public ::testing::Test {
 protected:
  testsupport::SimWorld world;
  ScriptedInternet internet;
  host::Platform platform{world.registry, world.windowing, world.redemption, internet,
                          world.clock,    world.random,    world.urlHandler, world.codePage};
  dlgProgress dlg{platform};
  ScriptedTransfer& inet = *internet.transfer;
};

TEST_F(StateChangeTest, EveryStateSetsTheTimeOutAndOnlyTheLastTwoWriteTheReply) {
  dlg.sInetSays = "before";
  for (std::int16_t state = 0; state <= 10; ++state) inet.Fire(state);
  EXPECT_EQ(inet.timeouts, std::vector<std::int32_t>(11, 5));
  EXPECT_EQ(dlg.sInetSays, "before");
  EXPECT_TRUE(inet.chunkSizes.empty());
}

struct ErrorCase {
  std::int32_t code;
  std::string info;
  std::string expected;
};

// Names the case by what it expects, so test listings stay readable.
void PrintTo(const ErrorCase& error, std::ostream* out) {
  *out << error.expected;
}

class ErrorStateTest : public StateChangeTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(ErrorStateTest, ErrorStateGivesCodeAndInfo) {
  inet.code = GetParam().code;
  inet.info = GetParam().info;
  inet.Fire(host::icError);
  EXPECT_EQ(dlg.sInetSays, GetParam().expected);
  EXPECT_EQ(inet.timeouts, std::vector<std::int32_t>{5});
  EXPECT_TRUE(inet.chunkSizes.empty());
}

INSTANTIATE_TEST_SUITE_P(Errors, ErrorStateTest,
                         ::testing::Values(ErrorCase{0, "", "qx;0:"},
                                           ErrorCase{35761, "The request timed out", "qx;35761:The request timed out"},
                                           ErrorCase{-5, "x y", "qx;-5:x y"}));

TEST_F(StateChangeTest, CompletedReplyIsReadToItsEnd) {
  const std::string a(1024, 'a'), b(1024, 'b'), c(952, 'c');
  inet.chunks = {a, b, c};
  inet.Fire(host::icResponseCompleted);
  EXPECT_EQ(dlg.sInetSays, a + b + c);
  EXPECT_EQ(inet.chunkSizes, std::vector<std::int32_t>(4, 1024));  // the fourth answers ""
}

TEST_F(StateChangeTest, EmptyReplyIsEmpty) {
  dlg.sInetSays = "old";
  inet.Fire(host::icResponseCompleted);
  EXPECT_EQ(dlg.sInetSays, "");
}

TEST_F(StateChangeTest, FailedReadBecomesAnErrorReply) {
  inet.chunks = {"qo;A B"};
  inet.failChunk = 2;
  inet.Fire(host::icResponseCompleted);
  EXPECT_EQ(dlg.sInetSays, "qx;35756:The connection was reset");
}

TEST_F(StateChangeTest, DroppedDialogStopsListening) {
  {
    dlgProgress other(platform);
    EXPECT_TRUE(inet.handler);
  }
  EXPECT_FALSE(inet.handler);
}

// The dialog as the user sees it.
class ProgressDialogTest : public ::testing::Test {
 protected:
  testsupport::SimWorld world;
  dlgProgress dlg{world.platform};
};

TEST_F(ProgressDialogTest, IsDesignedAsSendingWithItsControls) {
  EXPECT_EQ(dlg.Caption(), "Sending...");
  struct Expected {
    std::string name;
    host::ControlKind kind;
    std::string caption;
  };
  const std::vector<Expected> expected = {{"lblProgress", host::ControlKind::Label, ""},
                                          {"lblEmail", host::ControlKind::Label, ""},
                                          {"ctlProgress", host::ControlKind::ProgressBar, ""},
                                          {"Close", host::ControlKind::CommandButton, "Close"}};
  ASSERT_EQ(dlg.Controls().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(dlg.Controls()[i].name, expected[i].name);
    EXPECT_EQ(dlg.Controls()[i].kind, expected[i].kind);
    EXPECT_EQ(dlg.Controls()[i].caption, expected[i].caption);
  }
  EXPECT_EQ(dlg.Value(), 0.0f);
}

TEST_F(ProgressDialogTest, ShowIsModelessAndOnce) {
  dlg.Show();
  dlg.Show();
  ASSERT_EQ(world.windowing.Dialogs().size(), 1u);
  EXPECT_FALSE(world.windowing.Dialogs()[0].modal);
  EXPECT_EQ(world.windowing.Dialogs()[0].caption, "Sending...");
  EXPECT_EQ(world.windowing.ShownModeless("dlgProgress"), &dlg);
}

TEST_F(ProgressDialogTest, ControlsReachTheScreen) {
  dlg.Show();
  dlg.SetMax(5);
  dlg.SetValue(dlg.Value() + 1);
  dlg.SetProgressLabel("Receiving stamp...");
  dlg.SetEmailLabel("ann@example.org");
  EXPECT_EQ(world.windowing.CaptionsOf("dlgProgress", "lblProgress"), std::vector<std::string>{"Receiving stamp..."});
  EXPECT_EQ(world.windowing.CaptionsOf("dlgProgress", "lblEmail"), std::vector<std::string>{"ann@example.org"});
  EXPECT_EQ(dlg["ctlProgress"].max, 5.0f);
  EXPECT_EQ(dlg.Value(), 1.0f);
}

TEST_F(ProgressDialogTest, UserCloseUnloadsAndTouchingReloadsInvisible) {
  dlg.Show();
  dlg.SetMax(5);
  dlg.SetValue(2);
  dlg.SetEmailLabel("ann@example.org");
  dlg.sInetSays = "qo;A B";

  world.windowing.ClickModeless("dlgProgress", "Close");
  EXPECT_FALSE(dlg.Loaded());
  EXPECT_FALSE(dlg.Visible());
  EXPECT_EQ(world.windowing.ShownModeless("dlgProgress"), nullptr);

  // The operation goes on and touches the dialog again.
  dlg.SetProgressLabel("Sending to bob@example.org");
  EXPECT_TRUE(dlg.Loaded());
  EXPECT_FALSE(dlg.Visible());
  EXPECT_EQ(world.windowing.ShownModeless("dlgProgress"), nullptr);
  EXPECT_EQ(dlg["lblEmail"].caption, "");  // as designed again
  EXPECT_EQ(dlg.Value(), 0.0f);
  EXPECT_EQ(dlg["ctlProgress"].max, 100.0f);
  EXPECT_EQ(dlg.sInetSays, "qo;A B");

  dlg.CloseMe();
  EXPECT_FALSE(dlg.Loaded());
  EXPECT_EQ(world.windowing.Dialogs().size(), 1u);  // never shown again
}

TEST_F(ProgressDialogTest, CloseMeIsTheCloseButton) {
  dlg.Show();
  dlg.CloseMe();
  EXPECT_FALSE(dlg.Loaded());
  EXPECT_TRUE(world.windowing.Dialogs()[0].closed);
  EXPECT_EQ(world.windowing.ShownModeless("dlgProgress"), nullptr);
}

// Real transfers against a loopback server.
class WaitLoopTest : public ProgressDialogTest {
 protected:
  testsupport::LoopbackServer server;
};

TEST_F(WaitLoopTest, LongReplyArrivesWhole) {
  std::string body;
  for (int i = 0; body.size() < 3000; ++i) body += "S" + std::to_string(i) + " ";
  body.resize(3000);
  server.Post("/p/b01/forsel.php", testsupport::Reply{.body = "qo;" + body});

  dlg.Show();
  dlg.Inet1().Execute(server.Url("/p/b01/forsel.php"), "POST", "a=1",
                      "Content-Type: application/x-www-form-urlencoded");
  dlg.WaitLoop();
  EXPECT_FALSE(dlg.Inet1().StillExecuting());
  EXPECT_EQ(dlg.sInetSays, "qo;" + body);
}

TEST_F(WaitLoopTest, SlowServerIsWaitedForBySleeping) {
  server.Get("/slow", testsupport::Reply{.body = "qo;late", .delay = std::chrono::milliseconds(300)});
  dlg.Inet1().Execute(server.Url("/slow"), "GET", "", "");
  dlg.WaitLoop();
  EXPECT_FALSE(dlg.Inet1().StillExecuting());
  EXPECT_EQ(dlg.sInetSays, "qo;late");
  EXPECT_GT(world.windowing.WaitCalls(), 0u);
  // The control's time-out is 5 seconds after the first state change.
  EXPECT_EQ(dlg.Inet1().RequestTimeout(), 5);
}

TEST_F(WaitLoopTest, RefusedConnectionEndsInErrorReply) {
  const int port = testsupport::LoopbackServer::UnusedPort();
  dlg.Inet1().Execute("http://127.0.0.1:" + std::to_string(port) + "/p/b01/forsel.php", "POST", "a=1", "");
  dlg.WaitLoop();
  namespace err = host::sim::transfer_error;
  EXPECT_EQ(dlg.sInetSays, "qx;" + std::to_string(err::kCannotConnect) + ":" + err::Text(err::kCannotConnect));
}

TEST_F(WaitLoopTest, UserClosingDuringTheWaitLeavesTheReply) {
  server.Get("/slow", testsupport::Reply{.body = "qo;kept", .delay = std::chrono::milliseconds(200)});
  dlg.Show();
  dlg.Inet1().Execute(server.Url("/slow"), "GET", "", "");
  world.windowing.ScheduleClick("dlgProgress", "Close");
  dlg.WaitLoop();
  EXPECT_EQ(dlg.sInetSays, "qo;kept");
  EXPECT_TRUE(world.windowing.Dialogs()[0].closed);
  EXPECT_FALSE(dlg.Visible());
  EXPECT_TRUE(dlg.Loaded());  // the wait reached its transfer control again
}

}  // namespace
