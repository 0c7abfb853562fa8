#pragma once
#include <string>

#include "service/store/store.h"

namespace mailwarden {

// The time in UTC as strftime writes it with format.
std::string FormatUtc(store::Time time, const char* format);

}  // namespace mailwarden
