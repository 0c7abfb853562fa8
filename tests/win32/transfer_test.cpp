// The transfer control on WinINet against a loopback server: the blocking
// GET, which keeps this thread's window messages flowing while it waits, the
// asynchronous request whose states arrive on this thread through the
// message pump, the reply read whole in chunks, HTTP error statuses, refused
// connections and time-outs that follow RequestTimeout as it changes.
#include "host/win32/transfer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
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

  // Pumps messages, sleeping between rounds, until the transfer is done or
  // limitMs have passed.
  void WaitForEnd(host::Transfer& transfer, DWORD limitMs = 100000) {
    const DWORD start = GetTickCount();
    while (transfer.StillExecuting() && GetTickCount() - start < limitMs) {
      windowing_.DoEvents();
      if (transfer.StillExecuting()) windowing_.WaitForEvent();
    }
    ASSERT_FALSE(transfer.StillExecuting()) << "still executing after " << limitMs << " ms";
  }

  // Once a request given up has ended alone (where closing its handles does
  // not end a blocked call at once, as under Wine), nothing of the control
  // is left.
  void ExpectNothingLeft(LONG before) {
    const DWORD start = GetTickCount();
    while (host::win32::LiveObjects() != before && GetTickCount() - start < 20000) {
      windowing_.DoEvents();
      Sleep(50);
    }
    EXPECT_EQ(host::win32::LiveObjects(), before);
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

// A stamp request's query may hold 2,000 characters and its signature 82 more,
// beyond what INTERNET_MAX_URL_LENGTH allows a whole URL; longer ones go whole too.
TEST_F(Transfer, OpenUrlSendsALongQueryWhole) {
  for (std::size_t length : {std::size_t{2082}, std::size_t{6000}}) {
    std::string query = "fromAddy=ann%40example%2Eorg&subject=";
    query.resize(length, 'x');
    EXPECT_EQ(transfer_.OpenURL(Url("/query?" + query)), query) << length;
  }
}

TEST_F(Transfer, OpenUrlReturnsTheBodyOfAnErrorStatus) {
  EXPECT_EQ(transfer_.OpenURL(Url("/status/500")), "qx;server trouble");
  EXPECT_EQ(transfer_.OpenURL(Url("/nowhere")), "not found");
}

struct OpenUrlFailure {
  const char* name;
  bool refused;  // else the server never answers
  // The time-out is the control's own, so it is 12002 under Wine too.
  std::int32_t code;
};

class TransferFailure : public Transfer, public ::testing::WithParamInterface<OpenUrlFailure> {};

TEST_P(TransferFailure, OpenUrlRaisesTheInternetError) {
  transfer_.SetRequestTimeout(1);
  try {
    transfer_.OpenURL(GetParam().refused ? RefusedUrl() : Url("/slow"));
    FAIL() << "no error";
  } catch (const host::Error& error) {
    EXPECT_EQ(error.code(), GetParam().code);
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
  EXPECT_EQ(transfer_.ResponseCode(), GetParam().code);
  EXPECT_NE(transfer_.ResponseInfo(), "");
  EXPECT_EQ(transfer_.GetChunk(1024), "");
}

INSTANTIATE_TEST_SUITE_P(Failures, TransferFailure,
                         ::testing::Values(OpenUrlFailure{"Refused", true, 12029},
                                           OpenUrlFailure{"TimedOut", false, 12002}),
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

TEST_F(Transfer, ALargeUploadGoesWhole) {
  const std::string data = "content=" + Pattern(100000);
  transfer_.Execute(Url("/echo"), "POST", data, "Content-Type: application/x-www-form-urlencoded");
  WaitForEnd(transfer_);
  EXPECT_EQ(ReadAll(transfer_), "qo;POST|application/x-www-form-urlencoded|" + data);
}

// A window of this thread whose procedure runs an action for kPoked.
constexpr UINT kPoked = WM_APP + 7;

class TestWindow {
 public:
  explicit TestWindow(std::function<void()> action) : action_(std::move(action)) {
    window_ = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    system_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
  }
  ~TestWindow() { DestroyWindow(window_); }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  void Poke() { PostMessageA(window_, kPoked, 0, 0); }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == kPoked && self) {
      self->action_();
      return 0;
    }
    return CallWindowProcA(self ? self->system_ : DefWindowProcA, window, message, wParam, lParam);
  }

  std::function<void()> action_;
  HWND window_ = nullptr;
  WNDPROC system_ = nullptr;
};

TEST_F(Transfer, OpenUrlHandlesWindowMessagesWhileTheServerTakesItsTime) {
  DWORD handledAt = 0;
  bool executing = false;
  TestWindow window([&] {
    handledAt = GetTickCount();
    executing = transfer_.StillExecuting();
  });
  std::thread user([&] {
    Sleep(200);
    window.Poke();
  });
  EXPECT_EQ(transfer_.OpenURL(Url("/delay?ms=1000&n=12")), Pattern(12));
  const DWORD returnedAt = GetTickCount();
  user.join();
  ASSERT_NE(handledAt, 0u) << "the message waited until OpenURL had returned";
  EXPECT_TRUE(executing);
  // Handled as it came, not once the reply was in.
  EXPECT_GE(returnedAt - handledAt, 500u);
  EXPECT_FALSE(transfer_.StillExecuting());
}

TEST_F(Transfer, AMessageDuringOpenUrlMayUseAnotherControlButNotThisOne) {
  std::vector<std::int32_t> refusals;
  std::string inner;
  host::win32::Transfer other;
  TestWindow window([&] {
    for (int attempt : {0, 1}) {
      try {
        if (attempt == 0)
          transfer_.OpenURL(Url("/text?n=3"));
        else
          transfer_.Execute(Url("/text?n=3"), "GET", "", "");
      } catch (const host::Error& error) {
        refusals.push_back(error.code());
      }
    }
    inner = other.OpenURL(Url("/delay?ms=200&n=4"));
  });
  window.Poke();
  EXPECT_EQ(transfer_.OpenURL(Url("/delay?ms=600&n=5")), Pattern(5));
  EXPECT_EQ(refusals, (std::vector<std::int32_t>{35764, 35764}));
  EXPECT_EQ(inner, Pattern(4));
}

TEST_F(Transfer, AControlDestroyedDuringItsOpenUrlGivesTheRequestUp) {
  const LONG before = host::win32::LiveObjects();
  auto transfer = std::make_unique<host::win32::Transfer>();
  host::win32::Transfer* control = transfer.get();
  TestWindow window([&] { transfer.reset(); });
  window.Poke();
  try {
    control->OpenURL(Url("/delay?ms=3000&n=5"));
    FAIL() << "no error";
  } catch (const host::Error& error) {
    EXPECT_EQ(error.code(), 12017);
  }
  EXPECT_EQ(transfer, nullptr);
  ExpectNothingLeft(before);
}

TEST_F(Transfer, AQuitMessageSeenDuringOpenUrlStaysForTheThreadsOwnLoop) {
  PostQuitMessage(7);
  EXPECT_EQ(transfer_.OpenURL(Url("/delay?ms=300&n=6")), Pattern(6));
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 7u);
}

