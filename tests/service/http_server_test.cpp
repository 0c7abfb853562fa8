// The HTTP server facing strangers: request framing a proxy in front could
// read otherwise, HEAD, connection caps and the header time-out, spoken to
// in raw bytes on loopback.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "service/http/router.h"
#include "service/http/server.h"

namespace service_test {
namespace {

using mailwarden::http::Reply;
using mailwarden::http::Request;
using mailwarden::http::Runs;

constexpr char kPageBody[] = "the page a GET shows";

// A connection to the server from a chosen loopback address.
class Connection {
 public:
  explicit Connection(int port, const char* from = "127.0.0.1") : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &local.sin_addr);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    // Only a guard against a server that never answers: every wait below
    // ends on the server's reply or close long before.
    timeval limit{60, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  }
  ~Connection() { ::close(fd_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Send(const std::string& bytes) {
    return connected_ && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }
  // Everything until the server closes; closed() tells whether it did.
  std::string ReadToClose() {
    std::string reply;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0) reply.append(buffer, n);
    // A reset closes too: a connection refused at the cap goes with the
    // request it had sent unread.
    closed_ = n == 0 || (n < 0 && errno == ECONNRESET);
    return reply;
  }
  // One reply's header and the body its Content-Length announces.
  std::string ReadReply() {
    std::string reply;
    char c;
    while (!reply.ends_with("\r\n\r\n") && ::recv(fd_, &c, 1, 0) == 1) reply += c;
    auto at = reply.find("Content-Length: ");
    std::size_t length = at == std::string::npos ? 0 : std::stoul(reply.substr(at + 16));
    while (length > 0 && ::recv(fd_, &c, 1, 0) == 1) reply += c, --length;
    return reply;
  }
  bool closed() const { return closed_; }

 private:
  int fd_;
  bool connected_ = false;
  bool closed_ = false;
};

class HttpServerTest : public ::testing::Test {
 protected:
  HttpServerTest() {
    router_.Add(
        "/page",
        [this](const Request& r) {
          ++pageCalls_;
          lastMethod_ = r.method;
          return mailwarden::http::Text(200, kPageBody);
        },
        Runs::kOnWorker, {}, true);
    // A body in pieces, as the CSV export sends it; "/pieces?broken" fails after its first piece.
    router_.Add(
        "/pieces",
        [](const Request& r) {
          Reply reply = mailwarden::http::Text(200, "first;");
          auto left = std::make_shared<std::vector<std::string>>(std::vector<std::string>{"third;", "second;"});
          const bool broken = r.query == "broken";
          reply.more = [left, broken]() -> std::string {
            if (left->empty()) return "";
            if (broken && left->size() == 1) throw std::runtime_error("the store went away");
            std::string piece = left->back();
            left->pop_back();
            return piece;
          };
          return reply;
        },
        Runs::kOnWorker, {}, true);
    // A stream whose pieces the test gives when it likes, as the live pages' events come.
    router_.Add(
        "/waiting",
        [this](const Request&) {
          Reply reply = mailwarden::http::Text(200, "start;");
          auto owned = std::make_shared<int>(0);
          {
            std::lock_guard lock(waitMutex_);
            owned_ = owned;
          }
          reply.wait = [this, owned](Reply::Give give) {
            std::lock_guard lock(waitMutex_);
            gives_.push_back(std::move(give));
            waitChanged_.notify_all();
          };
          return reply;
        },
        Runs::kOnWorker);
    router_.Add("/change", [this](const Request& r) {
      ++changes_;
      return mailwarden::http::Text(200, "changed, body of " + std::to_string(r.body.size()) + " bytes");
    });
  }
  ~HttpServerTest() override {
    if (server_) server_->Stop();
  }

  void Start(mailwarden::http::ServerOptions options = {}) {
    options.port = 0;
    server_ = std::make_unique<mailwarden::http::Server>(router_, options, nullptr);
    server_->Start();
  }
  int Port() const { return server_->Port(); }
  // True when a fresh connection from this address is served.
  bool Served(Connection& connection) {
    return connection.Send("GET /page HTTP/1.1\r\nHost: x\r\n\r\n") &&
           connection.ReadReply().starts_with("HTTP/1.1 200");
  }

