#pragma once
// One line per request on standard error: time, client IP, path without the
// query, status, duration and, for a refusal, "refused=" and its reason. Nothing of a message's content, nor the query
// (which holds addresses and subjects). Lines are gathered and written a
// few times a second, so logging never slows a reply.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace mailwarden::http {

class RequestLog {
 public:
  // fd: where the lines go (2, standard error); -1 writes nothing.
  explicit RequestLog(int fd = 2);
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  void Write(const std::string& ip, const std::string& path, int status, std::chrono::nanoseconds took,
             const std::string& refused = {});
  // Writes what is gathered now.
  void Flush();

 private:
  void Drain();

  int fd_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string pending_;
  bool stop_ = false;
  std::thread writer_;
};

}  // namespace mailwarden::http
