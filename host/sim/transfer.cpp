#include "host/sim/transfer.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "host/error.h"
#include "host/sim/transfer_curl.h"

namespace host::sim {

// Shared between the control, its worker thread and the events waiting in the
// pump. Events hold it weakly: once the control is gone they do nothing.
struct CurlTransfer::Shared {
  Shared(std::shared_ptr<EventPump> eventPump, TransferClock transferClock)
      : pump(std::move(eventPump)), clock(std::move(transferClock)) {}

  const std::shared_ptr<EventPump> pump;
  const TransferClock clock;
  std::atomic<std::size_t> received{0};  // body bytes, for tests
  // RequestTimeout in seconds: set on the add-in's thread, read by a running request.
  std::atomic<std::int32_t> timeout{60};

  // The add-in's thread only.
  std::thread worker;
  std::shared_ptr<CurlRun> run;  // the latest request's, to cancel it or tell it of a new time-out
  bool executing = false;
  std::int32_t responseCode = 0;
  std::string responseInfo;
  int nextHandler = 0;
  std::map<int, std::shared_ptr<StateHandler>> handlers;

  // Written by the worker, read by the add-in's thread.
  std::mutex mutex;
  std::string reply;
  std::size_t read = 0;
  long httpStatus = 0;
  std::vector<TransferRequest> requests;

  void Join() {
    if (worker.joinable()) worker.join();
  }

