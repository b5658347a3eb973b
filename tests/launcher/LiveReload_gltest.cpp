#include "launcher/LiveReload.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/Display.h"
#include "demoSystem/EffectRegistry.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "launcher/DemoStartup.h"
#include "resources/ImageWriters.h"
#include "support/GlTestContext.h"
#include "support/TempDir.h"
#include "support/TestEffects.h"
#include "support/VkgScenes.h"

namespace {

using testimages::Bytes;

constexpr int kWidth = 64, kHeight = 48;

class LiveReloadTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { gl = new GlTestContext(kWidth, kHeight); }
  static void TearDownTestSuite() {
    delete gl;
    gl = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    screenWidth = kWidth;
    screenHeight = kHeight;
  }
  void TearDown() override {
    delete effectRegistry;
    effectRegistry = nullptr;
    delete eventList;
    eventList = nullptr;
  }

  void picture(const std::string& path, uint8_t r, uint8_t g, uint8_t b) {
    Bytes pixels;
    for (int i = 0; i < 4; ++i) pixels.insert(pixels.end(), {r, g, b});
    const Bytes png = testimages::encodePng(2, 2, PNG_COLOR_TYPE_RGB, 8, pixels);
    work.write(path, std::string(png.begin(), png.end()));
  }
  // Files written are seen, and after a quiet while the reload is due.
  static bool settled(LiveReload& live) {
    for (int i = 0; i < 500; ++i) {
      if (live.changesSettled()) return true;
      live.waitForChanges(20);
    }
    return false;
  }
  static std::array<int, 3> centreAt(uint32_t t) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    renderFrame(t);
    const auto p = gl->pixel(kWidth / 2, kHeight / 2);
    return {p[0], p[1], p[2]};
  }
  static bool read(const LiveReload& live, const std::string& path) {
    const auto& files = live.filesReadByLastLoad();
    return std::find(files.begin(), files.end(), path) != files.end();
  }

  static GlTestContext* gl;
  WorkingDirectory work{"livereload"};
};

GlTestContext* LiveReloadTest::gl = nullptr;

const std::string kScript = R"(DEMO_END 10000
DEFINE FRAGMENT 36
__SETUP__
INSERT_EFFECT Image AS a
0 s a Datafile "data/images/a.png"
INSERT_EFFECT Image AS b
0 s b Datafile "data/images/b.png"
__TIMELINE__
0 b a
0 t a FRAGMENT "data/shaders/one.cg"
0 t b FRAGMENT "data/shaders/two.cg"
)";
const char* kShader = "#version 120\nvoid main() { gl_FragColor = gl_Color; }\n";

TEST_F(LiveReloadTest, WhatChangedIsReadAgainAndAFailedReloadLeavesTheDemoPlayingWithItsProblemsShown) {
  work.write(kDemoScript, kScript);
  picture("data/images/a.png", 255, 0, 0);
  picture("data/images/b.png", 0, 255, 0);
  work.write("data/shaders/one.cg", kShader);
  work.write("data/shaders/two.cg", kShader);
  LiveReload live(kDemoScript, kSoundtrack);
  ASSERT_TRUE(live.reload());
  EXPECT_TRUE(live.problems().empty());
  EXPECT_EQ(centreAt(100), (std::array<int, 3>{255, 0, 0}));
  for (const char* path : {kDemoScript, "data/images/a.png", "data/images/b.png", "data/shaders/one.cg"})
    EXPECT_TRUE(read(live, path)) << path;

  // A picture and a shader change: those two are read again, the others come from the caches.
  picture("data/images/a.png", 0, 0, 255);
  work.write("data/shaders/one.cg", std::string(kShader) + "// edited\n");
  ASSERT_TRUE(settled(live));
  ASSERT_TRUE(live.reload());
  EXPECT_TRUE(read(live, "data/images/a.png"));
  EXPECT_TRUE(read(live, "data/shaders/one.cg"));
  EXPECT_FALSE(read(live, "data/images/b.png"));
  EXPECT_FALSE(read(live, "data/shaders/two.cg"));
  EXPECT_EQ(centreAt(100), (std::array<int, 3>{0, 0, 255}));

  // A script error: the demo loaded before plays on, its end unchanged, the problem on top.
  const EffectRegistry* playing = effectRegistry;
  work.write(kDemoScript, kScript + "DEMO_END 5000\n@@@ b a\n");
  ASSERT_TRUE(settled(live));
  EXPECT_FALSE(live.reload());
  EXPECT_EQ(live.problems(), (std::vector<std::string>{"data/scripts/demo_kx06.script:13: DEFINE not found: @@@"}));
  EXPECT_EQ(effectRegistry, playing);
  EXPECT_EQ(playbackEndTime, 10000u);
  EXPECT_EQ(demoEndTime, 10000u);
  EXPECT_EQ(centreAt(100), (std::array<int, 3>{0, 0, 255}));
  live.drawProblems(kWidth, kHeight);
  // The box (0.35, 0, 0) at 0.85 over the blue picture, in the top-left corner; white letters in it.
  const auto corner = gl->pixel(0, kHeight - 1);
  EXPECT_NEAR(corner[0], 76, 2);
  EXPECT_NEAR(corner[1], 0, 2);
  EXPECT_NEAR(corner[2], 38, 2);
  const std::vector<uint8_t> all = gl->pixels();
  int white = 0;
  for (int y = kHeight - 20; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) white += all[(size_t(y) * kWidth + x) * 4 + 1] > 200;
  EXPECT_GT(white, 10);

  // A shader that does not compile fails the reload at its own line; fixed, the demo is back.
  work.write(kDemoScript, kScript);
  work.write("data/shaders/two.cg", "#version 120\nvoid main() { gl_FragColor = nothing; }\n");
  ASSERT_TRUE(settled(live));
  EXPECT_FALSE(live.reload());
  ASSERT_EQ(live.problems().size(), 1u);
  EXPECT_EQ(live.problems()[0].rfind("data/shaders/two.cg:2: CG error: ", 0), 0u) << live.problems()[0];
  work.write("data/shaders/two.cg", kShader);
  ASSERT_TRUE(settled(live));
  EXPECT_TRUE(live.reload());
  EXPECT_TRUE(live.problems().empty());
  EXPECT_NE(effectRegistry, playing);
}

