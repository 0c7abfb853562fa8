#include "host/win32/transfer.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <mutex>
#include <utility>

#include "host/error.h"
#include "host/win32/http_session.h"
#include "host/win32/module.h"
#include "host/win32/windowing_pump.h"

namespace host::win32 {
namespace {

// wParam: the state; lParam: which request it belongs to.
constexpr UINT kStateMessage = WM_APP + 1;
// The hidden window's timer that looks for a silent request.
constexpr UINT_PTR kSilenceTimer = 1;
// It looks at least this often, so a request's progress is noticed in time.
constexpr DWORD kLongestLookMs = 1000;
// How long a destroyed control waits for its cancelled worker before leaving it to end alone.
constexpr DWORD kWorkerGraceMs = 500;
// The transfer control's own error for a second request while one runs.
constexpr std::int32_t kStillExecuting = 35764;

// The system's procedure of the STATIC class, which the hidden windows hand everything else to.
WNDPROC staticProcedure = nullptr;

// Request numbers, unique in the process: a late message of a worker left to
// end alone never passes for one of a later request, whatever window gets it.
LPARAM NextGeneration() {
  static std::atomic<LPARAM> last{0};
  return ++last;
}

bool IsFinal(std::int16_t state) {
  return state == icError || state == icResponseCompleted;
}

}  // namespace

// One request. It is settled once: by its worker with what WinINet gave, or
// by the control when it gives the request up (silence, destruction); the
// worker of a request given up may stay blocked in WinINet for a while (a
// closed handle does not end a blocked call everywhere), and ends alone.
struct Transfer::Job {
  ModuleObject counted;  // the module stays loaded while the worker may run in it
  HttpSession session;
  bool states = false;            // an Execute, which reports its states
  HANDLE settledEvent = nullptr;  // signalled once the outcome is in
  HANDLE finished = nullptr;      // signalled when the worker's request has returned

  std::mutex mutex;
  bool settled = false;
  bool byWorker = false;
  std::string reply;
  bool failed = false;
  std::int32_t errorCode = 0;
  std::string errorText;

  Job()
      : settledEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        finished(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (!settledEvent || !finished) {
      const auto code = static_cast<std::int32_t>(GetLastError());
      Close();
      throw Error(code, "cannot create the transfer's events");
    }
  }
  ~Job() { Close(); }
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  // True for the first outcome, which is the one that counts.
  bool Settle(bool worker, std::string text, bool failure, std::int32_t code, std::string message) {
    std::lock_guard lock(mutex);
    if (settled) return false;
    settled = true;
    byWorker = worker;
    reply = std::move(text);
    failed = failure;
    errorCode = code;
    errorText = std::move(message);
    SetEvent(settledEvent);
    return true;
  }

  // Settles the request as failed with code before its handles close, so the
  // worker's own failure from the closing does not count.
  bool GiveUp(DWORD code) {
    const bool first = Settle(false, {}, true, static_cast<std::int32_t>(code), InternetErrorText(code));
    session.Cancel();
    return first;
  }

  // On the worker: runs the request; true when its outcome is the one that counts.
  bool Run(const std::function<std::string()>& request) {
    std::string result;
    std::int32_t code = 0;
    std::string text;
    bool failure = false;
    try {
      result = request();
    } catch (const Error& e) {
      failure = true;
      code = e.code();
      text = e.what();
    } catch (const std::exception& e) {
      failure = true;
      code = -1;
      text = e.what();
    }
    const bool counts = Settle(true, std::move(result), failure, code, std::move(text));
    SetEvent(finished);
    return counts;
  }

 private:
  void Close() {
    if (settledEvent) CloseHandle(settledEvent);
    if (finished) CloseHandle(finished);
  }
};

Transfer::Transfer() {
  // A message-only window of a system class, so nothing is registered that could outlive the module.
  window_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ModuleHandle(), nullptr);
  if (!window_) throw Error(static_cast<std::int32_t>(GetLastError()), "cannot create the transfer window");
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  auto previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Transfer::WindowProc)));
  if (previous != &Transfer::WindowProc) staticProcedure = previous;
}

Transfer::~Transfer() {
  *alive_ = false;
  if (job_) job_->GiveUp(ERROR_INTERNET_OPERATION_CANCELLED);
  ReleaseWorker(kWorkerGraceMs);
  DestroyWindow(window_);  // its timer goes with it
}

void Transfer::ReleaseWorker(DWORD graceMs) {
  if (!worker_.joinable()) return;
  bool byWorker = false;
  {
    std::lock_guard lock(job_->mutex);
    byWorker = job_->settled && job_->byWorker;
  }
  // A worker that settled its request is only returning; one given up may be blocked still.
  if (WaitForSingleObject(job_->finished, byWorker ? INFINITE : graceMs) == WAIT_OBJECT_0)
    worker_.join();
  else
    worker_.detach();
}

std::shared_ptr<Transfer::Job> Transfer::Start() {
  if (executing_) throw Error(kStillExecuting, "Still executing last request");
  ReleaseWorker(0);
  auto job = std::make_shared<Job>();
  job_ = job;
  responseCode_ = 0;
  responseInfo_.clear();
  executing_ = true;
  generation_ = NextGeneration();
  return job;
}

