// The sample demo's 3D opening: the captured frames are scenes (not black, moving, cut on
// the bar lines the script says), and reloading the demo (Space) twice gives the same frames
// and the same caches as the first load.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <algorithm>

#include "archive/vkd.h"
#include "base/Display.h"
#include "demoSystem/Timeline.h"
#include "demos/EffectList.h"
#include "engine/SceneLoaderVKG.h"
#include "support/GlTestContext.h"
#include "support/Program.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const fs::path kDemoDir = fs::path(DE_BINARY_DIR) / "demo";
constexpr int kBar = 1920;
constexpr int kScenes = 107520;

double meanDifference(const RgbImage& a, const RgbImage& b) {
  double sum = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) sum += std::abs(int(a.rgb[i]) - int(b.rgb[i]));
  return sum / static_cast<double>(a.rgb.size());
}

TEST(ScenesPart, FramesAreScenesThatMoveAndCutOnTheBarLines) {
  if (!fs::exists(kDemoDir / "data.vkd")) GTEST_SKIP() << "the sample demo is not built here";
  TempDir temp("de_scenes");
  // Each shot: two frames 80 ms apart inside it, and the frames either side of each cut.
  const std::vector<int> times = {kScenes + 400,           kScenes + 480,           kScenes + kBar - 40,
                                  kScenes + kBar + 40,     kScenes + kBar + 400,    kScenes + kBar + 480,
                                  kScenes + 2 * kBar - 40, kScenes + 2 * kBar + 40, kScenes + 3 * kBar,
                                  kScenes + 3 * kBar + 80, kScenes + 4 * kBar - 40, kScenes + 4 * kBar + 40,
                                  kScenes + 5 * kBar,      kScenes + 5 * kBar + 80};
  std::vector<RgbImage> frames;
  for (int t : times) {
    const std::string name = "at_" + std::to_string(t);
    const ProgramRun run = runProgram(temp.path(), "--headless --resolution 320x240 --data '" + kDemoDir.string() +
                                                       "' --capture " + name + " --fps 1 --start " + std::to_string(t) +
                                                       " --end " + std::to_string(t));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    frames.push_back(readPng(temp.path() / name / frameName(0)));
    ASSERT_TRUE(frames.back().ok);
    EXPECT_GT(frames.back().mean(), 12.0) << "at " << t;  // a lit scene, not a black frame
  }
  // Within a shot the picture moves a little; across a cut it changes a lot.
  double moves = 0;
  for (size_t shot : {0u, 4u, 8u, 12u}) {
    const double within = meanDifference(frames[shot], frames[shot + 1]);
    EXPECT_GT(within, 0.2) << "the shot at " << times[shot] << " stands still";
    moves = std::max(moves, within);
  }
  for (size_t cut : {2u, 6u, 10u})
    EXPECT_GT(meanDifference(frames[cut], frames[cut + 1]), 2 * moves) << "no cut at " << times[cut + 1];
}

class ScenesReload : public testing::Test {
 protected:
  static constexpr int kWidth = 160, kHeight = 120;

  void SetUp() override {
    if (!fs::exists(kDemoDir / "data.vkd")) GTEST_SKIP() << "the sample demo is not built here";
    gl = std::make_unique<GlTestContext>(kWidth, kHeight);
    ASSERT_TRUE(gl->ok());
    previous = fs::current_path();
    fs::current_path(kDemoDir);
    openArchive("data.vkd", "lynxa42");
    screenWidth = kWidth;
    screenHeight = kHeight;
    effectRegistry = &effects;
  }
  void TearDown() override {
    if (previous.empty()) return;
    effects.clear();
    effectRegistry = nullptr;
    fs::current_path(previous);
  }

  std::vector<uint8_t> frameAt(uint32_t t) {
    glViewport(0, 0, kWidth, kHeight);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    renderFrame(t);
    return gl->pixels();
  }
  // A load as Space makes it, then frames through the 3D opening.
  std::vector<std::vector<uint8_t>> loadAndPlay() {
    loadScript("data/scripts/demo_kx06.script");
    std::vector<std::vector<uint8_t>> frames;
    for (uint32_t t = kScenes + 40; t < kScenes + 6 * kBar; t += 160) {
      std::vector<uint8_t> frame = frameAt(t);
      if ((t - kScenes - 40) % 960 == 0) frames.push_back(std::move(frame));
    }
    return frames;
  }

  std::unique_ptr<GlTestContext> gl;
  EffectList effects{builtInEffectTypes()};
  fs::path previous;
};

TEST_F(ScenesReload, ReloadingTwiceGivesTheSameFramesAndTheSameCaches) {
  const auto first = loadAndPlay();
  const size_t scenes = SceneManager::instance().size();
  const int uses = SceneManager::instance().useCount("data/scenes/temple.vkg");
  EXPECT_GE(scenes, 2u);
  loadAndPlay();
  const auto third = loadAndPlay();
  ASSERT_EQ(first.size(), third.size());
  for (size_t i = 0; i < first.size(); ++i) EXPECT_TRUE(first[i] == third[i]) << "frame " << i << " differs";
  // No scene was read again or added; each load named the file once more.
  EXPECT_EQ(SceneManager::instance().size(), scenes);
  EXPECT_EQ(SceneManager::instance().useCount("data/scenes/temple.vkg"), uses * 3);
}

}  // namespace
