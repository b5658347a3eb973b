#include "base/FrameRateCounter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// Microsecond ticks moved by hand.
struct FrameRateCounterTest : testing::Test {
  ManualCounter ticks{1000000};
  FrameRateCounter counter{&ticks};

  void frames(int n, int64_t usPerFrame) {
    for (int i = 0; i < n; ++i) {
      counter.tick();
      ticks.advance(usPerFrame);
    }
  }
};

TEST_F(FrameRateCounterTest, TheFirstRateComesOnTheLastFrameOfTheBatch) {
  counter.configure(100, false, "unused.txt");
  frames(99, 10000);
  EXPECT_EQ(counter.framesInBatch(), 99);
  EXPECT_FLOAT_EQ(counter.maxFps(), 0.0f);  // nothing measured yet
  EXPECT_FLOAT_EQ(counter.minFps(), 10000.0f);
  counter.tick();  // 100th: 99 frame intervals of 10 ms = 990 ms since the batch began
  EXPECT_EQ(counter.framesInBatch(), 0);
  EXPECT_NEAR(counter.maxFps(), 100.0f / 0.99f, 0.01f);
  EXPECT_FLOAT_EQ(counter.minFps(), counter.maxFps());
}

TEST_F(FrameRateCounterTest, TheNextBatchStartsItsClockOnTheFollowingTick) {
  counter.configure(2, false, "unused.txt");
  frames(2, 500000);  // one batch; the clock now stands 1 s after its start
  ticks.advance(7000000);  // a long pause before the next frame
  counter.tick();          // first frame of the new batch: its clock starts here
  EXPECT_EQ(counter.elapsedMs(), 0u);
  ticks.advance(250000);
  EXPECT_EQ(counter.elapsedMs(), 250u);
  counter.tick();
  EXPECT_NEAR(counter.maxFps(), 8.0f, 1e-4f);  // 2 frames in 250 ms
  EXPECT_NEAR(counter.minFps(), 4.0f, 1e-4f);  // 2 frames in 500 ms
}

TEST_F(FrameRateCounterTest, ABatchInsideOneMillisecondDoesNotDivideByZero) {
  counter.configure(3, false, "unused.txt");
  frames(3, 0);
  EXPECT_FLOAT_EQ(counter.maxFps(), 3000.0f);  // counted as one millisecond
}

TEST_F(FrameRateCounterTest, ConfigureResetsTheBatchAndTheExtremes) {
  counter.configure(2, false, "unused.txt");
  frames(3, 100000);
  counter.configure(5, false, "unused.txt");
  EXPECT_EQ(counter.framesInBatch(), 0);
  EXPECT_FLOAT_EQ(counter.maxFps(), 0.0f);
  EXPECT_FLOAT_EQ(counter.minFps(), 10000.0f);
}

TEST_F(FrameRateCounterTest, LoggingWritesOneLinePerBatch) {
  const auto path = std::filesystem::temp_directory_path() / "framerate_log_test.txt";
  counter.configure(2, true, path.string().c_str());
  frames(4, 250000);  // two batches of 2 frames in 250 ms each
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "fps: 8\nfps: 8\n");
  in.close();
  // The counter keeps its log open, and Windows removes no open file: left behind there.
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

TEST_F(FrameRateCounterTest, ALogThatCannotBeOpenedNeverStopsCounting) {
  counter.configure(2, true, "/nonexistent-directory/vk_profiling.txt");
  frames(4, 250000);
  EXPECT_NEAR(counter.maxFps(), 8.0f, 1e-4f);
}

}  // namespace

TEST_F(FrameRateCounterTest, AnotherCounterRestartsTheBatchAndGivesItsTime) {
  counter.configure(2, false, "unused.txt");
  frames(1, 100000);
  ManualCounter frames30{30};  // a capture at 30 fps: one tick per frame
  frames30.set(7);
  counter.setCounter(&frames30);
  EXPECT_EQ(counter.framesInBatch(), 0);
  EXPECT_NEAR(counter.nowMs(), 7000.0 / 30, 1e-9);  // not truncated to 233
  counter.tick();
  frames30.advance(1);
  counter.tick();  // two frames in one thirtieth of a second
  EXPECT_NEAR(counter.maxFps(), 2 / 0.033f, 1e-3f);
  counter.setCounter(&frames30);  // the same counter again changes nothing
  counter.tick();
  EXPECT_EQ(counter.framesInBatch(), 1);
}
