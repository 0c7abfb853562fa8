// The misbehaving server fixture: each misbehaviour reaches the stand-in
// transfer control as the failure it stands for.
#include "support/faulty_server.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/error.h"
#include "host/sim/transfer.h"
#include "host/sim/windowing.h"
#include "support/manual_clock.h"

namespace {

using testsupport::FaultyServer;
using testsupport::RawAnswer;
using testsupport::RawRequest;
namespace transfer_error = host::sim::transfer_error;

class FaultyServerTest : public ::testing::Test {
 protected:
  // The error number OpenURL fails with, 0 when it does not fail.
  std::int32_t FailureOf(const std::string& pathAndQuery) {
    try {
      transfer->OpenURL(Url(pathAndQuery));
    } catch (const host::Error& e) {
      return e.code();
    }
    return 0;
  }

  std::string Url(const std::string& pathAndQuery) const { return "http://" + server.HostPort() + pathAndQuery; }

  testsupport::ManualClock clock;
  RawAnswer answer;
  // A silence lasts past every time-out once the request is in.
  FaultyServer server{[this](const RawRequest&) {
    if (answer.kind == RawAnswer::Kind::kSilence) clock.Advance(testsupport::kPastEveryTimeOut);
    return answer;
  }};
  host::sim::SimWindowing windowing;
  host::sim::CurlInternet internet{windowing, clock.Reader()};
  std::shared_ptr<host::Transfer> transfer = internet.CreateTransfer();
};

TEST_F(FaultyServerTest, RepliesWithAnyBytesWholeAndLogsTheRequest) {
  std::string bytes(3 * 1024 * 1024, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 256);
  answer.body = bytes;
  EXPECT_EQ(transfer->OpenURL(Url("/p/x.php?a=%20b")), bytes);

  answer = RawAnswer{RawAnswer::Kind::kReply, 500, "qx;down"};
  transfer->Execute(Url("/p/y.php"), "POST", "one=1&two=2", "Content-Type: application/x-www-form-urlencoded");
  while (transfer->StillExecuting()) {
    windowing.WaitForEvent();
    windowing.DoEvents();
  }
  EXPECT_EQ(transfer->GetChunk(100), "qx;down");
  EXPECT_EQ(std::static_pointer_cast<host::sim::CurlTransfer>(transfer)->HttpStatus(), 500);

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].path, "/p/x.php");
  EXPECT_EQ(requests[0].query, "a=%20b");
  EXPECT_EQ(requests[1].method, "POST");
  EXPECT_EQ(requests[1].body, "one=1&two=2");
}

TEST_F(FaultyServerTest, ACutReplyFailsTheTransfer) {
  answer = RawAnswer{RawAnswer::Kind::kCutShort, 200, "qo;abc"};
  EXPECT_EQ(FailureOf("/cut"), transfer_error::kConnectionFailed);
}

TEST_F(FaultyServerTest, SilenceLastsUntilTheClientGivesUp) {
  answer.kind = RawAnswer::Kind::kSilence;
  EXPECT_EQ(FailureOf("/silent"), transfer_error::kTimedOut);
  // The server is free again for the next request.
  answer = RawAnswer{RawAnswer::Kind::kReply, 200, "qo;1"};
  EXPECT_EQ(transfer->OpenURL(Url("/after")), "qo;1");
}

TEST_F(FaultyServerTest, RefusesUntilItListensAgainOnTheSamePort) {
  answer = RawAnswer{RawAnswer::Kind::kReply, 200, "qo;last", true};
  EXPECT_EQ(transfer->OpenURL(Url("/first")), "qo;last");
  EXPECT_EQ(FailureOf("/second"), transfer_error::kCannotConnect);

  server.ListenAgain();
  answer.thenRefuse = false;
  EXPECT_EQ(transfer->OpenURL(Url("/third")), "qo;last");

  server.Refuse();
  EXPECT_EQ(FailureOf("/fourth"), transfer_error::kCannotConnect);
  EXPECT_EQ(server.Requests().size(), 2u);
}

}  // namespace
