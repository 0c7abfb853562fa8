#pragma once
// A request the service refuses; what() is the short reason sent after "qx;",
// refusal() the same as one word for the log and /metrics.
#include <stdexcept>
#include <string>
#include <utility>

namespace mailwarden {

class BadRequest : public std::runtime_error {
 public:
  explicit BadRequest(const std::string& reason, std::string refusal = "malformed")
      : std::runtime_error(reason), refusal_(std::move(refusal)) {}
  const std::string& refusal() const { return refusal_; }

 private:
  std::string refusal_;
};

}  // namespace mailwarden
