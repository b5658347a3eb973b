#include "launcher/CaptureProgress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string line(int64_t done, int64_t total, uint32_t ms, double seconds) {
  char buffer[160];
  CaptureProgress::format(buffer, sizeof buffer, done, total, ms, seconds);
  return buffer;
}

TEST(CaptureProgress, TheLineSaysFramesDemoTimeRateAndTimeLeft) {
  // 500 of 2000 frames in 25 s: 20 frames a second, 1500 frames left take 75 s.
  EXPECT_EQ(line(500, 2000, 65040, 25.0), "capture: 500/2000 frames (25%)  demo 1:05.040  20.0 fps  1:15 left");
  EXPECT_EQ(line(2000, 2000, 118000, 100.0), "capture: 2000/2000 frames (100%)  demo 1:58.000  20.0 fps");
  EXPECT_EQ(line(0, 10, 0, 0.0), "capture: 0/10 frames (0%)  demo 0:00.000  0.0 fps");
}

TEST(CaptureProgress, OffATerminalOnlyOneSummaryLineIsWritten) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    CaptureProgress progress(3, out, false);
    for (uint32_t t : {0u, 40u, 80u}) progress.frameDone(t);
    progress.finish();
    progress.finish();
  }
  std::rewind(out);
  char text[256] = {};
  const size_t got = std::fread(text, 1, sizeof text - 1, out);
  std::fclose(out);
  const std::string written(text, got);
  EXPECT_EQ(written.rfind("capture: 3 of 3 frames in ", 0), 0u) << written;
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1);
}

TEST(CaptureProgress, OnATerminalTheLineIsRewrittenInPlaceAndEndsWithTheLastFrame) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    CaptureProgress progress(2, out, true);
    progress.frameDone(0);
    progress.frameDone(500);  // the last frame is always shown
    progress.finish();
  }
  std::rewind(out);
  char text[512] = {};
  const size_t got = std::fread(text, 1, sizeof text - 1, out);
  std::fclose(out);
  const std::string written(text, got);
  EXPECT_EQ(written.front(), '\r');
  EXPECT_NE(written.find("capture: 2/2 frames (100%)  demo 0:00.500"), std::string::npos) << written;
  EXPECT_EQ(written.back(), '\n');
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1);
}

}  // namespace
