#include "sending/send_time.h"

#include <cstdio>

namespace corvanta::sending {

std::string FormatDate(const host::LocalTime& now) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", now.year, now.month, now.day);
  return text;
}

std::string FormatTime(const host::LocalTime& now) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", now.hour, now.minute, now.second);
  return text;
}

}  // namespace corvanta::sending
