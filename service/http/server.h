#pragma once
// The service's HTTP/1.1 server (Boost.Beast on Asio): keep-alive
// connections on a few network threads, handlers that wait on the database
// on a pool of workers, bounded request sizes, and a stop that finishes the
// requests in progress.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "service/http/exchange.h"
#include "service/http/router.h"

namespace mailwarden::http {

struct ServerOptions {
  std::string host = "127.0.0.1";
  int port = 8080;  // 0 picks a free one
  int networkThreads = 1;
  int workers = 8;                // one client has at most half of them at work
  std::size_t maxTarget = 8192;   // longer request targets get 414
  std::size_t maxBody = 1 << 20;  // longer bodies get 413
  std::chrono::seconds idle{30};  // a request's body or reply stalled this long closes the connection
  // A request's header, and the wait for the next one on a kept-alive
  // connection, must arrive within this.
  std::chrono::seconds headerTime{10};
  // Connections beyond these are closed at once: in all, and per client
  // address (not counting the proxy's own when behind one).
  std::size_t maxConnections = 2048;
  std::size_t maxPerClient = 64;
  // Behind a reverse proxy: the client is the last address of the
  // X-Forwarded-For header the proxy appended to, when the peer is on loopback.
  bool behindProxy = false;
  // Told of every failed accept (out of descriptors, most often), before the
  // back-off; may be empty.
  std::function<void()> acceptFailed;
};

// Told of every reply, on the thread that sent it; route is null when no
// route took the request (or it was refused before routing).
using Observer = std::function<void(const Request&, const Route* route, const Reply&, std::chrono::nanoseconds took)>;

class Server {
 public:
  // Binds the address; throws std::runtime_error when it cannot be had.
  Server(const Router& router, ServerOptions options, Observer observer);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  int Port() const;
  // "HOST:PORT", what the add-in's "ServiceHost" setting takes.
  std::string Host() const;
  // "http://HOST:PORT/".
  std::string Url() const;

  // Serves on background threads from now on.
  void Start();
  // Stops taking connections, closes idle ones, lets the requests in
  // progress finish and be answered, then returns.
  void Stop();

  struct Impl;  // the sessions reach it too

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace mailwarden::http
