#pragma once
// The date and time stamped on every request of one send, taken once.
#include <string>

#include "host/services.h"

namespace corvanta::sending {

std::string FormatDate(const host::LocalTime& now);  // "yyyy-mm-dd"
std::string FormatTime(const host::LocalTime& now);  // "hh:mm:ss", 24-hour

}  // namespace corvanta::sending