// The server never answers: only the time-out, lowered during the request,
// can end it, long before the server gives up (two minutes).
TEST_F(Transfer, OpenUrlFollowsATimeOutLoweredWhileItWaits) {
  transfer_.SetRequestTimeout(60000);
  TestWindow window([&] { transfer_.SetRequestTimeout(1); });
  window.Poke();
  try {
    transfer_.OpenURL(Url("/slow"));
    FAIL() << "no error";
  } catch (const host::Error& error) {
    EXPECT_EQ(error.code(), 12002);
    EXPECT_STRNE(error.what(), "");
  }
  EXPECT_EQ(transfer_.ResponseCode(), 12002);
}

TEST_F(Transfer, ExecuteFollowsATimeOutLoweredByItsStateHandler) {
  // As the progress dialog does: 5 seconds on every state change, after the upload asked for 60000.
  transfer_.SetRequestTimeout(60000);
  std::vector<std::int16_t> states;
  auto subscription = transfer_.OnStateChanged([&](std::int16_t state) {
    states.push_back(state);
    transfer_.SetRequestTimeout(1);
  });
  transfer_.Execute(Url("/slow"), "GET", "", "");
  WaitForEnd(transfer_, 20000);
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states.back(), host::icError);
  EXPECT_EQ(transfer_.ResponseCode(), 12002);
  EXPECT_NE(transfer_.ResponseInfo(), "");
}

TEST_F(Transfer, DestroyedWhileExecutingLeavesNothingOfItsOwnBehind) {
  LONG before = host::win32::LiveObjects();
  auto transfer = std::make_unique<host::win32::Transfer>();
  transfer->SetRequestTimeout(30);
  transfer->Execute(Url("/delay?ms=3000&n=5"), "GET", "", "");
  EXPECT_EQ(host::win32::LiveObjects(), before + 2);  // its window and its worker
  transfer.reset();                                   // gives the request up without waiting for the server
  ExpectNothingLeft(before);
}

}  // namespace
}  // namespace corvanta_test