  void Dispatch(std::int16_t state) {
    // A copy, so a handler may subscribe or unsubscribe while we go through them.
    std::vector<std::pair<int, std::shared_ptr<StateHandler>>> current(handlers.begin(), handlers.end());
    for (auto& [id, handler] : current)
      if (handlers.count(id)) (*handler)(state);
  }
};

namespace {

using Shared = CurlTransfer::Shared;

// On the worker: hands a state to the add-in's thread.
void PostState(const std::shared_ptr<Shared>& shared, std::int16_t state) {
  shared->pump->Post([weak = std::weak_ptr<Shared>(shared), state] {
    if (auto alive = weak.lock()) alive->Dispatch(state);
  });
}

// The last event of a request: the control stops executing as it is dispatched.
void PostFinal(const std::shared_ptr<Shared>& shared, std::int32_t code) {
  shared->pump->Post([weak = std::weak_ptr<Shared>(shared), code] {
    auto alive = weak.lock();
    if (!alive) return;
    alive->executing = false;
    alive->responseCode = code;
    alive->responseInfo = code ? transfer_error::Text(code) : std::string();
    alive->Dispatch(code ? icError : icResponseCompleted);
  });
}

std::string Operation(const std::string& operation) {
  std::string upper = operation;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
  if (upper.empty()) upper = "GET";
  if (upper != "GET" && upper != "POST")
    throw Error(transfer_error::kBadOperation, transfer_error::Text(transfer_error::kBadOperation));
  return upper;
}

void CheckUrl(const std::string& url) {
  if (url.empty()) throw Error(transfer_error::kBadUrl, transfer_error::Text(transfer_error::kBadUrl));
}

}  // namespace

CurlTransfer::CurlTransfer(std::shared_ptr<EventPump> pump, std::int32_t requestTimeout, TransferClock clock)
    : shared_(std::make_shared<Shared>(std::move(pump), std::move(clock))) {
  SetRequestTimeout(requestTimeout);
}

CurlTransfer::~CurlTransfer() {
  if (shared_->run) shared_->run->Cancel();
  shared_->Join();
}

std::string CurlTransfer::OpenURL(const std::string& url) {
  if (shared_->executing)
    throw Error(transfer_error::kStillExecuting, transfer_error::Text(transfer_error::kStillExecuting));
  CheckUrl(url);
  // An event run during the wait may destroy this control: from here on only
  // the shared state is used, which this call keeps alive.
  const std::shared_ptr<Shared> shared = shared_;
  shared->Join();  // a finished Execute's worker, only returning
  TransferRequest request{url, "GET", "", ""};
  {
    std::lock_guard lock(shared->mutex);
    shared->requests.push_back(request);
  }
  struct Outcome {
    std::string body;
    CurlOutcome result;
    bool delivered = false;  // the add-in's thread only
  };
  auto outcome = std::make_shared<Outcome>();
  auto run = std::make_shared<CurlRun>(shared->timeout, shared->clock);
  shared->run = run;
  shared->executing = true;
  shared->worker = std::thread([shared, run, outcome, request = std::move(request)] {
    CurlListener listener;
    listener.body = [&outcome, &shared](const char* bytes, std::size_t size) {
      outcome->body.append(bytes, size);
      shared->received += size;
    };
    outcome->result = PerformRequest(request, *run, listener);
    // Wakes the waiting thread; the pump's lock hands the outcome over with it.
    shared->pump->Post([outcome] { outcome->delivered = true; });
  });

  // Window events keep running while the service answers. The wake-up may be
  // run by a nested pump (an event handler waiting itself); the flag tells.
  try {
    for (;;) {
      shared->pump->RunPending();
      if (outcome->delivered) break;
      shared->pump->Wait();
    }
  } catch (...) {
    run->Cancel();
    shared->Join();
    shared->executing = false;
    throw;
  }
  shared->Join();
  shared->executing = false;
  {
    std::lock_guard lock(shared->mutex);
    shared->httpStatus = outcome->result.httpStatus;
  }
  if (outcome->result.code) throw Error(outcome->result.code, transfer_error::Text(outcome->result.code));
  return std::move(outcome->body);
}

void CurlTransfer::Execute(const std::string& url, const std::string& operation, const std::string& data,
                           const std::string& requestHeaders) {
  if (shared_->executing)
    throw Error(transfer_error::kStillExecuting, transfer_error::Text(transfer_error::kStillExecuting));
  TransferRequest request{url, Operation(operation), data, requestHeaders};
  CheckUrl(url);
  // The previous worker has posted its final event already; it is only returning.
  shared_->Join();
  {
    std::lock_guard lock(shared_->mutex);
    shared_->reply.clear();
    shared_->read = 0;
    shared_->httpStatus = 0;
    shared_->requests.push_back(request);
  }
  shared_->executing = true;
  shared_->responseCode = 0;
  shared_->responseInfo.clear();
  auto run = std::make_shared<CurlRun>(shared_->timeout, shared_->clock);
  shared_->run = run;
  shared_->worker = std::thread([shared = shared_, run, request = std::move(request)] {
    CurlListener listener;
    listener.state = [&shared](std::int16_t state) { PostState(shared, state); };
    listener.body = [&shared](const char* bytes, std::size_t size) {
      {
        std::lock_guard lock(shared->mutex);
        shared->reply.append(bytes, size);
      }
      shared->received += size;
    };
    const CurlOutcome outcome = PerformRequest(request, *run, listener);
    {
      std::lock_guard lock(shared->mutex);
      shared->httpStatus = outcome.httpStatus;
    }
    PostFinal(shared, outcome.code);
  });
}

bool CurlTransfer::StillExecuting() {
  return shared_->executing;
}

std::string CurlTransfer::GetChunk(std::int32_t size) {
  if (size <= 0) return {};
  std::lock_guard lock(shared_->mutex);
  const std::size_t take = std::min(static_cast<std::size_t>(size), shared_->reply.size() - shared_->read);
  std::string chunk = shared_->reply.substr(shared_->read, take);
  shared_->read += take;
  return chunk;
}

std::int32_t CurlTransfer::RequestTimeout() {
  return shared_->timeout;
}

void CurlTransfer::SetRequestTimeout(std::int32_t seconds) {
  if (seconds < 0) throw Error(transfer_error::kInvalidValue, transfer_error::Text(transfer_error::kInvalidValue));
  shared_->timeout = seconds;
  if (shared_->run) shared_->run->Wake();
}

std::int32_t CurlTransfer::ResponseCode() {
  return shared_->responseCode;
}

std::string CurlTransfer::ResponseInfo() {
  return shared_->responseInfo;
}

Subscription CurlTransfer::OnStateChanged(StateHandler handler) {
  const int id = shared_->nextHandler++;
  shared_->handlers[id] = std::make_shared<StateHandler>(std::move(handler));
  return Subscription([weak = std::weak_ptr<Shared>(shared_), id] {
    if (auto alive = weak.lock()) alive->handlers.erase(id);
  });
}

long CurlTransfer::HttpStatus() {
  std::lock_guard lock(shared_->mutex);
  return shared_->httpStatus;
}

std::size_t CurlTransfer::BytesReceived() {
  return shared_->received;
}

std::vector<TransferRequest> CurlTransfer::Requests() {
  std::lock_guard lock(shared_->mutex);
  return shared_->requests;
}

CurlInternet::CurlInternet(SimWindowing& windowing, TransferClock clock)
    : pump_(windowing.Pump()), clock_(std::move(clock)) {}

CurlInternet::CurlInternet(std::shared_ptr<EventPump> pump, TransferClock clock)
    : pump_(std::move(pump)), clock_(std::move(clock)) {}

std::shared_ptr<Transfer> CurlInternet::CreateTransfer() {
  auto transfer = std::make_shared<CurlTransfer>(pump_, defaultTimeout_, clock_);
  created_.erase(std::remove_if(created_.begin(), created_.end(), [](const auto& weak) { return weak.expired(); }),
                 created_.end());
  created_.push_back(transfer);
  return transfer;
}

void CurlInternet::SetDefaultRequestTimeout(std::int32_t seconds) {
  if (seconds < 0) throw Error(transfer_error::kInvalidValue, transfer_error::Text(transfer_error::kInvalidValue));
  defaultTimeout_ = seconds;
}

void CurlInternet::SetClock(TransferClock clock) {
  clock_ = std::move(clock);
}

std::vector<std::shared_ptr<CurlTransfer>> CurlInternet::Transfers() {
  std::vector<std::shared_ptr<CurlTransfer>> alive;
  for (const auto& weak : created_)
    if (auto transfer = weak.lock()) alive.push_back(transfer);
  return alive;
}

}  // namespace host::sim
