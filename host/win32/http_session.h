#pragma once
// Blocking HTTP over WinINet, for the transfer control: a GET of a whole
// document and a request with a verb, data and headers. A failure throws
// host::Error with the WinINet error number (12002 time-out, 12007 name not
// resolved, 12029 cannot connect, ...) and its text. Another thread may
// Cancel a session, which makes a blocked call return.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "host/win32/win32_api.h"

namespace host::win32 {

class HttpSession {
 public:
  // Connect, send and receive time-outs: timeoutSeconds each (0 or less: none).
  explicit HttpSession(std::int32_t timeoutSeconds);
  ~HttpSession();
  HttpSession(const HttpSession&) = delete;
  HttpSession& operator=(const HttpSession&) = delete;

  std::string Get(const std::string& url);
  // progress is told the transfer-control states as the request goes on.
  std::string Send(const std::string& url, const std::string& verb, const std::string& data, const std::string& headers,
                   const std::function<void(std::int16_t state)>& progress);
  void Cancel();

 private:
  enum Level { kSession, kConnection, kRequest, kLevels };
  HINTERNET Keep(Level level, HINTERNET handle);
  HINTERNET Current(Level level);
  void SetTimeouts(HINTERNET handle);
  std::string ReadAll(HINTERNET handle);

  std::mutex mutex_;
  bool cancelled_ = false;
  HINTERNET handles_[kLevels] = {};
  DWORD timeoutMs_;
};

// The text of a WinINet error number.
std::string InternetErrorText(DWORD code);

}  // namespace host::win32
