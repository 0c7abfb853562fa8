// The About dialog: what it shows, what each button leads to, and when the
// Send/Receive choice is stored.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "account/dlg_about.h"
#include "host/sim/redemption.h"
#include "support/loopback_server.h"
#include "support/sim_fixture.h"

namespace {

using host::sim::Choose;
using host::sim::DialogRecord;
using host::sim::Press;
using host::sim::RegValue;
using host::sim::SimAddress;
using host::sim::Steps;

const std::string kCreditMessage5 =
    "You have 5 credits for this month.\r\nYou will receive new credits on the 1st day of each month.";

class AboutFixture {
 protected:
  AboutFixture() {
    Connect().CVXversion = "1.0.0.1";
    Connect().serviceHost = server.HostPort();
    Connect().cvxRegPath = testsupport::kCvxRegPath;
    Connect().goOutlook = world.outlook;
    server.Get("/p/b01/marlo.php", testsupport::Reply{.body = "qo;5"});
    world.redemption.SetCurrentUser(SimAddress::Smtp("Ann Smith", "ann@example.org"));
  }
  corvanta::Connect& Connect() { return *world.addin; }
  // The sender from the settings, as when Redemption cannot read it.
  void CachedSender() {
    Connect().fromAddy.clear();
    world.redemption.SetCurrentUser(SimAddress::Smtp("", ""));
    world.SetString("currentUserAddress", "cache@example.org");
    world.SetString("currentUserName", "Cached Name");
    Connect().LoadCurrentUser();
    ASSERT_FALSE(Connect().redWorks);
  }
  void Click() {
    bool cancelDefault = false;
    Connect().aboutButton_Click(nullptr, cancelDefault);
  }
  std::vector<DialogRecord> Shown(const std::string& form) const {
    std::vector<DialogRecord> shown;
    for (const auto& record : world.windowing.Dialogs())
      if (record.form == form) shown.push_back(record);
    return shown;
  }
  static const host::Control& ControlOf(const DialogRecord& record, const std::string& name) {
    for (const auto& control : record.controls)
      if (control.name == name) return control;
    throw std::runtime_error("no control " + name);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& m : world.windowing.Messages()) texts.push_back(m.text);
    return texts;
  }
  std::optional<RegValue> Stored(const std::string& name) const {
    return world.registry.Get(host::HKEY_CURRENT_USER, testsupport::kCvxRegPath, name);
  }

  testsupport::LoopbackServer server;
  testsupport::SimWorld world;
};

class AboutTest : public AboutFixture, public ::testing::Test {};

