#pragma once
// One HTTP request with libcurl, shared by the blocking OpenURL and the
// worker of Execute. Only the URL's own host is contacted: no proxy, no
// redirect, http and https only.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "host/sim/transfer.h"

namespace host::sim {

struct CurlOutcome {
  std::int32_t code = 0;  // 0, or a number of transfer_errors.h
  long httpStatus = 0;
};

struct CurlListener {
  std::function<void(std::int16_t state)> state;  // the states 3 to 8 as they happen
  std::function<void(const char* data, std::size_t size)> body;
  const std::atomic<bool>* abort = nullptr;  // set to give up at once
};

CurlOutcome PerformRequest(const TransferRequest& request, std::int32_t timeoutSeconds, const CurlListener& listener);

}  // namespace host::sim
