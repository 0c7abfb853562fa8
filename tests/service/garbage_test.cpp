// Requests no add-in would send: the service answers them and keeps serving.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "service_fixture.h"

namespace service_test {
namespace {

using namespace corvanta::protocol;

// Sends raw bytes on a fresh connection and returns whatever comes back.
std::string RawExchange(int port, const std::string& bytes) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    ::shutdown(fd, SHUT_WR);
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, n);
  }
  ::close(fd);
  return reply;
}

TEST_F(ServiceTest, GarbageQueriesAreAnsweredWithoutACrash) {
  const std::string queries[] = {
      "%",
      "&&&==&",
      "fromAddy",
      "fromAddy=%ZZ",
      "=%",
      "fromAddy=\x01\x02\xFF&toAddy=%00&toName=%00&subject=&curDate=&curTime=&hash=%00",
      "fromAddy=a&toAddy=" + std::string(3000, ' ') + "&toName=" + std::string(3000, ' ') +
          "&subject=&curDate=2003-06-25&curTime=17:05:09&hash=AAAAAAAAAA",
      "hash=" + std::string(5000, 'A'),
  };
  for (const char* path : {kCreditPath, kStampPath, kTrackPath, kCertifiedPath}) {
    for (const std::string& query : queries) {
      httplib::Result result = Get(path, query);
      ASSERT_TRUE(result) << path << "?" << query;
      EXPECT_LT(result->status, 500) << path << "?" << query;
    }
  }
  EXPECT_EQ(AskCredit("ann@example.com"), "qo;100");
}

TEST_F(ServiceTest, GarbageBodiesAndMethodsAreAnsweredWithoutACrash) {
  for (const std::string& body : {std::string(100, '%'), std::string(3000, '\0'), std::string("&=&=%2")}) {
    httplib::Result result = Post(kUploadPath, body);
    ASSERT_TRUE(result);
    EXPECT_TRUE(result->body.starts_with("qx;")) << result->body;
  }
  httplib::Result tooBig = Post(kUploadPath, std::string(2 << 20, 'a'));
  ASSERT_TRUE(tooBig);
  EXPECT_EQ(tooBig->status, 413);

  httplib::Result get = Get(kUploadPath, "");
  ASSERT_TRUE(get);
  EXPECT_EQ(get->body, "qx;The upload must be posted.");

  httplib::Result longTarget = Get(kStampPath, std::string(20000, 'a'));
  ASSERT_TRUE(longTarget);
  EXPECT_GE(longTarget->status, 400);

  EXPECT_FALSE(RawExchange(server_->Port(), "NONSENSE\r\n\r\n").starts_with("qo;"));
  RawExchange(server_->Port(), std::string("GET /p/b01/marlo.php?email=%\xFF HTTP/1.1\r\nHost: x\r\n\r\n"));
  RawExchange(server_->Port(), "POST /p/b01/forsel.php HTTP/1.1\r\nContent-Length: 999999\r\n\r\nfromAddy=");
  RawExchange(server_->Port(), "POST /p/b01/forsel.php HTTP/1.1\r\nContent-Length: -5\r\n\r\n");
  RawExchange(server_->Port(), "");

  EXPECT_EQ(AskCredit("ann@example.com"), "qo;100");
}

}  // namespace
}  // namespace service_test
