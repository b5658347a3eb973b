// The simulations through their effects: the flocks' rules and spheres, the grids' numbers
// worked out by hand, the smoke's time step, and the scene types' objects found again when
// their scene is loaded a second time (the same picture after each load).
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "base/Display.h"
#include "demoSystem/Timeline.h"
#include "effects/Boids.h"
#include "effects/Grids.h"
#include "effects/MarchingCubes.h"
#include "effects/SceneSimulations.h"
#include "effects/Smoke.h"
#include "engine/Scene.h"
#include "resources/ImageWriters.h"
#include "support/GlTestContext.h"
#include "support/SimulationScenes.h"
#include "support/TempDir.h"
#include "support/TestEffects.h"

namespace {

constexpr int kSize = 64;

std::string tinyPicture(bool jpeg) {
  const testimages::Bytes rgb = {200, 180, 160, 90, 120, 200, 60, 200, 90, 250, 250, 250};
  const testimages::Bytes bytes = jpeg ? testimages::encodeJpeg(2, 2, 3, rgb) : testimages::encodePng(2, 2, PNG_COLOR_TYPE_RGB, 8, rgb);
  return std::string(bytes.begin(), bytes.end());
}

class Simulations : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    gl = new GlTestContext(kSize, kSize);
    work = new WorkingDirectory("simulations");
    for (const char* name : {"fliser.jpg", "envmap.jpg", "metal24.jpg"}) work->write(std::string("data/textures/") + name, tinyPicture(true));
    work->write("data/textures/fliser_normal.png", tinyPicture(false));
    writeSampleShaders(*work);  // every scene loads the engine's programs
    vkgtest::save(vkgtest::simulationStage(), *work, "data/scenes/stage.vkg");
    vkgtest::save(vkgtest::twoWalls(), *work, "data/scenes/walls.vkg");  // none of their nodes
    // A scene of its own for each type in the reload test: an object another type left in
    // a shared scene would go on moving whenever that scene is drawn.
    for (const char* type : {"birds", "cube", "jet", "blobs"})
      vkgtest::save(vkgtest::simulationStage(), *work, std::string("data/scenes/") + type + ".vkg");
  }
  static void TearDownTestSuite() {
    delete work;
    delete gl;
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    screenWidth = screenHeight = kSize;
    demoEndTime = 100000;
    glViewport(0, 0, kSize, kSize);
  }
  // One frame of `effect` at t on a cleared screen; the picture.
  static std::vector<uint8_t> frame(Effect& effect, uint32_t t) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    effect.update(t);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    effect.render(t);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    return gl->pixels();
  }
  static int litPixels(const std::vector<uint8_t>& p) {
    int lit = 0;
    for (size_t i = 0; i < p.size(); i += 4) lit += (p[i] | p[i + 1] | p[i + 2]) > 8;
    return lit;
  }
  static GlTestContext* gl;
  static WorkingDirectory* work;
};

GlTestContext* Simulations::gl = nullptr;
WorkingDirectory* Simulations::work = nullptr;

TimelineEvent event(int32_t code, float value, uint32_t time = 0) {
  TimelineEvent e;
  e.code = code;
  e.value = value;
  e.time = time;
  return e;
}

}  // namespace

TEST_F(Simulations, BoidsKeepToTheUnitSphereAndALoneBoidOnlySeeksTheGoal) {
  Boids boids("boids");
  for (auto& b : boids.boids) b = {{-1, 0, 0}, {0, 0, 0}};
  boids.boids[0].position = {1, 0, 0};
  for (auto& o : boids.obstacles) o = {0, 0, -1};
  boids.step(1000);
  // Goal at 1000 ms: (cos(−0.5), sin(−0.75), sin(−1.1666667) cos(0.5)).
  const glm::vec3 goal(0.8775826f, -0.6816388f, -0.9194009f * 0.8775826f);
  const glm::vec3 expected = 0.005f * (goal - glm::vec3(1, 0, 0));
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(boids.boids[0].velocity[c], expected[c], 1e-6f);

  Boids flock("flock");
  for (uint32_t t = 0; t < 3000; t += 40) {
    flock.step(t);
    for (const auto& b : flock.boids) ASSERT_NEAR(glm::length(b.position), 1.0f, 1e-5f);
  }
  EXPECT_GT(litPixels(frame(flock, 3000)), 20);
}

