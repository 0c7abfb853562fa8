// The scripted user in modal and modeless dialogs, and what is recorded.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/error.h"
#include "host/sim/windowing.h"
#include "sim_net/test_form.h"

namespace {

using host::sim::Choose;
using host::sim::CloseByFrame;
using host::sim::DialogUser;
using host::sim::Event;
using host::sim::EventKind;
using host::sim::Press;
using host::sim::SimWindowing;
using host::sim::Steps;
using simnet::TestForm;

TEST(ModalDialogs, TheScriptedPressReachesTheFormAndIsRecorded) {
  SimWindowing windowing;
  windowing.OnDialog("dlgTest", Press("Cancel"));
  TestForm form;
  form.SetCaption("Asking");
  windowing.ShowModal(form);

  EXPECT_EQ(form.clicks, std::vector<std::string>{"Cancel"});
  EXPECT_FALSE(form.Visible());
  ASSERT_EQ(windowing.Dialogs().size(), 1u);
  const auto& record = windowing.Dialogs()[0];
  EXPECT_EQ(record.form, "dlgTest");
  EXPECT_EQ(record.caption, "Asking");
  EXPECT_TRUE(record.modal);
  EXPECT_EQ(record.pressed, std::vector<std::string>{"Cancel"});
  EXPECT_FALSE(record.closedByFrame);
  EXPECT_FALSE(record.forcedClose);
  EXPECT_TRUE(record.closed);
}

TEST(ModalDialogs, TheSnapshotShowsTheControlsAsTheUserSawThem) {
  SimWindowing windowing;
  TestForm form;
  form["lblProgress"].caption = "before showing";
  windowing.OnDialog("dlgTest", [](DialogUser& user) {
    static_cast<TestForm&>(user.form()).SetLabel("changed while shown");
    user.Click("OK");
  });
  windowing.ShowModal(form);
  const auto& controls = windowing.Dialogs().at(0).controls;
  auto label = std::find_if(controls.begin(), controls.end(), [](const auto& c) { return c.name == "lblProgress"; });
  ASSERT_NE(label, controls.end());
  EXPECT_EQ(label->caption, "before showing");
  EXPECT_EQ(windowing.CaptionsOf("dlgTest", "lblProgress"),
            (std::vector<std::string>{"before showing", "changed while shown"}));
}

TEST(ModalDialogs, QueuedActionsComeFirstThenTheStandingOne) {
  SimWindowing windowing;
  windowing.QueueDialog("dlgTest", Press("Cancel"));
  windowing.QueueDialog("dlgTest", Steps({Choose("cboChoice", 1), Press("OK")}));
  windowing.OnDialog("dlgTest", Press("OK"));
  TestForm form;
  for (int showing = 0; showing < 3; ++showing) windowing.ShowModal(form);

  EXPECT_EQ(form.clicks, (std::vector<std::string>{"Cancel", "OK", "OK"}));
  EXPECT_EQ(form["cboChoice"].listIndex, 1);
  ASSERT_EQ(windowing.Dialogs().size(), 3u);
  EXPECT_EQ(windowing.Dialogs()[0].pressed, std::vector<std::string>{"Cancel"});
  EXPECT_EQ(windowing.Dialogs()[1].pressed, std::vector<std::string>{"OK"});
}

TEST(ModalDialogs, ActionsAreKeptPerFormName) {
  SimWindowing windowing;
  windowing.OnDialog("dlgA", Press("OK"));
  windowing.OnDialog("dlgB", Press("Cancel"));
  windowing.OnAnyDialog(Press("Close"));
  TestForm a("dlgA"), b("dlgB"), c("dlgC");
  windowing.ShowModal(b);
  windowing.ShowModal(a);
  windowing.ShowModal(c);
  EXPECT_EQ(a.clicks, std::vector<std::string>{"OK"});
  EXPECT_EQ(b.clicks, std::vector<std::string>{"Cancel"});
  EXPECT_EQ(c.clicks, std::vector<std::string>{"Close"});
  EXPECT_FALSE(c.Loaded());
}

TEST(ModalDialogs, WithoutAScriptTheUserClosesByTheFrame) {
  SimWindowing windowing;
  TestForm form;
  windowing.ShowModal(form);
  EXPECT_TRUE(form.closedByFrame);
  EXPECT_FALSE(form.Loaded());
  EXPECT_TRUE(windowing.Dialogs().at(0).closedByFrame);
  EXPECT_FALSE(windowing.Dialogs().at(0).forcedClose);
}

TEST(ModalDialogs, AFormTheScriptLeavesOpenIsClosedByTheFrameAndMarked) {
  SimWindowing windowing;
  windowing.OnDialog("dlgTest", Press("Stay"));
  TestForm form;
  windowing.ShowModal(form);
  EXPECT_EQ(form.clicks, std::vector<std::string>{"Stay"});
  EXPECT_TRUE(form.closedByFrame);
  EXPECT_FALSE(form.Visible());
  EXPECT_TRUE(windowing.Dialogs().at(0).forcedClose);
}

TEST(ModalDialogs, AFormThatRefusesItsFrameIsATestErrorNotAHang) {
  SimWindowing windowing;
  windowing.OnDialog("dlgTest", Press("Stay"));
  TestForm form;
  form.refuseFrame = true;
  EXPECT_THROW(windowing.ShowModal(form), host::Error);
  EXPECT_FALSE(form.Visible());
}

TEST(ModalDialogs, TheUserCanCloseByTheFrameOnPurpose) {
  SimWindowing windowing;
  windowing.OnDialog("dlgTest", CloseByFrame());
  TestForm form;
  windowing.ShowModal(form);
  EXPECT_TRUE(form.clicks.empty());
  EXPECT_TRUE(windowing.Dialogs().at(0).closedByFrame);
  EXPECT_FALSE(windowing.Dialogs().at(0).forcedClose);
}

TEST(ModalDialogs, PressingAMissingControlOrAMissingEntryIsATestError) {
  SimWindowing windowing;
  TestForm form;
  struct Case {
    host::sim::DialogAction action;
    std::string named;
  };
  const Case cases[] = {{Press("NoSuchButton"), "NoSuchButton"}, {Choose("cboChoice", 2), "no entry 2"}};
  for (const auto& [action, named] : cases) {
    windowing.QueueDialog("dlgTest", action);
    try {
      windowing.ShowModal(form);
      ADD_FAILURE() << "no error for " << named;
    } catch (const host::Error& error) {
      EXPECT_NE(std::string(error.what()).find(named), std::string::npos) << error.what();
    }
    EXPECT_FALSE(form.Visible());  // the failed script left no window behind
  }
  EXPECT_TRUE(windowing.Dialogs().at(1).forcedClose);
}

TEST(ModalDialogs, TypingChangesATextBox) {
  SimWindowing windowing;
  windowing.OnDialog("dlgTest", [](DialogUser& user) {
    user.Type("txtNote", "typed");
    user.Click("OK");
  });
  TestForm form;
  windowing.ShowModal(form);
  EXPECT_EQ(form["txtNote"].caption, "typed");
}

TEST(ModalDialogs, TheObserverSeesShowingPressingAndClosingInOrder) {
  SimWindowing windowing;
  std::vector<EventKind> kinds;
  std::vector<std::string> controls;
  windowing.SetObserver([&](const Event& event) {
    kinds.push_back(event.kind);
    controls.push_back(event.control);
  });
  windowing.OnDialog("dlgTest", Steps({Choose("cboChoice", 0), Press("OK")}));
  TestForm form;
  windowing.ShowModal(form);
  EXPECT_EQ(kinds, (std::vector<EventKind>{EventKind::DialogShown, EventKind::SelectionChanged,
                                           EventKind::ButtonPressed, EventKind::DialogClosed}));
  EXPECT_EQ(controls[2], "OK");
}

TEST(ModelessDialogs, ShowingReturnsAtOnceAndChangesAreRecorded) {
  SimWindowing windowing;
  TestForm form("dlgProgress");
  form.SetLabel("not shown yet");  // no window: nothing to record
  windowing.ShowModeless(form);
  EXPECT_TRUE(form.Visible());
  form.SetLabel("Start sending...");
  form["ctlProgress"].max = 3;
  form.Update("ctlProgress");
  form["ctlProgress"].value = 1;
  form.Update("ctlProgress");
  form.SetLabel("Receiving stamp...");

  EXPECT_EQ(windowing.CaptionsOf("dlgProgress", "lblProgress"),
            (std::vector<std::string>{"not shown yet", "Start sending...", "Receiving stamp..."}));
  ASSERT_EQ(windowing.Changes().size(), 4u);
  EXPECT_EQ(windowing.Changes()[1].control.max, 3);
  EXPECT_EQ(windowing.Changes()[2].control.value, 1);
  EXPECT_FALSE(windowing.Dialogs().at(0).modal);
  EXPECT_EQ(windowing.ShownModeless("dlgProgress"), &form);

  form.Unload();
  EXPECT_TRUE(windowing.Dialogs().at(0).closed);
  EXPECT_EQ(windowing.ShownModeless("dlgProgress"), nullptr);
  form.SetLabel("after closing");  // reloaded invisible: nothing shown, nothing recorded
  EXPECT_EQ(windowing.Changes().size(), 4u);
}

TEST(ModelessDialogs, AScheduledClickHappensInsideTheNextDoEvents) {
  SimWindowing windowing;
  TestForm form("dlgProgress");
  windowing.ShowModeless(form);
  windowing.ScheduleClick("dlgProgress", "Close");
  EXPECT_TRUE(form.clicks.empty());
  windowing.DoEvents();
  EXPECT_EQ(form.clicks, std::vector<std::string>{"Close"});
  EXPECT_FALSE(form.Loaded());
  EXPECT_EQ(windowing.Dialogs().at(0).pressed, std::vector<std::string>{"Close"});
}

TEST(ModelessDialogs, ClickingAFormThatIsNotShownIsATestError) {
  SimWindowing windowing;
  EXPECT_THROW(windowing.ClickModeless("dlgProgress", "Close"), host::Error);
  TestForm form("dlgProgress");
  windowing.ShowModeless(form);
  form.CloseByFrame();
  EXPECT_THROW(windowing.ClickModeless("dlgProgress", "Close"), host::Error);
}

TEST(ModelessDialogs, AFormDestroyedWhileShownLeavesNoDanglingWindow) {
  SimWindowing windowing;
  {
    TestForm form("dlgProgress");
    windowing.ShowModeless(form);
  }
  EXPECT_EQ(windowing.ShownModeless("dlgProgress"), nullptr);
  EXPECT_TRUE(windowing.Dialogs().at(0).closed);
  TestForm another("dlgProgress");  // may take the same address
  windowing.ShowModeless(another);
  EXPECT_EQ(windowing.ShownModeless("dlgProgress"), &another);
}

TEST(ModelessDialogs, AFormOutlivingTheWindowingIsLetGo) {
  TestForm form("dlgProgress");
  {
    SimWindowing windowing;
    windowing.ShowModeless(form);
  }
  EXPECT_FALSE(form.Visible());
  form.SetLabel("still usable");  // would reach a dead view otherwise
  EXPECT_EQ(form["lblProgress"].caption, "still usable");
}

}  // namespace
