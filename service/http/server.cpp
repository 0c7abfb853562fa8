#include "service/http/server.h"

#include "service/http/fair_workers.h"

// Boost 1.74's Asio uses std::exchange without including <utility>.
#include <utility>
// clang-format off
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
// clang-format on

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <future>
#include <iostream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace mailwarden::http {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kHeaderRoom = 16 * 1024;  // for the header fields beside the target
constexpr std::chrono::seconds kStopGrace{10};
constexpr std::chrono::seconds kLinger{2};
// At a stop, how long the rest of a request under way may take to arrive.
constexpr std::chrono::seconds kStopRead{2};
constexpr std::size_t kMaxDrain = 64 << 20;
// After a failed accept (out of descriptors, most often): trying again at
// once would spin.
constexpr std::chrono::milliseconds kAcceptBackOff{100};
constexpr char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";

std::string Str(beast::string_view text) {
  return std::string(text.data(), text.size());
}

// A body is framed by one Content-Length or by exactly "Transfer-Encoding:
// chunked", never both, nothing else: a proxy in front that reads the
// framing otherwise than we do could slip a second request past itself.
bool PlainFraming(const bhttp::request_parser<bhttp::string_body>::value_type& header) {
  const auto encodings = header.equal_range(bhttp::field::transfer_encoding);
  const auto count = std::distance(encodings.first, encodings.second);
  if (count == 0) return true;
  return count == 1 && header.count(bhttp::field::content_length) == 0 &&
         beast::iequals(encodings.first->value(), "chunked");
}

}  // namespace

class Session;

struct Server::Impl {
  Impl(const Router& r, ServerOptions o, Observer ob)
      : router(r),
        options(std::move(o)),
        observer(std::move(ob)),
        acceptor(io),
        backOff(io),
        workers(options.workers, std::max(1, options.workers / 2)) {}

  void Accept();
  // False when the connection is over a cap: it is not served.
  bool Track(const std::shared_ptr<Session>& session);
  void Forget(Session* session);

  const Router& router;
  ServerOptions options;
  Observer observer;
  // Before the io_context: sessions still queued in it forget themselves here
  // when it is destroyed.
  std::mutex sessionsMutex;
  std::condition_variable sessionsGone;
  std::set<Session*> live;
  std::map<std::string, std::size_t> perClient;  // live connections by client address
  std::vector<std::weak_ptr<Session>> sessions;
  std::atomic<bool> stopping{false};
  bool started = false;
  bool stopped = false;
  int port = 0;

