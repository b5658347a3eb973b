// The headless screen Windows uses (a hidden window drawing into a framebuffer object, see
// Headless.h) draws the sample demo exactly as the offscreen driver's own framebuffer does:
// every place that goes back to "the screen" after drawing into a target finds it, and the
// capture reads it back.

#include <gtest/gtest.h>

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
      EXPECT_EQ(window.rgb, object.rgb) << "frame " << frame;
    }
  }
}

}  // namespace
