#pragma once
// One HTTP request with libcurl, run by the workers of OpenURL and Execute.
// Only the URL's own host is contacted: no proxy, no redirect, http and https
// only. The request ends in a time-out once no data has moved for the
// control's RequestTimeout as it stands at that moment (0: never), so a new
// value takes effect during a running request; the wait for the connection
// counts as such a silence.
#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include "host/sim/transfer.h"

namespace host::sim {

struct CurlOutcome {
  std::int32_t code = 0;  // 0, or a number of transfer_errors.h
  long httpStatus = 0;
};

struct CurlListener {
  std::function<void(std::int16_t state)> state;  // the states 3 to 8 as they happen
  std::function<void(const char* data, std::size_t size)> body;
};

// How other threads steer a running request. The worker sleeps in curl's
// poll between network events; Cancel and Wake interrupt that sleep.
class CurlRun {
 public:
  // timeoutSeconds: the control's RequestTimeout, read again at every wake-up;
  // it must outlive the request. clock: what silence is measured by.
  CurlRun(const std::atomic<std::int32_t>& timeoutSeconds, TransferClock clock)
      : timeout_(timeoutSeconds), clock_(std::move(clock)) {}
  CurlRun(const CurlRun&) = delete;
  CurlRun& operator=(const CurlRun&) = delete;

  // Gives the request up at once; it ends as a failed connection.
  void Cancel();
  // The time-out changed: the worker looks at it again now.
  void Wake();

  std::int32_t TimeoutSeconds() const { return timeout_.load(); }
  bool Cancelled() const { return cancelled_.load(); }
  std::chrono::steady_clock::time_point Now() const { return clock_ ? clock_() : std::chrono::steady_clock::now(); }

 private:
  friend CurlOutcome PerformRequest(const TransferRequest&, CurlRun&, const CurlListener&);
  void Attach(CURLM* multi);
  void Detach();

  const std::atomic<std::int32_t>& timeout_;
  const TransferClock clock_;
  std::atomic<bool> cancelled_{false};
  std::mutex mutex_;
  CURLM* multi_ = nullptr;  // while the worker may sleep in it
};

// Runs the request on the calling thread (a worker) until it ends.
CurlOutcome PerformRequest(const TransferRequest& request, CurlRun& run, const CurlListener& listener);

}  // namespace host::sim
