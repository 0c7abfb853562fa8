#pragma once
// The stand-in transfer control: real HTTP with libcurl, each request on a
// worker thread. OpenURL waits for its worker by pumping the add-in thread's
// events; Execute returns at once and its worker posts the StateChanged
// events to that pump, so handlers run only on the add-in's thread, never on
// the worker. Errors carry the numbers in transfer_errors.h.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/sim/transfer_errors.h"
#include "host/sim/windowing.h"
#include "host/sim/windowing_pump.h"
#include "host/transfer.h"

namespace host::sim {

// One request as the worker saw it, for tests and the command-line log.
struct TransferRequest {
  std::string url;
  std::string operation;  // "GET" or "POST" (OpenURL: "GET")
  std::string data;
  std::string requestHeaders;
};

// What the time-outs are measured by; empty: the steady clock. Tests give one
// that moves only when they move it, so a time-out never depends on how fast
// the machine is.
using TransferClock = std::function<std::chrono::steady_clock::time_point()>;

class CurlTransfer : public Transfer {
 public:
  explicit CurlTransfer(std::shared_ptr<EventPump> pump, std::int32_t requestTimeout = 60, TransferClock clock = {});
  ~CurlTransfer() override;  // aborts a running request and waits for its worker

  // GET, returning once the whole body is in, whatever the HTTP status (a
  // non-2xx status is not a transport error); host::Error on a transport
  // failure or time-out. Meanwhile it runs the pump's events on this thread
  // and sleeps between them, so the user interface keeps working; an event
  // may make requests of other controls (a nested wait), while this control
  // refuses them (kStillExecuting) until OpenURL returns. If an event throws,
  // the request is given up and the exception goes on to the caller.
  std::string OpenURL(const std::string& url) override;
  // operation "GET" or "POST" (case-insensitive; empty means GET); data is the
  // POST body; requestHeaders is one header line, or several separated by
  // CR LF, without a final line end. Throws host::Error (kStillExecuting)
  // while a request runs. The states posted: 1, 2, 3, 4, 5, 6, 7, 8, then 12,
  // or 11 at the first failure. A non-2xx reply completes with 12 and its
  // body.
  void Execute(const std::string& url, const std::string& operation, const std::string& data,
               const std::string& requestHeaders) override;
  // True from Execute until the pump dispatches the final event (11 or 12);
  // it turns false just before that event's handlers run. True during OpenURL.
  bool StillExecuting() override;
  // The next part of the reply received by Execute, at most size bytes; "" at
  // the end. A new Execute starts a new reply.
  std::string GetChunk(std::int32_t size) override;
  // Seconds without any data moving (0: no limit) after which a request ends
  // in kTimedOut; the wait for the connection counts as such a silence. A
  // running request follows a new value at once, counting from the last
  // moment data moved.
  std::int32_t RequestTimeout() override;
  void SetRequestTimeout(std::int32_t seconds) override;  // 0 or more; host::Error otherwise
  // Set when the final event of a failed Execute is dispatched; 0 and "" else.
  std::int32_t ResponseCode() override;
  std::string ResponseInfo() override;
  Subscription OnStateChanged(StateHandler handler) override;

  // The HTTP status of the last reply (0 when none), for tests.
  long HttpStatus();
  // Bytes of reply bodies taken in so far by this control's requests, for
  // tests that wait until a piece has arrived.
  std::size_t BytesReceived();
  // Requests made by this control, in order.
  std::vector<TransferRequest> Requests();

  struct Shared;  // state shared with the worker thread and the queued events

 private:
  std::shared_ptr<Shared> shared_;
};

class CurlInternet : public Internet {
 public:
  explicit CurlInternet(SimWindowing& windowing, TransferClock clock = {});
  explicit CurlInternet(std::shared_ptr<EventPump> pump, TransferClock clock = {});
  std::shared_ptr<Transfer> CreateTransfer() override;

  // The RequestTimeout (seconds, 0 or more) that controls made from now on
  // start with; 60 unless set.
  void SetDefaultRequestTimeout(std::int32_t seconds);
  // The clock of the controls made from now on.
  void SetClock(TransferClock clock);

  // Every control created so far that still exists (the newest last).
  std::vector<std::shared_ptr<CurlTransfer>> Transfers();

 private:
  std::shared_ptr<EventPump> pump_;
  std::int32_t defaultTimeout_ = 60;
  TransferClock clock_;
  std::vector<std::weak_ptr<CurlTransfer>> created_;
};

}  // namespace host::sim
