#include "demoSystem/DemoClock.h"

#include <gtest/gtest.h>

namespace {

// Microsecond ticks, so the millisecond truncation of the clock shows.
struct ClockFixture : testing::Test {
  ManualCounter counter{1000000};
  DemoClock clock{&counter};
  void advanceMs(int64_t ms) { counter.advanceMs(ms); }
};

using DemoClockTest = ClockFixture;

TEST_F(DemoClockTest, ReadsElapsedMillisecondsTruncated) {
  EXPECT_EQ(clock.now(), 0u);
  counter.advance(1999);  // 1.999 ms
  EXPECT_EQ(clock.now(), 1u);
  counter.advance(1);
  EXPECT_EQ(clock.now(), 2u);
}

TEST_F(DemoClockTest, BaseOffsetReadRightAfterRestart) {
  advanceMs(777);
  clock.setBaseOffset(5000);
  clock.restart();
  EXPECT_EQ(clock.now(), 5000u);
  advanceMs(40);
  EXPECT_EQ(clock.now(), 5040u);
}

TEST_F(DemoClockTest, SeekBackwardAtZeroDoesNothing) {
  clock.seekBy(-10);
  EXPECT_EQ(clock.seekOffset(), 0);
  EXPECT_EQ(clock.now(), 0u);
  advanceMs(3);
  EXPECT_EQ(clock.now(), 3u);
}

TEST_F(DemoClockTest, SeekBelowZeroClampsTheReadingButKeepsTheOffset) {
  advanceMs(5);
  clock.seekBy(-10);
  EXPECT_EQ(clock.seekOffset(), -10);
  EXPECT_EQ(clock.now(), 0u);
  advanceMs(15);
  EXPECT_EQ(clock.now(), 10u);
  clock.seekBy(250);
  EXPECT_EQ(clock.now(), 260u);
  clock.clearSeek();
  EXPECT_EQ(clock.now(), 20u);
}

TEST_F(DemoClockTest, ForwardSeekAtZeroIsTaken) {
  clock.seekBy(100);
  EXPECT_EQ(clock.now(), 100u);
}

TEST_F(DemoClockTest, PauseFreezesTheReadingAndThePausedIntervalDoesNotCount) {
  clock.setBaseOffset(1000);
  advanceMs(1234);
  clock.setPaused(true);  // no reading since the restart: the freeze is at the pause itself
  EXPECT_EQ(clock.now(), 2234u);
  advanceMs(3000);
  EXPECT_EQ(clock.now(), 2234u);
  clock.setPaused(false);
  EXPECT_EQ(clock.now(), 2234u);
  advanceMs(10);
  EXPECT_EQ(clock.now(), 2244u);
}

TEST_F(DemoClockTest, SeeksApplyWhilePaused) {
  advanceMs(500);
  clock.setPaused(true);
  clock.seekBy(-200);
  EXPECT_EQ(clock.now(), 300u);
  clock.seekBy(1000);
  advanceMs(60);
  EXPECT_EQ(clock.now(), 1300u);
}

TEST_F(DemoClockTest, PausingTwiceKeepsTheFirstPause) {
  advanceMs(100);
  clock.setPaused(true);
  advanceMs(500);
  clock.setPaused(true);
  advanceMs(500);
  clock.setPaused(false);
  EXPECT_EQ(clock.now(), 100u);
  clock.setPaused(false);  // resuming a running clock does not jump
  EXPECT_EQ(clock.now(), 100u);
}

TEST_F(DemoClockTest, SetTimeWhilePausedReadsThatTimeUntilResumedAndContinuesFromIt) {
  clock.setBaseOffset(700);
  advanceMs(2000);
  clock.setPaused(true);
  advanceMs(1500);
  clock.setTime(12000);
  EXPECT_EQ(clock.baseOffset(), 0);
  EXPECT_EQ(clock.now(), 12000u);
  advanceMs(4000);
  EXPECT_EQ(clock.now(), 12000u);
  clock.setPaused(false);
  EXPECT_EQ(clock.now(), 12000u);
  advanceMs(25);
  EXPECT_EQ(clock.now(), 12025u);
}

TEST_F(DemoClockTest, SetTimeWhileRunningCountsOnFromThatTime) {
  advanceMs(9000);
  clock.seekBy(300);
  clock.clearSeek();
  clock.setTime(4000);
  EXPECT_EQ(clock.now(), 4000u);
  advanceMs(1);
  EXPECT_EQ(clock.now(), 4001u);
}

TEST_F(DemoClockTest, RestartWhilePausedResumesFromTheNewStart) {
  advanceMs(800);
  clock.setPaused(true);
  advanceMs(200);
  clock.setBaseOffset(3000);
  clock.restart();
  EXPECT_EQ(clock.now(), 3000u);
  advanceMs(100);
  clock.setPaused(false);
  EXPECT_EQ(clock.now(), 3000u);
  advanceMs(5);
  EXPECT_EQ(clock.now(), 3005u);
}

TEST_F(DemoClockTest, ReadingBeyondTwoToThe31WrapsNegativeAndReadsZero) {
  clock.setBaseOffset(int64_t{1} << 31);
  EXPECT_EQ(clock.now(), 0u);
  clock.setBaseOffset((int64_t{1} << 31) - 1);
  EXPECT_EQ(clock.now(), 0x7fffffffu);
}

TEST(DemoClockFrameCounter, FrameCountDrivesTheClockAtIOver1000PerFps) {
  ManualCounter frames(30);
  DemoClock clock(&frames);
  clock.setBaseOffset(2000);
  clock.restart();
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(clock.now(), 2000u + static_cast<uint32_t>(i * 1000 / 30)) << "frame " << i;
    frames.advance(1);
  }
}

TEST(DemoClockPerformanceCounter, DefaultCounterRunsForward) {
  DemoClock clock;
  EXPECT_GT(clock.counter().frequency(), 0);
  const uint32_t first = clock.now();
  EXPECT_GE(clock.now(), first);
  EXPECT_LT(first, 1000u);
}

}  // namespace

TEST(DemoClockCoarseCounter, SetTimeBetweenTwoTicksReadsThatTimeAndCountsOnByTicks) {
  // 20 ticks per second, as a capture at 20 frames per second drives it.
  ManualCounter frames(20);
  DemoClock clock(&frames);
  frames.advance(3);
  clock.setTime(15360);
  EXPECT_EQ(clock.now(), 15360u);
  frames.advance(1);
  EXPECT_EQ(clock.now(), 15410u);
  clock.setPaused(true);
  clock.setTime(1234);
  frames.advance(5);
  EXPECT_EQ(clock.now(), 1234u);
  clock.setPaused(false);
  frames.advance(1);
  EXPECT_EQ(clock.now(), 1284u);
}
