#pragma once
// One send of the add-in at a time: the send routines pump window messages
// while they work, so a second click on a send button can arrive meanwhile;
// it must not send (and charge) the same message twice.
namespace corvanta::sending {

class SendGuard {
 public:
  explicit SendGuard(bool& busy) : busy_(busy), owner_(!busy) { busy_ = true; }
  ~SendGuard() {
    if (owner_) busy_ = false;
  }
  SendGuard(const SendGuard&) = delete;
  SendGuard& operator=(const SendGuard&) = delete;

  // False when another send was already running: the caller returns at once.
  explicit operator bool() const { return owner_; }

 private:
  bool& busy_;
  bool owner_;
};

}  // namespace corvanta::sending
