#include "service/service.h"

#include <sys/random.h>

// Boost 1.74's Asio uses std::exchange without including <utility>.
#include <utility>
// clang-format off
#include <boost/asio/ip/address.hpp>
// clang-format on

#include <chrono>
#include <iostream>

#include "protocol/service.h"
#include "service/links/links.h"
#include "service/pages/layout.h"
#include "service/pages/sessions.h"
#include "service/requests/requests.h"
#include "service/site/site.h"
#include "service/status.h"
#include "service/terms.h"

namespace mailwarden {
namespace {

constexpr std::chrono::hours kUpkeepEvery{1};
constexpr store::Time kDay = 24LL * 3600 * 1000000;
constexpr const char* kAnyOtherPath = "/*";
constexpr const char* kBusy = "qx;The service is busy, please try again later.";

// A handler whose store fails answers 503 and is counted; never a 500 for it.
http::Handler Guarded(http::Metrics& metrics, http::Handler handler) {
  return [&metrics, handler = std::move(handler)](const http::Request& request) {
    try {
      return handler(request);
    } catch (const store::StoreError& error) {
      metrics.CountDatabaseError();
      std::cerr << "mailwarden: database: " << error.what() << std::endl;
      return http::Text(503, kBusy).Set("Retry-After", "5");
    }
  };
}

// The built-in machine networks and the operator's.
events::Networks WithOperatorNetworks(const std::string& text) {
  events::Networks networks = events::Networks::BuiltIn();
  networks.Add(text, false);
  return networks;
}

// What the administrator watches is nobody else's business: for a client
// elsewhere the path does not exist.
http::Handler FromLoopbackOnly(http::Handler handler) {
  return [handler = std::move(handler)](const http::Request& request) {
    boost::system::error_code bad;
    const auto address = boost::asio::ip::make_address(request.ip, bad);
    const bool loopback = !bad && (address.is_loopback() || (address.is_v6() && address.to_v6().is_v4_mapped() &&
                                                             address.to_v6().to_v4().is_loopback()));
    return loopback ? handler(request) : pages::NotFound();
  };
}

}  // namespace

store::Time SystemNow() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string NewStamp() {
  static constexpr char kSymbols[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  constexpr std::size_t kLength = 22;  // about 131 bits: the read link of certified mail is the stamp
  // Random bytes fetched a few kilobytes at a time: stamps are drawn while the
  // database's write lock is held.
  thread_local unsigned char pool[4096];
  thread_local std::size_t used = sizeof pool;
  std::string stamp;
  while (stamp.size() < kLength) {
    if (used == sizeof pool) {
      if (getrandom(pool, sizeof pool, 0) != static_cast<ssize_t>(sizeof pool)) continue;
      used = 0;
    }
    unsigned char byte = pool[used++];
    // 248 = 4 * 62: the bytes above would favour the first symbols.
    if (byte < 248) stamp += kSymbols[byte % 62];
  }
  return stamp;
}

Service::Service(store::Store& store, ServiceOptions options, int logFd)
    : store_(store),
      options_(std::move(options)),
      log_(logFd),
      classifier_(WithOperatorNetworks(options_.networks)),
      formKey_(store_),
      events_(store_, metrics_, classifier_),
      limits_(store_, options_.limits),
      context_{store_,      options_, events_, limits_, metrics_, options_.clock ? options_.clock : SystemNow,
               classifier_, formKey_} {
  if (options_.terms.empty()) options_.terms = BuiltInTerms();
  if (!options_.sealingKey) options_.sealingKey = keys::NewSealingKey();
  metrics_.WatchQueue([this] { return events_.Depth(); });
  AddRoutes();
  upkeep_ = std::thread([this] { RunUpkeep(); });
  store_.EnableMailNotices(!options_.notices.smtpUrl.empty());
  outbox_ =
      std::make_unique<notices::OutboxWorker>(store_, options_.notices, *options_.sealingKey, context_.clock, metrics_);
  // A notice of an open goes out as soon as the open is written, not at the outbox's next look.
  events_.OnWritten([this] { outbox_->Wake(); });
}

Service::~Service() {
  {
    std::lock_guard lock(upkeepMutex_);
    stop_ = true;
  }
  upkeepWake_.notify_all();
  upkeep_.join();
  events_.Flush();
  events_.ForgetWritten();
  outbox_.reset();
}

http::Reply Service::Handle(const http::Request& request) const {
  const http::Route* route = router_.Find(request.path);
  if (!route) return pages::NotFound();
  return route->handler(request);
}

http::Observer Service::Observer() {
  return [this](const http::Request& request, const http::Route* route, const http::Reply& reply,
                std::chrono::nanoseconds took) {
    // The catch-all's label is no path anyone asked for.
    static const std::string kOther = "other";
    const std::string& label = route && route->label != kAnyOtherPath ? route->label : kOther;
    metrics_.CountRequest(label, reply.status, took, reply.refused);
    log_.Write(request.ip, request.path, reply.status, took, reply.refused);
  };
}

void Service::AddRoutes() {
  namespace protocol = corvanta::protocol;
  using http::Runs;
  Context& c = context_;
  auto answer = [](Answer given) {
    http::Reply reply = http::Text(200, std::move(given.text));
    reply.refused = std::move(given.refused);
    return reply;
  };
  auto add = [&](const char* path, http::Handler handler, Runs runs = Runs::kOnWorker,
                 std::function<bool(const http::Request&)> quick = {}, bool headSafe = false) {
    router_.Add(path, Guarded(metrics_, std::move(handler)), runs, std::move(quick), headSafe);
  };
  // Routes whose GET changes nothing, so HEAD may run them.
  auto addSafe = [&](const char* path, http::Handler handler, Runs runs = Runs::kOnWorker,
                     std::function<bool(const http::Request&)> quick = {}) {
    add(path, std::move(handler), runs, std::move(quick), true);
  };

  // A path no route takes gets the site's own "Not found" page.
  addSafe(
      kAnyOtherPath, [](const http::Request&) { return pages::NotFound(); }, Runs::kOnNetworkThread);
  http::Handler site = site::Handler(c);
  addSafe("/", site, Runs::kOnNetworkThread);
  addSafe("/cvx", site, Runs::kOnNetworkThread);
  addSafe("/cvx/*", site, Runs::kOnWorker, site::IsQuick);
  add(protocol::kCreditPath, [&c, answer](const http::Request& r) { return answer(CreditQuery(c, r.query, r.ip)); });
  add(protocol::kStampPath, [&c, answer](const http::Request& r) { return answer(StampRequest(c, r.query, r.ip)); });
  add(protocol::kUploadPath, [&c, answer](const http::Request& r) {
    if (r.method != "POST") return answer({"qx;The upload must be posted.", "method"});
    return answer(CertifiedUpload(c, r.body, r.ip));
  });
  add(
      protocol::kTrackPath, [&c](const http::Request& r) { return TrackingLink(c, r); }, Runs::kOnWorker,
      IsImageRequest);
  add(protocol::kCertifiedPath, [&c](const http::Request& r) { return CertifiedLink(c, r); });
  addSafe(
      protocol::kTermsPath, [this](const http::Request&) { return http::Text(200, options_.terms); },
      Runs::kOnNetworkThread);
  http::Handler health = [this](const http::Request&) {
    return store_.Healthy() ? http::Text(200, "ok\n") : http::Text(503, "the database does not answer\n");
  };
  http::Handler metrics = [this](const http::Request&) {
    // One Content-Type: Prometheus' own, not Text()'s as well.
    http::Reply reply{200, {}, metrics_.Render()};
    return reply.Set("Content-Type", "text/plain; version=0.0.4; charset=utf-8");
  };
  adminRouter_.Add("/healthz", health, Runs::kOnWorker, {}, true);
  adminRouter_.Add("/metrics", metrics, Runs::kOnNetworkThread, {}, true);
  if (!options_.adminListener) {
    addSafe("/healthz", FromLoopbackOnly(health));
    addSafe("/metrics", FromLoopbackOnly(metrics), Runs::kOnNetworkThread);
  }
  if (options_.statusPages) {
    addSafe("/status", [&c](const http::Request&) { return http::Html(200, StatusPage(Status(c))); });
    addSafe("/status.json", [&c](const http::Request&) {
      http::Reply reply{200, {}, Status(c).dump(1, ' ', false, nlohmann::json::error_handler_t::replace)};
      return reply.Set("Content-Type", "application/json");
    });
  }
}

void Service::Upkeep() {
  store::Time now = context_.Now();
  try {
    int expired = store_.ExpireContent(now - options_.contentDays * kDay);
    store_.PurgeSessions(now - pages::kSessionIdle, now - pages::kSessionLifetime);
    int purged = options_.retainDays > 0 ? store_.PurgeBefore(now - options_.retainDays * kDay) : 0;
    if (expired || purged) {
      std::cerr << "mailwarden: upkeep: content of " << expired << " certified messages deleted, " << purged
                << " old messages purged" << std::endl;
    }
  } catch (const store::StoreError& error) {
    metrics_.CountDatabaseError();
    std::cerr << "mailwarden: upkeep: " << error.what() << std::endl;
  }
}

void Service::RunUpkeep() {
  std::unique_lock lock(upkeepMutex_);
  while (!stop_) {
    lock.unlock();
    Upkeep();
    lock.lock();
    upkeepWake_.wait_for(lock, kUpkeepEvery, [this] { return stop_; });
  }
}

}  // namespace mailwarden
