#pragma once
// The modeless progress dialog of every service request and send, with the
// transfer control Inet1 and the captured reply of its asynchronous transfer.
#include <memory>
#include <string>

#include "host/platform.h"

namespace corvanta {

class dlgProgress : public host::Form {
 public:
  explicit dlgProgress(host::Platform& platform);
  ~dlgProgress() override;

  void Show();  // modeless, no owner
  void WaitLoop();
  void CloseMe();

  // Control access (the dialog reloads itself, invisible, if the user closed it).
  void SetProgressLabel(const std::string& text);  // lblProgress
  void SetEmailLabel(const std::string& text);     // lblEmail
  void SetMax(float max);                          // ctlProgress.Max
  float Value();                                   // ctlProgress.Value
  void SetValue(float value);
  host::Transfer& Inet1();

  std::string sInetSays;

  void Click(const std::string& control) override;

 private:
  void Inet1_StateChanged(std::int16_t state);

  host::Platform& platform_;
  std::shared_ptr<host::Transfer> inet_;
  host::Subscription inetEvents_;
};

}  // namespace corvanta
