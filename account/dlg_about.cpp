#include "account/dlg_about.h"

#include <utility>
#include <vector>

#include "protocol/service.h"

namespace corvanta {

namespace {

std::vector<host::Control> Designed(const std::string& serviceHost) {
  using host::ControlKind;
  std::vector<host::Control> controls = {
      host::Designed("lTitle", ControlKind::Label, "Corvanta Version ", 120, 120, 3495, 255),
      host::Designed("Label3", ControlKind::Label, "Email tracking add-in for Outlook 2000 / 2002", 120, 360, 3375,
                     255),
      host::Designed("URLButton", ControlKind::CommandButton, protocol::ServiceUrl(serviceHost, protocol::kPagesPath),
                     120, 600, 3375, 255),
      host::Designed("Frame1", ControlKind::Frame, "Current user", 120, 960, 3375, 855),
      host::Designed("Label1", ControlKind::Label, "Name", 120, 240, 495, 255, "Frame1"),
      host::Designed("Label4", ControlKind::Label, ":", 600, 240, 135, 255, "Frame1"),
      host::Designed("curUserName", ControlKind::Label, "Error", 720, 240, 2535, 255, "Frame1"),
      host::Designed("Label2", ControlKind::Label, "Email", 120, 480, 495, 255, "Frame1"),
      host::Designed("Label6", ControlKind::Label, ":", 600, 480, 135, 255, "Frame1"),
      host::Designed("curUserAddress", ControlKind::Label, "Error", 720, 480, 2535, 255, "Frame1"),
      host::Designed("frefresh", ControlKind::CommandButton, "Reload current user info.", 120, 1800, 3375, 255),
      host::Designed("Frame2", ControlKind::Frame, "Automatically Send/Receive", 120, 2160, 3375, 615),
      host::Designed("opt_send", ControlKind::ComboBox, "", 120, 240, 3135, 315, "Frame2"),
      host::Designed("credit", ControlKind::CommandButton, "View credit", 120, 2880, 3375, 375),
      host::Designed("Donation", ControlKind::CommandButton, "Donation", 120, 3360, 3375, 375),
      host::Designed("ok", ControlKind::CommandButton, "OK", 120, 3840, 3375, 375),
  };
  controls[12].items = {"off", "immediately!"};
  return controls;
}

}  // namespace

dlgAbout::dlgAbout(host::Platform& platform, std::string serviceHost)
    : host::Form("dlgAbout", "About", 3615, 4290, Designed(serviceHost)),
      platform_(platform),
      serviceHost_(std::move(serviceHost)) {}

dlgAbout::~dlgAbout() {
  Hide();
}

void dlgAbout::CloseMe() {
  Unload();
}

void dlgAbout::Click(const std::string& control) {
  if (control == "ok" || control == "lTitle") {
    Hide();
  } else if (control == "credit") {
    bViewCredit = true;
    Hide();
  } else if (control == "frefresh") {
    bRefresh = true;
    Hide();
  } else if (control == "URLButton" || control == "Donation") {
    const std::string address = control == "URLButton" ? (*this)["URLButton"].caption
                                                       : protocol::ServiceUrl(serviceHost_, protocol::kDonationPath);
    platform_.urlHandler.FileProtocolHandler(address);
    // Hidden, not unloaded: the caller still reads the Send/Receive choice.
    Hide();
  }
}

void dlgAbout::CloseByFrame() {
  // The close box ends the display as OK does, so the choice made stays readable.
  Hide();
}

}  // namespace corvanta
