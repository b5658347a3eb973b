// The simulations through their effects: the flocks' rules and spheres, the grids' numbers
// worked out by hand, the smoke's time step, what each simulation itself draws and where (the
// frame against the same frame without it, at places projected through the effect's camera),
// and the scene types' objects found again when their scene is loaded a second time (the same
// picture after each load).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include <glm/gtc/matrix_transform.hpp>
#include <glm/gtc/type_ptr.hpp>

#include "base/Display.h"
#include "demoSystem/Timeline.h"
#include "effects/Boids.h"
#include "effects/Grids.h"
#include "effects/MarchingCubes.h"
#include "effects/SceneSimulations.h"
#include "effects/Smoke.h"
#include "engine/Scene.h"
#include "resources/ImageWriters.h"
#include "resources/RenderTarget.h"
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

// The simulation stage with the camera "Camera01" at `distance` on +z (still aimed at the
// origin) and the bird "Box04" `birdScale` times its size.
vkg::SceneFile stageFrom(float distance, float birdScale) {
  vkg::SceneFile file = vkgtest::simulationStage();
  for (vkg::CameraRecord& camera : file.cameras)
    if (camera.object.name == "Camera01") camera.object.position = {0.0f, 0.0f, distance};
  for (vkg::MeshRecord& mesh : file.meshes)
    if (mesh.object.name == "Box04")
      for (glm::vec3& p : mesh.positions) p *= birdScale;
  return file;
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
    // And one each for the tests that look at where an effect draws (they add a probe).
    vkgtest::save(stageFrom(400, 4), *work, "data/scenes/flock_far.vkg");
    vkgtest::save(stageFrom(150, 1), *work, "data/scenes/blobs_seen.vkg");
    vkgtest::save(stageFrom(400, 1), *work, "data/scenes/cube_seen.vkg");
    vkgtest::save(stageFrom(150, 1), *work, "data/scenes/jet_seen.vkg");
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
  // One frame of `effect` at t in a `size`² target with depth, as the screen of that size.
  static std::vector<uint8_t> frameIn(Effect& effect, uint32_t t, int size) {
    static RenderTarget* targets[1025] = {};
    RenderTarget*& target = targets[size];
    if (!target) {
      target = new RenderTarget;
      target->init("simulations_" + std::to_string(size), size, size, RenderTarget::kDepth | RenderTarget::kAlpha);
    }
    screenWidth = screenHeight = size;
    target->bind();
    glViewport(0, 0, size, size);
    std::vector<uint8_t> pixels = frame(effect, t);
    pixels.assign(size_t(size) * size * 4, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, size, size, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    target->unbind();
    screenWidth = screenHeight = kSize;
    glViewport(0, 0, kSize, kSize);
    return pixels;
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

// [SECTION] Where a scene puts things on screen

// Draws nothing; keeps the camera's matrices and the viewport it was drawn with. At the top
// level of a scene with no transform of its own, its modelview is the camera's view.
class CameraProbe : public SceneObject {
 public:
  CameraProbe() : SceneObject(4711, "CameraProbe") {}
  void drawGeometry() override {
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    view = glm::make_mat4(m);
    glGetFloatv(GL_PROJECTION_MATRIX, m);
    projection = glm::make_mat4(m);
    glGetIntegerv(GL_VIEWPORT, glm::value_ptr(viewport));
    ++draws;
  }
  // The window position (pixels, bottom up) of a point of the world.
  glm::vec2 window(glm::vec3 world) const {
    const glm::vec4 clip = projection * view * glm::vec4(world, 1.0f);
    const glm::vec2 ndc = glm::vec2(clip) / clip.w;
    return {viewport[0] + (ndc.x + 1) * 0.5f * viewport[2], viewport[1] + (ndc.y + 1) * 0.5f * viewport[3]};
  }
  glm::mat4 view{1.0f}, projection{1.0f};
  glm::ivec4 viewport{0};
  int draws = 0;
};

CameraProbe* addProbe(Effect3D& effect) {
  return effect.getScene()->addObject(std::make_unique<CameraProbe>(), -1);
}

// The centre of cell (x, y, z) of an n³ smoke volume in the unit cube the volume is drawn in,
// centred on the object's origin.
glm::vec3 smokeCell(int n, glm::vec3 cell) {
  return (cell - glm::vec3(0.5f)) / static_cast<float>(n) - glm::vec3(0.5f);
}

// Pixel (x, y) of a frame of width w read back bottom row first: its brightest channel.
int brightest(const std::vector<uint8_t>& p, int w, int x, int y) {
  const uint8_t* q = &p[(static_cast<size_t>(y) * w + x) * 4];
  return std::max({q[0], q[1], q[2]});
}

// The largest brightness difference between two frames within `radius` pixels of `at`.
int largestChangeNear(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int w, int h, glm::vec2 at,
                      int radius) {
  int largest = 0;
  for (int y = int(at.y) - radius; y <= int(at.y) + radius; ++y)
    for (int x = int(at.x) - radius; x <= int(at.x) + radius; ++x)
      if (x >= 0 && y >= 0 && x < w && y < h)
        largest = std::max(largest, std::abs(brightest(a, w, x, y) - brightest(b, w, x, y)));
  return largest;
}

// Pixels of two square frames that differ by more than 8 levels: how many, and how many of
// them lie outside the on-screen outline (one pixel of slack) of the box low…high in the
// space `world` maps to the world.
struct BoxChange {
  int changed = 0, outside = 0;
};
BoxChange changeAroundBox(const std::vector<uint8_t>& shown, const std::vector<uint8_t>& without, int size,
                          const CameraProbe& probe, const glm::mat4& world, glm::vec3 low, glm::vec3 high) {
  glm::vec2 lo(1e9f), hi(-1e9f);
  for (int corner = 0; corner < 8; ++corner) {
    const glm::vec3 p((corner & 1) ? high.x : low.x, (corner & 2) ? high.y : low.y, (corner & 4) ? high.z : low.z);
    const glm::vec2 w = probe.window(world * glm::vec4(p, 1));
    lo = glm::min(lo, w);
    hi = glm::max(hi, w);
  }
  BoxChange change;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x)
      if (std::abs(brightest(shown, size, x, y) - brightest(without, size, x, y)) > 8) {
        ++change.changed;
        if (x + 0.5f < lo.x - 1 || x + 0.5f > hi.x + 1 || y + 0.5f < lo.y - 1 || y + 0.5f > hi.y + 1) ++change.outside;
      }
  return change;
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
}

// The smoke itself, not the wire cube round it: where the source puffs at the bottom of the
// cube, the frame is brighter than the same frame with the density taken out.
TEST_F(Simulations, SmokeShowsItsDensityInsideTheCubeWhereTheSourceIs) {
  Smoke smoke("smoke");
  smoke.start(0);
  // The source runs while sin(t / 300) > 0.8: the third puff from 4048 ms.
  for (uint32_t t = 40; t <= 4400; t += 40) smoke.simulate(t);
  // Source cells: x and z 12 and 13, y up to 3, of n = 22.
  const int n = Smoke::kN;
  const float atSource = smoke.solver.dens[size_t(smoke.solver.index(13, 2, 13))];
  EXPECT_GT(atSource, 0.5f);
  const std::vector<uint8_t> withSmoke = frame(smoke, 4400);  // no time passes: the same state
  std::fill(smoke.solver.dens.begin(), smoke.solver.dens.end(), 0.0f);
  const std::vector<uint8_t> cubeOnly = frame(smoke, 4400);
  // The effect's camera: 90° at 1.33, from (0, 0, 1.2), the cube turned about y, then x.
  const float t = 4400;
  glm::mat4 m = glm::perspective(glm::radians(90.0f), 1.33f, 0.1f, 100.0f) *
                glm::lookAt(glm::vec3(0, 0, 1.2f), glm::vec3(0), glm::vec3(0, 1, 0));
  m = glm::rotate(m, glm::radians(40 * std::sin(0.0006666666666666666f * t)), glm::vec3(0, 1, 0));
  m = glm::rotate(m, glm::radians(20 * std::sin(0.0005f * t + 2)), glm::vec3(1, 0, 0));
  const glm::vec4 clip = m * glm::vec4(smokeCell(n, {12.5f, 2, 12.5f}), 1);
  const glm::vec2 at = (glm::vec2(clip) / clip.w + 1.0f) * 0.5f * float(kSize);
  ASSERT_TRUE(at.x > 2 && at.y > 2 && at.x < kSize - 3 && at.y < kSize - 3) << at.x << ", " << at.y;
  // Round that point, where the cube alone leaves the frame black (a wire may pass close by),
  // the smoke shows bright.
  int smokeOnBlack = -1;
  for (int y = int(at.y) - 2; y <= int(at.y) + 2; ++y)
    for (int x = int(at.x) - 2; x <= int(at.x) + 2; ++x)
      if (brightest(cubeOnly, kSize, x, y) <= 8) smokeOnBlack = std::max(smokeOnBlack, brightest(withSmoke, kSize, x, y));
  EXPECT_GT(smokeOnBlack, 100);
  EXPECT_GT(litPixels(cubeOnly), 20);  // the wire cube is still there
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
  // The wire cube alone: the same frame (no time passes) with the density taken out.
  std::fill(reference.solver.dens.begin(), reference.solver.dens.end(), 0.0f);
  const std::vector<uint8_t> cubeOnly = frame(reference, 1040);
  int smoky = 0, worst = 0;
  for (size_t i = 0; i < whole.size(); ++i) {
    worst = std::max(worst, std::abs(int(whole[i]) - int(clipped[i])));
    smoky += std::abs(int(whole[i]) - int(cubeOnly[i])) > 40;
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

// The scene flock seen from 400 units, birds four times their size: every boid shows as a bird
// where the camera puts it, and nothing of the flock lies outside the sphere it flies on.
TEST_F(Simulations, SceneFlockBirdsShowWhereTheyFlyAndInsideTheirSphere) {
  BoidScene birds("bs_seen");
  birds.addString(0, "data/scenes/flock_far.vkg");
  ASSERT_NE(birds.flock(), nullptr);
  CameraProbe* probe = addProbe(birds);
  birds.start(0);
  constexpr int kPicture = 256;
  for (uint32_t t = 100; t <= 2000; t += 100) frameIn(birds, t, kPicture);
  const std::vector<uint8_t> shown = frameIn(birds, 2000, kPicture);
  birds.flock()->visible = false;
  const std::vector<uint8_t> without = frameIn(birds, 2000, kPicture);
  birds.flock()->visible = true;
  ASSERT_GT(probe->draws, 0);
  const glm::mat4& world = birds.flock()->world;
  const glm::vec2 centre = probe->window(world * glm::vec4(0, 0, 0, 1));
  // The sphere's outline: radius 69.5 seen from 400 is asin(69.5 / 400) off the axis; a bird
  // (12 units long here) reaches 6 beyond it.
  const float pixelsPerTangent = probe->projection[1][1] * kPicture / 2;
  const float outline = pixelsPerTangent * std::tan(std::asin((BoidObject::kWorldRadius + 6) / 400.0f));
  int changed = 0, outside = 0;
  for (int y = 0; y < kPicture; ++y)
    for (int x = 0; x < kPicture; ++x)
      if (std::abs(brightest(shown, kPicture, x, y) - brightest(without, kPicture, x, y)) > 8) {
        ++changed;
        if (glm::distance(glm::vec2(x + 0.5f, y + 0.5f), centre) > outline + 1) ++outside;
      }
  EXPECT_GT(changed, 300);
  EXPECT_EQ(outside, 0) << "outline " << outline << " px round " << centre.x << ", " << centre.y;
  int seen = 0;
  for (const BoidObject::Boid& boid : birds.flock()->boids) {
    const glm::vec2 at = probe->window(world * glm::vec4(boid.position, 1));
    seen += largestChangeNear(shown, without, kPicture, kPicture, at, 2) > 8;
  }
  EXPECT_EQ(seen, BoidObject::kBoidCount);
}

// The metaball surface in its box: hidden, the frame loses exactly pixels inside the box's
// outline on screen, and among them every ball's centre (each ball encloses its own).
TEST_F(Simulations, MetaballSurfaceShowsInsideItsBoxAroundEveryBall) {
  Metaballs blobs("mb_seen");
  blobs.addString(0, "data/scenes/blobs_seen.vkg");
  ASSERT_NE(blobs.surface(), nullptr);
  CameraProbe* probe = addProbe(blobs);
  blobs.start(0);
  constexpr int kPicture = 128;
  const std::vector<uint8_t> shown = frameIn(blobs, 800, kPicture);
  blobs.surface()->visible = false;
  const std::vector<uint8_t> without = frameIn(blobs, 800, kPicture);
  blobs.surface()->visible = true;
  const glm::mat4& world = blobs.surface()->world;
  // The grid's box: −19 … 18 in the surface's own units.
  const BoxChange change = changeAroundBox(shown, without, kPicture, *probe, world, glm::vec3(-19), glm::vec3(18));
  EXPECT_GT(change.changed, 200);
  EXPECT_EQ(change.outside, 0);
  for (const glm::dvec3& c : blobs.surface()->balls.centres) {
    const glm::vec2 at = probe->window(world * glm::vec4(glm::vec3(c), 1));
    EXPECT_GT(largestChangeNear(shown, without, kPicture, kPicture, at, 1), 8) << c.x << ", " << c.y << ", " << c.z;
  }
}

// The scene smokes: where their source puffs, inside the volume's cube on screen, the frame is
// brighter than the same frame with the density taken out, and only inside that cube.
TEST_F(Simulations, SceneSmokeShowsWhereItsSourceIsInsideItsCube) {
  struct Case {
    std::unique_ptr<Effect3D> effect;
    const char* scene;
    glm::vec3 sourceCell;
  };
  Case cases[2];
  cases[0] = {std::make_unique<SmokeCube>("sc_seen"), "data/scenes/cube_seen.vkg", {9.5f, 2.5f, 9.5f}};
  cases[1] = {std::make_unique<SmokeScene>("ss_seen"), "data/scenes/jet_seen.vkg", {2, 2, 2}};
  for (Case& c : cases) {
    Effect3D& effect = *c.effect;
    effect.addString(0, c.scene);
    SmokeObject* smoke = dynamic_cast<SmokeObject*>(effect.getScene()->findObject("Smoke01"));
    ASSERT_NE(smoke, nullptr) << c.scene;
    CameraProbe* probe = addProbe(effect);
    effect.start(0);
    constexpr int kPicture = 128;
    for (uint32_t t = 0; t <= 800; t += 40) frameIn(effect, t, kPicture);
    const int n = smoke->solver.n;
    const glm::ivec3 cell(c.sourceCell);
    EXPECT_GT(smoke->solver.dens[size_t(smoke->solver.index(cell.x, cell.y, cell.z))], 0.5f) << c.scene;
    const std::vector<uint8_t> shown = frameIn(effect, 800, kPicture);
    std::fill(smoke->solver.dens.begin(), smoke->solver.dens.end(), 0.0f);
    const std::vector<uint8_t> without = frameIn(effect, 800, kPicture);
    const glm::mat4& world = smoke->world;
    const BoxChange change =
        changeAroundBox(shown, without, kPicture, *probe, world, glm::vec3(-0.5f), glm::vec3(0.5f));
    const glm::vec2 at = probe->window(world * glm::vec4(smokeCell(n, c.sourceCell), 1));
    EXPECT_GT(change.changed, 50) << c.scene;
    EXPECT_EQ(change.outside, 0) << c.scene;
    EXPECT_GT(largestChangeNear(shown, without, kPicture, kPicture, at, 1), 30) << c.scene;
  }
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
