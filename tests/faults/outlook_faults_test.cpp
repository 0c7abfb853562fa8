// The stand-in Outlook (or Redemption) failing a call in the middle of the
// per-recipient loop: the user is told once with the step code, the
// recipients before the failure have their message, the composed message
// stays, and the next send works.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "fault_world.h"

namespace faults {
namespace {

struct LoopFault {
  const char* name;
  std::string button;
  bool inRedemption;  // else in Outlook
  std::string op;
  int nth;  // the nth call of op during the send fails
  int step;
  std::size_t leftBefore;  // messages in the Outbox by then
  std::size_t keptBefore;  // copies in Sent Items by then
  // A notified recipient's kept copy that could not reach Sent Items stays a
  // draft, as the sender's record; nothing else of the send does.
  std::string recordInDrafts = {};
};

void PrintTo(const LoopFault& fault, std::ostream* os) {
  *os << fault.name;
}

class OutlookFaults : public FaultWorld, public ::testing::WithParamInterface<LoopFault> {
 protected:
  host::sim::Faults& FaultsOf(const LoopFault& fault) {
    return fault.inRedemption ? world.redemption.faults() : world.outlook->faults();
  }
};

TEST_P(OutlookFaults, OneMessageWithTheStepTheMessageKeptAndTheNextSendWorks) {
  const LoopFault& fault = GetParam();
  FaultsOf(fault).FailNth(fault.op, fault.nth);
  Click(fault.button);

  EXPECT_EQ(Shown(), std::vector<std::string>{"An error was occured! #" + std::to_string(fault.step)});
  EXPECT_EQ(In(MailStore::kOutbox), fault.leftBefore);
  EXPECT_EQ(In(MailStore::kSentItems), fault.keptBefore);
  EXPECT_FALSE(item->stale());
  EXPECT_EQ(item->closeCount(), 0);
  EXPECT_EQ(world.outlook->activeInspector(), inspector);
  std::vector<std::string> drafts{"Quarterly figures"};
  if (!fault.recordInDrafts.empty()) drafts.push_back(fault.recordInDrafts);
  EXPECT_EQ(world.outlook->folder(MailStore::kDrafts)->Subjects(), drafts);
  EXPECT_EQ(world.windowing.ShownModeless("dlgProgress"), nullptr);

  // Every recipient again, with stamps of their own; the failed send's stamps were charged.
  FaultsOf(fault).Clear();
  world.windowing.ClearRecords();
  Click(fault.button);
  EXPECT_TRUE(Shown().empty()) << Shown().front();
  EXPECT_EQ(In(MailStore::kOutbox), fault.leftBefore + 3);
  EXPECT_EQ(In(MailStore::kSentItems), fault.button == "Guaranteed" ? fault.keptBefore + 3 : 0u);
  EXPECT_TRUE(item->stale());
  EXPECT_EQ(world.outlook->folder(MailStore::kDrafts)->count(), drafts.size() - 1);
  EXPECT_EQ(service.Credit(kSender), kStartingCredit - 6);
}

INSTANTIATE_TEST_SUITE_P(
    Loop, OutlookFaults,
    ::testing::Values(
        // Automatic and Request receipt: the first copy is made before the loop, the next ones at its end.
        LoopFault{"AutomaticSecondSend", "Automatic", true, "SafeMailItem.Send", 2, 17, 1, 0},
        LoopFault{"AutomaticThirdCopy", "Automatic", false, "MailItem.Copy", 3, 17, 2, 0},
        LoopFault{"AutomaticSecondTrim", "Automatic", true, "SafeRecipient.Delete", 3, 17, 1, 0},
        LoopFault{"RequestReceiptSecondSend", "Request receipt", true, "SafeMailItem.Send", 2, 17, 1, 0},
        LoopFault{"RequestReceiptSecondInsert", "Request receipt", false, "MailItem.SetHTMLBody", 2, 17, 1, 0},
        LoopFault{"RequestReceiptSecondResolve", "Request receipt", true, "SafeRecipients.ResolveAll", 2, 17, 1, 0},
        // Guaranteed: per recipient a kept copy, a notice (copied from a template), then the kept copy's move.
        LoopFault{"GuaranteedSecondKeptCopy", "Guaranteed", false, "MailItem.Copy", 4, 214, 1, 1},
        LoopFault{"GuaranteedSecondNotice", "Guaranteed", true, "SafeMailItem.Send", 2, 212, 1, 1},
        LoopFault{"GuaranteedSecondMove", "Guaranteed", true, "SafeMailItem.Move", 2, 214, 2, 1,
                  "Quarterly figures (cy@example.org)"}),
    [](const ::testing::TestParamInfo<LoopFault>& param) { return std::string(param.param.name); });

using CleanupFaults = FaultWorld;

// Outlook refusing to delete the send's half-made copy adds no second message.
TEST_F(CleanupFaults, ACopyThatCannotBeDeletedStaysQuietly) {
  world.redemption.faults().FailNth("SafeMailItem.Send", 2);
  world.outlook->faults().FailAlways("MailItem.Delete");
  const std::size_t deletedBefore = world.outlook->folder(host::sim::kDeletedItems)->count();
  Click("Automatic");

  EXPECT_EQ(Shown(), std::vector<std::string>{"An error was occured! #17"});
  EXPECT_EQ(In(MailStore::kOutbox), 1u);
  EXPECT_FALSE(item->stale());
  EXPECT_EQ(world.outlook->folder(MailStore::kDrafts)->count(), 2u);
  EXPECT_EQ(world.outlook->folder(host::sim::kDeletedItems)->count(), deletedBefore);
}

// Guaranteed: once every notification has left and the composed message is
// gone, a notification template that will not be deleted is no failure: no
// report (which would have the user send, and pay for, it all again).
TEST_F(CleanupFaults, AGuaranteedTemplateThatCannotBeDeletedStaysQuietly) {
  world.outlook->faults().FailNth("MailItem.Delete", 2);  // the composed message goes first
  Click("Guaranteed");

  EXPECT_TRUE(Shown().empty()) << Shown().front();
  EXPECT_EQ(In(MailStore::kOutbox), 3u);
  EXPECT_EQ(In(MailStore::kSentItems), 3u);
  EXPECT_TRUE(item->stale());
  EXPECT_EQ(world.outlook->folder(MailStore::kDrafts)->count(), 1u) << "the template stays behind";
  EXPECT_EQ(service.Credit(kSender), kStartingCredit - 3);
}

}  // namespace
}  // namespace faults
