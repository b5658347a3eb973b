// The real program on the sample demo the build generates: headless captures at times the
// script gives meaning to, the keys a viewer presses, demos broken on purpose, and captures
// that repeat bit for bit. Skipped when the build has not made the sample demo.

#include <gtest/gtest.h>
#include <sys/wait.h>


#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "launcher/LauncherState.h"
#include "launcher/VelkorLauncher.h"
#include "platform/Events.h"
#include "support/Program.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const fs::path kDemoDir = DE_BINARY_DIR "/demo";
const fs::path kStagingDir = DE_BINARY_DIR "/demo-staging";
const fs::path kProgram = DE_BINARY_DIR "/demoengine";
const fs::path kVkd = DE_BINARY_DIR "/tools/vkd/vkd";

// Times from the script (defs.script and the part files).
constexpr int kBar = 1920;
constexpr int kBuild = 15360;
constexpr int kDrop = 30720;
constexpr int kEnd = 179440;

using Image = RgbImage;

// A capture whose stderr is not a terminal says nothing but its one closing line.
bool onlyTheCaptureSummary(const std::string& err) {
  return std::regex_match(err, std::regex("capture: [0-9]+ of [0-9]+ frames in [0-9.]+ s \\([0-9.]+ fps\\)"
                                          "(  caught up [0-9]+ frames \\([0-9]+ drawings\\) in [0-9.]+ s)?\n"));
}

class SampleDemo : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kDemoDir / "data.vkd") || !fs::exists(kProgram))
      GTEST_SKIP() << "the sample demo is not built here (configure with DE_BUILD_DEMO=ON)";
    temp = std::make_unique<TempDir>("de_e2e");
    directory = temp->path();
  }

  // One frame of `data` at demo time t, checked to be a clean run: exit code 0, nothing on
  // stderr but the capture's summary.
  Image captureAt(int t, const fs::path& data, const std::string& extra = "") {
    const std::string name = "at_" + std::to_string(t) + "_" + std::to_string(++captures);
    const ProgramRun run = runProgram(directory, "--headless --data '" + data.string() + "' --capture " + name +
                                              " --fps 1 --start " + std::to_string(t) + " --end " +
                                              std::to_string(t) + " " + extra);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(onlyTheCaptureSummary(run.err)) << "at " << t << ": " << run.err;
    EXPECT_NE(run.out.find("1 frames of"), std::string::npos) << run.out;
    return readPng(directory / name / frameName(0));
  }
  Image captureAt(int t) { return captureAt(t, kDemoDir); }

  // The sample demo's data tree with one script edited, packed into its own directory.
  fs::path variant(const std::string& scriptFile, const std::string& remove, const std::string& insert = "",
                   const std::string& password = "lynxa42") {
    const fs::path tree = directory / ("tree_" + std::to_string(++variants));
    fs::copy(kStagingDir, tree, fs::copy_options::recursive);
    if (!scriptFile.empty()) {
      const fs::path script = tree / "data/scripts" / scriptFile;
      std::string text = readText(script);
      if (!remove.empty()) {
        const size_t at = text.find(remove);
        EXPECT_NE(at, std::string::npos) << remove << " not in " << scriptFile;
        if (at != std::string::npos) text.replace(at, remove.size(), insert);
      } else {
        text += insert;
      }
      writeText(script, text);
    }
    const fs::path out = directory / ("data_" + std::to_string(variants));
    fs::create_directories(out);
    const ProgramRun pack = runCommand(directory, "'" + kVkd.string() + "' pack -p " + password + " '" +
                                               (out / "data.vkd").string() + "' '" + tree.string() + "'");
    EXPECT_EQ(pack.exitCode, 0) << pack.err;
    fs::remove_all(tree);
    // The same music, so that what follows the sound looks the same as in the real demo.
    fs::create_symlink(kDemoDir / "soundtrack.ogg", out / "soundtrack.ogg");
    // The light probe is read from the file system, beside the archive, as in the real demo.
    fs::create_directories(out / "data");
    fs::create_symlink(kDemoDir / "data/grace_probe.hdr", out / "data/grace_probe.hdr");
    return out;
  }

  std::unique_ptr<TempDir> temp;
  fs::path directory;
  int captures = 0;
  int variants = 0;
};

// [SECTION] What the script shows when

