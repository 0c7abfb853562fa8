#pragma once
// The About dialog: version, sender identity, the automatic Send/Receive
// choice, and buttons that record what the user asked for.
#include <string>

#include "host/platform.h"

namespace corvanta {

class dlgAbout : public host::Form {
 public:
  dlgAbout(host::Platform& platform, std::string serviceHost);
  ~dlgAbout() override;

  bool bViewCredit = false;
  bool bRefresh = false;

  void CloseMe();
  // ok, credit, frefresh, lTitle, URLButton, Donation
  void Click(const std::string& control) override;
  // The window frame's close box: as OK.
  void CloseByFrame() override;

 private:
  host::Platform& platform_;
  std::string serviceHost_;
};

}  // namespace corvanta