TEST_F(Simulations, SceneFlockSpeedsSphereAndSeed) {
  BoidObject a("Boids01"), b("Boids01");
  a.reset();
  b.reset();
  for (int step = 0; step < 200; ++step) {
    a.step();
    b.step();
    for (size_t i = 0; i < a.boids.size(); ++i) {
      ASSERT_LE(glm::length(a.boids[i].velocity), BoidObject::kMaxSpeed + 1e-5f);
      ASSERT_NEAR(glm::length(a.boids[i].position), 69.5f, 1e-3f);
      ASSERT_EQ(a.boids[i].position, b.boids[i].position);
    }
  }
  a.reset();
  b.reset();
  EXPECT_EQ(a.boids[5].position, b.boids[5].position);
  // A step runs only once a whole step length has gathered, at most one per call.
  a.setCurrentTime(20);
  a.animate(0, 0);
  EXPECT_EQ(a.simulatedTime, 0.0f);
  a.setCurrentTime(100);
  a.animate(0, 0);
  EXPECT_EQ(a.simulatedTime, BoidObject::kStepMs);
}

TEST_F(Simulations, GridExpRippleWorkedOutByHand) {
  GridExp grid("grid");
  grid.start(0);
  grid.update(10000);  // Speed 0.1: scaledTime 0.02 × 10000 = 200, a = 10
  ASSERT_FLOAT_EQ(0.05f * grid.scaledTime, 10.0f);
  grid.animate(1, 10);
  // Vertex (row 10, column 20): d = √250 = 15.8114, d sin(d π / √1250) = 15.5940,
  // c = 0.5 sin(1) = 0.420735: z = −15.5940² × 0.420735 = −102.312.
  const GridExp::Vertex& v = grid.grid[10 * GridExp::kN + 20];
  EXPECT_NEAR(v.position[2], -102.312f, 0.01f);
  EXPECT_FLOAT_EQ(v.position[0], -10 + 20 * 20.0f / 49);
  EXPECT_NEAR(v.colour[0], 10.2312f, 0.001f);
  // a = 40: sin(4) < 0, so c is 0.01: z = −243.173 × 0.01.
  grid.animate(1, 40);
  EXPECT_NEAR(v.position[2], -2.43173f, 0.001f);
  // Edges stay where they were: row 0 and the last two rows and columns.
  EXPECT_EQ(grid.grid[0 * GridExp::kN + 20].position[2], 0.0f);
  EXPECT_EQ(grid.grid[10 * GridExp::kN + 48].position[2], 0.0f);
}

TEST_F(Simulations, GridWaterDropsGrowMergeAndStayWithinTheArrays) {
  GridWater water("water");
  water.start(0);
  GridWater::Shared& s = GridWater::shared();
  s.newDrop = true;
  GridWater::dropUpdate();
  EXPECT_EQ(GridWater::polygonise(), 0);  // nothing over 5 yet: only the tiles show
  int drops = 0;
  float heldBefore = 0;
  for (int i = 0; i < 3000 && drops < 2; ++i) {
    const bool starting = s.newDrop;
    if (starting) heldBefore = s.field[32 * 64 + 32];
    GridWater::dropUpdate();
    if (starting) {
      ++drops;
      EXPECT_GE(s.field[32 * 64 + 32], heldBefore);  // the finished blob stays
    }
  }
  EXPECT_EQ(drops, 2);
  const int count = GridWater::polygonise();
  EXPECT_GT(count, 0);
  EXPECT_LE(count, GridWater::kVertexCapacity);
  EXPECT_EQ(count % 3, 0);
  for (int i = 0; i < count; ++i) {  // only slab pair (0, 1) crosses the level
    ASSERT_LE(s.vertices[3 * size_t(i) + 2], 0.0f);
    ASSERT_GE(s.vertices[3 * size_t(i) + 2], -1.0f);
  }
  EXPECT_GT(litPixels(frame(water, 100)), kSize * kSize / 2);
}

