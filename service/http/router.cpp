#include "service/http/router.h"

#include <algorithm>
#include <utility>

namespace mailwarden::http {

void Router::Add(std::string path, Handler handler, Runs runs, std::function<bool(const Request&)> quick,
                 bool headSafe) {
  bool prefix = path.ends_with('*');
  std::string label = path;
  if (prefix) path.pop_back();
  auto& routes = prefix ? prefixes_ : exact_;
  std::erase_if(routes, [&](const Route& route) { return route.path == path; });
  routes.push_back(Route{std::move(path), std::move(handler), runs, std::move(quick), std::move(label), headSafe});
  std::sort(prefixes_.begin(), prefixes_.end(),
            [](const Route& a, const Route& b) { return a.path.size() > b.path.size(); });
}

const Route* Router::Find(std::string_view path) const {
  for (const Route& route : exact_) {
    if (route.path == path) return &route;
  }
  for (const Route& route : prefixes_) {
    if (path.starts_with(route.path)) return &route;
  }
  return nullptr;
}

Reply Text(int status, std::string body) {
  Reply reply{status, {}, std::move(body)};
  return reply.Set("Content-Type", "text/plain; charset=utf-8");
}

Reply Html(int status, std::string body) {
  Reply reply{status, {}, std::move(body)};
  return reply.Set("Content-Type", "text/html; charset=utf-8");
}

}  // namespace mailwarden::http
