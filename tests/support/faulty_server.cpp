#include "support/faulty_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace testsupport {

namespace {

enum class Got { kData, kClosed, kStopping };

const char* Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The Content-Length of a request head, 0 without one.
std::size_t ContentLength(const std::string& head) {
  const std::string lower = Lower(head);
  const auto at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  try {
    return std::stoul(lower.substr(at + 17));
  } catch (const std::exception&) {
    return 0;
  }
}

RawRequest ParseHead(const std::string& head) {
  RawRequest request;
  const auto lineEnd = head.find("\r\n");
  const std::string line = head.substr(0, lineEnd);
  const auto firstBlank = line.find(' ');
  const auto secondBlank = line.find(' ', firstBlank + 1);
  request.method = line.substr(0, firstBlank);
  const std::string target = line.substr(firstBlank + 1, secondBlank - firstBlank - 1);
  const auto question = target.find('?');
  request.path = target.substr(0, question);
  if (question != std::string::npos) request.query = target.substr(question + 1);
  return request;
}

}  // namespace

struct FaultyServer::Impl {
  int port = 0;
  int listenFd = -1;  // touched by the server's thread only, once it runs
  int wakeRead = -1;
  int wakeWrite = -1;
  std::thread thread;

  mutable std::mutex mutex;
  std::condition_variable done;
  Responder responder;
  std::vector<RawRequest> log;
  bool stopping = false;
  // Work for the server's thread: only it opens and closes the listening socket.
  std::deque<std::function<void()>> commands;
  std::uint64_t queued = 0;
  std::uint64_t finished = 0;