  asio::io_context io;
  // Keeps the network threads running while a request is on a worker and
  // nothing else is pending (once the acceptor is closed, at a stop).
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> busy;
  tcp::acceptor acceptor;
  asio::steady_timer backOff;
  bool backingOff = false;  // only on the accepting strand
  FairWorkers workers;
  std::vector<std::thread> threads;
};

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(Server::Impl& server, tcp::socket socket) : server_(server), stream_(std::move(socket)) {
    beast::error_code ignored;
    auto peer = stream_.socket().remote_endpoint(ignored);
    if (!ignored) {
      ip_ = peer.address().to_string();
      loopback_ = peer.address().is_loopback();
    }
    stream_.socket().set_option(tcp::no_delay(true), ignored);
  }
  ~Session() { server_.Forget(this); }

  // What the per-client cap counts by; empty for the proxy's own
  // connections behind one.
  std::string CapKey() const { return server_.options.behindProxy && loopback_ ? std::string() : ip_; }

  void Begin() {
    asio::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->ReadHeader(); });
  }
  void PostStop() {
    asio::post(stream_.get_executor(), [self = shared_from_this()] { self->OnStop(); });
  }

  // On the session's strand: an idle connection closes now; one with a
  // request under way finishes it and closes after its reply.
  void OnStop() {
    if (waiting_) {  // a waiting stream ends now
      waiting_ = false;
      piece_.clear();
      return WritePiece(false);
    }
    if (handling_) return;
    if (Sent() || (parser_ && parser_->got_some())) {
      stream_.expires_after(kStopRead);
      return;
    }
    // Idle as far as this strand can tell. Cancelling, not closing: a read
    // that took in the first bytes of a request a moment ago (on a network
    // thread, before its handler reached this strand) is not undone, and the
    // request goes on; an idle read ends and its handler closes.
    stream_.cancel();
  }

 private:
  // A request already sent but not yet read counts as under way at a stop.
  bool Sent() {
    beast::error_code ignored;
    return stream_.socket().available(ignored) > 0 || buffer_.size() > 0;
  }

  void ReadHeader() {
    // Also after a reply that went out just as the stop came: the stop may
    // have found this connection between two requests.
    if (server_.stopping && !Sent()) return Close();
    parser_.emplace();
    parser_->header_limit(static_cast<std::uint32_t>(server_.options.maxTarget + kHeaderRoom));
    parser_->body_limit(server_.options.maxBody);
    stream_.expires_after(server_.stopping ? kStopRead : std::min(server_.options.idle, server_.options.headerTime));
    bhttp::async_read_header(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnHeader(error); });
  }

  void OnHeader(beast::error_code error) {
    if (error) return Refuse(error);
    started_ = Clock::now();
    const auto& header = parser_->get();
    if (header.target().size() > server_.options.maxTarget) {
      std::string target = Str(header.target().substr(0, 200));
      request_.path = target.substr(0, target.find('?'));
      return Answer(Text(414, "qx;The request is too long."), false);
    }
    if (!PlainFraming(header)) {
      request_.path = Str(header.target().substr(0, header.target().find('?')));
      return Answer(Text(400, "Bad request"), false);
    }
    auto expect = header.find(bhttp::field::expect);
    if (expect != header.end() && beast::iequals(expect->value(), "100-continue")) {
      asio::async_write(stream_, asio::buffer(kContinue, sizeof kContinue - 1),
                        [self = shared_from_this()](beast::error_code e, std::size_t) {
                          if (e) return self->Close();
                          self->ReadBody();
                        });
      return;
    }
    ReadBody();
  }

  void ReadBody() {
    if (parser_->is_done()) return Handle();
    if (!server_.stopping) stream_.expires_after(server_.options.idle);
    bhttp::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      if (error) return self->Refuse(error);
      self->Handle();
    });
  }

  // A request that could not be read: answered when it is the client's fault.
  void Refuse(beast::error_code error) {
    if (error == bhttp::error::body_limit) return Answer(Text(413, "qx;The email is too big."), false);
    if (error == bhttp::error::header_limit) return Answer(Text(431, "qx;The request is too long."), false);
    if (error.category() == bhttp::make_error_code(bhttp::error::bad_target).category() && parser_ &&
        parser_->got_some() && error != bhttp::error::end_of_stream && error != bhttp::error::partial_message) {
      return Answer(Text(400, "Bad request"), false);
    }
    Close();
  }

  void Handle() {
    auto& message = parser_->get();
    request_.method = Str(message.method_string());
    std::string target = Str(message.target());
    std::size_t mark = target.find('?');
    request_.path = target.substr(0, mark);
    request_.query = mark == std::string::npos ? std::string() : target.substr(mark + 1);
    request_.headers.clear();
    for (const auto& field : message) request_.headers.emplace_back(Str(field.name_string()), Str(field.value()));
    request_.body = std::move(message.body());
    request_.ip = ClientIp();
    keepAlive_ = message.keep_alive();
    route_ = server_.router.Find(request_.path);
    // HEAD answers with the header a GET would have, and only where a GET
    // changes nothing.
    head_ = request_.method == "HEAD";
    if (!route_) return Answer(Text(404, "Not found"), keepAlive_);
    if (head_) {
      if (!route_->headSafe) return Answer(Text(405, "Method not allowed").Set("Allow", "GET, POST"), keepAlive_);
      request_.method = "GET";
    }
    handling_ = true;
    if (route_->runs == Runs::kOnNetworkThread || (route_->quick && route_->quick(request_)))
      return Answer(Run(), keepAlive_);
    server_.workers.Post(request_.ip, [self = shared_from_this()] {
      Reply reply = self->Run();
      asio::post(self->stream_.get_executor(),
                 [self, reply = std::move(reply)]() mutable { self->Answer(std::move(reply), self->keepAlive_); });
    });
  }

  // The peer, or behind a proxy on this machine the client it forwarded for.
  std::string ClientIp() const {
    if (!server_.options.behindProxy || !loopback_) return ip_;
    const std::string& forwarded = request_.Header("X-Forwarded-For");
    std::size_t comma = forwarded.rfind(',');
    std::string last = forwarded.substr(comma == std::string::npos ? 0 : comma + 1);
    last.erase(0, last.find_first_not_of(' '));
    last.erase(last.find_last_not_of(' ') + 1);
    beast::error_code bad;
    auto address = asio::ip::make_address(last, bad);
    return bad ? ip_ : address.to_string();
  }

  Reply Run() {
    try {
      return route_->handler(request_);
    } catch (const std::exception& error) {
      std::cerr << "mailwarden: " << request_.path << " failed: " << error.what() << std::endl;
    } catch (...) {
      std::cerr << "mailwarden: " << request_.path << " failed" << std::endl;
    }
    return Text(500, "qx;The service failed to handle the request.");
  }

  void Answer(Reply reply, bool keepAlive) {
    handling_ = false;
    if (started_ == Clock::time_point{}) started_ = Clock::now();
    if (request_.ip.empty()) request_.ip = ip_;  // a request refused before it was read whole
    if (server_.stopping) keepAlive = false;
    response_ = {};
    response_.result(static_cast<unsigned>(reply.status));
    response_.version(11);
    // insert, not set: a reply may carry a header more than once (several Set-Cookie).
    for (const auto& [name, value] : reply.headers) response_.insert(name, value);
    response_.keep_alive(keepAlive);
    if (reply.more || reply.wait) return Stream(std::move(reply));
    if (head_) {
      response_.content_length(reply.body.size());
    } else {
      response_.body() = std::move(reply.body);
      response_.prepare_payload();
    }
    Observe(reply);
    stream_.expires_after(server_.options.idle);
    bhttp::async_write(stream_, response_,
                       [self = shared_from_this()](beast::error_code error, std::size_t) { self->Done(error); });
  }

  void Observe(Reply& reply) {
    if (!server_.observer) return;
    try {
      server_.observer(request_, route_, Reply{reply.status, {}, {}, std::move(reply.refused)},
                       Clock::now() - started_);
    } catch (...) {
    }
  }

  // After the whole reply went out.
  void Done(beast::error_code error) {
    handling_ = false;
    if (error) return Close();
    if (!response_.keep_alive()) return Linger();
    Reset();
    ReadHeader();
  }

  // The header and the body at once, then each further piece as a chunk once
  // a worker made it: only one piece is held at a time.
  void Stream(Reply reply) {
    handling_ = true;  // a stop waits for the end of the reply
    more_ = std::move(reply.more);
    wait_ = std::move(reply.wait);
    if (wait_) response_.keep_alive(false);
    piece_ = std::move(reply.body);
    response_.chunked(true);
    Observe(reply);
    header_.emplace(response_);
    stream_.expires_after(server_.options.idle);
    bhttp::async_write_header(stream_, *header_, [self = shared_from_this()](beast::error_code error, std::size_t) {
      if (error || self->head_) return self->Done(error);  // HEAD: the header alone
      if (self->piece_.empty()) return self->NextPiece();
      self->WritePiece(false);
    });
  }

  void WritePiece(bool failed) {
    if (failed) return Close();  // cut short: the chunked body never ends, so the client sees it incomplete
    stream_.expires_after(server_.options.idle);
    if (piece_.empty()) {
      more_ = nullptr;
      header_.reset();
      const bool waited = static_cast<bool>(wait_);
      return asio::async_write(stream_, bhttp::make_chunk_last(),
                               [self = shared_from_this(), waited](beast::error_code error, std::size_t) {
                                 // A waiting stream's read of the client is still under way: no linger.
                                 if (waited) return self->Close();
                                 self->Done(error);
                               });
    }
    asio::async_write(stream_, bhttp::make_chunk(asio::buffer(piece_)),
                      [self = shared_from_this()](beast::error_code error, std::size_t) {
                        if (error) return self->Close();
                        self->NextPiece();
                      });
  }

  // The next piece of a waiting stream, given from whichever thread has it;
  // meanwhile a read of the client, which sends nothing on such a stream,
  // keeps the session alive and ends it when the client goes.
  void WaitPiece() {
    const std::uint64_t id = ++waitId_;
    waiting_ = true;
    stream_.expires_never();
    if (!watching_) {
      watching_ = true;
      stream_.async_read_some(buffer_.prepare(512),
                              [self = shared_from_this()](beast::error_code, std::size_t) { self->Close(); });
    }
    std::weak_ptr<Session> weak = shared_from_this();
    wait_([weak, id](std::string piece) {
      const auto self = weak.lock();
      if (!self) return;
      asio::post(self->stream_.get_executor(), [self, id, piece = std::move(piece)]() mutable {
        if (!self->waiting_ || self->waitId_ != id) return;
        self->waiting_ = false;
        self->piece_ = std::move(piece);
        self->WritePiece(false);
      });
    });
  }

  void NextPiece() {
    if (wait_) return WaitPiece();
    server_.workers.Post(request_.ip, [self = shared_from_this()] {
      bool failed = false;
      std::string piece;
      try {
        piece = self->more_();
      } catch (const std::exception& error) {
        std::cerr << "mailwarden: " << self->request_.path << " failed: " << error.what() << std::endl;
        failed = true;
      }
      asio::post(self->stream_.get_executor(), [self, failed, piece = std::move(piece)]() mutable {
        self->piece_ = std::move(piece);
        self->WritePiece(failed);
      });
    });
  }

  void Reset() {
    route_ = nullptr;
    head_ = false;
    header_.reset();
    more_ = nullptr;
    wait_ = nullptr;
    piece_.clear();
    started_ = {};
    request_ = {};
  }

  // After the last reply: stop sending, and read what the client still
  // sends (a refused upload's body) for a moment, so it reads the reply
  // instead of a reset connection.
  void Linger() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kLinger);
    Drain();
  }

  void Drain() {
    buffer_.consume(buffer_.size());
    stream_.async_read_some(buffer_.prepare(64 * 1024),
                            [self = shared_from_this()](beast::error_code error, std::size_t read) {
                              self->drained_ += read;
                              if (error || self->drained_ > kMaxDrain) return self->Close();
                              self->Drain();
                            });
  }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.socket().close(ignored);
  }

  Server::Impl& server_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<bhttp::request_parser<bhttp::string_body>> parser_;
  bhttp::response<bhttp::string_body> response_;
  // A reply sent in pieces: its header's writer, the maker of the pieces and the one being sent.
  std::optional<bhttp::response_serializer<bhttp::string_body>> header_;
  std::function<std::string()> more_;
  std::function<void(Reply::Give)> wait_;
  std::uint64_t waitId_ = 0;
  bool waiting_ = false;
  bool watching_ = false;
  std::string piece_;
  Request request_;
  const Route* route_ = nullptr;
  std::string ip_;
  bool loopback_ = false;
  bool keepAlive_ = false;
  bool handling_ = false;
  bool head_ = false;
  std::size_t drained_ = 0;
  Clock::time_point started_{};
};

