#pragma once
// Blocking HTTP over WinINet, for the transfer control: a GET of a whole
// document and a request with a verb, data and headers. A failure throws
// host::Error with the WinINet error number (12007 name not resolved, 12029
// cannot connect, ...) and its text. WinINet's own time-outs are off: the
// control watches LastMoved and ends a silent request itself with Cancel,
// which another thread may call to make a blocked call return.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "host/win32/win32_api.h"

namespace host::win32 {

class HttpSession {
 public:
  HttpSession();
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  std::string Get(const std::string& url);
  // progress is told the transfer-control states as the request goes on.
  std::string Send(const std::string& url, const std::string& verb, const std::string& data, const std::string& headers,
                   const std::function<void(std::int16_t state)>& progress);
  void Cancel();
  // GetTickCount() when the request began or data last went out or came in.
  DWORD LastMoved() const { return lastMoved_.load(); }

 private:
  enum Level { kSession, kConnection, kRequest, kLevels };
  HINTERNET Keep(Level level, HINTERNET handle);
  HINTERNET Current(Level level);
  void SetTimeouts(HINTERNET handle);
  std::string ReadAll(HINTERNET handle);
  void WriteAll(HINTERNET handle, const std::string& data);
  void Moved() { lastMoved_ = GetTickCount(); }
  static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, LPVOID information, DWORD length);

  std::mutex mutex_;
  bool cancelled_ = false;
  HINTERNET handles_[kLevels] = {};
  std::atomic<DWORD> lastMoved_;
};

// The text of a WinINet error number.
std::string InternetErrorText(DWORD code);

}  // namespace host::win32