TEST_F(SampleDemo, TheStartIsBlackFadingInFromBlack) {
  const Image start = captureAt(0);
  ASSERT_TRUE(start.ok);
  EXPECT_EQ(start.width, 800);
  EXPECT_EQ(start.height, 600);
  EXPECT_EQ(start.maxChannel(), 0);
}

TEST_F(SampleDemo, TheOpeningFadeAtItsMidPointHalvesThePictureBelow) {
  // fade_black: FADE_LENGTH 700 makes the fade run 5 × 700 ms; fading out, its black quad has
  // alpha 1 − t / 3500, so at 1750 ms the frame is the picture under it at half strength.
  constexpr int kMid = 5 * 700 / 2;
  const Image faded = captureAt(kMid);
  const Image below = captureAt(kMid, variant("intro.script", "0 b fade_black\n"));
  ASSERT_TRUE(faded.ok && below.ok);
  ASSERT_EQ(faded.rgb.size(), below.rgb.size());
  EXPECT_GT(below.mean(), 10.0) << "the nebula under the fade should be visible";
  int worst = 0;
  for (size_t i = 0; i < faded.rgb.size(); ++i)
    worst = std::max(worst, std::abs(faded.rgb[i] * 2 - below.rgb[i]));
  // Rounding of the 8-bit framebuffer: one step of the faded value, two of the doubled one.
  EXPECT_LE(worst, 2);
  EXPECT_NEAR(faded.mean() * 2, below.mean(), 1.0);
}

TEST_F(SampleDemo, TheTitleIsFullyVisibleBetweenBarsFiveAndSeven) {
  // Title alpha is keyed 1 from BAR × 5 to BAR × 7: the middle of that span.
  constexpr int t = (kBar * 5 + kBar * 7) / 2;
  const Image titled = captureAt(t);
  const Image untitled = captureAt(t, variant("intro.script", "BAR * 4 b title\n"));
  ASSERT_TRUE(titled.ok && untitled.ok);
  // Where the title is drawn it lifts the picture a lot, and its letters are nearly white.
  int titlePixels = 0, brightTitlePixels = 0;
  int top = titled.height, bottom = -1, left = titled.width, right = -1;
  for (int y = 0; y < titled.height; ++y)
    for (int x = 0; x < titled.width; ++x) {
      const uint8_t* a = titled.at(x, y);
      const uint8_t* b = untitled.at(x, y);
      const int lift = (a[0] + a[1] + a[2]) - (b[0] + b[1] + b[2]);
      if (lift < 3 * 96) continue;
      ++titlePixels;
      if (std::min({a[0], a[1], a[2]}) >= 200) ++brightTitlePixels;
      top = std::min(top, y);
      bottom = std::max(bottom, y);
      left = std::min(left, x);
      right = std::max(right, x);
    }
  EXPECT_GT(titlePixels, 2000);
  EXPECT_GT(brightTitlePixels, titlePixels / 4);
  // Centred on the screen, wide rather than tall.
  EXPECT_NEAR((left + right) / 2, titled.width / 2, titled.width / 20);
  EXPECT_GT(right - left, titled.width / 2);
  EXPECT_LT(bottom - top, titled.height / 2);
}

TEST_F(SampleDemo, TheCutToTheBuildStartsBlackAndTheEndIsBlack) {
  // The build opens with a 500 ms fade from black; the outro's blackout is opaque for the
  // last 300 ms.
  EXPECT_EQ(captureAt(kBuild).maxChannel(), 0);
  const Image afterCut = captureAt(kBuild + 500);
  EXPECT_GT(afterCut.mean(), 10.0);
  EXPECT_EQ(captureAt(kEnd - 200).maxChannel(), 0);
}

