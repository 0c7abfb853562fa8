#include "host/win32/transfer.h"

#include <mutex>
#include <utility>

#include "host/error.h"
#include "host/win32/http_session.h"
#include "host/win32/module.h"

namespace host::win32 {
namespace {

// wParam: the state; lParam: which Execute it belongs to.
constexpr UINT kStateMessage = WM_APP + 1;
// The transfer control's own error for a second Execute while one runs.
constexpr std::int32_t kStillExecuting = 35764;

// The system's procedure of the STATIC class, which the hidden windows hand everything else to.
WNDPROC staticProcedure = nullptr;

bool IsFinal(std::int16_t state) {
  return state == icError || state == icResponseCompleted;
}

}  // namespace

struct Transfer::Job {
  HttpSession session;
  // Written by the worker before it posts the final state.
  std::mutex mutex;
  std::string reply;
  std::int32_t errorCode = 0;
  std::string errorText;

  explicit Job(std::int32_t timeout) : session(timeout) {}
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
  if (job_) job_->session.Cancel();
  if (worker_.joinable()) worker_.join();
  DestroyWindow(window_);
}

std::string Transfer::OpenURL(const std::string& url) {
  try {
    HttpSession session(requestTimeout_);
    return session.Get(url);
  } catch (const Error& e) {
    responseCode_ = e.code();
    responseInfo_ = e.what();
    throw;
  }
}

void Transfer::Execute(const std::string& url, const std::string& operation, const std::string& data,
                       const std::string& requestHeaders) {
  if (executing_) throw Error(kStillExecuting, "Still executing last request");
  if (worker_.joinable()) worker_.join();  // the last one has posted its end already

  auto job = std::make_shared<Job>(requestTimeout_);
  job_ = job;
  reply_.clear();
  replyRead_ = 0;
  responseCode_ = 0;
  responseInfo_.clear();
  executing_ = true;
  HWND window = window_;
  LPARAM generation = ++generation_;
  worker_ = std::thread([job, window, generation, url, operation, data, requestHeaders] {
    auto post = [&](std::int16_t state) {
      PostMessageA(window, kStateMessage, static_cast<WPARAM>(state), generation);
    };
    std::int16_t final = icResponseCompleted;
    try {
      std::string reply = job->session.Send(url, operation, data, requestHeaders, post);
      std::lock_guard lock(job->mutex);
      job->reply = std::move(reply);
    } catch (const Error& e) {
      std::lock_guard lock(job->mutex);
      job->errorCode = e.code();
      job->errorText = e.what();
      final = icError;
    } catch (const std::exception& e) {
      std::lock_guard lock(job->mutex);
      job->errorCode = -1;
      job->errorText = e.what();
      final = icError;
    }
    post(final);
  });
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
  if (message == kStateMessage) {
    auto* transfer = reinterpret_cast<Transfer*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (transfer) {
      try {
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
  if (generation != generation_ || !executing_) return;  // from an Execute that is over
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
  if (worker_.joinable()) worker_.join();  // it posted its final state as its last act
  std::lock_guard lock(job_->mutex);
  reply_ = std::move(job_->reply);
  replyRead_ = 0;
  if (job_->errorCode != 0 || !job_->errorText.empty()) {
    responseCode_ = job_->errorCode;
    responseInfo_ = job_->errorText;
  }
}

}  // namespace host::win32
