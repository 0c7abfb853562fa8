#include "service/requests/rate_limits.h"

#include <string>

#include "service/store/address_key.h"

namespace mailwarden {

bool RateLimits::Allow(std::string_view kind, std::string_view address, std::string_view ip, store::Time now) {
  const store::Time window = std::chrono::duration_cast<std::chrono::microseconds>(options_.window).count();
  if (window <= 0) return true;
  const store::Time start = now - now % window;
  bool allowed = true;
  if (options_.perAddress > 0 && !address.empty()) {
    allowed = store_.CountAttempt(std::string(kind) + ":address", store::AddressKey(address), start, now) <=
              options_.perAddress;
  }
  if (allowed && options_.perIp > 0 && !ip.empty()) {
    allowed = store_.CountAttempt(std::string(kind) + ":ip", ip, start, now) <= options_.perIp;
  }
  return allowed;
}

}  // namespace mailwarden
