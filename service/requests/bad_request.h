#pragma once
// A request the service refuses; what() is the short reason sent after "qx;".
#include <stdexcept>
#include <string>

namespace mailwarden {

class BadRequest : public std::runtime_error {
 public:
  explicit BadRequest(const std::string& reason) : std::runtime_error(reason) {}
};

}  // namespace mailwarden
