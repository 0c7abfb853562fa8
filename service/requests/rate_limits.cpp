#include "service/requests/rate_limits.h"

#include <string>
#include <utility>
#include <vector>

#include "service/store/address_key.h"

namespace mailwarden {

bool RateLimits::Allow(std::string_view kind, std::string_view address, std::string_view ip, store::Time now) {
  const store::Time window = std::chrono::duration_cast<std::chrono::microseconds>(options_.window).count();
  if (window <= 0) return true;
  const store::Time start = now - now % window;
  // Both counted in one go: a refused request counts against both.
  std::vector<std::pair<std::string, std::string>> keys;
  std::vector<int> limits;
  if (options_.perAddress > 0 && !address.empty()) {
    keys.emplace_back(std::string(kind) + ":address", store::AddressKey(address));
    limits.push_back(options_.perAddress);
  }
  if (options_.perIp > 0 && !ip.empty()) {
    keys.emplace_back(std::string(kind) + ":ip", std::string(ip));
    limits.push_back(options_.perIp);
  }
  if (keys.empty()) return true;
  std::vector<int> counts = store_.CountAttempts(keys, start, now);
  for (std::size_t i = 0; i < counts.size() && i < limits.size(); ++i) {
    if (counts[i] > limits[i]) return false;
  }
  return true;
}

}  // namespace mailwarden