TEST_F(AboutTest, IsDesignedAsTheAccountPage) {
  corvanta::dlgAbout dlg(world.platform, "mail.example.org:8080");
  EXPECT_EQ(dlg.Caption(), "About");
  EXPECT_EQ(dlg.Width(), 3615);
  EXPECT_EQ(dlg.Height(), 4290);
  EXPECT_FALSE(dlg.bViewCredit);
  EXPECT_FALSE(dlg.bRefresh);
  using K = host::ControlKind;
  struct Expected {
    std::string name;
    K kind;
    std::string caption;
    int left, top, width, height;
    std::string container;
  };
  const std::vector<Expected> expected = {
      {"lTitle", K::Label, "Corvanta Version ", 120, 120, 3495, 255, ""},
      {"Label3", K::Label, "Email tracking add-in for Outlook 2000 / 2002", 120, 360, 3375, 255, ""},
      {"URLButton", K::CommandButton, "http://mail.example.org:8080/cvx/", 120, 600, 3375, 255, ""},
      {"Frame1", K::Frame, "Current user", 120, 960, 3375, 855, ""},
      {"Label1", K::Label, "Name", 120, 240, 495, 255, "Frame1"},
      {"Label4", K::Label, ":", 600, 240, 135, 255, "Frame1"},
      {"curUserName", K::Label, "Error", 720, 240, 2535, 255, "Frame1"},
      {"Label2", K::Label, "Email", 120, 480, 495, 255, "Frame1"},
      {"Label6", K::Label, ":", 600, 480, 135, 255, "Frame1"},
      {"curUserAddress", K::Label, "Error", 720, 480, 2535, 255, "Frame1"},
      {"frefresh", K::CommandButton, "Reload current user info.", 120, 1800, 3375, 255, ""},
      {"Frame2", K::Frame, "Automatically Send/Receive", 120, 2160, 3375, 615, ""},
      {"opt_send", K::ComboBox, "", 120, 240, 3135, 315, "Frame2"},
      {"credit", K::CommandButton, "View credit", 120, 2880, 3375, 375, ""},
      {"Donation", K::CommandButton, "Donation", 120, 3360, 3375, 375, ""},
      {"ok", K::CommandButton, "OK", 120, 3840, 3375, 375, ""},
  };
  ASSERT_EQ(dlg.Controls().size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const host::Control& c = dlg.Controls()[i];
    const Expected& e = expected[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(c.name, e.name);
    EXPECT_EQ(c.kind, e.kind);
    EXPECT_EQ(c.caption, e.caption);
    EXPECT_EQ((std::vector<int>{c.left, c.top, c.width, c.height}),
              (std::vector<int>{e.left, e.top, e.width, e.height}));
    EXPECT_EQ(c.container, e.container);
    EXPECT_TRUE(c.visible);
  }
  EXPECT_EQ(dlg["opt_send"].items, (std::vector<std::string>{"off", "immediately!"}));
}

TEST_F(AboutTest, OkAtOnceShowsTheIdentityAndWritesNothing) {
  Connect().LoadCurrentUser();
  Connect().opt_send = 1;
  world.windowing.QueueDialog("dlgAbout", Press("ok"));
  Click();

  const auto shown = Shown("dlgAbout");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_TRUE(shown[0].modal);
  EXPECT_TRUE(shown[0].closed);
  EXPECT_EQ(shown[0].caption, "About");
  EXPECT_EQ(ControlOf(shown[0], "lTitle").caption, "Corvanta Version 1.0.0.1");
  EXPECT_EQ(ControlOf(shown[0], "curUserName").caption, "Ann Smith");
  EXPECT_EQ(ControlOf(shown[0], "curUserAddress").caption, "ann@example.org");
  EXPECT_EQ(ControlOf(shown[0], "URLButton").caption, "http://" + server.HostPort() + "/cvx/");
  EXPECT_EQ(ControlOf(shown[0], "opt_send").listIndex, 1);
  EXPECT_FALSE(Stored("opt_send"));
  EXPECT_EQ(Connect().opt_send, 1);
  EXPECT_TRUE(Texts().empty());
  EXPECT_TRUE(Shown("dlgProgress").empty());  // the progress dialog only shows for the credit
  EXPECT_EQ(server.RequestCount(), 0u);
}

struct ChoiceCase {
  std::string name;
  std::string button;                                // what closes the dialog after the choice
  std::optional<std::string> opened = std::nullopt;  // the page the URL handler was asked to open
  bool credit = false;                               // the credit message follows
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
  *os << c.name;
}

class AboutChoiceTest : public AboutFixture, public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(AboutChoiceTest, ChoiceIsStoredWhicheverButtonClosed) {
  const ChoiceCase& c = GetParam();
  Connect().LoadCurrentUser();
  Connect().opt_send = 0;
  world.windowing.QueueDialog(
      "dlgAbout", Steps({Choose("opt_send", 1), c.button == "frame" ? host::sim::CloseByFrame() : Press(c.button)}));
  Click();

  EXPECT_EQ(Stored("opt_send"), RegValue::Dword(1));
  EXPECT_EQ(Connect().opt_send, 1);
  EXPECT_EQ(Shown("dlgAbout").size(), 1u);
  if (c.opened) {
    EXPECT_EQ(world.urlHandler.opened, std::vector<std::string>{"http://" + server.HostPort() + *c.opened});
  } else {
    EXPECT_TRUE(world.urlHandler.opened.empty());
  }
  EXPECT_EQ(Texts(), c.credit ? std::vector<std::string>{kCreditMessage5} : std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Buttons, AboutChoiceTest,
                         ::testing::Values(ChoiceCase{"Ok", "ok"}, ChoiceCase{"Title", "lTitle"},
                                           ChoiceCase{"ViewCredit", "credit", std::nullopt, true},
                                           ChoiceCase{"Donation", "Donation", "/cvx/donation/"},
                                           ChoiceCase{"HomePage", "URLButton", "/cvx/"},
                                           ChoiceCase{"FrameCloseBox", "frame"}),
                         [](const ::testing::TestParamInfo<ChoiceCase>& param) { return param.param.name; });

TEST_F(AboutTest, TurningOffIsStoredAsZero) {
  Connect().LoadCurrentUser();
  Connect().opt_send = 1;
  world.windowing.QueueDialog("dlgAbout", Steps({Choose("opt_send", 0), Press("ok")}));
  Click();
  EXPECT_EQ(Stored("opt_send"), RegValue::Dword(0));
  EXPECT_EQ(Connect().opt_send, 0);
}

TEST_F(AboutTest, ViewCreditShowsTheCountOnceAndClosesTheProgress) {
  Connect().LoadCurrentUser();
  world.windowing.QueueDialog("dlgAbout", Press("credit"));
  Click();
  EXPECT_EQ(Texts(), std::vector<std::string>{kCreditMessage5});
  EXPECT_EQ(world.windowing.Messages()[0].icon, host::MsgIcon::None);
  EXPECT_EQ(world.windowing.Messages()[0].buttons, host::MsgButtons::OK);
  EXPECT_EQ(Shown("dlgAbout").size(), 1u);  // not shown again after the credit
  const auto progress = Shown("dlgProgress");
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_TRUE(progress[0].closed);
  EXPECT_EQ(ControlOf(progress[0], "ctlProgress").max, 1.0f);
  // Asked for the address Redemption gives.
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].params.find("email")->second, "ann@example.org");
}

