#pragma once
// The terms-of-use dialog: the agreement fetched from the service, or the
// built-in one, and whether the user pressed "I Agree".
#include <memory>
#include <string>

#include "host/platform.h"

namespace corvanta {

class toua : public host::Form {
 public:
  // serviceHost: the service's web host, where "/cvx/toua.txt" is fetched.
  toua(host::Platform& platform, std::string serviceHost);
  ~toua() override;

  void LoadText();  // fills Text1
  bool bIagree = false;

  void Click(const std::string& control) override;  // OKButton, CancelButton

  static const std::string& BuiltInAgreement();

 private:
  host::Platform& platform_;
  std::string serviceHost_;
  std::shared_ptr<host::Transfer> inet_;  // Inet1
};

}  // namespace corvanta
