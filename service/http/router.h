#pragma once
// Which handler answers a path. Exact paths first, then the longest prefix
// route; a route that never waits on the database runs on the network
// thread, every other one on a worker.
#include <functional>
#include <string>
#include <vector>

#include "service/http/exchange.h"

namespace mailwarden::http {

using Handler = std::function<Reply(const Request&)>;

enum class Runs { kOnNetworkThread, kOnWorker };

struct Route {
  std::string path;  // exact path, or prefix when it ends with "*"
  Handler handler;
  Runs runs = Runs::kOnWorker;
  // For a worker route: the requests of it that may still run on the
  // network thread (they never wait).
  std::function<bool(const Request&)> quick;
  // What /metrics and the log call the path: the route's own, so an
  // attacker's paths cannot grow the metrics.
  std::string label;
  // HEAD runs the handler (as a GET, its body dropped) only on routes whose
  // GET changes nothing; any other route answers HEAD with 405.
  bool headSafe = false;
};

class Router {
 public:
  // A later route for the same path replaces the earlier one.
  void Add(std::string path, Handler handler, Runs runs = Runs::kOnWorker,
           std::function<bool(const Request&)> quick = {}, bool headSafe = false);
  // Nothing when no route takes the path.
  const Route* Find(std::string_view path) const;

 private:
  std::vector<Route> exact_;
  std::vector<Route> prefixes_;
};

// A plain-text reply.
Reply Text(int status, std::string body);
// An HTML page reply.
Reply Html(int status, std::string body);

}  // namespace mailwarden::http
