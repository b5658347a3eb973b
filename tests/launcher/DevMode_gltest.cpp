// demoengine --dev, run in this process with a capture while a second thread edits the demo's
// files on disk the way its maker would: a keyed value changed, a syntax error, its fix.
// The capture clock follows the frame counter, so frame i shows demo time 100·i whatever
// happens in between, and each frame's colour says what it shows: green is the demo time
// (a sawtooth of one step per frame), red the keyed value.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "launcher/LauncherState.h"
#include "launcher/VelkorLauncher.h"
#include "platform/Events.h"
#include "support/Program.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// Green climbs one step per 100 ms and falls back every 25.6 s: frame i is green i mod 256.
std::string script(const std::string& red, const std::string& extra = "") {
  std::string text = "DEMO_END 600000\nINSERT_EFFECT Clear AS bg\n__TIMELINE__\n0 b bg\n0 s bg Red " + red + "\n" + extra;
  for (int tooth = 0; tooth * 25600 < 600000; ++tooth) {
    text += std::to_string(tooth * 25600) + " s bg Green 0\n";
    text += std::to_string(tooth * 25600 + 25500) + " s bg Green 1\n";
  }
  return text;
}

// The newest frame written completely (the next one has been started), or an empty image.
RgbImage newestFrame(const fs::path& frames) {
  int last = -1;
  while (fs::exists(frames / frameName(last + 1))) ++last;
  return last >= 1 ? readPng(frames / frameName(last - 1)) : RgbImage{};
}


TEST(DevMode, EditsOnDiskReloadInPlaceAtTheSameDemoTimeAndAnErrorIsShownUntilItIsFixed) {
  TempDir tree("de_dev");
  const fs::path frames = tree.path() / "frames";
  const std::string scriptPath = (tree.path() / "data/scripts/demo_kx06.script").string();
  tree.write("data/scripts/demo_kx06.script", script("0.2"));

  std::atomic<bool> finished{false};
  std::string failedStep;
  std::thread maker([&] {
    // Each step edits, then waits until the newest frame shows what the edit should give.
    auto step = [&](const std::string& name, const std::string& text, const std::function<bool(const RgbImage&)>& shows) {
      if (!failedStep.empty()) return;
      writeText(scriptPath, text);
      for (int i = 0; i < 2000 && !finished; ++i) {
        const RgbImage frame = newestFrame(frames);
        if (frame.ok && shows(frame)) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      failedStep = name;
    };
    while (!finished && !fs::exists(frames / frameName(2))) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto red = [](const RgbImage& f, int value) { return f.at(f.width - 1, f.height - 1)[0] == value; };
    step("value", script("0.6"), [&](const RgbImage& f) { return red(f, 153); });
    step("error", script("0.6", "@@@ b bg\n"), [&](const RgbImage& f) { return red(f, 153) && f.at(0, 0)[0] != 153; });
    step("fix", script("1.0"), [&](const RgbImage& f) { return red(f, 255) && f.at(0, 0)[0] == 255; });
    platform::postKey(platform::Key::Escape, true);
  });

  quitRequested = reloadRequested = paused = shiftHeld = false;
  const std::string dir = tree.str(), capture = frames.string();
  const char* argv[] = {"demoengine", "--dev", dir.c_str(), "--headless", "--no-music", "--resolution", "160x120",
                        "--capture", capture.c_str(), "--fps", "10", "--start", "0", "--end", "600000"};
  const fs::path previous = fs::current_path();
  testing::internal::CaptureStderr();
  const int code = launcherMain(static_cast<int>(std::size(argv)), argv);
  const std::string err = testing::internal::GetCapturedStderr();
  finished = true;
  maker.join();
  fs::current_path(previous);
  ASSERT_EQ(code, 0) << err;
  ASSERT_EQ(failedStep, "") << err;
  EXPECT_NE(err.find("data/scripts/demo_kx06.script:6: DEFINE not found: @@@\n"), std::string::npos) << err;

  // Every frame at its own time, through three reloads; the red goes 51, 153, 255, and the
  // problem box stands over the frames between the error and its fix (the red at the
  // bottom staying 153 under it).
  std::vector<int> reds;
  int boxed = 0;
  for (int i = 0; fs::exists(frames / frameName(i)); ++i) {
    const RgbImage frame = readPng(frames / frameName(i));
    ASSERT_TRUE(frame.ok) << i;
    const uint8_t* corner = frame.at(frame.width - 1, frame.height - 1);
    ASSERT_EQ(corner[1], i % 256) << "frame " << i << " is not at " << 100 * i << " ms";
    if (reds.empty() || reds.back() != corner[0]) reds.push_back(corner[0]);
    if (frame.at(0, 0)[0] != corner[0]) {
      ++boxed;
      EXPECT_EQ(corner[0], 153) << "frame " << i;
    }
  }
  EXPECT_EQ(reds, (std::vector<int>{51, 153, 255}));
  EXPECT_GT(boxed, 0);
}

}  // namespace