TEST_F(SampleDemo, TheStatisticsOverlayShowsInACaptureWhenAskedFor) {
  // Three frames at 25 fps in the drop, with and without the overlay (F2).
  for (const char* option : {"--overlay", ""}) {
    const ProgramRun run = runProgram(directory, "--headless --data '" + kDemoDir.string() + "' --capture " +
                                                     (*option ? "on" : "off") + " --fps 25 --start 40000 --end 40080 " +
                                                     option);
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }
  const Image on = readPng(directory / "on" / frameName(2)), off = readPng(directory / "off" / frameName(2));
  ASSERT_TRUE(on.ok && off.ok);
  auto white = [](const Image& image, int x, int y) {
    const uint8_t* p = image.at(x, y);
    return p[0] == 255 && p[1] == 255 && p[2] == 255;
  };
  // The rate bar at x 0.98, on the border of columns 783 and 784: the capture's 25 fps reach
  // a quarter of the height (150 rows).
  auto bar = [&](const Image& image, int row) { return white(image, 783, row) || white(image, 784, row); };
  for (int row : {599, 520, 452}) EXPECT_TRUE(bar(on, row)) << row;
  EXPECT_FALSE(bar(on, 440));
  EXPECT_FALSE(bar(off, 520) && bar(off, 452) && bar(off, 599));
  // The timeline along y 0.02 (row 588) and the lamps along y 0.96 (row 24), green or red.
  int timeline = 0, lamps = 0;
  for (int x = 0; x < 800; ++x) {
    timeline += white(on, x, 588);
    const uint8_t* lamp = on.at(x, 23);
    lamps += (lamp[0] == 255) != (lamp[1] == 255) && lamp[2] == 0;
  }
  EXPECT_GT(timeline, 700);
  EXPECT_GT(lamps, 20);
}

TEST_F(SampleDemo, TheMusicShowsTheSameAtAnyFrameRate) {
  // A frame of the drop that the spectrum pulses (between two flashes) and one of the
  // breakdown's oscilloscope, each reached at 5 fps and at 50 fps from other starts: the
  // sound of that moment, not of the frame's span, decides the picture. Without music the
  // pulse is missing.
  auto frameOf = [&](const std::string& name, int fps, int start, int end, const std::string& extra = "",
                     const fs::path& data = kDemoDir) {
    const ProgramRun run = runProgram(directory, "--headless --data '" + data.string() + "' --capture " + name +
                                                     " --fps " + std::to_string(fps) + " --start " +
                                                     std::to_string(start) + " --end " + std::to_string(end) + " " +
                                                     extra);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    fs::path last;
    for (int i = 0; fs::exists(directory / name / frameName(i)); ++i) last = directory / name / frameName(i);
    return readText(last);
  };
  const std::string drop5 = frameOf("drop5", 5, 47700, 48700), drop50 = frameOf("drop50", 50, 48660, 48700);
  ASSERT_FALSE(drop5.empty());
  EXPECT_TRUE(drop5 == drop50);
  EXPECT_FALSE(drop50 == frameOf("silent", 50, 48660, 48700, "--no-music"));
  // The breakdown's grain, marble and ripples move by frames, not by time: they stay off here.
  const fs::path scopeOnly = variant("demo_kx06.script", "INCLUDE \"data/scripts/distort.script\"\n"
                                                          "INCLUDE \"data/scripts/noise.script\"\n");
  const std::string scope5 = frameOf("scope5", 5, 65000, 66000, "", scopeOnly),
                    scope50 = frameOf("scope50", 50, 65960, 66000, "", scopeOnly);
  EXPECT_FALSE(scope50 == frameOf("scope50silent", 50, 65960, 66000, "--no-music", scopeOnly));
  ASSERT_FALSE(scope5.empty());
  EXPECT_TRUE(scope5 == scope50);
}

TEST_F(SampleDemo, TwoCapturesOfTheSameSpanAreBitIdentical) {
  // Across the drop: the white fade, the first bar flashes and the music rendered offline.
  const std::string span = "--fps 5 --start " + std::to_string(kDrop - 400) + " --end " + std::to_string(kDrop + 800);
  for (const char* name : {"a", "b"}) {
    const ProgramRun run = runProgram(directory, "--headless --data '" + kDemoDir.string() + "' --capture " + name + " " + span);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(onlyTheCaptureSummary(run.err)) << run.err;
  }
  for (int i = 0; i <= 6; ++i) {
    const std::string a = readText(directory / "a" / frameName(i));
    ASSERT_FALSE(a.empty()) << frameName(i);
    EXPECT_TRUE(a == readText(directory / "b" / frameName(i))) << frameName(i);
  }
  EXPECT_FALSE(fs::exists(directory / "a" / frameName(7)));
  EXPECT_NE(readText(directory / "a" / frameName(0)), readText(directory / "a" / frameName(3)));
}