void Server::Impl::Accept() {
  acceptor.async_accept(asio::make_strand(io), [this](beast::error_code error, tcp::socket socket) {
    if (stopping || !acceptor.is_open()) return;
    if (error) {
      if (options.acceptFailed) options.acceptFailed();
      if (!backingOff) std::cerr << "mailwarden: cannot take connections: " << error.message() << std::endl;
      backingOff = true;
      backOff.expires_after(kAcceptBackOff);
      backOff.async_wait([this](beast::error_code) {
        if (!stopping) Accept();
      });
      return;
    }
    backingOff = false;
    auto session = std::make_shared<Session>(*this, std::move(socket));
    if (Track(session)) session->Begin();
    Accept();
  });
}

bool Server::Impl::Track(const std::shared_ptr<Session>& session) {
  std::lock_guard lock(sessionsMutex);
  const std::string key = session->CapKey();
  const auto client = perClient.find(key);
  const std::size_t ofClient = key.empty() || client == perClient.end() ? 0 : client->second;
  // Refused: the session closes its socket as it goes.
  if (live.size() >= options.maxConnections || ofClient >= options.maxPerClient) return false;
  live.insert(session.get());
  if (!key.empty()) ++perClient[key];
  sessions.push_back(session);
  if (sessions.size() > 2 * live.size() + 64) {
    std::erase_if(sessions, [](const std::weak_ptr<Session>& s) { return s.expired(); });
  }
  return true;
}

