#pragma once
// A clock for the stand-in transfers' time-outs that stands still until a
// test moves it: a request times out because the test said so, never because
// the machine was slow.
#include <atomic>
#include <chrono>
#include <memory>

#include "host/sim/transfer.h"

namespace testsupport {

class ManualClock {
 public:
  using Clock = std::chrono::steady_clock;

  // For CurlInternet::SetClock; it may outlive this object.
  host::sim::TransferClock Reader() const {
    return [ticks = ticks_] { return Clock::time_point(Clock::duration(ticks->load())); };
  }
  // From any thread, e.g. a test server's as a request arrives.
  void Advance(Clock::duration by) { *ticks_ += by.count(); }

 private:
  std::shared_ptr<std::atomic<Clock::rep>> ticks_ = std::make_shared<std::atomic<Clock::rep>>(0);
};

// Longer than any time-out a control may have in force (the upload starts
// with 60000 seconds), so a silent request ends at its next look.
inline constexpr std::chrono::hours kPastEveryTimeOut{24};

}  // namespace testsupport