TEST_F(SampleDemo, ARecordingOfTheDropHasItsFramesAndAudibleMusic) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ffmpeg is not installed";
  // Two seconds of the drop, where the music is loud.
  const ProgramRun run = runProgram(directory, "--headless --data '" + kDemoDir.string() +
                                                   "' --record drop.mp4 --fps 25 --start " + std::to_string(kDrop) +
                                                   " --end " + std::to_string(kDrop + 2000));
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(onlyTheCaptureSummary(run.err)) << run.err;
  const ProgramRun probe = runCommand(directory, "ffprobe -v error -count_frames -show_entries "
                                                 "stream=codec_type,width,height,nb_read_frames:format=duration "
                                                 "-of compact=p=0:nk=1 drop.mp4");
  ASSERT_EQ(probe.exitCode, 0) << probe.err;
  EXPECT_NE(probe.out.find("video|800|600|51"), std::string::npos) << probe.out;
  EXPECT_NE(probe.out.find("audio"), std::string::npos) << probe.out;
  const double duration = std::atof(probe.out.substr(probe.out.rfind('\n', probe.out.size() - 2) + 1).c_str());
  EXPECT_NEAR(duration, 2.04, 0.1) << probe.out;
  // The sound is the music, not silence.
  const ProgramRun volume = runCommand(directory, "ffmpeg -hide_banner -i drop.mp4 -vn -af volumedetect -f null -");
  const size_t at = volume.err.find("mean_volume: ");
  ASSERT_NE(at, std::string::npos) << volume.err;
  EXPECT_GT(std::atof(volume.err.c_str() + at + 13), -40.0) << volume.err.substr(at, 40);
}

// [SECTION] Broken demos

TEST_F(SampleDemo, WithoutAnArchiveTheScriptCannotBeOpened) {
  const ProgramRun run = runProgram(directory, "--headless");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(std::regex_match(
      run.err, std::regex("(src/)?demoSystem/ScriptLoader\\.cpp:[0-9]+ script: could not open file for parsing\n")))
      << run.err;
}

TEST_F(SampleDemo, AnArchivePackedWithAnotherPasswordReadsAsNoScript) {
  const fs::path data = variant("", "", "", "not-the-password");
  const ProgramRun run = runProgram(directory, "--headless --data '" + data.string() + "'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(std::regex_match(
      run.err, std::regex("(src/)?demoSystem/ScriptLoader\\.cpp:[0-9]+ script: could not open file for parsing\n")))
      << run.err;
}

TEST_F(SampleDemo, AnUnknownEffectTypeIsFatalByName) {
  const fs::path data = variant("setup.script", "INSERT_EFFECT Clear AS clear\n",
                                "INSERT_EFFECT Clear AS clear\nINSERT_EFFECT Plasmatron AS plasma\n");
  const ProgramRun run = runProgram(directory, "--headless --data '" + data.string() + "'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(
      std::regex_match(run.err, std::regex("(src/)?demos/EffectList\\.cpp:[0-9]+ EffectType not found: Plasmatron\n")))
      << run.err;
}

TEST_F(SampleDemo, AnUndefinedNameIsFatalByName) {
  const fs::path data = variant("outro.script", "", "\nDROPP b flash\n");
  const ProgramRun run = runProgram(directory, "--headless --data '" + data.string() + "'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(
      std::regex_match(run.err, std::regex("(src/)?demoSystem/ScriptLoader\\.cpp:[0-9]+ DEFINE not found: DROPP\n")))
      << run.err;
}

TEST_F(SampleDemo, AnEffectNotInsertedIsFatalByName) {
  const fs::path data = variant("outro.script", "", "\nBAR b blackhole\n");
  const ProgramRun run = runProgram(directory, "--headless --data '" + data.string() + "'");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(
      std::regex_match(run.err, std::regex("(src/)?demoSystem/ScriptLoader\\.cpp:[0-9]+ Effect not found: blackhole\n")))
      << run.err;
}

TEST_F(SampleDemo, ChecksCleanPackedAndUnpacked) {
  for (const fs::path& tree : {kDemoDir, kStagingDir}) {
    const ProgramRun run = runProgram(directory, "--check '" + tree.string() + "'");
    EXPECT_EQ(run.exitCode, 0) << tree << "\n" << run.output();
    EXPECT_EQ(run.out, "") << tree;
  }
}

TEST_F(SampleDemo, AnUnchangedRepackPlaysCleanly) {
  // The broken demos above differ from this one by one line each.
  const fs::path data = variant("", "");
  const Image start = captureAt(kBuild + 500, data);
  EXPECT_TRUE(start.ok);
  EXPECT_EQ(start.rgb, captureAt(kBuild + 500).rgb);
}

