#pragma once
// A loopback server, the stand-in windowing and a transfer control made by the
// curl Internet, with the states each control reported.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/sim/transfer.h"
#include "host/sim/windowing.h"
#include "support/loopback_server.h"
#include "support/manual_clock.h"

namespace simnet {

// How long a server's handler waits for what the add-in's thread does during
// the request: only a bound on a hang, it never passes in a passing run.
constexpr auto kHold = std::chrono::seconds(30);

// Set once by one thread, awaited by another (the server's handler waits for
// what the add-in's thread does during the request).
class Signal {
 public:
  void Set() {
    // Notified under the lock, so a waiter that returns may destroy the signal at once.
    std::lock_guard lock(mutex_);
    set_ = true;
    changed_.notify_all();
  }
  // False when the time passed without the signal.
  bool WaitFor(std::chrono::milliseconds time) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, time, [this] { return set_; });
  }
  bool IsSet() {
    std::lock_guard lock(mutex_);
    return set_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool set_ = false;
};

class TransferTest : public ::testing::Test {
 protected:
  TransferTest() : transfer(internet.CreateTransfer()) {
    events = transfer->OnStateChanged([this](std::int16_t state) {
      states.push_back(state);
      onPumpThread = onPumpThread && std::this_thread::get_id() == testThread;
      executingAtEvent.push_back(transfer->StillExecuting());
    });
  }

  // What the add-in's wait does: sleep until something arrives, run it, look again.
  void WaitUntilDone() {
    while (transfer->StillExecuting()) {
      windowing.WaitForEvent();
      windowing.DoEvents();
    }
  }

  // The whole received reply, read in pieces.
  std::string ReadAll(std::int32_t size = 1024) {
    std::string all;
    for (std::string chunk = transfer->GetChunk(size); !chunk.empty(); chunk = transfer->GetChunk(size)) {
      EXPECT_LE(chunk.size(), static_cast<std::size_t>(size));
      all += chunk;
    }
    return all;
  }

  static std::string Pattern(std::size_t size) {
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; text.size() < size; ++i) text += std::to_string(i) + (i % 17 ? " " : "\r\n");
    text.resize(size);
    return text;
  }

  testsupport::LoopbackServer server;
  host::sim::SimWindowing windowing;
  // The time-outs' clock: still unless a test moves it.
  testsupport::ManualClock clock;
  host::sim::CurlInternet internet{windowing, clock.Reader()};
  std::shared_ptr<host::Transfer> transfer;
  host::Subscription events;
  std::vector<std::int16_t> states;
  std::vector<bool> executingAtEvent;
  const std::thread::id testThread = std::this_thread::get_id();
  bool onPumpThread = true;
};

}  // namespace simnet
