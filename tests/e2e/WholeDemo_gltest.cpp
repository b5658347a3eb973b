// The whole sample demo in this process, loaded the way the program loads it: the effect
// types its script inserts are exactly the table's, every frame at one a second shows a
// picture wherever the script draws one, in every part the part's main effect draws its own
// place in the frame, and a reload (what Space does) in each part draws at that moment what
// a fresh start of the program draws there.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/vkd.h"
#include "base/Display.h"
#include "demoSystem/Effect.h"
#include "demoSystem/Timeline.h"
#include "demos/EffectList.h"
#include "effects/Grids.h"
#include "launcher/DemoStartup.h"
#include "launcher/LauncherState.h"
#include "support/Program.h"
#include "support/SampleDemo.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// Times from defs.script.
constexpr int kBar = 1920;
constexpr int kBuild = 15360, kDrop = 30720, kBreak = 61440, kFinale = 76800, kScenes = 107520,
              kSwarm = 138240, kOutro = 168960, kEnd = 179440;

// The registry the launcher uses, noting the type of every instance the script inserts.
class TypeRecordingList final : public EffectRegistry {
 public:
  bool insertEffect(const std::string& instanceName, const std::string& typeName) override {
    types.insert(typeName);
    return list.insertEffect(instanceName, typeName);
  }
  Effect* findEffect(const std::string& instanceName) const override { return list.findEffect(instanceName); }
  const std::vector<Effect*>& effects() const override { return list.effects(); }
  // A load empties the registry first: the types are then those of the last load.
  void clear() override {
    list.clear();
    types.clear();
  }
  void releaseWithoutDestroying() override { list.releaseWithoutDestroying(); }

  EffectList list;
  std::set<std::string> types;
};

class WholeDemo : public SampleDemoTest<TypeRecordingList> {
 protected:
  // The frame at demo time t as the screen shows it, rows top to bottom as in a capture.
  RgbImage frameAt(uint32_t t) {
    renderFrame(t);
    const std::vector<uint8_t> rgba = gl->pixels();
    RgbImage image;
    image.ok = true;
    image.width = kWidth;
    image.height = kHeight;
    image.rgb.reserve(static_cast<size_t>(kWidth) * kHeight * 3);
    for (int y = kHeight - 1; y >= 0; --y)
      for (int x = 0; x < kWidth; ++x)
        for (int c = 0; c < 3; ++c) image.rgb.push_back(rgba[(static_cast<size_t>(y) * kWidth + x) * 4 + c]);
    return image;
  }

  // The frame at t with `name` switched off for that frame alone.
  RgbImage frameWithout(const std::string& name, uint32_t t) {
    Effect* effect = registry.findEffect(name);
    EXPECT_NE(effect, nullptr) << name;
    if (!effect) return frameAt(t);
    std::vector<NumericKey> keys;
    effect->active.copyKeysTo(keys);
    effect->active.setKeys({{0, 0}, {demoEndTime, 0}});
    RgbImage image = frameAt(t);
    effect->active.setKeys(keys);
    return image;
  }
};

TEST_F(WholeDemo, TheScriptInsertsEveryTypeOfTheTable) {
  loadDemo(kDemoScript);
  std::set<std::string> table;
  for (const EffectType& type : builtInEffectTypes()) table.insert(type.name);
  EXPECT_EQ(table.size(), 42u);
  std::vector<std::string> missing, unknown;
  std::ranges::set_difference(table, registry.types, std::back_inserter(missing));
  std::ranges::set_difference(registry.types, table, std::back_inserter(unknown));
  EXPECT_TRUE(missing.empty()) << "not in the sample demo: " << testing::PrintToString(missing);
  EXPECT_TRUE(unknown.empty()) << "not in the table: " << testing::PrintToString(unknown);
}

// Where each part's main effect draws, in fractions of the frame from the top left: the effect
// is on at that time, and the place looks different without it.
struct PartPlace {
  const char* part;
  int time;
  const char* effect;
  double left, top, right, bottom;
};
const PartPlace kPartPlaces[] = {
    {"intro", kBar * 6, "title", 0.2, 0.4, 0.8, 0.65},               // the title across the middle
    {"build", kBuild + kBar * 6 + 900, "ro_horizon", 0.1, 0.1, 0.9, 0.9},  // the turning horizon
    {"drop", kDrop + kBar * 3 + 900, "logo", 0.35, 0.15, 0.65, 0.55},      // the logo above the middle
    {"breakdown", kBreak + kBar * 4, "rp_view", 0.1, 0.1, 0.9, 0.9},       // the rippled water
    {"finale", kFinale + kBar * 12 + 900, "sa_flower", 0.3, 0.2, 0.7, 0.8},  // the flower in the middle
    {"scenes", kScenes + kBar * 2 + 900, "sc_dof", 0.1, 0.1, 0.9, 0.9},    // the temple, depth of field
    {"swarm", kSwarm + kBar + 900, "sw_birds", 0.1, 0.1, 0.9, 0.9},        // the birds round the globe
    {"outro", kOutro + kBar * 2, "credits", 0.2, 0.2, 0.8, 0.9},           // the credits
};

