// The asynchronous request of the stand-in transfer control: its states reach
// the add-in's thread through the pump, its reply is read whole in chunks.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "host/error.h"
#include "sim_net/test_form.h"
#include "sim_net/transfer_fixture.h"

namespace {

using host::sim::CurlInternet;
using host::sim::CurlTransfer;
using host::sim::EventPump;
namespace transfer_error = host::sim::transfer_error;
using simnet::TransferTest;
using testsupport::LoggedRequest;
using testsupport::LoopbackServer;
using testsupport::Reply;

const std::vector<std::int16_t> kCompleted{
    host::icConnecting,        host::icConnected,        host::icRequesting,       host::icRequestSent,
    host::icReceivingResponse, host::icResponseReceived, host::icResponseCompleted};

using Execute = TransferTest;

TEST_F(Execute, ALargeReplyIsReadWholeAfterTheStatesEndingInCompleted) {
  const std::string text = Pattern(1536 * 1024);
  server.Get("/big", Reply{200, text});
  transfer->Execute(server.Url("/big"), "GET", "", "");
  EXPECT_TRUE(transfer->StillExecuting());
  WaitUntilDone();

  EXPECT_EQ(states, kCompleted);
  EXPECT_TRUE(onPumpThread);
  EXPECT_EQ(ReadAll(), text);
  EXPECT_EQ(transfer->GetChunk(1024), "");
  EXPECT_EQ(transfer->ResponseCode(), 0);
  EXPECT_EQ(transfer->ResponseInfo(), "");
}

TEST_F(Execute, GetChunkHandsOutAtMostTheSizeAskedFor) {
  server.Get("/reply", Reply{200, Pattern(3000)});
  transfer->Execute(server.Url("/reply"), "GET", "", "");
  WaitUntilDone();
  EXPECT_EQ(transfer->GetChunk(0), "");
  std::vector<std::size_t> sizes;
  for (std::string chunk = transfer->GetChunk(1024); !chunk.empty(); chunk = transfer->GetChunk(1024))
    sizes.push_back(chunk.size());
  EXPECT_EQ(sizes, (std::vector<std::size_t>{1024, 1024, 952}));
}

TEST(ExecuteDelivery, StatesWaitInThePumpAndTheControlExecutesUntilTheLastIsDispatched) {
  LoopbackServer server;
  server.Get("/stamp", Reply{200, "qo;abc def"});
  auto pump = std::make_shared<EventPump>();
  CurlInternet internet(pump);
  auto transfer = internet.CreateTransfer();
  std::vector<std::int16_t> states;
  std::vector<bool> executing;
  auto events = transfer->OnStateChanged([&](std::int16_t state) {
    states.push_back(state);
    executing.push_back(transfer->StillExecuting());
  });

  transfer->Execute(server.Url("/stamp"), "GET", "", "");
  // The worker finishes and posts everything, but nothing runs until the pump does.
  while (pump->PendingCount() < kCompleted.size()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(states.empty());
  EXPECT_TRUE(transfer->StillExecuting());
  EXPECT_EQ(transfer->GetChunk(1024), "qo;abc def");  // the reply is there already

  pump->RunPending();
  EXPECT_EQ(states, kCompleted);
  EXPECT_FALSE(transfer->StillExecuting());
  // Executing during every state but the last one, whose handler may start the next request.
  EXPECT_EQ(executing, (std::vector<bool>{true, true, true, true, true, true, false}));
}

TEST_F(Execute, AFailureEndsInTheErrorStateWithTheControlsNumberAndText) {
  server.Get("/slow", [this](const LoggedRequest&) {
    clock.Advance(std::chrono::seconds(2));
    return Reply{200, "too late", "text/plain", testsupport::kUntilStopped};
  });
  const struct {
    std::string url;
    std::int32_t code;
  } cases[] = {
      {"http://127.0.0.1:" + std::to_string(LoopbackServer::UnusedPort()) + "/x", transfer_error::kCannotConnect},
      {server.Url("/slow"), transfer_error::kTimedOut},
  };
  transfer->SetRequestTimeout(1);
  for (const auto& [url, code] : cases) {
    states.clear();
    transfer->Execute(url, "GET", "", "");
    WaitUntilDone();
    ASSERT_FALSE(states.empty()) << url;
    EXPECT_EQ(states.front(), host::icConnecting) << url;
    EXPECT_EQ(states.back(), host::icError) << url;
    EXPECT_EQ(std::count(states.begin(), states.end(), host::icResponseCompleted), 0) << url;
    EXPECT_EQ(transfer->ResponseCode(), code) << url;
    EXPECT_EQ(transfer->ResponseInfo(), transfer_error::Text(code)) << url;
  }
}

TEST_F(Execute, ANewRequestForgetsTheLastErrorAndReply) {
  transfer->Execute("http://127.0.0.1:" + std::to_string(LoopbackServer::UnusedPort()) + "/x", "GET", "", "");
  WaitUntilDone();
  ASSERT_EQ(transfer->ResponseCode(), transfer_error::kCannotConnect);

  server.Get("/a", Reply{200, "first reply"});
  server.Get("/b", Reply{200, "second"});
  transfer->Execute(server.Url("/a"), "GET", "", "");
  EXPECT_EQ(transfer->ResponseCode(), 0);
  WaitUntilDone();
  EXPECT_EQ(transfer->GetChunk(5), "first");  // the rest is left unread
  transfer->Execute(server.Url("/b"), "GET", "", "");
  WaitUntilDone();
  EXPECT_EQ(ReadAll(), "second");
  EXPECT_EQ(transfer->ResponseInfo(), "");
}

TEST_F(Execute, AnErrorStatusCompletesWithItsBody) {
  server.Post("/cvx/upload", Reply{500, "<html>Internal Server Error</html>"});
  transfer->Execute(server.Url("/cvx/upload"), "POST", "x=1", "");
  WaitUntilDone();
  EXPECT_EQ(states.back(), host::icResponseCompleted);
  EXPECT_EQ(ReadAll(), "<html>Internal Server Error</html>");
  EXPECT_EQ(std::static_pointer_cast<CurlTransfer>(transfer)->HttpStatus(), 500);
  EXPECT_EQ(transfer->ResponseCode(), 0);
}

TEST_F(Execute, APostCarriesItsDataAndEveryHeaderLine) {
  server.Post("/cvx/upload", [](const LoggedRequest& request) { return Reply{200, "qo;" + request.body}; });
  std::string data = "from=a%40b.example&body=" + Pattern(200 * 1024);
  data[30] = '\0';  // the body is sent byte for byte
  transfer->Execute(server.Url("/cvx/upload"), "post", data,
                    "Content-Type: application/x-www-form-urlencoded\r\nX-Extra: one");
  WaitUntilDone();
  EXPECT_EQ(states.back(), host::icResponseCompleted);
  EXPECT_EQ(ReadAll(), "qo;" + data);
  ASSERT_EQ(server.RequestCount(), 1u);
  const auto request = server.Requests()[0];
  EXPECT_EQ(request.method, "POST");
  auto header = [&](const std::string& name) {
    auto found = request.headers.find(name);
    return found == request.headers.end() ? std::string("(none)") : found->second;
  };
  EXPECT_EQ(header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(header("X-Extra"), "one");
}

TEST_F(Execute, OneRequestAtATime) {
  server.Get("/slow", Reply{200, "done", "text/plain", std::chrono::milliseconds(300)});
  transfer->Execute(server.Url("/slow"), "GET", "", "");
  for (auto attempt : {0, 1}) {
    try {
      if (attempt == 0)
        transfer->Execute(server.Url("/slow"), "GET", "", "");
      else
        transfer->OpenURL(server.Url("/slow"));
      ADD_FAILURE() << "a second request started while executing";
    } catch (const host::Error& error) {
      EXPECT_EQ(error.code(), transfer_error::kStillExecuting);
      EXPECT_EQ(std::string(error.what()), "Still executing last request");
    }
  }
  WaitUntilDone();
  EXPECT_EQ(ReadAll(), "done");
  EXPECT_EQ(server.RequestCount(), 1u);
}

TEST_F(Execute, AnUnknownOperationIsRefusedAtOnce) {
  try {
    transfer->Execute(server.Url("/x"), "DELETE", "", "");
    FAIL() << "DELETE was accepted";
  } catch (const host::Error& error) {
    EXPECT_EQ(error.code(), transfer_error::kBadOperation);
  }
  EXPECT_FALSE(transfer->StillExecuting());
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(Execute, ASlowServerWhileTheUserClosesTheProgressDialog) {
  server.Get("/stamps", Reply{200, "qo;s1 s2 s3", "text/plain", std::chrono::milliseconds(400)});
  simnet::TestForm progress("dlgProgress");
  windowing.ShowModeless(progress);
  windowing.ScheduleClick("dlgProgress", "Close");
  transfer->Execute(server.Url("/stamps"), "GET", "", "");
  WaitUntilDone();

  EXPECT_EQ(states, kCompleted);
  EXPECT_EQ(ReadAll(), "qo;s1 s2 s3");
  EXPECT_EQ(progress.clicks, std::vector<std::string>{"Close"});  // pressed during the wait
  EXPECT_FALSE(progress.Loaded());
  // The wait slept until something arrived: a few wake-ups (events, safety intervals), not a spin.
  EXPECT_GE(windowing.WaitCalls(), 1u);
  EXPECT_LT(windowing.WaitCalls(), 1000u);
}

TEST_F(Execute, AnUnsubscribedHandlerHearsNothingMore) {
  server.Get("/x", Reply{200, "x"});
  std::vector<std::int16_t> second;
  auto other = transfer->OnStateChanged([&](std::int16_t state) {
    second.push_back(state);
    if (state == host::icConnected) events.reset();  // the first handler goes during dispatch
  });
  transfer->Execute(server.Url("/x"), "GET", "", "");
  WaitUntilDone();
  EXPECT_EQ(second, kCompleted);
  EXPECT_EQ(states, (std::vector<std::int16_t>{host::icConnecting, host::icConnected}));
}

TEST_F(Execute, DestroyingTheControlWhileItExecutesIsSafe) {
  server.Get("/slow", Reply{200, "never read", "text/plain", std::chrono::seconds(30)});
  transfer->Execute(server.Url("/slow"), "GET", "", "");
  // Let some states be posted first, so events for a dead control wait in the pump.
  while (!windowing.Pump()->Pending()) windowing.WaitForEvent();
  transfer.reset();
  windowing.DoEvents();
  windowing.DoEvents();
  EXPECT_TRUE(states.empty());
  events.reset();  // the subscription outlives its control
  server.Stop();
}

}  // namespace
