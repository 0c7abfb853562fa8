// The transfer control on WinINet against a loopback server: the blocking
// GET, the asynchronous request whose states arrive on this thread through
// the message pump, the reply read whole in chunks, HTTP error statuses,
// refused connections and time-outs.
#include "host/win32/transfer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "host/error.h"
#include "host/win32/module.h"
#include "host/win32/windowing.h"
#include "test_support.h"

namespace corvanta_test {
namespace {

std::string Pattern(std::size_t n) {
  const char* alphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string text(n, ' ');
  for (std::size_t i = 0; i < n; ++i) text[i] = alphabet[(i * 7 + i / 36) % 36];
  return text;
}

class Transfer : public ::testing::Test {
 protected:
  std::string Url(const std::string& path) { return "http://127.0.0.1:" + std::to_string(port_) + path; }
  std::string RefusedUrl() { return "http://127.0.0.1:" + std::to_string(refusedPort_) + "/text?n=5"; }

  // Pumps messages, sleeping between rounds, until the transfer is done (bounded).
  void WaitForEnd(host::Transfer& transfer) {
    for (int round = 0; round < 400 && transfer.StillExecuting(); ++round) {
      windowing_.DoEvents();
      if (transfer.StillExecuting()) windowing_.WaitForEvent();
    }
    ASSERT_FALSE(transfer.StillExecuting());
  }

  std::string ReadAll(host::Transfer& transfer) {
    std::string reply;
    for (std::string chunk = transfer.GetChunk(1024); !chunk.empty(); chunk = transfer.GetChunk(1024)) {
      EXPECT_LE(chunk.size(), 1024u);
      reply += chunk;
    }
    return reply;
  }

