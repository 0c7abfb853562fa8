#pragma once
// A whole running mailwarden in this process: the store, the service and
// its HTTP server. What `mailwarden serve` runs, and what tests, the
// demonstration and the benchmarks start on loopback.
#include <memory>
#include <optional>
#include <string>

#include "service/http/server.h"
#include "service/options.h"
#include "service/service.h"
#include "service/store/store.h"

namespace mailwarden {

struct ServeOptions {
  std::string database = "sqlite:mailwarden.db";
  ServiceOptions service;
  http::ServerOptions server;
  int logFd = 2;  // the request log; -1: none
  // Where /metrics and /healthz are served instead of on the public listener.
  std::optional<http::ServerOptions> admin;
};

// sqlite::memory: on 127.0.0.1 and a free port, with the status pages and
// without a request log: a service for one test or demonstration.
ServeOptions LoopbackOptions(int newSenderCredit);

class Instance {
 public:
  // Opens the database (applying migrations) and binds the address; throws
  // store::StoreError or std::runtime_error. Nothing is served before Start.
  explicit Instance(ServeOptions options);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  void Start();
  // Finishes the requests in progress, then writes the queued events.
  void Stop();

  int Port() const { return server_->Port(); }
  std::string Host() const { return server_->Host(); }
  std::string Url() const { return server_->Url(); }
  // The administrator's listener's port; 0 without one.
  int AdminPort() const { return adminServer_ ? adminServer_->Port() : 0; }

  store::Store& Store() { return *store_; }
  Service& service() { return *service_; }
  // Writes the recipient events queued so far.
  void Flush() { service_->Flush(); }

 private:
  std::unique_ptr<store::Store> store_;
  std::unique_ptr<Service> service_;
  std::unique_ptr<http::Server> server_;
  std::unique_ptr<http::Server> adminServer_;
};

}  // namespace mailwarden
