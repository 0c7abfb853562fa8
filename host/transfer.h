#pragma once
// The Internet Transfer Control: a blocking GET and one asynchronous request
// at a time, whose progress arrives as StateChanged events on the add-in's
// thread, through the window-message pump.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/subscription.h"

namespace host {

// StateChanged states.
enum icState : std::int16_t {
  icNone = 0,
  icResolvingHost = 1,
  icHostResolved = 2,
  icConnecting = 3,
  icConnected = 4,
  icRequesting = 5,
  icRequestSent = 6,
  icReceivingResponse = 7,
  icResponseReceived = 8,
  icDisconnecting = 9,
  icDisconnected = 10,
  icError = 11,
  icResponseCompleted = 12,
};

class Transfer {
 public:
  virtual ~Transfer() = default;
  // Synchronous GET: the whole reply, or host::Error on failure or time-out.
  virtual std::string OpenURL(const std::string& url) = 0;
  // Starts an asynchronous request and returns at once.
  virtual void Execute(const std::string& url, const std::string& operation, const std::string& data,
                       const std::string& requestHeaders) = 0;
  // True from Execute until the final StateChanged event (11 or 12) has been
  // handed to the add-in's thread.
  virtual bool StillExecuting() = 0;
  // The next piece of the received reply as text, at most size bytes; empty at the end.
  virtual std::string GetChunk(std::int32_t size) = 0;
  virtual std::int32_t RequestTimeout() = 0;  // seconds
  virtual void SetRequestTimeout(std::int32_t seconds) = 0;
  // After state 11: the error's number and text (not the HTTP status).
  virtual std::int32_t ResponseCode() = 0;
  virtual std::string ResponseInfo() = 0;

  using StateHandler = std::function<void(std::int16_t state)>;
  virtual Subscription OnStateChanged(StateHandler handler) = 0;
};

class Internet {
 public:
  virtual ~Internet() = default;
  // A fresh control with its defaults (RequestTimeout 60).
  virtual std::shared_ptr<Transfer> CreateTransfer() = 0;
};

}  // namespace host
