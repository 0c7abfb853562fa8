#include "host/sim/windowing_pump.h"

#include <utility>

namespace host::sim {

void EventPump::Post(std::function<void()> event) {
  // Notified under the lock: once the event has run, the poster is done with
  // the pump, which may then go away.
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(event));
  posted_.notify_all();
}

void EventPump::RunPending() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(queue_);
  }
  while (!batch.empty()) {
    auto event = std::move(batch.front());
    batch.pop_front();
    try {
      event();
    } catch (...) {
      // What was not run yet stays first in line for the next round.
      std::lock_guard lock(mutex_);
      queue_.insert(queue_.begin(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
      throw;
    }
  }
}

void EventPump::Wait(std::chrono::milliseconds interval) {
  std::unique_lock lock(mutex_);
  posted_.wait_for(lock, interval, [this] { return !queue_.empty(); });
}

bool EventPump::Pending() const {
  std::lock_guard lock(mutex_);
  return !queue_.empty();
}

std::size_t EventPump::PendingCount() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

}  // namespace host::sim
