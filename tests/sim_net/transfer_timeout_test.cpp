// RequestTimeout is a time without any data moving, and a running request
// follows the value in force: the progress dialog sets 5 seconds on every
// state change, after the upload started with 60000. Both ways of asking, the
// blocking GET and the asynchronous request, behave alike. The servers move
// the controls' clock on themselves, so no outcome depends on how fast the
// machine is.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "host/error.h"
#include "sim_net/transfer_fixture.h"

namespace {

namespace transfer_error = host::sim::transfer_error;
using simnet::TransferTest;
using testsupport::LoggedRequest;
using testsupport::Reply;

enum class Way { OpenUrl, Execute };

void PrintTo(Way way, std::ostream* out) {
  *out << (way == Way::OpenUrl ? "OpenURL" : "Execute");
}

// What a request ended with: an error number (0 for none) and the body.
struct Outcome {
  std::int32_t code = 0;
  std::string body;
};

class RequestTimeout : public TransferTest, public ::testing::WithParamInterface<Way> {
 protected:
  Outcome Fetch(const std::string& url) {
    if (GetParam() == Way::OpenUrl) {
      try {
        return {0, transfer->OpenURL(url)};
      } catch (const host::Error& error) {
        EXPECT_EQ(std::string(error.what()), transfer_error::Text(error.code()));
        return {error.code(), ""};
      }
    }
    transfer->Execute(url, "GET", "", "");
    WaitUntilDone();
    if (transfer->ResponseCode() != 0) {
      EXPECT_EQ(states.back(), host::icError);
      EXPECT_EQ(transfer->ResponseInfo(), transfer_error::Text(transfer->ResponseCode()));
      return {transfer->ResponseCode(), ""};
    }
    return {0, ReadAll()};
  }

  // As the request arrives the server posts an event that sets the control's
  // time-out to newTimeout, waits until it has run, keeps silent for two
  // seconds of the clock and answers after delay.
  void ServeAndChange(std::int32_t newTimeout, std::chrono::milliseconds delay) {
    server.Get("/slow", [this, delay, newTimeout](const LoggedRequest&) {
      auto changed = std::make_shared<simnet::Signal>();
      windowing.Post([this, newTimeout, changed] {
        transfer->SetRequestTimeout(newTimeout);
        changed->Set();
      });
      EXPECT_TRUE(changed->WaitFor(simnet::kHold)) << "the event did not run during the request";
      clock.Advance(std::chrono::seconds(2));
      return Reply{200, "answered", "text/plain", delay};
    });
  }
};

TEST_P(RequestTimeout, LoweredDuringTheRequestEndsItWithTheTimeOutError) {
  transfer->SetRequestTimeout(60000);
  ServeAndChange(1, testsupport::kUntilStopped);
  const Outcome outcome = Fetch(server.Url("/slow"));
  EXPECT_EQ(outcome.code, transfer_error::kTimedOut);
  EXPECT_EQ(transfer->RequestTimeout(), 1);
}

TEST_P(RequestTimeout, RaisedOrLiftedDuringTheRequestLetsASlowReplyIn) {
  for (std::int32_t raised : {5, 0}) {
    states.clear();
    transfer->SetRequestTimeout(1);
    ServeAndChange(raised, std::chrono::milliseconds(0));
    const Outcome outcome = Fetch(server.Url("/slow"));
    EXPECT_EQ(outcome.code, 0) << raised;
    EXPECT_EQ(outcome.body, "answered") << raised;
  }
}

TEST_P(RequestTimeout, CountsFromTheLastDataNotFromTheStart) {
  // A reply trickling in, a piece every 0.6 s for 3 s, never silent for a
  // second: each piece goes once the one before has arrived.
  const auto received = [this] { return std::static_pointer_cast<host::sim::CurlTransfer>(transfer)->BytesReceived(); };
  httplib::Server trickle;
  trickle.Get("/trickle", [&](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("text/plain", [&](std::size_t offset, httplib::DataSink& sink) {
      const auto giveUp = std::chrono::steady_clock::now() + simnet::kHold;
      while (received() < offset && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      if (offset >= 5 * 6) {
        sink.done();
        return true;
      }
      clock.Advance(std::chrono::milliseconds(600));
      return sink.write("piece ", 6);
    });
  });
  const int port = trickle.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread serving([&] { trickle.listen_after_bind(); });
  while (!trickle.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  transfer->SetRequestTimeout(1);
  const Outcome outcome = Fetch("http://127.0.0.1:" + std::to_string(port) + "/trickle");
  trickle.stop();
  serving.join();
  EXPECT_EQ(outcome.code, 0);
  EXPECT_EQ(outcome.body, "piece piece piece piece piece ");
}

INSTANTIATE_TEST_SUITE_P(Ways, RequestTimeout, ::testing::Values(Way::OpenUrl, Way::Execute),
                         [](const auto& testInfo) { return testInfo.param == Way::OpenUrl ? "OpenUrl" : "Execute"; });

}  // namespace
