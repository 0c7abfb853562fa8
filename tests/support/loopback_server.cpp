#include "support/loopback_server.h"

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <stdexcept>
#include <thread>

namespace testsupport {

struct LoopbackServer::Impl {
  httplib::Server server;
  std::thread thread;

  mutable std::mutex mutex;
  std::condition_variable stopping;
  bool stopped = false;
  std::map<std::string, Handler> gets;
  std::map<std::string, Handler> posts;
  std::vector<LoggedRequest> log;

  void Answer(const std::map<std::string, Handler>& handlers, const httplib::Request& request, std::string body,
              httplib::Response& response) {
    LoggedRequest logged;
    logged.method = request.method;
    logged.path = request.path;
    const auto question = request.target.find('?');
    if (question != std::string::npos) logged.query = request.target.substr(question + 1);
    logged.params.insert(request.params.begin(), request.params.end());
    logged.headers.insert(request.headers.begin(), request.headers.end());
    logged.body = std::move(body);
    if (request.get_header_value("Content-Type").rfind("application/x-www-form-urlencoded", 0) == 0) {
      httplib::Params form;
      httplib::detail::parse_query_text(logged.body, form);
      logged.params.insert(form.begin(), form.end());
    }

    Handler handler;
    {
      std::lock_guard lock(mutex);
      log.push_back(logged);
      if (auto found = handlers.find(request.path); found != handlers.end()) handler = found->second;
    }
    Reply reply{404, "", "text/plain", std::chrono::milliseconds(0)};
    if (handler) reply = handler(logged);
    if (reply.delay.count() > 0) {
      std::unique_lock lock(mutex);
      stopping.wait_for(lock, reply.delay, [this] { return stopped; });
    }
    response.status = reply.status;
    response.set_content(reply.body, reply.contentType.c_str());
  }
};

LoopbackServer::LoopbackServer() : impl_(std::make_unique<Impl>()) {
  impl_->server.Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    impl_->Answer(impl_->gets, request, request.body, response);
  });
  // Read through a content reader: httplib refuses a form body over 8 KB when it reads one itself.
  impl_->server.Post(
      ".*", [this](const httplib::Request& request, httplib::Response& response, const httplib::ContentReader& reader) {
        std::string body;
        reader([&body](const char* data, std::size_t size) {
          body.append(data, size);
          return true;
        });
        impl_->Answer(impl_->posts, request, std::move(body), response);
      });
  port_ = impl_->server.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("The loopback server cannot listen on 127.0.0.1");
  impl_->thread = std::thread([this] { impl_->server.listen_after_bind(); });
  // A stop before the loop runs would leave it running forever.
  while (!impl_->server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

LoopbackServer::~LoopbackServer() {
  Stop();
}

void LoopbackServer::Stop() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopped = true;
  }
  impl_->stopping.notify_all();
  impl_->server.stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

void LoopbackServer::Get(const std::string& path, Reply reply) {
  Get(path, [reply](const LoggedRequest&) { return reply; });
}

void LoopbackServer::Get(const std::string& path, Handler handler) {
  std::lock_guard lock(impl_->mutex);
  impl_->gets[path] = std::move(handler);
}

void LoopbackServer::Post(const std::string& path, Reply reply) {
  Post(path, [reply](const LoggedRequest&) { return reply; });
}

void LoopbackServer::Post(const std::string& path, Handler handler) {
  std::lock_guard lock(impl_->mutex);
  impl_->posts[path] = std::move(handler);
}

std::string LoopbackServer::HostPort() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::string LoopbackServer::Url(const std::string& pathAndQuery) const {
  return "http://" + HostPort() + pathAndQuery;
}

std::vector<LoggedRequest> LoopbackServer::Requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->log;
}

std::size_t LoopbackServer::RequestCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->log.size();
}

void LoopbackServer::ClearRequests() {
  std::lock_guard lock(impl_->mutex);
  impl_->log.clear();
}

int LoopbackServer::UnusedPort() {
  // Bind to port 0, read the port the system chose, and close without listening.
  const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0) throw std::runtime_error("No socket for an unused port");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(sock, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(sock);
    throw std::runtime_error("Cannot find an unused port on 127.0.0.1");
  }
  ::close(sock);
  return ntohs(address.sin_port);
}

}  // namespace testsupport
