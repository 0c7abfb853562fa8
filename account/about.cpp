#include <exception>
#include <memory>
#include <string>

#include "account/dlg_about.h"
#include "addin/connect.h"
#include "sending/dlg_progress.h"
#include "settings/mod_registry.h"

namespace corvanta {

namespace {

constexpr int kSendReceiveChoices = 2;  // "off", "immediately!"

}  // namespace

void Connect::aboutButton_Click(ButtonPtr, bool&) {
  std::int16_t stepCode = 0;
  std::unique_ptr<dlgProgress> progress;
  std::unique_ptr<dlgAbout> about;
  try {
    stepCode = 30;
    progress = std::make_unique<dlgProgress>(platform);
    progress->SetMax(1);

    for (;;) {
      about = std::make_unique<dlgAbout>(platform, serviceHost);
      dlgAbout& dlg = *about;
      dlg.SetCaption("About");
      dlg["lTitle"].caption += CVXversion;
      dlg.Update("lTitle");
      dlg["curUserName"].caption = GetSenderName();
      dlg.Update("curUserName");
      dlg["curUserAddress"].caption = GetSenderAddress();
      dlg.Update("curUserAddress");
      if (redWorks) {
        dlg["frefresh"].visible = false;
        dlg.Update("frefresh");
      }
      // A stored choice the list does not hold selects nothing.
      dlg["opt_send"].listIndex = opt_send >= 0 && opt_send < kSendReceiveChoices ? opt_send : -1;
      dlg.Update("opt_send");

      platform.windowing.ShowModal(dlg);

      if (dlg.bViewCredit) {
        const std::int32_t credit = GetCredit(*progress, GetSenderAddress());
        if (credit >= 0) {
          platform.windowing.MsgBox("You have " + std::to_string(credit) + " credits for this month." + "\r\n" +
                                    "You will receive new credits on the 1st day of each month.");
        }
      }
      if (!dlg.bRefresh) break;

      fromAddy.clear();
      modRegistry::WriteSetting(platform.registry, "HKCU", cvxRegPath, "currentUserAddress", "S", std::string());
      LoadCurrentUser();
    }

    stepCode = 0;
    // Whichever button closed the dialog, its choice counts; a dialog left
    // with nothing selected changes nothing.
    const int chosen = (*about)["opt_send"].listIndex;
    if (chosen >= 0 && chosen < kSendReceiveChoices && chosen != opt_send) {
      modRegistry::WriteSetting(platform.registry, "HKCU", cvxRegPath, "opt_send", "D",
                                static_cast<std::int32_t>(chosen));
      opt_send = static_cast<std::int16_t>(chosen);
    }
  } catch (const std::exception&) {
    // Reported below with the step code reached.
  }
  try {
    if (about) about->CloseMe();
    if (progress) progress->CloseMe();
  } catch (const std::exception&) {
    // The dialogs go with their objects in any case.
  }
  ShowStepError(stepCode);
}

}  // namespace corvanta
