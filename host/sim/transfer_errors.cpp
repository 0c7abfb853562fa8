#include "host/sim/transfer_errors.h"

namespace host::sim::transfer_error {

std::string Text(std::int32_t code) {
  switch (code) {
    case kBadUrl:
      return "URL is malformed";
    case kCannotConnect:
      return "Can't connect to remote host";
    case kHostNotFound:
      return "Can't resolve host name";
    case kConnectionFailed:
      return "Connection to the remote host failed";
    case kTimedOut:
      return "Request timed out";
    case kStillExecuting:
      return "Still executing last request";
    case kBadOperation:
      return "Unsupported operation";
    case kInvalidValue:
      return "Invalid property value";
    default:
      return "Internet transfer error";
  }
}

}  // namespace host::sim::transfer_error
