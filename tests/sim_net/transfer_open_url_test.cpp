// The blocking GET of the stand-in transfer control.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "host/error.h"
#include "sim_net/transfer_fixture.h"

namespace {

using host::sim::CurlTransfer;
namespace transfer_error = host::sim::transfer_error;
using simnet::kHold;
using simnet::Signal;
using simnet::TransferTest;
using testsupport::LoggedRequest;
using testsupport::LoopbackServer;
using testsupport::Reply;

using OpenUrl = TransferTest;

TEST_F(OpenUrl, ReturnsTheWholeReplyAndPostsNoEvents) {
  const std::string text = Pattern(300 * 1024);
  server.Get("/cvx/toua.txt", Reply{200, text});
  EXPECT_EQ(transfer->OpenURL(server.Url("/cvx/toua.txt")), text);
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].method, "GET");
  EXPECT_FALSE(windowing.Pump()->Pending());
  EXPECT_FALSE(transfer->StillExecuting());
}

TEST_F(OpenUrl, SendsTheQueryAsWritten) {
  server.Get("/cvx/credit", [](const LoggedRequest& request) { return Reply{200, "qo;" + request.query}; });
  EXPECT_EQ(transfer->OpenURL(server.Url("/cvx/credit?a=b%20c&h=XyZ")), "qo;a=b%20c&h=XyZ");
}

TEST_F(OpenUrl, AnErrorStatusStillReturnsTheBody) {
  struct Case {
    int status;
    std::string body;
  };
  for (const auto& [status, body] :
       {Case{404, "<html>Not Found</html>"}, Case{500, "qx;server trouble"}, Case{503, ""}}) {
    server.Get("/page", Reply{status, body});
    EXPECT_EQ(transfer->OpenURL(server.Url("/page")), body) << status;
    EXPECT_EQ(std::static_pointer_cast<CurlTransfer>(transfer)->HttpStatus(), status);
  }
}

struct FailureCase {
  std::string name;
  std::int32_t code;
};

TEST_F(OpenUrl, FailuresThrowTheControlsErrorNumberAndText) {
  server.Get("/slow", [this](const LoggedRequest&) {
    clock.Advance(std::chrono::seconds(2));
    return Reply{200, "too late", "text/plain", testsupport::kUntilStopped};
  });
  transfer->SetRequestTimeout(1);
  const struct {
    std::string url;
    std::int32_t code;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(LoopbackServer::UnusedPort()) + "/x", transfer_error::kCannotConnect},
      {server.Url("/slow"), transfer_error::kTimedOut},
      {"", transfer_error::kBadUrl},
      {"ftp://127.0.0.1:21/file", transfer_error::kBadUrl},
  };
  for (const auto& [url, code] : cases) {
    try {
      transfer->OpenURL(url);
      ADD_FAILURE() << "no error for " << url;
    } catch (const host::Error& error) {
      EXPECT_EQ(error.code(), code) << url;
      EXPECT_EQ(std::string(error.what()), transfer_error::Text(code)) << url;
    }
  }
}

TEST_F(OpenUrl, TheTimeOutIsInSecondsWithTheControlsDefault) {
  EXPECT_EQ(transfer->RequestTimeout(), 60);
  transfer->SetRequestTimeout(10);
  EXPECT_EQ(transfer->RequestTimeout(), 10);
  EXPECT_THROW(transfer->SetRequestTimeout(-1), host::Error);
  EXPECT_EQ(transfer->RequestTimeout(), 10);
  EXPECT_EQ(internet.CreateTransfer()->RequestTimeout(), 60);  // each control has its own
}

TEST_F(OpenUrl, NewControlsStartWithTheInternetsDefaultTimeOut) {
  internet.SetDefaultRequestTimeout(2);
  EXPECT_EQ(internet.CreateTransfer()->RequestTimeout(), 2);
  EXPECT_EQ(transfer->RequestTimeout(), 60);  // made before: unchanged
  EXPECT_THROW(internet.SetDefaultRequestTimeout(-1), host::Error);
  EXPECT_EQ(internet.CreateTransfer()->RequestTimeout(), 2);
}

// While the service answers, OpenURL runs the window events of its thread.
// The server posts an event and holds its reply until the event has run, so a
// blocking OpenURL would return with it unrun.

TEST_F(OpenUrl, AnEventPostedDuringTheRequestRunsBeforeItReturns) {
  Signal ran, answered;
  bool beforeTheReply = false;
  bool executingInEvent = false;
  std::thread::id ranOn;
  server.Get("/cvx/credit", [&](const LoggedRequest&) {
    windowing.Post([&] {
      ranOn = std::this_thread::get_id();
      beforeTheReply = !answered.IsSet();
      executingInEvent = transfer->StillExecuting();
      ran.Set();
    });
    ran.WaitFor(kHold);
    answered.Set();
    return Reply{200, "qo;7"};
  });
  EXPECT_EQ(transfer->OpenURL(server.Url("/cvx/credit")), "qo;7");
  EXPECT_TRUE(ran.IsSet());
  EXPECT_TRUE(beforeTheReply);
  EXPECT_EQ(ranOn, testThread);
  EXPECT_TRUE(executingInEvent);
  EXPECT_FALSE(transfer->StillExecuting());
  EXPECT_FALSE(windowing.Pump()->Pending());
  EXPECT_TRUE(states.empty());  // OpenURL reports no state changes
}