  void OpenListener() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("The faulty server has no socket");
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ::close(fd);
      throw std::runtime_error("The faulty server cannot listen on 127.0.0.1:" + std::to_string(port));
    }
    port = ntohs(address.sin_port);
    listenFd = fd;
  }

  void CloseListener() {
    if (listenFd >= 0) ::close(listenFd);
    listenFd = -1;
  }

  void Wake() const {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(wakeWrite, &byte, 1);
  }

  // Runs on the caller's thread; returns once the server's thread has done it.
  void Run(std::function<void()> command) {
    std::unique_lock lock(mutex);
    commands.push_back(std::move(command));
    const std::uint64_t ticket = ++queued;
    Wake();
    done.wait(lock, [&] { return finished >= ticket; });
  }

  // On the server's thread, when the wake pipe is readable: runs the queued
  // commands; false when the server is stopping.
  bool OnWake() {
    char drain[64];
    while (::read(wakeRead, drain, sizeof drain) > 0) {
    }
    std::deque<std::function<void()>> pending;
    {
      std::lock_guard lock(mutex);
      pending.swap(commands);
    }
    for (auto& command : pending) command();
    std::lock_guard lock(mutex);
    finished += pending.size();
    done.notify_all();
    return !stopping;
  }

  // Waits for the connection to become readable (or writable), minding the wake pipe.
  Got Await(int conn, short events) {
    for (;;) {
      pollfd fds[2] = {{conn, events, 0}, {wakeRead, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return Got::kClosed;
      }
      if (fds[1].revents != 0 && !OnWake()) return Got::kStopping;
      if (fds[0].revents != 0) return Got::kData;
    }
  }

  Got ReadMore(int conn, std::string& data) {
    for (;;) {
      const Got got = Await(conn, POLLIN);
      if (got != Got::kData) return got;
      char buffer[16384];
      const auto received = ::recv(conn, buffer, sizeof buffer, 0);
      if (received > 0) {
        data.append(buffer, static_cast<std::size_t>(received));
        return Got::kData;
      }
      if (received < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
      return Got::kClosed;
    }
  }

  Got Write(int conn, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const auto wrote = ::send(conn, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (wrote > 0) {
        sent += static_cast<std::size_t>(wrote);
        continue;
      }
      if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        const Got got = Await(conn, POLLOUT);
        if (got != Got::kData) return got;
        continue;
      }
      return Got::kClosed;
    }
    return Got::kData;
  }

  // Until the client closes its end (or the server stops).
  Got WaitForClose(int conn) {
    std::string ignored;
    Got got;
    while ((got = ReadMore(conn, ignored)) == Got::kData) ignored.clear();
    return got;
  }

  // One request and its answer; kStopping when the server stops meanwhile.
  Got Serve(int conn) {
    std::string data;
    std::size_t headEnd;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
      if (const Got got = ReadMore(conn, data); got != Got::kData) return got;
    }
    const std::string head = data.substr(0, headEnd);
    RawRequest request = ParseHead(head);
    const std::size_t length = ContentLength(head);
    std::string body = data.substr(headEnd + 4);
    while (body.size() < length) {
      if (const Got got = ReadMore(conn, body); got != Got::kData) return got;
    }
    request.body = std::move(body);

    Responder current;
    {
      std::lock_guard lock(mutex);
      log.push_back(request);
      current = responder;
    }
    RawAnswer answer;
    try {
      answer = current ? current(request) : RawAnswer{RawAnswer::Kind::kReply, 404, "", false};
    } catch (const std::exception& e) {
      answer = RawAnswer{RawAnswer::Kind::kReply, 500, std::string("The test's responder failed: ") + e.what()};
    }
    // Closed before anything goes out: the client cannot reach us again in between.
    if (answer.thenRefuse) CloseListener();

    if (answer.kind == RawAnswer::Kind::kSilence) return WaitForClose(conn);
    const std::size_t promised =
        answer.kind == RawAnswer::Kind::kCutShort ? answer.body.size() + 1000 : answer.body.size();
    const std::string headers = "HTTP/1.1 " + std::to_string(answer.status) + " " + Reason(answer.status) +
                                "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(promised) +
                                "\r\nConnection: close\r\n\r\n";
    if (const Got got = Write(conn, headers + answer.body); got != Got::kData) return got;
    // Our end first; the client sees the end of the reply (or of a cut one) and closes its own.
    ::shutdown(conn, SHUT_WR);
    return WaitForClose(conn);
  }

  void Loop() {
    for (;;) {
      pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeRead, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[1].revents != 0) {
        if (!OnWake()) return;
        continue;  // the listening socket may have changed
      }
      if (listenFd < 0 || fds[0].revents == 0) continue;
      const int conn = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (conn < 0) continue;
      const Got got = Serve(conn);
      ::close(conn);
      if (got == Got::kStopping) return;
    }
  }
};

FaultyServer::FaultyServer(Responder responder) : impl_(std::make_unique<Impl>()) {
  impl_->responder = std::move(responder);
  int pipeFds[2];
  if (::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0) throw std::runtime_error("The faulty server has no pipe");
  impl_->wakeRead = pipeFds[0];
  impl_->wakeWrite = pipeFds[1];
  try {
    impl_->OpenListener();
  } catch (...) {
    ::close(impl_->wakeRead);
    ::close(impl_->wakeWrite);
    throw;
  }
  port_ = impl_->port;
  impl_->thread = std::thread([this] { impl_->Loop(); });
}

FaultyServer::~FaultyServer() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->Wake();
  impl_->thread.join();
  impl_->CloseListener();
  ::close(impl_->wakeRead);
  ::close(impl_->wakeWrite);
}

void FaultyServer::SetResponder(Responder responder) {
  std::lock_guard lock(impl_->mutex);
  impl_->responder = std::move(responder);
}

void FaultyServer::Refuse() {
  impl_->Run([this] { impl_->CloseListener(); });
}

void FaultyServer::ListenAgain() {
  std::string failure;
  impl_->Run([this, &failure] {
    if (impl_->listenFd >= 0) return;
    try {
      impl_->OpenListener();
    } catch (const std::exception& e) {
      failure = e.what();
    }
  });
  if (!failure.empty()) throw std::runtime_error(failure);
}

std::string FaultyServer::HostPort() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::vector<RawRequest> FaultyServer::Requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->log;
}

}  // namespace testsupport
