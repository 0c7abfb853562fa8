#include "service/requests/rate_limits.h"

#include <string>

#include "service/store/address_key.h"
#include "service/store/attempt_key.h"

namespace mailwarden {

bool RateLimits::Allow(std::string_view kind, std::string_view address, std::string_view ip, store::Time now) {
  const store::Time window = std::chrono::duration_cast<std::chrono::microseconds>(options_.window).count();
  if (window <= 0) return true;
  const store::Time start = now - now % window;
  // The IP first: a client over its limit does not get to count against
  // the addresses it names. Keys are kept hashed, whatever their size.
  if (options_.perIp > 0 && !ip.empty() &&
      store_.CountAttempt(std::string(kind) + ":ip", store::AttemptKey(ip), start, now) > options_.perIp) {
    return false;
  }
  if (options_.perAddress > 0 && !address.empty() &&
      store_.CountAttempt(std::string(kind) + ":address", store::AttemptKey(store::AddressKey(address)), start, now) >
          options_.perAddress) {
    return false;
  }
  return true;
}

}  // namespace mailwarden
