#pragma once
// What every handler of the service reaches: the store, the options, the
// event queue, the limits, the metrics and the clock.
#include <functional>
#include <string>

#include "service/events/event_queue.h"
#include "service/http/metrics.h"
#include "service/links/form_token.h"
#include "service/options.h"
#include "service/requests/rate_limits.h"
#include "service/store/store.h"

namespace mailwarden {

struct Context {
  store::Store& store;
  const ServiceOptions& options;
  events::EventQueue& events;
  RateLimits& limits;
  http::Metrics& metrics;
  std::function<store::Time()> clock;
  const events::Classifier& classifier;
  FormKey& formKey;

  store::Time Now() const { return clock(); }
};

// The system clock in microseconds since 1970 (UTC).
store::Time SystemNow();

// A new stamp: 22 letters and digits from the system's random source.
std::string NewStamp();

}  // namespace mailwarden
