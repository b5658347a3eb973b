// The scene-based parts on the scenes the generator writes for the sample demo: each finds
// the nodes it looks up (a missing one would stop the program) and puts its scene on a good
// part of the screen.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "base/Display.h"
#include "demoSystem/Timeline.h"
#include "effects/SceneParts.h"
#include "support/EngineScenes.h"
#include "support/GlTestContext.h"
#include "support/Program.h"
#include "support/TempDir.h"
#include "support/TestEffects.h"

namespace {

constexpr int kSize = 128;

// The share of pixels that are not black after one frame at `t` ms of the effect's clock.
double coverage(Effect3D& fx, uint32_t t, GlTestContext& gl, const std::string& name) {
  glViewport(0, 0, kSize, kSize);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  fx.start(0);
  fx.update(t);
  fx.render(t);
  enginetest::dumpPng("gen_sceneparts_" + name, kSize, kSize);
  const std::vector<uint8_t> pixels = gl.pixels();
  size_t lit = 0;
  for (size_t p = 0; p < pixels.size(); p += 4) lit += pixels[p] + pixels[p + 1] + pixels[p + 2] > 24;
  return static_cast<double>(lit) / (kSize * kSize);
}

const char* const kTool = DE_BINARY_DIR "/tools/gen-scenes/gen-scenes";

TEST(GenSceneParts, EveryPartFindsItsNodesAndFillsThePicture) {
  if (!std::filesystem::exists(kTool)) GTEST_SKIP() << "the scene generator is not built here";
  GlTestContext gl(kSize, kSize);
  ASSERT_TRUE(gl.ok());
  WorkingDirectory work("gen_sceneparts");
  writeSampleShaders(work);
  ASSERT_EQ(runCommand(".", std::string("'") + kTool + "' .").exitCode, 0);
  demoEndTime = 100000;
  screenWidth = screenHeight = kSize;

  ArmScene arm("arm");
  EXPECT_GT(coverage(arm, 1000, gl, "arm"), 0.5);
  SwimBoid swim("swim");
  EXPECT_GT(coverage(swim, 1000, gl, "swim"), 0.3);
  GrowScene grow("grow");
  grow.Speed.value = 0.6f;
  EXPECT_GT(coverage(grow, 3800, gl, "grow"), 0.3);
  // All three branches have grown out by then.
  for (SceneObject* root : grow.branchRoots) EXPECT_TRUE(root->getFirstChild()->visible);
  FontMachine stand("stand");
  EXPECT_GT(coverage(stand, 1000, gl, "stand"), 0.3);
  ParticleTest sparks("sparks");
  EXPECT_EQ(sparks.particles->activeCount(), 100);
  EXPECT_GT(coverage(sparks, 1000, gl, "sparks"), 0.3);
  ThreadObject threads("threads");
  threads.addString(0, "data/scenes/threads.vkg");
  EXPECT_EQ(threads.trails.size(), 12u);
  threads.Speed.value = 5.0f;
  threads.start(0);
  for (uint32_t t = 0; t < 2000; t += 40) {
    threads.update(t);
    threads.render(t);
  }
  EXPECT_EQ(threads.trails[0]->pointCount(), 50);
  EXPECT_GT(coverage(threads, 2000, gl, "threads"), 0.03);
}

}  // namespace
