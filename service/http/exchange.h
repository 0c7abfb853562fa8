#pragma once
// One HTTP request and its reply as the service's handlers see them, apart
// from whichever HTTP library carries them, so routes and pages can be
// tested without a socket.
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mailwarden::http {

struct Request {
  std::string method;                                        // "GET", "POST", ...
  std::string path;                                          // without the query, not decoded
  std::string query;                                         // after "?", not decoded; empty when there is none
  std::vector<std::pair<std::string, std::string>> headers;  // names as sent
  std::string body;
  std::string ip;  // the peer's address

  // The first header of that name, compared case-insensitively; empty when
  // there is none.
  const std::string& Header(std::string_view name) const;
};

struct Reply {
  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;  // Content-Type among them
  std::string body;
  // Why the service refused, as one word ("hash", "credit", ...), for the log
  // and /metrics: the add-in's refusals are answered with 200.
  std::string refused = {};
  // A body too large to hold at once: after body, the pieces this gives one
  // by one (on a worker, so it may read the store) until it gives an empty
  // one; sent chunked. An exception cuts the reply short.
  std::function<std::string()> more = {};
  // A stream whose pieces come when something happens (Server-Sent Events):
  // after body, called each time the next piece may be sent, with a function
  // to give it to once, from any thread; an empty piece ends the reply. It
  // holds no worker while it waits, and the connection closes at its end.
  using Give = std::function<void(std::string)>;
  std::function<void(Give)> wait = {};

  Reply& Set(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
    return *this;
  }
};

}  // namespace mailwarden::http
