#pragma once
// The tracking service over a store: every route, the recipient events'
// queue, the limits, the metrics and the request log, and the upkeep that
// deletes certified content after 30 days and purges old records.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "service/context.h"
#include "service/http/request_log.h"
#include "service/http/router.h"
#include "service/http/server.h"
#include "service/notices/outbox_worker.h"

namespace mailwarden {

class Service {
 public:
  // logFd: where the request log goes (2, standard error; -1: nowhere).
  Service(store::Store& store, ServiceOptions options, int logFd = 2);
  // Writes the queued events.
  ~Service();
  Service(const Service&) = delete;
  Service& operator=(const Service&) = delete;

  const http::Router& Router() const { return router_; }
  // /metrics and /healthz alone, for the administrator's listener.
  const http::Router& AdminRouter() const { return adminRouter_; }
  // Answers a request without a socket, as the server would (404 for a path
  // no route takes).
  http::Reply Handle(const http::Request& request) const;
  // Counts and logs every reply.
  http::Observer Observer();
  Context& context() { return context_; }
  http::Metrics& Metrics() { return metrics_; }

  // Writes the recipient events queued so far.
  void Flush() { events_.Flush(); }
  // Sends what the outbox holds that is due.
  void SendNotices() { outbox_->Wake(); }
  // Deletes expired certified content and purges old records now.
  void Upkeep();

 private:
  void AddRoutes();
  void RunUpkeep();

  store::Store& store_;
  ServiceOptions options_;
  http::Metrics metrics_;
  http::RequestLog log_;
  events::Classifier classifier_;
  FormKey formKey_;
  events::EventQueue events_;
  RateLimits limits_;
  Context context_;
  http::Router router_;
  http::Router adminRouter_;
  std::mutex upkeepMutex_;
  std::condition_variable upkeepWake_;
  bool stop_ = false;
  std::thread upkeep_;
  std::unique_ptr<notices::OutboxWorker> outbox_;
};

}  // namespace mailwarden
