#include "service/time_text.h"

#include <ctime>

namespace mailwarden {

std::string FormatUtc(store::Time time, const char* format) {
  std::time_t seconds = static_cast<std::time_t>(time / 1000000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::size_t length = std::strftime(text, sizeof text, format, &utc);
  return std::string(text, length);
}

}  // namespace mailwarden