TEST_F(OpenUrl, AnEventMayWaitOnAnotherControlButThisOneRefusesASecondRequest) {
  Signal innerRan, innerAnswered, outerRan, outerAnswered;
  bool innerBeforeItsReply = false, outerBeforeItsReply = false;
  std::vector<std::int32_t> refusals;
  std::string inner;
  server.Get("/inner", [&](const LoggedRequest&) {
    // Runs inside the nested wait of the other control.
    windowing.Post([&] {
      innerBeforeItsReply = !innerAnswered.IsSet();
      innerRan.Set();
    });
    innerRan.WaitFor(kHold);
    innerAnswered.Set();
    return Reply{200, "inner reply"};
  });
  server.Get("/outer", [&](const LoggedRequest&) {
    windowing.Post([&] {
      for (int attempt : {0, 1}) {
        try {
          if (attempt == 0)
            transfer->OpenURL(server.Url("/inner"));
          else
            transfer->Execute(server.Url("/inner"), "GET", "", "");
        } catch (const host::Error& error) {
          refusals.push_back(error.code());
          EXPECT_EQ(std::string(error.what()), transfer_error::Text(transfer_error::kStillExecuting));
        }
      }
      inner = internet.CreateTransfer()->OpenURL(server.Url("/inner"));
      outerBeforeItsReply = !outerAnswered.IsSet();
      outerRan.Set();
    });
    outerRan.WaitFor(kHold);
    outerAnswered.Set();
    return Reply{200, "outer reply"};
  });
  EXPECT_EQ(transfer->OpenURL(server.Url("/outer")), "outer reply");
  EXPECT_EQ(refusals, (std::vector<std::int32_t>{transfer_error::kStillExecuting, transfer_error::kStillExecuting}));
  EXPECT_EQ(inner, "inner reply");
  EXPECT_TRUE(innerBeforeItsReply);
  EXPECT_TRUE(outerBeforeItsReply);
  EXPECT_EQ(server.RequestCount(), 2u);
  EXPECT_TRUE(states.empty());
}

// The server holds the request until the test releases it, and notes whether
// it answered; the test waits for that before it
// ends, so the server is done with it.
struct HeldRequest {
  Signal released;
  Signal answered;

  void Release() {
    released.Set();
    answered.WaitFor(kHold);
  }
};

TEST_F(OpenUrl, AnEventThatThrowsGivesTheRequestUpAndTheExceptionGoesOn) {
  HeldRequest held;
  server.Get("/slow", [&](const LoggedRequest&) {
    windowing.Post([] { throw std::runtime_error("a handler failed"); });
    held.released.WaitFor(kHold);
    held.answered.Set();
    return Reply{200, "too late"};
  });
  try {
    transfer->OpenURL(server.Url("/slow"));
    ADD_FAILURE() << "the event's exception was lost";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "a handler failed");
  }
  EXPECT_FALSE(held.answered.IsSet()) << "OpenURL waited for the reply";
  held.Release();
  EXPECT_FALSE(transfer->StillExecuting());
  server.Get("/next", Reply{200, "next"});
  EXPECT_EQ(transfer->OpenURL(server.Url("/next")), "next");
}

TEST_F(OpenUrl, AnEventThatDestroysTheControlEndsItsRequestWithAnError) {
  HeldRequest held;
  server.Get("/slow", [&](const LoggedRequest&) {
    windowing.Post([&] { transfer.reset(); });
    held.released.WaitFor(kHold);
    held.answered.Set();
    return Reply{200, "too late"};
  });
  host::Transfer* control = transfer.get();
  try {
    control->OpenURL(server.Url("/slow"));
    ADD_FAILURE() << "no error";
  } catch (const host::Error& error) {
    EXPECT_EQ(error.code(), transfer_error::kConnectionFailed);
  }
  EXPECT_EQ(transfer, nullptr);
  EXPECT_FALSE(held.answered.IsSet()) << "OpenURL waited for the reply";
  held.Release();
}

TEST(ErrorTexts, EveryNumberHasItsOwnText) {
  const std::int32_t codes[] = {transfer_error::kBadUrl,       transfer_error::kCannotConnect,
                                transfer_error::kHostNotFound, transfer_error::kConnectionFailed,
                                transfer_error::kTimedOut,     transfer_error::kStillExecuting,
                                transfer_error::kBadOperation, transfer_error::kInvalidValue};
  std::set<std::string> texts;
  for (auto code : codes) texts.insert(transfer_error::Text(code));
  EXPECT_EQ(texts.size(), std::size(codes));
  EXPECT_EQ(transfer_error::Text(transfer_error::kTimedOut), "Request timed out");
  EXPECT_EQ(transfer_error::Text(transfer_error::kStillExecuting), "Still executing last request");
}

}  // namespace