void Server::Impl::Forget(Session* session) {
  std::lock_guard lock(sessionsMutex);
  if (live.erase(session) == 0) return;  // refused at the cap, never counted
  const std::string key = session->CapKey();
  if (auto found = perClient.find(key); found != perClient.end() && --found->second == 0) perClient.erase(found);
  if (live.empty()) sessionsGone.notify_all();
}

Server::Server(const Router& router, ServerOptions options, Observer observer)
    : impl_(std::make_unique<Impl>(router, std::move(options), std::move(observer))) {
  const ServerOptions& o = impl_->options;
  try {
    tcp::endpoint endpoint(asio::ip::make_address(o.host), static_cast<unsigned short>(o.port));
    impl_->acceptor.open(endpoint.protocol());
    impl_->acceptor.set_option(asio::socket_base::reuse_address(true));
    impl_->acceptor.bind(endpoint);
    impl_->acceptor.listen(asio::socket_base::max_listen_connections);
    impl_->port = impl_->acceptor.local_endpoint().port();
  } catch (const std::exception& error) {
    throw std::runtime_error("cannot listen on " + o.host + ":" + std::to_string(o.port) + ": " + error.what());
  }
}

Server::~Server() {
  Stop();
}

int Server::Port() const {
  return impl_->port;
}

