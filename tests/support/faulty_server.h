#pragma once
// A raw HTTP server on 127.0.0.1 (a free port) that misbehaves on purpose:
// it stays silent, cuts a reply short, sends any bytes, or stops accepting
// connections altogether — what a well-behaved library server cannot be made
// to do. One connection at a time on its own thread, each closed after its
// answer. Nothing listens on any other address.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

struct RawRequest {
  std::string method;  // "GET", "POST"
  std::string path;    // without the query
  std::string query;   // after "?", as sent (still escaped)
  std::string body;
};

// What the server does with one request.
struct RawAnswer {
  enum class Kind {
    kReply,     // the status and body, whole
    kSilence,   // no answer at all; the connection stays open until the client gives up
    kCutShort,  // the headers promise more than the body; the body goes, then the connection closes
  };
  Kind kind = Kind::kReply;
  int status = 200;
  std::string body;  // any bytes
  // Stop listening before this answer goes out, so the client's next
  // connection is refused (until ListenAgain).
  bool thenRefuse = false;
};

// Runs on the server's thread.
using Responder = std::function<RawAnswer(const RawRequest&)>;

class FaultyServer {
 public:
  // Listening when it returns; throws std::runtime_error if it cannot.
  explicit FaultyServer(Responder responder);
  ~FaultyServer();  // stops, also in the middle of a silence, and waits for its thread

  FaultyServer(const FaultyServer&) = delete;
  FaultyServer& operator=(const FaultyServer&) = delete;

  // Applies from the next request on.
  void SetResponder(Responder responder);
  // Closes the listening socket: connections are refused from now on.
  void Refuse();
  // Listens again on the same port; throws std::runtime_error if it cannot.
  void ListenAgain();

  int Port() const { return port_; }
  std::string HostPort() const;  // "127.0.0.1:NNNNN"

  std::vector<RawRequest> Requests() const;  // in arrival order

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = 0;
};

}  // namespace testsupport
