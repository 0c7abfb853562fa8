// Being loaded and unloaded by Outlook: taking hold of the host objects, the
// start-up work, and letting go again.
#include <exception>
#include <utility>

#include "account/toua.h"
#include "addin/connect.h"
#include "addin/service_key.h"
#include "addin/setting_values.h"
#include "protocol/service.h"

namespace corvanta {
namespace {

constexpr const char* kDeclinedMessage =
    "Failed to install Corvanta Add-in! "
    "If you wish to uninstall completely, please use the Add/Remove Programs Wizard from the Control Panel";

// Assigning the Inspectors collection starts listening for new item windows;
// assigning nothing stops.
void SetInspectors(Connect& addin, std::shared_ptr<host::Inspectors> inspectors) {
  addin.inspectorsEvents.reset();
  addin.goInspectors.reset();
  if (!inspectors) return;
  addin.inspectorsEvents = inspectors->OnNewInspector([&addin](std::shared_ptr<host::Inspector> inspector) {
    try {
      addin.goInspectors_NewInspector(std::move(inspector));
    } catch (...) {
      // Nothing may travel back into Outlook from an event.
    }
  });
  addin.goInspectors = std::move(inspectors);
}

void SetExplorer(Connect& addin, std::shared_ptr<host::Explorer> explorer) {
  addin.explorerEvents.reset();
  addin.oMyExplorer.reset();
  if (!explorer) return;
  addin.explorerEvents = explorer->OnClose([&addin] {
    try {
      addin.oMyExplorer_Close();
    } catch (...) {
    }
  });
  addin.oMyExplorer = std::move(explorer);
}

}  // namespace

void Connect::OnConnection(std::shared_ptr<host::Application> application, int) {
  // Only take hold of the host objects here; a failure ends this quietly and
  // keeps whatever was assigned before it.
  try {
    goOutlook = std::move(application);
    if (!goOutlook) throw host::Error("No Outlook application");
    SetInspectors(*this, goOutlook->GetInspectors());
    SetExplorer(*this, goOutlook->ActiveExplorer());
  } catch (...) {
  }
}

void Connect::OnDisconnection(int) {
  // Outlook does not finish closing (and an add-in switched off in its dialog
  // stays alive) while we still hold its objects or listen to them, so let
  // go of everything here. No event handler may run after this anyway, and
  // OnConnection takes hold again should Outlook connect us once more.
  autoButtonEvents.reset();
  requButtonEvents.reset();
  guarButtonEvents.reset();
  aboutButtonEvents.reset();
  autoButton.reset();
  requButton.reset();
  guarButton.reset();
  aboutButton.reset();
  SetExplorer(*this, nullptr);
  SetInspectors(*this, nullptr);
  sentItemsEvents.reset();
  goSentItems.reset();
  goOutlook.reset();
  Utils.reset();
}

void Connect::OnAddInsUpdate() {}

void Connect::OnStartupComplete() {
  std::int16_t step = 100;
  bool termsShown = false;
  try {
    step = 100;
    cvxRegPath = addin::kCvxRegPath;
    SizeLimit = 20000;
    serviceHost = addin::ReadText(platform.registry, cvxRegPath, "ServiceHost", "");
    if (serviceHost.empty()) serviceHost = protocol::kBuiltInServiceHost;
    serviceKey = addin::ReadServiceKey(platform.registry, cvxRegPath);

    step = 80;
    Utils = platform.redemption.CreateMAPIUtils();

    step = 101;
    CVXversion = "1.0.0.1";
    DetectOutlookVersion();

    const std::int16_t accepted = addin::ToInteger16(addin::ReadNumber(platform.registry, cvxRegPath, "TOUA", 0));
    if (accepted == 0) {
      termsShown = true;
      toua dlg(platform, serviceHost);
      dlg.LoadText();
      platform.windowing.ShowModal(dlg);
      bAcceptedTOUA = dlg.bIagree;
      if (!bAcceptedTOUA) {
        // Declining is no error: the add-in stays loaded but inert, and the
        // terms come again at the next start.
        platform.windowing.MsgBox(kDeclinedMessage, host::MsgButtons::OK);
        return;
      }
      addin::WriteNumber(platform.registry, cvxRegPath, "TOUA", 1);
    } else {
      bAcceptedTOUA = true;
    }

    step = 102;
    LoadCurrentUser();
    opt_send = addin::ToInteger16(addin::ReadNumber(platform.registry, cvxRegPath, "opt_send", 1));
    if (termsShown) {
      // A new user sees the account page before anything else is asked.
      bool cancelDefault = false;
      aboutButton_Click(nullptr, cancelDefault);
    }
    CheckMailEditor();

    step = 0;
  } catch (...) {
    // The step reached tells the user where start-up stopped.
  }
  try {
    ShowStepError(step);
  } catch (...) {
    // Nobody is left to tell.
  }
}

void Connect::OnBeginShutdown() {
  // Let Outlook's objects go even when Redemption cannot be cleaned up:
  // Outlook does not finish closing while an add-in holds them.
  std::exception_ptr failure;
  try {
    auto utils = platform.redemption.CreateMAPIUtils();
    utils->Cleanup();
  } catch (...) {
    failure = std::current_exception();
  }
  goOutlook.reset();
  SetInspectors(*this, nullptr);
  sentItemsEvents.reset();
  goSentItems.reset();
  if (failure) std::rethrow_exception(failure);
}

void Connect::oMyExplorer_Close() {
  // Only the Explorer goes; the rest is released when Outlook shuts us down.
  SetExplorer(*this, nullptr);
}

}  // namespace corvanta
