#pragma once
// The add-in thread's event queue: any thread posts, the add-in's thread runs
// what is queued when it pumps. Held by shared_ptr so that a transfer worker
// that outlives the windowing never posts into freed memory.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace host::sim {

class EventPump {
 public:
  // Thread-safe; wakes a thread blocked in Wait.
  void Post(std::function<void()> event);
  // Runs the events queued at the time of the call, in order, on the calling
  // thread; events posted meanwhile wait for the next call. If one throws, the
  // rest stay queued and the exception goes to the caller.
  void RunPending();
  // Blocks until an event is queued or the interval passes; never spins.
  void Wait(std::chrono::milliseconds interval = std::chrono::milliseconds(200));
  bool Pending() const;
  std::size_t PendingCount() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
};

}  // namespace host::sim
