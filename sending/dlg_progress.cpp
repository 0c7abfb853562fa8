#include "sending/dlg_progress.h"

#include <string>
#include <utility>
#include <vector>

namespace corvanta {

namespace {

std::vector<host::Control> Designed() {
  using host::ControlKind;
  return {
      host::Designed("lblProgress", ControlKind::Label, "", 120, 120, 4455, 255),
      host::Designed("lblEmail", ControlKind::Label, "", 120, 420, 4455, 255),
      host::Designed("ctlProgress", ControlKind::ProgressBar, "", 120, 780, 4455, 255),
      host::Designed("Close", ControlKind::CommandButton, "Close", 3360, 1200, 1215, 375),
  };
}

}  // namespace

dlgProgress::dlgProgress(host::Platform& platform)
    : host::Form("dlgProgress", "Sending...", 4695, 1695, Designed()),
      platform_(platform),
      inet_(platform.internet.CreateTransfer()) {
  inetEvents_ = inet_->OnStateChanged([this](std::int16_t state) { Inet1_StateChanged(state); });
}

dlgProgress::~dlgProgress() {
  inetEvents_.reset();
  // A dialog dropped on an error path must not stay with the host.
  Hide();
}

void dlgProgress::Show() {
  if (!Visible()) platform_.windowing.ShowModeless(*this);
}

void dlgProgress::Inet1_StateChanged(std::int16_t state) {
  try {
    inet_->SetRequestTimeout(5);
  } catch (const host::Error&) {
    // A refused time-out leaves the transfer as it was; the reply still counts.
  }
  try {
    if (state == host::icError) {
      sInetSays = "qx;" + std::to_string(inet_->ResponseCode()) + ":" + inet_->ResponseInfo();
    } else if (state == host::icResponseCompleted) {
      // Read the reply to its end: a reply cut at the first chunk loses the
      // stamps of the later recipients.
      std::string reply;
      for (std::string chunk = inet_->GetChunk(1024); !chunk.empty(); chunk = inet_->GetChunk(1024)) reply += chunk;
      sInetSays = reply;
    }
  } catch (const host::Error& e) {
    // Nothing may escape into the event source; the caller gets the failure
    // as an error reply instead.
    sInetSays = "qx;" + std::to_string(e.code()) + ":" + e.what();
  }
}

void dlgProgress::WaitLoop() {
  // Sleep between rounds: the wait ends when the transfer's last state change
  // has been handled, and the dialog keeps painting meanwhile.
  platform_.windowing.DoEvents();
  while (Inet1().StillExecuting()) {
    platform_.windowing.WaitForEvent();
    platform_.windowing.DoEvents();
  }
}

void dlgProgress::CloseMe() {
  Click("Close");
}

void dlgProgress::Click(const std::string& control) {
  if (control == "Close") Unload();
}

void dlgProgress::SetProgressLabel(const std::string& text) {
  (*this)["lblProgress"].caption = text;
  Update("lblProgress");
}

void dlgProgress::SetEmailLabel(const std::string& text) {
  (*this)["lblEmail"].caption = text;
  Update("lblEmail");
}

void dlgProgress::SetMax(float max) {
  (*this)["ctlProgress"].max = max;
  Update("ctlProgress");
}

float dlgProgress::Value() {
  return (*this)["ctlProgress"].value;
}

void dlgProgress::SetValue(float value) {
  (*this)["ctlProgress"].value = value;
  Update("ctlProgress");
}

host::Transfer& dlgProgress::Inet1() {
  // Inet1 is one of the dialog's controls: reaching it loads a dialog the
  // user closed, as reaching any other control does. The transfer itself
  // lives as long as the dialog object, so a running request survives.
  (void)(*this)["Close"];
  return *inet_;
}

}  // namespace corvanta
