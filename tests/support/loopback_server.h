#pragma once
// A small HTTP server on 127.0.0.1 (a free port), on its own thread, for tests
// that need a service to talk to. Handlers are set per method and path; every
// request is logged. Nothing listens on any other address.
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

struct LoggedRequest {
  std::string method;                              // "GET", "POST"
  std::string path;                                // without the query
  std::string query;                               // the raw query after "?", as sent (still escaped)
  std::multimap<std::string, std::string> params;  // query (and form body) parameters, unescaped
  std::multimap<std::string, std::string> headers;
  std::string body;
};

struct Reply {
  int status = 200;
  std::string body;
  std::string contentType = "text/plain";
  // Wait this long before answering (a slow server); cut short when the server stops.
  std::chrono::milliseconds delay{0};
};

// A delay for a reply that only a stop of the server lets go.
inline constexpr std::chrono::milliseconds kUntilStopped = std::chrono::hours(24);

// Runs on one of the server's threads: what it shares with the test needs a lock.
using Handler = std::function<Reply(const LoggedRequest&)>;

class LoopbackServer {
 public:
  LoopbackServer();   // listening when it returns; throws std::runtime_error if it cannot
  ~LoopbackServer();  // stops and waits for its thread

  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Fixed replies or handlers by exact path; a later call replaces an earlier one.
  // A path without a handler answers 404 with an empty body.
  void Get(const std::string& path, Reply reply);
  void Get(const std::string& path, Handler handler);
  void Post(const std::string& path, Reply reply);
  void Post(const std::string& path, Handler handler);

  int Port() const { return port_; }
  std::string HostPort() const;                            // "127.0.0.1:NNNNN"
  std::string Url(const std::string& pathAndQuery) const;  // "http://127.0.0.1:NNNNN" + pathAndQuery

  std::vector<LoggedRequest> Requests() const;  // in arrival order
  std::size_t RequestCount() const;
  void ClearRequests();

  // Stops listening early (the destructor does it too).
  void Stop();

  // A port on 127.0.0.1 on which nothing listens at the moment of the call.
  static int UnusedPort();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

}  // namespace testsupport
