#pragma once
// An event subscription: listening stops when the object goes (or on reset),
// which is what assigning nothing to an event-carrying member means.
#include <functional>
#include <utility>

namespace host {

class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> unsubscribe) : unsubscribe_(std::move(unsubscribe)) {}
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  Subscription(Subscription&& other) noexcept : unsubscribe_(std::exchange(other.unsubscribe_, {})) {}
  Subscription& operator=(Subscription&& other) noexcept {
    if (this != &other) {
      reset();
      unsubscribe_ = std::exchange(other.unsubscribe_, {});
    }
    return *this;
  }
  ~Subscription() { reset(); }

  void reset() noexcept {
    if (auto stop = std::exchange(unsubscribe_, {})) {
      try {
        stop();
      } catch (...) {
        // The source may already be gone; there is nothing left to stop.
      }
    }
  }
  explicit operator bool() const noexcept { return static_cast<bool>(unsubscribe_); }

 private:
  std::function<void()> unsubscribe_;
};

}  // namespace host
