#include "host/sim/services.h"

#include <chrono>
#include <ctime>

namespace host::sim {

LocalTime SimClock::Now() {
  if (isFixed_) return fixed_;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

void SimRandom::Randomize() {
  auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
  engine_.seed(static_cast<std::mt19937::result_type>(ticks));
}

double SimRandom::Rnd() {
  if (!scripted_.empty()) {
    int digit = scripted_.front();
    scripted_.pop_front();
    return (digit + 0.5) / 62.0;
  }
  return std::uniform_real_distribution<double>(0.0, 1.0)(engine_);
}

void SimRandom::Script(std::vector<int> digitValues) {
  scripted_.assign(digitValues.begin(), digitValues.end());
}

}  // namespace host::sim