TEST_F(Simulations, SmokeStepFollowsTheClockForwardOnly) {
  Smoke smoke("smoke");
  smoke.start(1000);
  for (uint32_t t = 1040; t <= 4000; t += 40) smoke.simulate(t);
  const std::vector<float> before = smoke.solver.dens;
  smoke.simulate(500);  // a seek back: no time passes
  for (int z = 1; z <= Smoke::kN; ++z)
    for (int y = 1; y <= Smoke::kN; ++y)
      for (int x = 1; x <= Smoke::kN; ++x) {
        const size_t i = size_t(smoke.solver.index(x, y, z));
        ASSERT_EQ(smoke.solver.dens[i], before[i]);
      }
  smoke.solver.computeShade(glm::vec3(0, 1, 0));
  for (float shade : smoke.solver.shade) ASSERT_TRUE(std::isfinite(shade));
  EXPECT_GT(litPixels(frame(smoke, 4040)), 50);  // at least the wire cube
}

TEST_F(Simulations, SmokeSlicesDrawnOnlyWhereSmokeIsGiveTheWholeSlicesPicture) {
  Smoke smoke("smoke");
  smoke.start(0);
  // Past the first puff (the density source runs while sin(t / 300) > 0.8): smoke in part
  // of the volume only, and none in the rest.
  for (uint32_t t = 40; t <= 1000; t += 40) smoke.simulate(t);
  const std::vector<uint8_t> clipped = frame(smoke, 1040);
  Smoke reference("reference");
  reference.start(0);
  for (uint32_t t = 40; t <= 1000; t += 40) reference.simulate(t);
  reference.volume.clipSlices = false;
  const std::vector<uint8_t> whole = frame(reference, 1040);
  int smoky = 0, worst = 0;
  for (size_t i = 0; i < whole.size(); ++i) {
    worst = std::max(worst, std::abs(int(whole[i]) - int(clipped[i])));
    smoky += whole[i] > 40;
  }
  EXPECT_GT(smoky, 100);   // the smoke shows
  EXPECT_LE(worst, 1);     // texture coordinates interpolated over a smaller quad round apart
}

TEST_F(Simulations, SceneTypesFindTheirObjectsAgainOnASecondLoad) {
  Metaballs first("mb");
  first.addString(0, "data/scenes/stage.vkg");
  ASSERT_NE(first.getScene(), nullptr);
  ASSERT_NE(first.surface(), nullptr);
  first.start(0);
  const std::vector<uint8_t> picture = frame(first, 800);
  EXPECT_GT(first.surface()->vertexCount, 0);
  for (int reload = 0; reload < 2; ++reload) {
    Metaballs again("mb");
    again.addString(0, "data/scenes/stage.vkg");
    EXPECT_EQ(again.surface(), first.surface());
    again.start(0);
    EXPECT_EQ(frame(again, 800), picture);
  }

  BoidScene boids("bs");
  boids.addString(0, "data/scenes/stage.vkg");
  ASSERT_NE(boids.flock(), nullptr);
  EXPECT_FALSE(boids.getScene()->findObject("Box04")->visible);
  EXPECT_FALSE(boids.getScene()->findObject("Sphere03")->visible);
  boids.start(0);
  boids.handleEvent(event(BoidScene::kPinLeader, 1));
  // Pinned every frame: the leader never gets further than one step from its start point
  // (0.33 along, and 1.2 out onto the sphere of 69.5, the point being at 68.3).
  for (uint32_t t = 500; t <= 1500; t += 100) {
    frame(boids, t);
    ASSERT_LT(glm::distance(boids.flock()->boids[0].position, glm::vec3(-0.77f, 62.6f, 27.3f)), 1.6f);
  }
  boids.handleEvent(event(BoidScene::kPinLeader, 0));
  for (uint32_t t = 1600; t <= 4000; t += 100) frame(boids, t);
  EXPECT_GT(glm::distance(boids.flock()->boids[0].position, glm::vec3(-0.77f, 62.6f, 27.3f)), 3.0f);
  BoidScene boidsAgain("bs");
  boidsAgain.addString(0, "data/scenes/stage.vkg");
  EXPECT_EQ(boidsAgain.flock(), boids.flock());

  SmokeCube cube("sc");
  cube.addString(0, "data/scenes/stage.vkg");
  ASSERT_NE(cube.smoke(), nullptr);
  cube.handleEvent(event(SmokeCube::kObstacle, 1));
  EXPECT_TRUE(cube.smoke()->getObstacle());
  cube.handleEvent(event(SmokeCube::kObstacle, 0));
  EXPECT_FALSE(cube.smoke()->getObstacle());
  SmokeCube cubeAgain("sc");
  cubeAgain.addString(0, "data/scenes/stage.vkg");
  EXPECT_EQ(cubeAgain.smoke(), cube.smoke());
}