  // The next give the waiting stream asked for, once it has.
  Reply::Give NextGive() {
    std::unique_lock lock(waitMutex_);
    waitChanged_.wait(lock, [&] { return !gives_.empty(); });
    Reply::Give give = std::move(gives_.front());
    gives_.erase(gives_.begin());
    return give;
  }

  mailwarden::http::Router router_;
  std::unique_ptr<mailwarden::http::Server> server_;
  std::mutex waitMutex_;
  std::condition_variable waitChanged_;
  std::vector<Reply::Give> gives_;
  std::weak_ptr<int> owned_;  // what the waiting reply holds
  std::atomic<int> pageCalls_{0};
  std::atomic<int> changes_{0};
  std::string lastMethod_;
};

TEST_F(HttpServerTest, RefusesAmbiguousBodyFramingAndCloses) {
  Start();
  // After each header, a body that a reader of other framing would take as a
  // second request.
  const std::string smuggled = "0\r\n\r\nPOST /change HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n";
  const struct {
    const char* what;
    std::string fields;
  } cases[] = {
      {"chunked, then identity", "Transfer-Encoding: chunked, identity\r\n"},
      {"identity", "Transfer-Encoding: identity\r\n"},
      {"a coding that only ends in chunked", "Transfer-Encoding: xchunked\r\nContent-Length: 5\r\n"},
      {"chunked with a length", "Transfer-Encoding: chunked\r\nContent-Length: 5\r\n"},
      {"a length with chunked", "Content-Length: 5\r\nTransfer-Encoding: chunked\r\n"},
      {"chunked twice", "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n"},
      {"gzip then chunked", "Transfer-Encoding: gzip, chunked\r\n"},
      {"an empty coding", "Transfer-Encoding: \r\n"},
  };
  for (const auto& c : cases) {
    Connection connection(Port());
    ASSERT_TRUE(connection.Send("POST /change HTTP/1.1\r\nHost: x\r\n" + c.fields + "\r\n" + smuggled)) << c.what;
    const std::string reply = connection.ReadToClose();
    EXPECT_TRUE(reply.starts_with("HTTP/1.1 400")) << c.what << ": " << reply;
    EXPECT_EQ(reply.find("HTTP/1.1", 1), std::string::npos) << c.what << ": a second reply";
    EXPECT_TRUE(connection.closed()) << c.what;
  }
  EXPECT_EQ(changes_, 0);

  // Plain chunked and a plain length still work, one request after another.
  Connection connection(Port());
  ASSERT_TRUE(
      connection.Send("POST /change HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n"
                      "POST /change HTTP/1.1\r\nHost: x\r\nContent-Length: 2\r\n\r\nab"));
  EXPECT_NE(connection.ReadReply().find("body of 3 bytes"), std::string::npos);
  EXPECT_NE(connection.ReadReply().find("body of 2 bytes"), std::string::npos);
  EXPECT_EQ(changes_, 2);
}

TEST_F(HttpServerTest, HeadAnswersHeadersOnlyAndNeverRunsAChangingRoute) {
  Start();
  Connection connection(Port());
  // A HEAD, then a GET on the same connection: the GET's reply must come
  // right after the HEAD's header, with no body of the HEAD in between.
  ASSERT_TRUE(
      connection.Send("HEAD /page HTTP/1.1\r\nHost: x\r\n\r\nGET /page HTTP/1.1\r\nHost: x\r\n"
                      "Connection: close\r\n\r\n"));
  const std::string both = connection.ReadToClose();
  const std::size_t headEnd = both.find("\r\n\r\n");
  ASSERT_NE(headEnd, std::string::npos) << both;
  const std::string head = both.substr(0, headEnd + 4);
  EXPECT_TRUE(head.starts_with("HTTP/1.1 200")) << head;
  EXPECT_NE(head.find("Content-Length: " + std::to_string(sizeof kPageBody - 1)), std::string::npos) << head;
  EXPECT_TRUE(both.substr(headEnd + 4).starts_with("HTTP/1.1 200")) << both;
  EXPECT_TRUE(both.ends_with(kPageBody)) << both;
  EXPECT_EQ(pageCalls_, 2);
  EXPECT_EQ(lastMethod_, "GET");

  Connection change(Port());
  ASSERT_TRUE(change.Send("HEAD /change HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
  const std::string refused = change.ReadToClose();
  EXPECT_TRUE(refused.starts_with("HTTP/1.1 405")) << refused;
  EXPECT_TRUE(refused.ends_with("\r\n\r\n")) << refused;
  EXPECT_EQ(changes_, 0);
}

// The body of a chunked reply read back; nothing when it does not end.
std::optional<std::string> Unchunk(std::string chunks) {
  std::string body;
  for (;;) {
    const std::size_t line = chunks.find("\r\n");
    if (line == std::string::npos) return std::nullopt;
    const std::size_t size = std::stoul(chunks.substr(0, line), nullptr, 16);
    if (size == 0) return chunks.substr(line) == "\r\n\r\n" ? std::optional(body) : std::nullopt;
    if (chunks.size() < line + 2 + size + 2) return std::nullopt;
    body += chunks.substr(line + 2, size);
    chunks.erase(0, line + 2 + size + 2);
  }
}

TEST_F(HttpServerTest, SendsABodyInPiecesChunkedAndCutsAFailedOneShort) {
  Start();
  Connection connection(Port());
  // The pieces, then a HEAD of them (the header alone), then a page: one
  // reply after the other on the same connection.
  ASSERT_TRUE(
      connection.Send("GET /pieces HTTP/1.1\r\nHost: x\r\n\r\nHEAD /pieces HTTP/1.1\r\nHost: x\r\n\r\n"
                      "GET /page HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"));
  const std::string all = connection.ReadToClose();
  const std::size_t second = all.find("HTTP/1.1", 1), third = all.find("HTTP/1.1", second + 1);
  ASSERT_NE(third, std::string::npos) << all;
  const std::string pieces = all.substr(0, second), head = all.substr(second, third - second);
  EXPECT_NE(pieces.find("Transfer-Encoding: chunked\r\n"), std::string::npos) << pieces;
  EXPECT_EQ(Unchunk(pieces.substr(pieces.find("\r\n\r\n") + 4)), "first;second;third;") << pieces;
  EXPECT_NE(head.find("Transfer-Encoding: chunked\r\n"), std::string::npos) << head;
  EXPECT_TRUE(head.ends_with("\r\n\r\n")) << head;
  EXPECT_TRUE(all.ends_with(kPageBody)) << all;

  Connection broken(Port());
  ASSERT_TRUE(broken.Send("GET /pieces?broken HTTP/1.1\r\nHost: x\r\n\r\n"));
  const std::string cut = broken.ReadToClose();
  EXPECT_TRUE(broken.closed());
  EXPECT_NE(cut.find("second;"), std::string::npos) << cut;
  EXPECT_EQ(Unchunk(cut.substr(cut.find("\r\n\r\n") + 4)), std::nullopt) << cut;
}

// A stream that waits for its pieces sends each as it is given, from any
// thread, and ends with an empty one; a stop ends a waiting stream at once,
// and a client gone lets go of what the reply held.
TEST_F(HttpServerTest, AWaitingStreamSendsPiecesAsGivenAndEndsAtAStop) {
  Start();
  Connection connection(Port());
  ASSERT_TRUE(connection.Send("GET /waiting HTTP/1.1\r\nHost: x\r\n\r\n"));
  std::thread([give = NextGive()] { give("one;"); }).join();
  NextGive()("two;");
  NextGive()("");
  const std::string all = connection.ReadToClose();
  EXPECT_TRUE(connection.closed());
  EXPECT_NE(all.find("Transfer-Encoding: chunked\r\n"), std::string::npos) << all;
  EXPECT_EQ(Unchunk(all.substr(all.find("\r\n\r\n") + 4)), "start;one;two;") << all;

  // A client gone while its stream waits: the reply's holdings go with it; a late give does nothing.
  auto gone = std::make_unique<Connection>(Port());
  ASSERT_TRUE(gone->Send("GET /waiting HTTP/1.1\r\nHost: x\r\n\r\n"));
  Reply::Give late = NextGive();
  std::weak_ptr<int> owned;
  {
    std::lock_guard lock(waitMutex_);
    owned = owned_;
  }
  ASSERT_FALSE(owned.expired());
  gone.reset();
  while (!owned.expired()) std::this_thread::yield();
  late("after the client went;");

  Connection waiting(Port());
  ASSERT_TRUE(waiting.Send("GET /waiting HTTP/1.1\r\nHost: x\r\n\r\n"));
  Reply::Give afterStop = NextGive();
  server_->Stop();
  const std::string ended = waiting.ReadToClose();
  EXPECT_TRUE(waiting.closed());
  EXPECT_EQ(Unchunk(ended.substr(ended.find("\r\n\r\n") + 4)), "start;") << ended;
  afterStop("too late;");
}

TEST_F(HttpServerTest, CapsConnectionsInAllAndPerClient) {
  mailwarden::http::ServerOptions options;
  options.maxConnections = 4;
  options.maxPerClient = 3;
  Start(options);
  std::vector<std::unique_ptr<Connection>> held;
  for (int i = 0; i < 3; ++i) {
    held.push_back(std::make_unique<Connection>(Port(), "127.0.0.1"));
    ASSERT_TRUE(Served(*held.back())) << i;
  }
  Connection fourthOfOne(Port(), "127.0.0.1");
  fourthOfOne.Send("GET /page HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(fourthOfOne.ReadToClose(), "");
  EXPECT_TRUE(fourthOfOne.closed());

  held.push_back(std::make_unique<Connection>(Port(), "127.0.0.2"));
  ASSERT_TRUE(Served(*held.back()));
  Connection fifth(Port(), "127.0.0.3");
  fifth.Send("GET /page HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(fifth.ReadToClose(), "");

  // A closed connection makes room again once the server has seen it go.
  held.erase(held.begin());
  bool servedAgain = false;
  for (int attempt = 0; attempt < 200 && !servedAgain; ++attempt) {
    Connection again(Port(), "127.0.0.1");
    servedAgain = Served(again);
  }
  EXPECT_TRUE(servedAgain);
}

TEST_F(HttpServerTest, BehindAProxyItsOwnConnectionsAreNotCappedPerClient) {
  mailwarden::http::ServerOptions options;
  options.maxPerClient = 2;
  options.behindProxy = true;
  Start(options);
  std::vector<std::unique_ptr<Connection>> held;
  for (int i = 0; i < 5; ++i) {
    held.push_back(std::make_unique<Connection>(Port(), "127.0.0.1"));
    ASSERT_TRUE(Served(*held.back())) << i;
  }
}

// One client's slow requests on many connections hold at most its share of
// the workers: another client is answered meanwhile.
TEST_F(HttpServerTest, OneClientsSlowRequestsLeaveWorkersToOthers) {
  std::mutex mutex;
  std::condition_variable changed;
  bool released = false;
  int running = 0, mostRunning = 0;
  router_.Add(
      "/slow",
      [&](const Request&) {
        std::unique_lock lock(mutex);
        mostRunning = std::max(mostRunning, ++running);
        changed.notify_all();
        changed.wait(lock, [&] { return released; });
        --running;
        return mailwarden::http::Text(200, "slow");
      },
      Runs::kOnWorker);
  mailwarden::http::ServerOptions options;
  options.workers = 4;  // two for a client
  Start(options);
  std::vector<std::unique_ptr<Connection>> slow;
  for (int i = 0; i < 4; ++i) {
    slow.push_back(std::make_unique<Connection>(Port(), "127.0.0.2"));
    ASSERT_TRUE(slow.back()->Send("GET /slow HTTP/1.1\r\nHost: x\r\n\r\n"));
  }
  {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return running == 2; });
  }
  Connection other(Port(), "127.0.0.3");
  const bool answered = Served(other);
  {
    std::lock_guard lock(mutex);
    EXPECT_TRUE(answered && !released);
    released = true;
  }
  changed.notify_all();
  // The waiting ones run in turn, never more than the share at once.
  for (auto& connection : slow) EXPECT_TRUE(connection->ReadReply().starts_with("HTTP/1.1 200"));
  EXPECT_EQ(mostRunning, 2);
}

TEST_F(HttpServerTest, ClosesAConnectionWhoseHeaderDoesNotArriveInTime) {
  mailwarden::http::ServerOptions options;
  options.idle = std::chrono::seconds(300);
  options.headerTime = std::chrono::seconds(1);
  Start(options);
  Connection slow(Port());
  ASSERT_TRUE(slow.Send("GET /page HTTP/1.1\r\nHost: x\r\n"));  // and never the end of the header
  slow.ReadToClose();
  EXPECT_TRUE(slow.closed());

  Connection idle(Port());
  ASSERT_TRUE(Served(idle));  // then silent between requests
  idle.ReadToClose();
  EXPECT_TRUE(idle.closed());
  EXPECT_EQ(pageCalls_, 1);
}

}  // namespace
}  // namespace service_test
