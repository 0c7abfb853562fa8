#pragma once
// Counts the add-in's requests per sender address and per client IP in
// fixed windows kept in the store, so every service process sharing a
// database counts together.
#include <string_view>

#include "service/options.h"
#include "service/store/store.h"

namespace mailwarden {

inline constexpr const char* kTooManyRequests = "qx;Too many requests, please try again later.";

class RateLimits {
 public:
  RateLimits(store::Store& store, LimitOptions options) : store_(store), options_(options) {}

  // Counts this request of kind ("stamp", "credit", "upload"); false when
  // the address or the IP is over its limit in the current window.
  bool Allow(std::string_view kind, std::string_view address, std::string_view ip, store::Time now);

 private:
  store::Store& store_;
  LimitOptions options_;
};

}  // namespace mailwarden
