#pragma once
// An HTTP client of a service on 127.0.0.1 for tests. Its time-outs only bound
// a hang: a sanitizer build on a busy machine may take seconds over what takes
// milliseconds, and httplib's own 5 s would then fail a sound request.
#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace testsupport {

inline httplib::Client LoopbackClient(int port) {
  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(60);
  client.set_read_timeout(60);
  client.set_write_timeout(60);
  return client;
}

// A connection to 127.0.0.1:port is refused: nothing listens there.
inline bool NothingListens(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool refused = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0;
  ::close(fd);
  return refused;
}

}  // namespace testsupport
