// "Guaranteed": the message is uploaded to the service; each recipient gets a
// notification with a "Read Email" link, and the sender keeps, in Sent Items,
// a copy per recipient headed by the link that cancels that delivery.
#include <exception>
#include <memory>
#include <vector>

#include "addin/connect.h"
#include "sending/certified_notice.h"
#include "sending/closing_steps.h"
#include "sending/dlg_progress.h"
#include "sending/message_copies.h"
#include "sending/recipient_lists.h"
#include "sending/send_guard.h"
#include "sending/send_time.h"
#include "sending/stamps.h"
#include "text/html_escape.h"

namespace corvanta {

void Connect::guarButton_Click(ButtonPtr, bool&) {
  sending::SendGuard guard(sending);
  if (!guard) return;

  std::int16_t step = 200;
  std::unique_ptr<dlgProgress> dlg;
  sending::RunSend(*this, step, dlg, [&] {
    if (!goOutlook) throw host::Error("Outlook is not connected");
    std::shared_ptr<host::Folder> sent = goOutlook->GetNamespace("MAPI")->GetDefaultFolder(host::olFolderSentMail);
    LoadCurrentUser();

    step = 201;
    std::shared_ptr<host::MailItem> item = sending::ActiveMailItem(goOutlook.get());
    step = 202;
    const host::LocalTime now = platform.clock.Now();
    const std::string curDate = sending::FormatDate(now);
    const std::string curTime = sending::FormatTime(now);
    step = 203;
    item->Save();
    std::shared_ptr<host::SafeMailItem> safe = platform.redemption.CreateSafeMailItem();
    step = 204;
    safe->SetItem(item);
    const int n = safe->Recipients()->Count();

    step = 205;
    dlg = std::make_unique<dlgProgress>(platform);
    dlg->SetMax(static_cast<float>(2 * n + 4));
    dlg->Show();
    const std::int32_t credit = GetCredit(*dlg, GetSenderAddress());

    step = 206;
    if (credit < 0) return;  // the credit query has reported its failure
    if (credit < n) {
      platform.windowing.MsgBox("Insufficient credit.");
      return;
    }
    const std::string reply = SendCertified(*dlg, *safe, curDate, curTime);
    if (!React(reply, "An error occured while receiving stamp.")) return;

    step = 207;
    dlg->SetProgressLabel("Start sending...");
    platform.windowing.DoEvents();
    const std::vector<std::string> stamps = sending::SplitStamps(reply);
    // Every recipient's stamp goes into links unescaped: check them all
    // before the first notification leaves.
    if (const std::string problem = sending::StampProblem(stamps, n); !problem.empty()) {
      platform.windowing.MsgBox(problem);
      return;
    }

    step = 208;
    WatchSentItems();
    sending::DraftCopies drafts;
    std::shared_ptr<host::MailItem> notice = drafts.Hold(item->Copy());
    step = 209;
    for (int i = 1; i <= n; ++i) {
      std::shared_ptr<host::SafeMailItem> safeNotice = platform.redemption.CreateSafeMailItem();
      std::shared_ptr<host::SafeMailItem> safeKeep = platform.redemption.CreateSafeMailItem();
      std::shared_ptr<host::MailItem> kept = drafts.Hold(item->Copy());
      safeKeep->SetItem(kept);

      step = 210;
      const std::string stamp = stamps.at(i - 1);
      const std::string senderName = text::HtmlEscape(GetSenderName());
      const std::string senderAddress = text::HtmlEscape(GetSenderAddress());
      notice->SetHTMLBody(sending::NotificationBody(serviceHost, senderName, senderAddress, stamp));
      std::shared_ptr<host::MailItem> noticeCopy = drafts.Hold(notice->Copy());
      safeNotice->SetItem(noticeCopy);

      step = 211;
      sending::KeepOnlyRecipient(*safeNotice, i, n);
      dlg->SetProgressLabel("Sending to... (" + std::to_string(i) + "/" + std::to_string(n) + ")");
      dlg->SetEmailLabel(GetSmtpAddress(*safeNotice->Recipients()->Item(1)));
      dlg->SetValue(dlg->Value() + 1);
      platform.windowing.DoEvents();

      step = 212;
      safeNotice->Recipients()->ResolveAll();
      ownCopies.Expect(sending::ReadLink(serviceHost, stamp));
      safeNotice->Send();
      drafts.Let(noticeCopy);
      // Recipient i is notified: the kept copy is the sender's record of it
      // from now on, and stays even if it cannot reach Sent Items.
      drafts.Let(kept);
      dlg->SetProgressLabel("Copying the actual email to the Sent folder...");
      dlg->SetEmailLabel("");
      dlg->SetValue(dlg->Value() + 1);
      platform.windowing.DoEvents();

      step = 214;
      const std::string cancelLink = sending::CancelLink(serviceHost, stamp);
      const std::string keptHtml = safeKeep->HTMLBody();
      if (keptHtml.empty()) {
        safeKeep->SetBody(sending::PlainCancelNotice(cancelLink) + safeKeep->Body());
      } else {
        safeKeep->SetHTMLBody(sending::HtmlCancelNotice(cancelLink) + keptHtml);
      }
      // The kept copy still holds every recipient; it names the one it stands for.
      const std::string keptFor = sending::AddressOrName(*this, *safeKeep->Recipients()->Item(i));
      safeKeep->SetSubject(safeKeep->Subject() + " (" + keptFor + ")");
      safeKeep->Move(*sent);
    }

    step = 213;
    safe.reset();
    item->Close(host::olDiscard);
    item->Delete();
    item.reset();
    // The notification template is a draft of its own and must not stay
    // behind; but every notification has left and the message is gone, so a
    // template that will not go is no failure of the send (which a report
    // would have the user send, and pay for, again).
    try {
      notice->Delete();
    } catch (const std::exception&) {
      // It stays in Drafts.
    }
    drafts.Let(notice);
    notice.reset();

    step = 215;
    if (opt_send == 1) SendReceiveSimulation();
  });
}

}  // namespace corvanta