TEST_F(LiveReloadTest, AFirstLoadThatFailsWaitsForTheFix) {
  LiveReload live(kDemoScript, kSoundtrack);
  EXPECT_FALSE(live.reload());
  EXPECT_FALSE(live.hasDemo());
  EXPECT_EQ(live.problems(), (std::vector<std::string>{"data/scripts/demo_kx06.script:0: script: could not open "
                                                       "file for parsing: data/scripts/demo_kx06.script"}));
  work.write(kDemoScript, "DEMO_END 10000\nINSERT_EFFECT Clear AS bg\n__TIMELINE__\n0 b bg\n0 s bg Green 1\n");
  ASSERT_TRUE(settled(live));
  ASSERT_TRUE(live.reload());
  EXPECT_TRUE(live.hasDemo());
  EXPECT_EQ(centreAt(0), (std::array<int, 3>{0, 255, 0}));
}

// A scene whose walls are painted with one picture from data/textures/.
void writeWalls(const WorkingDirectory& work, glm::vec3 red) {
  vkg::SceneFile walls = vkgtest::twoWalls();
  walls.materialLists[0][0].diffuse = red;
  walls.materialLists[0][0].maps = {{"C:\\maps\\wall.png", vkg::kDiffuseMap}};
  vkgtest::save(walls, work, "data/scenes/walls.vkg");
}

TEST_F(LiveReloadTest, AChangedSceneFileOrPictureReadsTheSceneAgain) {
  // The scene is drawn with the depth test: every frame starts from a cleared depth buffer.
  const auto sceneAt = [](uint32_t t) {
    glClear(GL_DEPTH_BUFFER_BIT);
    return centreAt(t);
  };
  writeSampleShaders(work);
  work.write(kDemoScript, "DEMO_END 10000\n__SETUP__\nINSERT_EFFECT Scene AS s\n"
                          "0 s s Datafile \"data/scenes/walls.vkg\"\n__TIMELINE__\n0 b s\n0 i s\n");
  writeWalls(work, {1, 0, 0});
  picture("data/textures/wall.png", 255, 255, 255);
  LiveReload live(kDemoScript, kSoundtrack);
  ASSERT_TRUE(live.reload());
  // Not finding a compressed picture first is no problem.
  EXPECT_TRUE(live.problems().empty()) << live.problems().front();
  EXPECT_TRUE(read(live, "data/scenes/walls.vkg"));
  EXPECT_EQ(sceneAt(100), (std::array<int, 3>{255, 0, 0}));

  writeWalls(work, {1, 0, 1});
  ASSERT_TRUE(settled(live));
  ASSERT_TRUE(live.reload());
  EXPECT_TRUE(read(live, "data/scenes/walls.vkg"));
  EXPECT_EQ(sceneAt(100), (std::array<int, 3>{255, 0, 255}));

  picture("data/textures/wall.png", 0, 255, 255);
  ASSERT_TRUE(settled(live));
  ASSERT_TRUE(live.reload());
  EXPECT_TRUE(read(live, "data/scenes/walls.vkg"));
  EXPECT_EQ(sceneAt(100), (std::array<int, 3>{0, 0, 255}));
}

}  // namespace