// The mean over the place of the largest channel difference between two frames.
double meanDifference(const RgbImage& a, const RgbImage& b, const PartPlace& place) {
  const int x0 = int(place.left * a.width), x1 = int(place.right * a.width);
  const int y0 = int(place.top * a.height), y1 = int(place.bottom * a.height);
  double sum = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      int d = 0;
      for (int c = 0; c < 3; ++c) d = std::max(d, std::abs(a.at(x, y)[c] - b.at(x, y)[c]));
      sum += d;
    }
  return sum / ((x1 - x0) * (y1 - y0));
}

TEST_F(WholeDemo, EveryFrameShowsAPictureAndReloadsDrawWhatAFreshStartDraws) {
  // Black by the script: the fade from black at the start, the cut into the build, the
  // blackout's last 300 ms.
  const std::set<int> black = {0, kBuild, kEnd - 200};
  // Reloads in every part, where something that keeps state between frames is on screen:
  // the title; the typewriter, the line glitch and a bar flash; the honeycomb and the
  // spectrum's pulses; the breakdown's grain and ripple; the light probe's exposure sweep and
  // the sphere lattice's wandering light; the sparks over the gantry; the smoke cube and the
  // grid water; the halo round the credits and the light probe behind them.
  const std::vector<int> reloads = {kBar * 6,
                                    kBuild + kBar * 5 + 300,
                                    kDrop + kBar * 8 + 700,
                                    kBreak + kBar * 2 + 500,
                                    kFinale + kBar * 6 + 200,
                                    kFinale + kBar * 14 + 700,
                                    kScenes + kBar * 13 + 900,
                                    kSwarm + kBar * 9 + 400,
                                    kSwarm + kBar * 14 + 300,
                                    kOutro + kBar * 3,
                                    kOutro + kBar * 4 + 500};
  std::set<int> times(black.begin(), black.end());
  times.insert(reloads.begin(), reloads.end());
  for (int t = 500; t < kEnd; t += 1000) times.insert(t);
  for (const PartPlace& place : kPartPlaces) times.insert(place.time);

  loadDemo(kDemoScript);
  std::map<int, RgbImage> reloaded;
  for (int t : times) {
    const RgbImage frame = frameAt(t);
    if (black.contains(t)) {
      EXPECT_EQ(frame.maxChannel(), 0) << "at " << t;
    } else {
      // The darkest frames are the start of the fade in and the threads' dim green fog
      // (means near 3 and 8); a frame with nothing drawn has 0.
      EXPECT_GE(frame.mean(), 2.0) << "at " << t;
    }
    // A background layer alone would pass the mean: each part's main effect must show.
    for (const PartPlace& place : kPartPlaces) {
      if (place.time != t) continue;
      EXPECT_GE(meanDifference(frame, frameWithout(place.effect, t), place), 12.0)
          << place.part << ": " << place.effect << " does not show at " << t;
    }
    if (std::ranges::find(reloads, t) != reloads.end()) {
      // What the program's capture at one frame a second shows: the run caught up to t.
      resetSharedEffectState();
      loadDemo(kDemoScript);
      catchUpTimeline(demoStartTime, t, 1);
      reloaded[t] = frameAt(t);
    }
  }

  ASSERT_EQ(reloaded.size(), reloads.size());
  TempDir temp("de_whole");
  for (const auto& [t, image] : reloaded) {
    const std::string name = "fresh_" + std::to_string(t);
    const ProgramRun run = runProgram(temp.path(),
                                      "--headless --no-music --resolution " + std::to_string(kWidth) + "x" +
                                          std::to_string(kHeight) + " --data '" + kDemoDir.string() + "' --capture " +
                                          name + " --fps 1 --start " + std::to_string(t) + " --end " +
                                          std::to_string(t));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const RgbImage fresh = readPng(temp.path() / name / frameName(0));
    ASSERT_TRUE(fresh.ok) << t;
    ASSERT_EQ(fresh.rgb.size(), image.rgb.size());
    int differing = 0;
    for (size_t i = 0; i < fresh.rgb.size(); ++i) differing += fresh.rgb[i] != image.rgb[i];
    EXPECT_EQ(differing, 0) << "a reload at " << t << " draws " << differing << " channel values unlike a fresh start";
  }
}

// The water shot as a 25 fps recording plays it: every GridWater drawn steps the drop they
// share, six of them a frame, so drops fall about one a second (a drop takes 150 steps or so)
// and water shows from the second second on, where one GridWater alone would show a single
// drop still growing at the end of the shot.
TEST_F(WholeDemo, TheWaterShotFallsADropASecondInATwentyFiveFpsRecording) {
  loadDemo(kDemoScript);
  const GridWater::Shared& water = GridWater::shared();
  constexpr int kWaterStart = kSwarm + kBar * 13, kWaterEnd = kSwarm + kBar * 16;
  int drops = 0, framesWithWater = 0, frames = 0;
  float row = -1, col = -1;
  for (int t = kWaterStart; t < kWaterEnd; t += 40, ++frames) {
    renderFrame(static_cast<uint32_t>(t));
    if (water.dropRow != row || water.dropCol != col) {
      ++drops;
      row = water.dropRow;
      col = water.dropCol;
    }
    if (t >= kWaterStart + 2000) framesWithWater += water.vertexCount > 0;
  }
  EXPECT_EQ(frames, 144);
  EXPECT_GE(drops, 5);
  EXPECT_EQ(framesWithWater, frames - 50);
}

}  // namespace
