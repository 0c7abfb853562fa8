// The add-in thread's event pump: posted events run only inside DoEvents, on
// the thread that pumps.
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

#include "host/sim/windowing.h"

namespace {

using host::sim::SimWindowing;

TEST(Pump, PostedEventsRunOnlyInsideDoEventsInOrder) {
  SimWindowing windowing;
  std::vector<int> ran;
  windowing.Post([&] { ran.push_back(1); });
  windowing.Post([&] { ran.push_back(2); });
  EXPECT_TRUE(ran.empty());
  windowing.DoEvents();
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  windowing.DoEvents();
  EXPECT_EQ(ran.size(), 2u);
}

TEST(Pump, EventsPostedWhileRunningWaitForTheNextRound) {
  SimWindowing windowing;
  int ran = 0;
  windowing.Post([&] {
    ++ran;
    windowing.Post([&] { ++ran; });
  });
  windowing.DoEvents();
  EXPECT_EQ(ran, 1);
  windowing.DoEvents();
  EXPECT_EQ(ran, 2);
}

TEST(Pump, EventsFromAnotherThreadRunOnThePumpingThread) {
  SimWindowing windowing;
  std::thread::id ranOn;
  std::thread poster([&] { windowing.Post([&] { ranOn = std::this_thread::get_id(); }); });
  poster.join();
  // WaitForEvent returns once the event is queued; it runs only in DoEvents.
  windowing.WaitForEvent();
  EXPECT_TRUE(windowing.Pump()->Pending());
  windowing.DoEvents();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(Pump, WaitForEventWakesForAnEventPostedWhileWaiting) {
  SimWindowing windowing;
  bool ran = false;
  std::thread poster([&] { windowing.Post([&] { ran = true; }); });
  // Without an event the wait ends after its safety interval, so the loop ends either way.
  while (!windowing.Pump()->Pending()) windowing.WaitForEvent();
  poster.join();
  windowing.DoEvents();
  EXPECT_TRUE(ran);
}

TEST(Pump, AnEventThatThrowsLeavesTheRestQueued) {
  SimWindowing windowing;
  std::vector<int> ran;
  windowing.Post([&] { ran.push_back(1); });
  windowing.Post([] { throw std::runtime_error("handler failed"); });
  windowing.Post([&] { ran.push_back(3); });
  EXPECT_THROW(windowing.DoEvents(), std::runtime_error);
  EXPECT_EQ(ran, std::vector<int>{1});
  windowing.DoEvents();
  EXPECT_EQ(ran, (std::vector<int>{1, 3}));
}

}  // namespace
