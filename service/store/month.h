#pragma once
// Credits are counted per calendar month in UTC.
#include "service/store/store.h"

namespace mailwarden::store {

// year * 12 + month - 1 of the time, in UTC.
int MonthOf(Time time);

}  // namespace mailwarden::store