std::string Transfer::OpenURL(const std::string& url) {
  std::shared_ptr<Job> job;
  try {
    job = Start();
  } catch (const Error& e) {
    if (e.code() != kStillExecuting) {
      responseCode_ = e.code();
      responseInfo_ = e.what();
    }
    throw;
  }
  const std::shared_ptr<bool> alive = alive_;
  worker_ = std::thread([job, url] { job->Run([&] { return job->session.Get(url); }); });
  WatchSilence();
  // Window messages keep flowing meanwhile; one of them may destroy this control.
  PumpUntil(job->settledEvent);

  std::unique_lock lock(job->mutex);
  if (*alive) {
    KillTimer(window_, kSilenceTimer);
    lock.unlock();
    ReleaseWorker(0);
    lock.lock();
    executing_ = false;
    if (job->failed) {
      responseCode_ = job->errorCode;
      responseInfo_ = job->errorText;
    }
  }
  if (job->failed) throw Error(job->errorCode, job->errorText);
  return std::move(job->reply);
}

void Transfer::Execute(const std::string& url, const std::string& operation, const std::string& data,
                       const std::string& requestHeaders) {
  auto job = Start();
  job->states = true;
  reply_.clear();
  replyRead_ = 0;
  HWND window = window_;
  LPARAM generation = generation_;
  worker_ = std::thread([job, window, generation, url, operation, data, requestHeaders] {
    auto post = [&](std::int16_t state) {
      PostMessageA(window, kStateMessage, static_cast<WPARAM>(state), generation);
    };
    if (job->Run([&] { return job->session.Send(url, operation, data, requestHeaders, post); })) {
      std::lock_guard lock(job->mutex);
      post(job->failed ? icError : icResponseCompleted);
    }
  });
  WatchSilence();
}

void Transfer::SetRequestTimeout(std::int32_t seconds) {
  requestTimeout_ = seconds;
  if (executing_) WatchSilence();  // the running request follows the new value
}

void Transfer::WatchSilence() {
  if (!executing_ || !job_ || requestTimeout_ <= 0) {
    KillTimer(window_, kSilenceTimer);
    return;
  }
  const DWORD limit = static_cast<DWORD>(std::min<std::int64_t>(std::int64_t{requestTimeout_} * 1000, 0x7FFFFFFF));
  const DWORD silent = GetTickCount() - job_->session.LastMoved();
  if (silent < limit) {
    SetTimer(window_, kSilenceTimer, std::min(limit - silent, kLongestLookMs), nullptr);
    return;
  }
  KillTimer(window_, kSilenceTimer);
  // Ends as WinINet's own time-out would; an Execute gets its final state as usual.
  if (job_->GiveUp(ERROR_INTERNET_TIMEOUT) && job_->states)
    PostMessageA(window_, kStateMessage, static_cast<WPARAM>(icError), generation_);
}

std::string Transfer::GetChunk(std::int32_t size) {
  if (size <= 0 || replyRead_ >= reply_.size()) return {};
  std::string chunk = reply_.substr(replyRead_, static_cast<std::size_t>(size));
  replyRead_ += chunk.size();
  return chunk;
}

Subscription Transfer::OnStateChanged(StateHandler handler) {
  int id = nextHandler_++;
  (*handlers_)[id] = std::make_shared<StateHandler>(std::move(handler));
  return Subscription([weak = std::weak_ptr<Handlers>(handlers_), id] {
    if (auto handlers = weak.lock()) handlers->erase(id);
  });
}

LRESULT CALLBACK Transfer::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kStateMessage || (message == WM_TIMER && wParam == kSilenceTimer)) {
    auto* transfer = reinterpret_cast<Transfer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (transfer) {
      try {
        if (message == WM_TIMER)
          transfer->WatchSilence();
        else
          transfer->StateChanged(static_cast<std::int16_t>(wParam), lParam);
      } catch (...) {
        // Nothing may leave a window procedure.
      }
    }
    return 0;
  }
  return staticProcedure ? CallWindowProcA(staticProcedure, window, message, wParam, lParam)
                         : DefWindowProcA(window, message, wParam, lParam);
}

void Transfer::StateChanged(std::int16_t state, LPARAM generation) {
  if (generation != generation_ || !executing_) return;  // from a request that is over
  if (IsFinal(state)) Finish();
  // Handlers may subscribe, unsubscribe or start the next Execute.
  Handlers current = *handlers_;
  struct EndOfEvent {
    Transfer* transfer;
    bool final;
    LPARAM generation;
    ~EndOfEvent() {
      if (final && transfer->generation_ == generation) transfer->executing_ = false;
    }
  } end{this, IsFinal(state), generation};
  for (auto& [id, handler] : current) (*handler)(state);
}

void Transfer::Finish() {
  KillTimer(window_, kSilenceTimer);
  ReleaseWorker(0);
  std::lock_guard lock(job_->mutex);
  reply_ = std::move(job_->reply);
  replyRead_ = 0;
  if (job_->failed) {
    responseCode_ = job_->errorCode;
    responseInfo_ = job_->errorText;
  }
}

}  // namespace host::win32