struct CreditFailureCase {
  std::string name;
  std::string reply;  // empty: no service at all
  std::vector<std::string> shown;
};

void PrintTo(const CreditFailureCase& c, std::ostream* os) {
  *os << c.name;
}

class AboutCreditFailureTest : public AboutFixture, public ::testing::TestWithParam<CreditFailureCase> {};

TEST_P(AboutCreditFailureTest, AnOddOrFailedCreditReplyIsToldOnceAtMost) {
  Connect().LoadCurrentUser();
  if (GetParam().reply.empty()) {
    Connect().serviceHost = "127.0.0.1:" + std::to_string(testsupport::LoopbackServer::UnusedPort());
  } else {
    server.Get("/p/b01/marlo.php", testsupport::Reply{.body = GetParam().reply});
  }
  world.windowing.QueueDialog("dlgAbout", Press("credit"));
  Click();
  EXPECT_EQ(Texts(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, AboutCreditFailureTest,
    ::testing::Values(
        CreditFailureCase{"AlreadyReported", "qx;not0", {}},
        CreditFailureCase{"ServiceMessage", "qx;Unknown sender", {"Unknown sender"}},
        // A count below 0 is no credit, said as such rather than not at all.
        CreditFailureCase{"NegativeCount",
                          "qo;-3",
                          {"You have 0 credits for this month.\r\nYou will receive new credits on the 1st day of each "
                           "month."}},
        CreditFailureCase{
            "NoService", "", {"Connection timeout! Please check your Internet connection and try again. #7"}}),
    [](const ::testing::TestParamInfo<CreditFailureCase>& param) { return param.param.name; });

TEST_F(AboutTest, ReloadThenOkShowsTwiceWithTheReloadedIdentity) {
  CachedSender();
  world.outlook->SetCurrentUser(SimAddress::Smtp("Olga Outlook", "olga@example.org"));
  world.windowing.QueueDialog("dlgAbout", Press("frefresh"));
  world.windowing.QueueDialog("dlgAbout", Press("ok"));
  Click();

  const auto shown = Shown("dlgAbout");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(ControlOf(shown[0], "curUserAddress").caption, "cache@example.org");
  EXPECT_EQ(ControlOf(shown[0], "curUserName").caption, "Cached Name");
  // The cached address was cleared, so the user is warned and Outlook asked.
  EXPECT_EQ(ControlOf(shown[1], "curUserAddress").caption, "olga@example.org");
  EXPECT_EQ(ControlOf(shown[1], "curUserName").caption, "Olga Outlook");
  ASSERT_EQ(world.windowing.Messages().size(), 1u);
  EXPECT_EQ(world.windowing.Messages()[0].icon, host::MsgIcon::Exclamation);
  EXPECT_EQ(Stored("currentUserAddress"), RegValue::String("olga@example.org"));
  EXPECT_EQ(Connect().fromAddy, "olga@example.org");
}

TEST_F(AboutTest, ReloadWithRedemptionLeavesTheStoredAddressEmpty) {
  Connect().LoadCurrentUser();
  world.SetString("currentUserAddress", "stale@example.org");
  world.windowing.QueueDialog("dlgAbout", Press("frefresh"));  // hidden, but the script can reach it
  world.windowing.QueueDialog("dlgAbout", Press("ok"));
  Click();

  const auto shown = Shown("dlgAbout");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(ControlOf(shown[1], "curUserAddress").caption, "ann@example.org");
  EXPECT_EQ(Stored("currentUserAddress"), RegValue::String(""));
  EXPECT_TRUE(Texts().empty());
}

TEST_F(AboutTest, ReloadThenViewCreditEndsAfterTheSecondShowing) {
  CachedSender();
  world.redemption.SetCurrentUser(SimAddress::Smtp("Ann Smith", "ann@example.org"));
  world.windowing.QueueDialog("dlgAbout", Press("frefresh"));
  world.windowing.QueueDialog("dlgAbout", Press("credit"));
  world.windowing.QueueDialog("dlgAbout", Press("ok"));  // must not be needed
  Click();
  EXPECT_EQ(Shown("dlgAbout").size(), 2u);
  EXPECT_TRUE(Connect().redWorks);
  EXPECT_EQ(Texts(), std::vector<std::string>{kCreditMessage5});
}

TEST_F(AboutTest, ReloadButtonHiddenOnlyWhenRedemptionGivesTheSender) {
  Connect().LoadCurrentUser();
  world.windowing.QueueDialog("dlgAbout", Press("ok"));
  Click();
  CachedSender();
  world.windowing.QueueDialog("dlgAbout", Press("ok"));
  Click();
  const auto shown = Shown("dlgAbout");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_FALSE(ControlOf(shown[0], "frefresh").visible);
  EXPECT_TRUE(ControlOf(shown[1], "frefresh").visible);
}

TEST_F(AboutTest, FailureInsideIsStep30AndKeepsTheChoice) {
  Connect().LoadCurrentUser();
  Connect().opt_send = 1;
  world.redemption.SetInstalled(false);
  world.windowing.QueueDialog("dlgAbout", Steps({Choose("opt_send", 0), Press("ok")}));
  Click();
  EXPECT_EQ(Texts(), std::vector<std::string>{"An error was occured! #30"});
  EXPECT_TRUE(Shown("dlgAbout").empty());
  EXPECT_EQ(Connect().opt_send, 1);
  EXPECT_FALSE(Stored("opt_send"));
}

TEST_F(AboutTest, StoredChoiceOutsideTheListSelectsNothingAndIsNotOverwritten) {
  Connect().LoadCurrentUser();
  Connect().opt_send = 5;
  world.windowing.QueueDialog("dlgAbout", Press("ok"));
  Click();
  EXPECT_EQ(ControlOf(Shown("dlgAbout")[0], "opt_send").listIndex, -1);
  EXPECT_FALSE(Stored("opt_send"));
  EXPECT_EQ(Connect().opt_send, 5);
  EXPECT_TRUE(Texts().empty());

  world.windowing.QueueDialog("dlgAbout", Steps({Choose("opt_send", 1), Press("ok")}));
  Click();
  EXPECT_EQ(Stored("opt_send"), RegValue::Dword(1));
  EXPECT_EQ(Connect().opt_send, 1);
}

}  // namespace
