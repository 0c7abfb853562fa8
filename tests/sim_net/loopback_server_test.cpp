// The loopback server fixture that the other tests talk to.
#include <gtest/gtest.h>

#include <thread>

#include "host/error.h"
#include "sim_net/transfer_fixture.h"

namespace {

using simnet::TransferTest;
using testsupport::LoggedRequest;
using testsupport::LoopbackServer;
using testsupport::Reply;

using LoopbackServerTest = TransferTest;

TEST_F(LoopbackServerTest, ListensOnLoopbackOnly) {
  EXPECT_EQ(server.HostPort(), "127.0.0.1:" + std::to_string(server.Port()));
  EXPECT_GT(server.Port(), 0);
  EXPECT_EQ(server.Url("/a?b=c"), "http://" + server.HostPort() + "/a?b=c");
}

TEST_F(LoopbackServerTest, AnUnknownPathIsNotFoundAndLogged) {
  EXPECT_EQ(transfer->OpenURL(server.Url("/nothing?x=1")), "");
  EXPECT_EQ(std::static_pointer_cast<host::sim::CurlTransfer>(transfer)->HttpStatus(), 404);
  ASSERT_EQ(server.RequestCount(), 1u);
  EXPECT_EQ(server.Requests()[0].path, "/nothing");
  EXPECT_EQ(server.Requests()[0].query, "x=1");
  server.ClearRequests();
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(LoopbackServerTest, QueryAndFormParametersArriveUnescaped) {
  server.Post("/form", [](const LoggedRequest&) { return Reply{200, "ok"}; });
  const std::string big(20000, 'z');  // larger than httplib takes in one form body by itself
  transfer->Execute(server.Url("/form?who=a%40b.example"), "POST", "subject=Hello%20there&big=" + big,
                    "Content-Type: application/x-www-form-urlencoded");
  WaitUntilDone();
  EXPECT_EQ(ReadAll(), "ok");
  ASSERT_EQ(server.RequestCount(), 1u);
  const auto params = server.Requests()[0].params;
  auto value = [&](const std::string& name) {
    auto found = params.find(name);
    return found == params.end() ? std::string("(none)") : found->second;
  };
  EXPECT_EQ(value("who"), "a@b.example");
  EXPECT_EQ(value("subject"), "Hello there");
  EXPECT_EQ(value("big"), big);
}

TEST_F(LoopbackServerTest, ALaterHandlerReplacesAnEarlierOne) {
  server.Get("/x", Reply{200, "old"});
  server.Get("/x", [](const LoggedRequest& request) { return Reply{200, "new " + request.method}; });
  EXPECT_EQ(transfer->OpenURL(server.Url("/x")), "new GET");
}

TEST(LoopbackServerStop, StoppingCutsADelayedReplyShort) {
  LoopbackServer server;
  server.Get("/slow", Reply{200, "late", "text/plain", std::chrono::hours(1)});
  host::sim::SimWindowing windowing;
  host::sim::CurlInternet internet(windowing);
  auto transfer = internet.CreateTransfer();
  transfer->Execute(server.Url("/slow"), "GET", "", "");
  while (server.RequestCount() == 0) windowing.WaitForEvent();
  server.Stop();  // would wait an hour if the delay were not cut short
  while (transfer->StillExecuting()) {
    windowing.WaitForEvent();
    windowing.DoEvents();
  }
  EXPECT_EQ(server.RequestCount(), 1u);
}

TEST(LoopbackServerPorts, AnUnusedPortRefusesConnections) {
  const int port = LoopbackServer::UnusedPort();
  EXPECT_GT(port, 0);
  host::sim::SimWindowing windowing;
  host::sim::CurlInternet internet(windowing);
  EXPECT_THROW(internet.CreateTransfer()->OpenURL("http://127.0.0.1:" + std::to_string(port) + "/"), host::Error);
}

}  // namespace
