#include "service/http/request_log.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace mailwarden::http {
namespace {

constexpr std::size_t kMaxPending = 8 << 20;  // beyond this, lines are dropped rather than memory grown

// Control characters of a path would forge lines of the log.
void AppendClean(std::string& out, const std::string& text) {
  for (char c : text) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
}

}  // namespace

RequestLog::RequestLog(int fd) : fd_(fd) {
  if (fd_ >= 0) writer_ = std::thread([this] { Drain(); });
}

RequestLog::~RequestLog() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (writer_.joinable()) writer_.join();
}

void RequestLog::Write(const std::string& ip, const std::string& path, int status, std::chrono::nanoseconds took,
                       const std::string& refused) {
  if (fd_ < 0) return;
  auto now = std::chrono::system_clock::now();
  std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char head[48];
  std::snprintf(head, sizeof head, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
  char tail[48];
  std::snprintf(tail, sizeof tail, " %d %.3fms", status, std::chrono::duration<double, std::milli>(took).count());
  std::string line = head;
  AppendClean(line, ip);
  line += ' ';
  AppendClean(line, path.size() > 200 ? path.substr(0, 200) + "..." : path);
  line += tail;
  if (!refused.empty()) line += " refused=" + refused;
  line += '\n';
  std::lock_guard lock(mutex_);
  if (pending_.size() < kMaxPending) pending_ += line;
}

void RequestLog::Flush() {
  std::string out;
  {
    std::lock_guard lock(mutex_);
    out.swap(pending_);
  }
  for (std::size_t done = 0; done < out.size();) {
    ssize_t written = ::write(fd_, out.data() + done, out.size() - done);
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
}

void RequestLog::Drain() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    wake_.wait_for(lock, std::chrono::milliseconds(200));
    lock.unlock();
    Flush();
    lock.lock();
  }
  lock.unlock();
  Flush();
}

}  // namespace mailwarden::http
