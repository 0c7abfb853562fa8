#pragma once
// The transfer control on WinINet. Each request runs on a worker thread.
// OpenURL waits for its worker while it runs this thread's window messages
// (MsgWaitForMultipleObjects), so Outlook keeps working; Execute returns at
// once, and its worker posts each state change to a hidden window of the
// thread that made the control, so StateChanged arrives there, through the
// message pump, like any other window message.
//
// RequestTimeout is a time without any data moving (0 or less: no limit),
// the wait for the connection included, and a running request follows the
// value in force: a timer of the hidden window looks at the request's
// silence and, once it has lasted that long, ends the request with the
// time-out error 12002 and closes its WinINet handles, which makes a blocked
// call return (where WinINet does not, Wine, the worker ends alone later).
// WinINet's own time-outs are off. The timer runs whenever the thread pumps
// messages, as the waits for a request do.
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "host/transfer.h"
#include "host/win32/module.h"
#include "host/win32/win32_api.h"

namespace host::win32 {

class Transfer final : public host::Transfer {
 public:
  Transfer();
  ~Transfer() override;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // The whole reply whatever the HTTP status, or host::Error with WinINet's
  // number and text (also kept as ResponseCode and ResponseInfo). A message
  // handled meanwhile may start requests of other controls; this one refuses
  // them (35764) until OpenURL returns. If a handler destroys the control,
  // the request is given up and OpenURL fails with 12017.
  std::string OpenURL(const std::string& url) override;
  void Execute(const std::string& url, const std::string& operation, const std::string& data,
               const std::string& requestHeaders) override;
  // From Execute until its final state has been handled; during OpenURL too.
  bool StillExecuting() override { return executing_; }
  std::string GetChunk(std::int32_t size) override;
  std::int32_t RequestTimeout() override { return requestTimeout_; }
  void SetRequestTimeout(std::int32_t seconds) override;
  std::int32_t ResponseCode() override { return responseCode_; }
  std::string ResponseInfo() override { return responseInfo_; }
  Subscription OnStateChanged(StateHandler handler) override;

  struct Job;  // one request, shared with its worker thread

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // A new request's job, once no other runs.
  std::shared_ptr<Job> Start();
  // Joins the last request's worker, or leaves one that was given up and is
  // still blocked after graceMs to end alone.
  void ReleaseWorker(DWORD graceMs);
  void StateChanged(std::int16_t state, LPARAM generation);
  void Finish();
  // Ends the running request once it has been silent for RequestTimeout, or
  // sets the timer to look again when it could be.
  void WatchSilence();

  ModuleObject counted_;  // its window calls into the module
  HWND window_ = nullptr;
  std::int32_t requestTimeout_ = 60;
  std::int32_t responseCode_ = 0;
  std::string responseInfo_;
  std::string reply_;
  std::size_t replyRead_ = 0;
  bool executing_ = false;
  LPARAM generation_ = 0;
  std::shared_ptr<Job> job_;
  std::thread worker_;
  // False once the control is destroyed; an OpenURL waiting on the stack keeps a copy.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  using Handlers = std::map<int, std::shared_ptr<StateHandler>>;
  std::shared_ptr<Handlers> handlers_ = std::make_shared<Handlers>();
  int nextHandler_ = 0;
};

class Internet final : public host::Internet {
 public:
  std::shared_ptr<host::Transfer> CreateTransfer() override { return std::make_shared<Transfer>(); }
};

}  // namespace host::win32
