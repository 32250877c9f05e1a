#include "platform/events.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace {

class VirtualClock : public ::testing::Test {
 protected:
  void SetUp() override { platform::useVirtualClock(); }
  void TearDown() override { platform::useRealClock(); }
};

TEST_F(VirtualClock, TimersTickAtTheirIntervals) {
  std::vector<std::pair<char, int64_t>> ticks;
  int64_t start = platform::nowMs();
  platform::Timer fast(200, [&] { ticks.push_back({'f', platform::nowMs() - start}); });
  platform::Timer slow(1000, [&] { ticks.push_back({'s', platform::nowMs() - start}); });
  platform::run(1000);
  std::vector<std::pair<char, int64_t>> expected = {{'f', 200}, {'f', 400}, {'f', 600}, {'f', 800}, {'f', 1000}, {'s', 1000}};
  EXPECT_EQ(ticks, expected);
  EXPECT_EQ(platform::nowMs() - start, 1000);
}

TEST_F(VirtualClock, DisabledTimersAndZeroIntervalsDoNotTick) {
  int count = 0;
  platform::Timer timer(100, [&] { ++count; }, false);
  platform::run(500);
  EXPECT_EQ(count, 0);
  timer.setEnabled(true);
  platform::run(250);
  EXPECT_EQ(count, 2);
  timer.setInterval(0);
  EXPECT_TRUE(timer.enabled());
  platform::run(500);
  EXPECT_EQ(count, 2);
  timer.setInterval(100);
  platform::run(100);
  EXPECT_EQ(count, 3);
}

TEST_F(VirtualClock, HandlersNestThroughDoEvents) {
  // A long job inside a timer handler lets the timer run again inside itself, as the worker's jobs do;
  // the handler limits its own depth.
  int depth = 0, maxDepth = 0, calls = 0;
  platform::Timer* self = nullptr;
  platform::Timer timer(200, [&] {
    ++calls;
    ++depth;
    maxDepth = std::max(maxDepth, depth);
    if (depth < 4) {
      for (int step = 0; step < 3; ++step) {
        platform::sleepMs(150);
        platform::doEvents();
      }
    }
    --depth;
  });
  self = &timer;
  platform::run(200);
  EXPECT_EQ(maxDepth, 4);
  EXPECT_GT(calls, 4);
  EXPECT_TRUE(self->enabled());
}

TEST_F(VirtualClock, SleepAdvancesTheClockAtOnceAndRunsNothing) {
  int count = 0;
  platform::Timer timer(10, [&] { ++count; });
  uint32_t before = platform::tickCount();
  platform::sleepMs(2600);
  EXPECT_EQ(platform::tickCount() - before, 2600u);
  EXPECT_EQ(count, 0);
  platform::doEvents();
  EXPECT_EQ(count, 1);  // one overdue tick, not 260 of them
}

TEST_F(VirtualClock, ATimerMayStopOrDestroyItselfInItsHandler) {
  int count = 0;
  std::unique_ptr<platform::Timer> timer;
  timer = std::make_unique<platform::Timer>(100, [&] {
    ++count;
    timer.reset();
  });
  platform::run(1000);
  EXPECT_EQ(count, 1);
}

TEST_F(VirtualClock, RunUntilStopsWhenDoneOrWhenNothingCanHappen) {
  int count = 0;
  {
    platform::Timer timer(100, [&] { ++count; });
    EXPECT_TRUE(platform::runUntil([&] { return count == 7; }, 10'000));
    EXPECT_FALSE(platform::runUntil([&] { return count == 0; }, 300));
  }
  int64_t before = platform::nowMs();
  EXPECT_FALSE(platform::runUntil([] { return false; }, -1));  // no timer, nothing posted
  EXPECT_EQ(platform::nowMs(), before);
}

TEST(RealClock, WorkPostedFromAnotherThreadRunsOnTheLoop) {
  std::thread::id ranOn;
  bool done = false;
  std::thread worker([&] { platform::post([&] { ranOn = std::this_thread::get_id(); done = true; }); });
  EXPECT_TRUE(platform::runUntil([&] { return done; }, 5000));
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(RealClock, QuitEndsRun) {
  platform::Timer timer(5, [] { platform::quit(); });
  int64_t before = platform::nowMs();
  platform::run(10'000);
  EXPECT_LT(platform::nowMs() - before, 5000);
}

}  // namespace
