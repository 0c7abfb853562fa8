#include "sending/request_signing.h"

namespace corvanta::sending {

std::string RequestSignature(Connect& addin, const std::string& request) {
  if (!addin.serviceKey) return {};
  return protocol::SignRequest(request, *addin.serviceKey, addin.platform.clock.UtcSeconds());
}

}  // namespace corvanta::sending