  int port_ = EnvironmentNumber("CORVANTA_TEST_HTTP_PORT");
  int refusedPort_ = EnvironmentNumber("CORVANTA_TEST_REFUSED_PORT");
  host::win32::Windowing windowing_;
  host::win32::Transfer transfer_;
};

TEST_F(Transfer, StartsWithTheControlsDefaults) {
  EXPECT_EQ(transfer_.RequestTimeout(), 60);
  EXPECT_FALSE(transfer_.StillExecuting());
  EXPECT_EQ(transfer_.GetChunk(1024), "");
}

TEST_F(Transfer, OpenUrlReturnsTheWholeDocument) {
  EXPECT_EQ(transfer_.OpenURL(Url("/text?n=10")), Pattern(10));
  EXPECT_EQ(transfer_.OpenURL(Url("/text?n=300000")), Pattern(300000));
}

TEST_F(Transfer, OpenUrlReturnsTheBodyOfAnErrorStatus) {
  EXPECT_EQ(transfer_.OpenURL(Url("/status/500")), "qx;server trouble");
  EXPECT_EQ(transfer_.OpenURL(Url("/nowhere")), "not found");
}

struct OpenUrlFailure {
  const char* name;
  bool refused;  // else the server never answers
  std::int32_t code;
  std::int32_t wineCode;  // Wine reports a receive time-out as an aborted connection (12030)
};

class TransferFailure : public Transfer, public ::testing::WithParamInterface<OpenUrlFailure> {};

TEST_P(TransferFailure, OpenUrlRaisesTheInternetError) {
  transfer_.SetRequestTimeout(1);
  try {
    transfer_.OpenURL(GetParam().refused ? RefusedUrl() : Url("/slow"));
    FAIL() << "no error";
  } catch (const host::Error& error) {
    EXPECT_TRUE(error.code() == GetParam().code || error.code() == GetParam().wineCode) << error.code();
    EXPECT_STRNE(error.what(), "");
  }
}

TEST_P(TransferFailure, ExecuteEndsInTheErrorStateWithTheErrorsNumberAndText) {
  transfer_.SetRequestTimeout(1);
  std::vector<std::int16_t> states;
  auto subscription = transfer_.OnStateChanged([&](std::int16_t state) { states.push_back(state); });
  transfer_.Execute(GetParam().refused ? RefusedUrl() : Url("/slow"), "GET", "", "");
  WaitForEnd(transfer_);
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.back(), host::icError);
  EXPECT_TRUE(transfer_.ResponseCode() == GetParam().code || transfer_.ResponseCode() == GetParam().wineCode)
      << transfer_.ResponseCode();
  EXPECT_NE(transfer_.ResponseInfo(), "");
  EXPECT_EQ(transfer_.GetChunk(1024), "");
}

INSTANTIATE_TEST_SUITE_P(Failures, TransferFailure,
                         ::testing::Values(OpenUrlFailure{"Refused", true, 12029, 12029},
                                           OpenUrlFailure{"TimedOut", false, 12002, 12030}),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(Transfer, ExecuteRunsAsynchronouslyAndReportsOnThisThread) {
  std::vector<std::int16_t> states;
  std::vector<DWORD> threads;
  bool executingAtTheEnd = false;
  auto subscription = transfer_.OnStateChanged([&](std::int16_t state) {
    states.push_back(state);
    threads.push_back(GetCurrentThreadId());
    if (state == host::icResponseCompleted) executingAtTheEnd = transfer_.StillExecuting();
  });
  transfer_.Execute(Url("/echo"), "POST", "a=1&b=two", "Content-Type: application/x-www-form-urlencoded\r\n");
  EXPECT_TRUE(transfer_.StillExecuting());
  EXPECT_TRUE(states.empty());  // nothing arrives until the pump runs
  EXPECT_THROW(transfer_.Execute(Url("/echo"), "POST", "", ""), host::Error);

  WaitForEnd(transfer_);
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.back(), host::icResponseCompleted);
  EXPECT_TRUE(executingAtTheEnd) << "StillExecuting must hold until the final event has been handled";
  for (DWORD thread : threads) EXPECT_EQ(thread, GetCurrentThreadId());
  EXPECT_EQ(ReadAll(transfer_), "qo;POST|application/x-www-form-urlencoded|a=1&b=two");
  EXPECT_EQ(transfer_.ResponseCode(), 0);
}

TEST_F(Transfer, ALargeReplyIsReadWholeInChunks) {
  transfer_.Execute(Url("/text?n=250000"), "GET", "", "");
  WaitForEnd(transfer_);
  EXPECT_EQ(ReadAll(transfer_), Pattern(250000));
}

TEST_F(Transfer, AnErrorStatusCompletesWithItsBody) {
  std::vector<std::int16_t> states;
  auto subscription = transfer_.OnStateChanged([&](std::int16_t state) { states.push_back(state); });
  transfer_.Execute(Url("/status/500"), "GET", "", "");
  WaitForEnd(transfer_);
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.back(), host::icResponseCompleted);
  EXPECT_EQ(ReadAll(transfer_), "qx;server trouble");
}

TEST_F(Transfer, AHandlerSettingTheTimeOutOnEveryStateIsFine) {
  auto subscription = transfer_.OnStateChanged([&](std::int16_t) { transfer_.SetRequestTimeout(5); });
  transfer_.Execute(Url("/text?n=100"), "GET", "", "");
  WaitForEnd(transfer_);
  EXPECT_EQ(transfer_.RequestTimeout(), 5);
  EXPECT_EQ(ReadAll(transfer_), Pattern(100));
}

TEST_F(Transfer, ADroppedSubscriptionHearsNothingMore) {
  int heard = 0;
  auto subscription = transfer_.OnStateChanged([&](std::int16_t) { ++heard; });
  subscription.reset();
  transfer_.Execute(Url("/text?n=5"), "GET", "", "");
  WaitForEnd(transfer_);
  EXPECT_EQ(heard, 0);
}

TEST_F(Transfer, DestroyedWhileExecutingLeavesNothingOfItsOwnBehind) {
  LONG before = host::win32::LiveObjects();
  auto transfer = std::make_unique<host::win32::Transfer>();
  transfer->SetRequestTimeout(30);
  transfer->Execute(Url("/slow"), "GET", "", "");
  EXPECT_EQ(host::win32::LiveObjects(), before + 1);
  transfer.reset();  // cancels the request and waits for its thread
  windowing_.DoEvents();
  EXPECT_EQ(host::win32::LiveObjects(), before);
}

}  // namespace
}  // namespace corvanta_test
