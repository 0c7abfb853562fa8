#pragma once
// The transfer control on WinINet. OpenURL blocks; Execute runs the request
// on a worker thread, which posts each state change to a hidden window of the
// thread that made the control, so StateChanged arrives there, through the
// message pump, like any other window message.
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

  std::string OpenURL(const std::string& url) override;
  void Execute(const std::string& url, const std::string& operation, const std::string& data,
               const std::string& requestHeaders) override;
  bool StillExecuting() override { return executing_; }
  std::string GetChunk(std::int32_t size) override;
  std::int32_t RequestTimeout() override { return requestTimeout_; }
  void SetRequestTimeout(std::int32_t seconds) override { requestTimeout_ = seconds; }
  std::int32_t ResponseCode() override { return responseCode_; }
  std::string ResponseInfo() override { return responseInfo_; }
  Subscription OnStateChanged(StateHandler handler) override;

  struct Job;  // one asynchronous request, shared with its worker thread

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void StateChanged(std::int16_t state, LPARAM generation);
  void Finish();

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

  using Handlers = std::map<int, std::shared_ptr<StateHandler>>;
  std::shared_ptr<Handlers> handlers_ = std::make_shared<Handlers>();
  int nextHandler_ = 0;
};

class Internet final : public host::Internet {
 public:
  std::shared_ptr<host::Transfer> CreateTransfer() override { return std::make_shared<Transfer>(); }
};

}  // namespace host::win32
