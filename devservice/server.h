#pragma once
// mailwarden-dev's web server: every path of the service on 127.0.0.1.
#include <memory>
#include <string>
#include <thread>

#include "devservice/service.h"

namespace httplib {
class Server;
}

namespace mailwarden {

class Server {
 public:
  // Binds 127.0.0.1:port, 0 picking a free port; throws std::runtime_error
  // when the port cannot be had. Nothing is served before Start or Run.
  explicit Server(Service& service, int port = 0);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  int Port() const { return port_; }
  // "127.0.0.1:PORT", what the add-in's "ServiceHost" setting takes.
  std::string Host() const;
  // "http://127.0.0.1:PORT/".
  std::string Url() const;

  // Serves in a background thread; returns once requests are being taken.
  void Start();
  // Serves on the calling thread until Stop.
  void Run();
  // Stops serving and waits for the background thread, if any.
  void Stop();

 private:
  void Route();

  Service& service_;
  std::unique_ptr<httplib::Server> http_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace mailwarden