// [SECTION] Keys

void pushKey(bool down, platform::Key key) { platform::postKey(key, down); }

// The program runs in this process, capturing at a small size, while a second thread presses
// keys once the third frame is on disk. The capture clock follows the frame counter and the
// keys are taken one per frame, so from the frame the first key lands on, every frame's demo
// time follows from the rules; each frame is then compared with a fresh capture at that time.
TEST_F(SampleDemo, ReloadSeekAndPartJumpsPutTheClockWhereTheRulesSay) {
  constexpr int kFps = 20, kStep = 1000 / kFps;
  constexpr int kStart = 5000;  // the intro: the nebula, never black
  const std::string size = "--resolution 320x240 --no-music";
  const fs::path frames = directory / "keys";

  std::atomic<bool> done{false};
  std::thread viewer([&] {
    while (!done && !fs::exists(frames / frameName(2))) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (done) return;
    pushKey(true, platform::Key::Shift);
    pushKey(true, platform::Key::Right);   // next part: the build
    pushKey(false, platform::Key::Right);
    pushKey(true, platform::Key::Left);    // two frames into the build: back to its start
    pushKey(false, platform::Key::Shift);
    pushKey(true, platform::Key::Right);   // seek +10, then held: +11, +12
    pushKey(true, platform::Key::Right);
    pushKey(true, platform::Key::Right);
    pushKey(false, platform::Key::Right);     // the step starts again at 10
    pushKey(true, platform::Key::Left);    // seek −10
    pushKey(false, platform::Key::Left);
    pushKey(true, platform::Key::Enter);  // the seeking undone
    pushKey(true, platform::Key::Space);   // reload: back to the demo's start
  });

  const fs::path previous = fs::current_path();
  quitRequested = reloadRequested = paused = shiftHeld = false;
  seekStep = 10.0f;
  const std::string capture = frames.string(), data = kDemoDir.string(), start = std::to_string(kStart),
                    fps = std::to_string(kFps);
  const char* argv[] = {"demoengine", "--headless", "--data", data.c_str(), "--resolution", "320x240",
                        "--no-music", "--capture", capture.c_str(), "--fps", fps.c_str(), "--start", start.c_str(),
                        "--end", "12000"};
  const int code = launcherMain(static_cast<int>(std::size(argv)), argv);
  done = true;
  viewer.join();
  fs::current_path(previous);
  ASSERT_EQ(code, 0);

  // The first black frame is the jump to the build (its cut starts black).
  int jump = -1;
  for (int i = 0; fs::exists(frames / frameName(i)); ++i)
    if (readPng(frames / frameName(i)).maxChannel() == 0) {
      jump = i;
      break;
    }
  ASSERT_GE(jump, 3) << "the jump must come after the frame that let the keys go";

  // Demo time of frames jump − 1, jump, jump + 1, …
  const int build = kBuild;
  const std::vector<int> expected = {
      kStart + (jump - 1) * kStep,  // Shift down: nothing moves
      build,                        // Shift+Right: the next part
      build + kStep,                // Right up
      build,                        // Shift+Left two frames into the build: its own start
      build + kStep,                // Shift up
      build + 2 * kStep + 10,       // Right: +10
      build + 3 * kStep + 21,       // held: +11
      build + 4 * kStep + 33,       // held: +12
      build + 5 * kStep + 33,       // Right up
      build + 6 * kStep + 23,       // Left: −10 (the step was reset)
      build + 7 * kStep + 23,       // Left up
      build + 8 * kStep,            // Enter: back on the clock
      build + 9 * kStep,            // Space: this frame still runs, then the reload
      0,                            // the demo's start
      kStep,
      2 * kStep,
  };
  for (size_t k = 0; k < expected.size(); ++k) {
    const int index = jump - 1 + static_cast<int>(k);
    const Image frame = readPng(frames / frameName(index));
    ASSERT_TRUE(frame.ok) << frameName(index);
    const Image reference = captureAt(expected[k], kDemoDir, size);
    EXPECT_TRUE(frame.rgb == reference.rgb) << frameName(index) << " should show " << expected[k] << " ms";
  }
  // The seeks are visible in the fade from black: a frame 10 ms off differs.
  EXPECT_NE(captureAt(build + 2 * kStep + 10, kDemoDir, size).rgb, captureAt(build + 2 * kStep, kDemoDir, size).rgb);
}

}  // namespace
