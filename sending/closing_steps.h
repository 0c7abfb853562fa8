#pragma once
// The closing steps every request and send shares: whatever failed inside the
// work is reported by the step code it reached, and 0 shows nothing.
#include <cstdint>
#include <memory>
#include <string>

#include "addin/connect.h"
#include "sending/dlg_progress.h"

namespace corvanta::sending {

// A request answers with its reply text; after a reported failure that is
// "qx;not0", so the caller's React adds no second message.
template <class Work>
std::string RunRequest(Connect& addin, std::int16_t& step, Work&& work) {
  std::string result;
  try {
    result = work();
    step = 0;
  } catch (...) {
    // Reported below with the step code reached.
  }
  addin.ShowStepError(step);
  return step != 0 ? "qx;not0" : result;
}

// A send closes its own progress dialog first.
template <class Work>
void RunSend(Connect& addin, std::int16_t& step, std::unique_ptr<dlgProgress>& dlg, Work&& work) {
  try {
    work();
    step = 0;
  } catch (...) {
    // Reported below with the step code reached.
  }
  try {
    if (dlg) dlg->CloseMe();
  } catch (...) {
    // The dialog is going away with this call regardless.
  }
  addin.ShowStepError(step);
}

}  // namespace corvanta::sending
