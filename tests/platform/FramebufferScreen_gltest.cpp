// The headless screen Windows uses (a hidden window drawing into a framebuffer object, see
// Headless.h) draws the sample demo as the offscreen driver's own framebuffer does: every place
// that goes back to "the screen" after drawing into a target finds it, and the capture reads
// it back. Not bit for bit: llvmpipe rasterises smooth wide lines into a window's framebuffer
// a little differently from an object's (a plain GL program drawing the same lines into both
// shows it), so pixels on such edges may differ; everywhere else the frames are the same.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Files.h"
#include "support/Program.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

TEST(FramebufferScreen, DrawsTheSampleDemoAsTheWindowsOwnFramebufferDoes) {
  const fs::path demo = fs::path(DE_BINARY_DIR) / "demo";
  if (!fs::exists(demo / "data.vkd")) GTEST_SKIP() << "the sample demo is not built here";
  TempDir temp("de_framebuffer_screen");
  // A moment in each part: the opening, the drop, the scenes, the swarm, the close.
  for (const int start : {4000, 36000, 113000, 143000, 170000}) {
    SCOPED_TRACE(start);
    const std::string arguments = "--headless --no-music --resolution 320x240 --data '" + demo.string() +
                                  "' --fps 25 --start " + std::to_string(start) + " --end " +
                                  std::to_string(start + 40) + " --capture ";
    const std::string at = std::to_string(start);
    ProgramRun run = runProgram(temp.path(), arguments + "window" + at);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    platform::setEnvironment("DEMOENGINE_FRAMEBUFFER_SCREEN", "1");
    run = runProgram(temp.path(), arguments + "object" + at);
    platform::setEnvironment("DEMOENGINE_FRAMEBUFFER_SCREEN", "");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    for (int frame = 0; frame < 2; ++frame) {
      const RgbImage window = readPng(temp.path() / ("window" + at) / frameName(frame));
      const RgbImage object = readPng(temp.path() / ("object" + at) / frameName(frame));
      ASSERT_TRUE(window.ok && object.ok);
      EXPECT_GT(window.maxChannel(), 0) << "a black frame compares too easily";
      ASSERT_EQ(window.rgb.size(), object.rgb.size());
      size_t pixels = 0, levels = 0;
      for (size_t p = 0; p < window.rgb.size(); p += 3) {
        size_t off = 0;
        for (size_t c = p; c < p + 3; ++c) off += static_cast<size_t>(std::abs(window.rgb[c] - object.rgb[c]));
        pixels += off > 0;
        levels += off;
      }
      // Measured: at most 2 % of the pixels (the moment with the most line edges), 0.37 levels
      // a value on average.
      EXPECT_LE(pixels * 100, window.rgb.size() / 3 * 3) << "frame " << frame << ": " << pixels << " pixels differ";
      EXPECT_LE(levels * 2, window.rgb.size()) << "frame " << frame;
    }
  }
}

}  // namespace
