#include "service/store/month.h"

#include <ctime>

namespace mailwarden::store {

int MonthOf(Time time) {
  Time seconds = time / 1000000;
  if (time % 1000000 < 0) --seconds;
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  return (utc.tm_year + 1900) * 12 + utc.tm_mon;
}

}  // namespace mailwarden::store
