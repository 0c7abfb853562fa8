// The tracked send behind "Automatic" and "Request receipt": credit, stamps,
// then one copy per recipient, each carrying only that recipient and an
// insert with that recipient's stamp.
#include <memory>
#include <vector>

#include "addin/connect.h"
#include "sending/closing_steps.h"
#include "sending/dlg_progress.h"
#include "sending/message_copies.h"
#include "sending/send_guard.h"
#include "sending/send_time.h"
#include "sending/stamps.h"

namespace corvanta {

namespace {
constexpr int kSendReceiveId = 5488;  // Outlook's Send/Receive command
}  // namespace

void Connect::SendTracked(const std::string& head, const std::string& tail, bool atEnd) {
  sending::SendGuard guard(sending);
  if (!guard) return;

  std::int16_t step = 10;
  std::unique_ptr<dlgProgress> dlg;
  sending::RunSend(*this, step, dlg, [&] {
    LoadCurrentUser();
    std::shared_ptr<host::MailItem> item = sending::ActiveMailItem(goOutlook.get());
    const host::LocalTime now = platform.clock.Now();
    const std::string curDate = sending::FormatDate(now);
    const std::string curTime = sending::FormatTime(now);
    std::shared_ptr<host::SafeMailItem> safe = platform.redemption.CreateSafeMailItem();
    item->Save();
    safe->SetItem(item);
    const int n = safe->Recipients()->Count();

    dlg = std::make_unique<dlgProgress>(platform);
    dlg->SetMax(static_cast<float>(n + 2));
    dlg->Show();
    const std::int32_t credit = GetCredit(*dlg, GetSenderAddress());
    if (credit < 0) return;  // the credit query has reported its failure
    if (credit < n) {
      platform.windowing.MsgBox("Insufficient credit.");
      return;
    }

    step = 11;
    const std::string reply = GetStamps(*dlg, *safe, curDate, curTime);
    step = 13;
    if (!React(reply, "An error occured while receiving stamp.")) return;
    const std::vector<std::string> stamps = sending::SplitStamps(reply);
    // Every recipient's stamp goes into a link unescaped: check them all
    // before the first copy leaves.
    if (const std::string problem = sending::StampProblem(stamps, n); !problem.empty()) {
      platform.windowing.MsgBox(problem);
      return;
    }
    dlg->SetProgressLabel("Start sending...");
    platform.windowing.DoEvents();

    step = 14;
    WatchSentItems();
    sending::DraftCopies drafts;
    std::shared_ptr<host::MailItem> copy = drafts.Hold(item->Copy());
    step = 15;
    for (int i = 1; i <= n; ++i) {
      step = 17;
      std::string body = copy->Body();
      std::string htmlBody = copy->HTMLBody();
      const std::string insert = head + stamps.at(i - 1) + tail;
      copy->SetHTMLBody(MakeHtmlBody(body, htmlBody, insert, atEnd));
      std::shared_ptr<host::SafeMailItem> safeCopy = platform.redemption.CreateSafeMailItem();
      safeCopy->SetItem(copy);
      dlg->SetProgressLabel("Sending to... (" + std::to_string(i) + "/" + std::to_string(n) + ")");
      dlg->SetEmailLabel(GetSmtpAddress(*safeCopy->Recipients()->Item(i)));
      dlg->SetValue(dlg->Value() + 1);
      platform.windowing.DoEvents();
      sending::KeepOnlyRecipient(*safeCopy, i, n);
      safeCopy->Recipients()->ResolveAll();
      // Outlook may file the sent copy in Sent Items as soon as it has it.
      ownCopies.Expect(sending::InsertAddress(head, stamps.at(i - 1)));
      safeCopy->Send();
      drafts.Let(copy);
      if (!Utils) throw host::Error("MAPIUtils is not available");
      Utils->DeliverNow();
      if (i != n) copy = drafts.Hold(item->Copy());
    }
    // Only now that every copy has left is the composed message discarded.
    safe.reset();
    item->Close(host::olDiscard);
    item->Delete();
    item.reset();

    step = 16;
    if (opt_send == 1) SendReceiveSimulation();
  });
}

void Connect::SendReceiveSimulation() {
  try {
    if (!goOutlook) throw host::Error("Outlook is not connected");
    std::shared_ptr<host::Explorer> explorer = goOutlook->ActiveExplorer();
    if (!explorer) throw host::Error("No main window is open");
    std::shared_ptr<host::CommandBarControl> button =
        explorer->GetCommandBars()->FindControl(host::msoControlButton, kSendReceiveId);
    if (!button) throw host::Error("No Send/Receive button");
    button->Execute();
  } catch (...) {
    platform.windowing.MsgBox("Can't locate the button!");
  }
}

}  // namespace corvanta
