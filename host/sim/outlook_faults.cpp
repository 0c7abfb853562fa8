#include "host/sim/outlook_faults.h"

#include "host/error.h"

namespace host::sim {

void Faults::FailAlways(const std::string& op) {
  plans_[op].always = true;
}

void Faults::FailNth(const std::string& op, int nth) {
  plans_[op].failAt = Calls(op) + nth;
}

void Faults::Clear() {
  plans_.clear();
}

int Faults::Calls(const std::string& op) const {
  auto found = calls_.find(op);
  return found == calls_.end() ? 0 : found->second;
}

void Faults::Check(const std::string& op) {
  int call = ++calls_[op];
  auto plan = plans_.find(op);
  if (plan == plans_.end()) return;
  if (plan->second.always || plan->second.failAt == call) {
    throw host::Error(kInjectedFailure, op + " failed");
  }
}

}  // namespace host::sim