std::string Server::Host() const {
  const std::string& host = impl_->options.host;
  return (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(impl_->port);
}

std::string Server::Url() const {
  return "http://" + Host() + "/";
}

void Server::Start() {
  if (impl_->started) return;
  impl_->started = true;
  impl_->busy.emplace(impl_->io.get_executor());
  impl_->Accept();
  for (int i = 0; i < std::max(1, impl_->options.networkThreads); ++i) {
    impl_->threads.emplace_back([this] { impl_->io.run(); });
  }
}

void Server::Stop() {
  Impl& s = *impl_;
  if (s.stopped) return;
  s.stopped = true;
  if (!s.started) {
    s.workers.Join();
    return;
  }
  s.stopping = true;
  // Closed on the network threads, and waited for: stopping them below could
  // otherwise drop the close, leaving the port listening with nobody to answer.
  std::promise<void> closed;
  asio::post(s.io, [&s, &closed] {
    beast::error_code ignored;
    s.acceptor.close(ignored);
    s.backOff.cancel();
    closed.set_value();
  });
  closed.get_future().wait();
  std::vector<std::shared_ptr<Session>> open;
  {
    std::lock_guard lock(s.sessionsMutex);
    for (auto& weak : s.sessions) {
      if (auto session = weak.lock()) open.push_back(std::move(session));
    }
  }
  for (auto& session : open) session->PostStop();
  open.clear();
  {
    std::unique_lock lock(s.sessionsMutex);
    s.sessionsGone.wait_for(lock, kStopGrace, [&] { return s.live.empty(); });
  }
  s.workers.Join();
  s.busy.reset();
  s.io.stop();
  for (std::thread& thread : s.threads) thread.join();
}

}  // namespace mailwarden::http