// A reload builds the effect again on the cached scene: played from its start, it shows the
// same frames as the first load did.
TEST_F(Simulations, ReloadedSceneTypesPlayTheSameFrames) {
  const auto play = [](Effect3D& effect) {
    effect.addString(0, "data/scenes/" + effect.getName() + ".vkg");
    effect.handleEvent(event(0, 0, 1000));  // INIT at 1000
    std::vector<uint8_t> last;
    for (uint32_t t = 1000; t <= 2600; t += 80) last = frame(effect, t);
    return last;
  };
  const auto twice = [&](auto make) {
    auto first = make();
    const std::vector<uint8_t> picture = play(*first);
    EXPECT_GT(litPixels(picture), 0);
    for (int reload = 0; reload < 2; ++reload) {
      auto again = make();
      EXPECT_EQ(play(*again), picture) << again->getName() << " reload " << reload;
    }
  };
  twice([] { return std::make_unique<BoidScene>("birds"); });
  twice([] { return std::make_unique<SmokeCube>("cube"); });
  twice([] { return std::make_unique<SmokeScene>("jet"); });
  twice([] { return std::make_unique<Metaballs>("blobs"); });
}

// The child re-runs the program from the start, fixture and scenes included.
using SimulationsDeathTest = Simulations;

TEST_F(SimulationsDeathTest, MissingNodesAndCopiesAreFailedAssertionsOfTheirModules) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(Metaballs("mb").addString(0, "data/scenes/walls.vkg"), testing::ExitedWithCode(1),
              "^effects/IsoEffect3d:[0-9]+ assertion failed\n$");
  EXPECT_EXIT(BoidScene("bs").addString(0, "data/scenes/walls.vkg"), testing::ExitedWithCode(1),
              "^effects/BoidScene:[0-9]+ assertion failed\n$");
  EXPECT_EXIT(SmokeCube("sc").addString(0, "data/scenes/walls.vkg"), testing::ExitedWithCode(1),
              "^effects/SmokeCube:[0-9]+ assertion failed\n$");
  EXPECT_EXIT(SmokeScene("ss").addString(0, "data/scenes/walls.vkg"), testing::ExitedWithCode(1),
              "^effects/SmokeScene:[0-9]+ assertion failed\n$");
  EXPECT_EXIT(MarchingCubes().clone(), testing::ExitedWithCode(1), "^effects/mc:[0-9]+ assertion failed\n$");
  EXPECT_EXIT(BoidObject("Boids01").clone(), testing::ExitedWithCode(1),
              "^effects/BoidObject:[0-9]+ assertion failed\n$");
  EXPECT_EXIT(SmokeObject("Smoke01", 20).clone(), testing::ExitedWithCode(1),
              "^effects/SmokeObject:[0-9]+ assertion failed\n$");
}
