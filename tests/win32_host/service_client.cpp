#include "service_client.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <wininet.h>

#include "host/error.h"

namespace standin {
namespace {

class Handle {
 public:
  explicit Handle(HINTERNET handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle_) InternetCloseHandle(handle_);
  }
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

}  // namespace

std::string HttpGet(const std::string& hostPort, const std::string& path) {
  Handle session(InternetOpenA("Corvanta e2e host", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  if (!session.get()) throw host::Error(static_cast<std::int32_t>(GetLastError()), "InternetOpen failed");
  std::string url = "http://" + hostPort + path;
  Handle request(InternetOpenUrlA(session.get(), url.c_str(), nullptr, 0,
                                  INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE,
                                  0));
  if (!request.get()) throw host::Error(static_cast<std::int32_t>(GetLastError()), "cannot open " + url);
  std::string body;
  char buffer[4096];
  DWORD read = 0;
  while (InternetReadFile(request.get(), buffer, sizeof buffer, &read) && read > 0) body.append(buffer, read);
  return body;
}

}  // namespace standin
