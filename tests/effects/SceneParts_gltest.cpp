// The scene-based parts against values worked out by hand: joint angles of a chain,
// branches that grow one after another, the particle quads and the trails; then the six
// effects on the smallest scenes they accept, each loaded a second time from the cache
// (as a reload does) to see that nothing is added twice.
#include "effects/SceneParts.h"

#include <gtest/gtest.h>

#include <cmath>

#include <glm/gtc/type_ptr.hpp>

#include "base/Display.h"
#include "base/Random.h"
#include "demoSystem/Timeline.h"
#include "engine/Scene.h"
#include "support/EngineScenes.h"
#include "support/GlTestContext.h"
#include "support/PartScenes.h"
#include "support/TestEffects.h"

namespace {

using namespace sceneparts;
constexpr int kSize = 64;

class SceneParts : public testing::Test {
 protected:
  // The context and folder live for the whole program: cached scenes belong to them.
  static void SetUpTestSuite() {
    if (gl) return;
    gl = new GlTestContext(kSize, kSize);
    work = new WorkingDirectory("scene_parts");
    writeSampleShaders(*work);
    partscenes::writeAll(*work);
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    demoEndTime = 100000;
    screenWidth = screenHeight = kSize;
    glViewport(0, 0, kSize, kSize);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }

  // One frame of `fx` at t (its scaled time t / 10 at the default speed) on black.
  static std::vector<uint8_t> frame(Effect3D& fx, uint32_t t, const std::string& name) {
    glViewport(0, 0, kSize, kSize);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    fx.update(t);
    fx.render(t);
    enginetest::dumpPng("sceneparts_" + name, kSize, kSize);
    return gl->pixels();
  }

  static GlTestContext* gl;
  static WorkingDirectory* work;
};

// Draws nothing; keeps the projection and the modelview it was drawn with. At the top level
// of a scene, without a transform of its own, the modelview is the camera's view.
class CameraProbe : public SceneObject {
 public:
  CameraProbe() : SceneObject(4711, "CameraProbe") {}
  void drawGeometry() override {
    glGetFloatv(GL_MODELVIEW_MATRIX, glm::value_ptr(view));
    glGetFloatv(GL_PROJECTION_MATRIX, glm::value_ptr(projection));
  }
  // The window pixel (bottom up) of a point in eye space.
  static glm::ivec2 pixelOfEye(const glm::mat4& projection, glm::vec3 eye) {
    const glm::vec4 clip = projection * glm::vec4(eye, 1.0f);
    const glm::vec2 window = (glm::vec2(clip) / clip.w + 1.0f) * 0.5f * float(kSize);
    return glm::ivec2(glm::floor(window));
  }
  glm::ivec2 pixelOf(glm::vec3 world) const { return pixelOfEye(projection, glm::vec3(view * glm::vec4(world, 1))); }
  glm::mat4 view{1.0f}, projection{1.0f};
};
GlTestContext* SceneParts::gl = nullptr;
WorkingDirectory* SceneParts::work = nullptr;

TEST_F(SceneParts, ChainAnglesFollowTheWaveAndStayFiniteWhenTheSegmentsLineUp) {
  // At T = 0 with lag 6, rate 0.05: w_k = sin(−0.3 k). Points c_k = 25 k (cos w_k, 0, −sin w_k).
  const ChainPose pose = chainPose(0, 1, 6, 0.05f, 25);
  EXPECT_FLOAT_EQ(pose.rootDegrees, 0.0f);
  auto point = [](int k) {
    const double w = std::sin(-0.3 * k);
    return glm::dvec3(25 * k * std::cos(w), 0, -25 * k * std::sin(w));
  };
  for (int j = 0; j < ChainPose::kJoints; ++j) {
    const glm::dvec3 a = point(j + 2) - point(j + 1), b = point(j + 1) - point(j);
    const double theta = std::acos(glm::dot(a, b) / (glm::length(a) * glm::length(b)));
    const double expected = (glm::cross(a, b).y > 0 ? -theta : theta) * 57.29577951308232;
    EXPECT_NEAR(pose.jointDegrees[j], expected, 1e-3) << j;
  }
  // Every point turned by the same angle: the chain is straight, and the normalised dot
  // products of its equal segments round to just above 1 for many angles (acos: NaN).
  for (int i = 0; i < 2000; ++i) {
    const ChainPose line = chainPose(static_cast<float>(i) * 0.00314f, 1, 0, 1, 25);
    for (float joint : line.jointDegrees) {
      ASSERT_TRUE(std::isfinite(joint)) << i;
      EXPECT_NEAR(joint, 0.0f, 0.06f) << i;
    }
  }
}

TEST_F(SceneParts, PosingAChainTurnsTheRootAndEachFirstChildAboutTheAxis) {
  Scene scene;
  SceneObject* root = scene.addObject(std::make_unique<SceneObject>(1, "root"), -1);
  SceneObject* parent = root;
  for (int id = 2; id <= 11; ++id) parent = scene.addObject(std::make_unique<SceneObject>(id, "n"), parent->id);
  ChainPose pose;
  for (int j = 0; j < ChainPose::kJoints; ++j) pose.jointDegrees[j] = 10.0f * (j + 1);
  poseChain(*root, {5, 0, 0}, pose, 0);
  EXPECT_EQ(root->eulerDegrees, glm::vec3(5, 0, 0));
  int j = 0;
  for (SceneObject* node = root->getFirstChild(); node; node = node->getFirstChild(), ++j)
    EXPECT_EQ(node->eulerDegrees, j < 8 ? glm::vec3(10.0f * (j + 1), 0, 0) : glm::vec3(0)) << j;
  EXPECT_EQ(j, 10);
}

TEST_F(SceneParts, ClonesAreAddedOnceUnderTheirName) {
  Scene scene;
  SceneObject* arm = scene.addObject(std::make_unique<SceneObject>(1, "arm"), -1);
  scene.addObject(std::make_unique<SceneObject>(2, "hand"), 1);
  bool created = false;
  SceneObject* copy = cloneOnce(scene, *arm, nullptr, "arm#1", &created);
  EXPECT_TRUE(created);
  EXPECT_EQ(copy->getFirstChild()->name, "hand");
  EXPECT_EQ(scene.getDrawList().size(), 4u);
  EXPECT_EQ(cloneOnce(scene, *arm, nullptr, "arm#1", &created), copy);
  EXPECT_FALSE(created);
  EXPECT_EQ(scene.getDrawList().size(), 4u);
  EXPECT_EQ(arm->getNextSibling(), copy);
}

// A branch of three segments with side branches certain (probability 1), in a fresh scene.
struct Branch {
  Scene scene;
  SceneObject* root;
  Branch(int segments, float probability) {
    root = scene.addObject(std::make_unique<SceneObject>(5, "del05"), -1);
    demoSrand(1337);
    buildBranch(&scene, root, segments, {26.923077f, 46.153847f, 15.384615f}, {{20, 0, 20}, 0.98f, 0.2f, 0.7f},
                probability);
  }
};

TEST_F(SceneParts, ABranchIsAChainOfSegmentsWithSideBranchesAndADryBuildDrawsTheSameNumbers) {
  Branch plain(3, 0.0f);
  // Three segments below the root, each at (120, 0, 0) from the one before, named in order.
  int depth = 0;
  for (SceneObject* s = plain.root->getFirstChild(); s; s = s->getFirstChild(), ++depth) {
    EXPECT_EQ(s->position, glm::vec3(120, 0, 0));
    EXPECT_EQ(s->name, "del05#" + std::to_string(depth + 1));
  }
  EXPECT_EQ(depth, 3);
  // The first segment's turn: the base angles plus a share of the amplitude drawn after
  // the side-branch draw: u = 2 r / 32767 − 1.
  demoSrand(1337);
  demoRand();
  const float u1 = 2.0f * demoRand() / 32767 - 1, u2 = 2.0f * demoRand() / 32767 - 1, u3 = 2.0f * demoRand() / 32767 - 1;
  const glm::vec3 first = plain.root->getFirstChild()->eulerDegrees;
  EXPECT_FLOAT_EQ(first.x, 26.923077f + 20 * u1);
  EXPECT_FLOAT_EQ(first.y, 46.153847f + 0 * u2);
  EXPECT_FLOAT_EQ(first.z, 15.384615f + 20 * u3);

  Branch sided(3, 1.0f);
  // Every segment sprouts a side branch turned 30° about x next to it; the root's own one
  // is the root's sibling.
  SceneObject* side = sided.root->getNextSibling();
  ASSERT_NE(side, nullptr);
  EXPECT_EQ(side->eulerDegrees, glm::vec3(30, 0, 0));
  const uint16_t afterBuild = demoRand();
  demoSrand(1337);
  buildBranch(nullptr, nullptr, 3, {26.923077f, 46.153847f, 15.384615f}, {{20, 0, 20}, 0.98f, 0.2f, 0.7f}, 1.0f);
  EXPECT_EQ(demoRand(), afterBuild);
}

TEST_F(SceneParts, GrowthShowsOneSegmentPer26thAndScalesTheTip) {
  Branch b(kBranchSegments, 0.0f);
  std::vector<SceneObject*> chain;
  for (SceneObject* s = b.root; s; s = s->getFirstChild()) chain.push_back(s);
  ASSERT_EQ(chain.size(), 27u);
  growBranch(b.root, 0, 0.0f, 0.9f);
  for (SceneObject* s : chain) EXPECT_FALSE(s->visible);
  // g = 2.5 / 26: levels 0 and 1 done (scale 0.9), level 2 half grown (scale 0.5), the rest hidden.
  growBranch(b.root, 0, 2.5f / 26, 0.9f);
  EXPECT_TRUE(chain[0]->visible && chain[1]->visible && chain[2]->visible);
  EXPECT_EQ(chain[1]->scale, glm::vec3(0.9f));
  EXPECT_NEAR(chain[2]->scale.x, 0.5f, 1e-4);
  for (size_t i = 3; i < chain.size(); ++i) EXPECT_FALSE(chain[i]->visible) << i;
}

TEST_F(SceneParts, ParticlesFillQuadsThroughTheViewMatrixUpToTheCapacity) {
  ParticleSystem system(200, "sparks");
  system.emit(1, 2, 3, 16);
  system.viewMatrix = glm::translate(glm::mat4(1.0f), glm::vec3(10, 20, -30));
  system.fillQuads();
  // x = 1 + 10 − 8, y = 2 + 20 − 8, z = 3 − 30; sides 16; colour (value + base, r, g, b).
  const float* v = system.vertexPositions();
  const float expected[4][3] = {{3, 14, -27}, {19, 14, -27}, {19, 30, -27}, {3, 30, -27}};
  for (int k = 0; k < 4; ++k)
    for (int a = 0; a < 3; ++a) EXPECT_FLOAT_EQ(v[k * 4 + a], expected[k][a]) << k << a;
  EXPECT_FLOAT_EQ(system.vertexColours()[0], 16.0f);
  const uint16_t* index = system.quadIndices();
  EXPECT_EQ(std::vector<uint16_t>(index + 6, index + 12), (std::vector<uint16_t>{4, 6, 5, 6, 4, 7}));
  for (int i = 0; i < 250; ++i) system.emit(0, 0, 0, 1);
  EXPECT_EQ(system.activeCount(), ParticleSystem::kCapacity);
  auto copy = system.clone();
  EXPECT_EQ(static_cast<ParticleSystem&>(*copy).viewMatrix, system.viewMatrix);
  EXPECT_EQ(static_cast<ParticleSystem&>(*copy).activeCount(), ParticleSystem::kCapacity);
  system.reset();
  EXPECT_EQ(system.activeCount(), 0);
}

TEST_F(SceneParts, ParticlesDrawAdditiveSquaresInEyeSpaceAndGiveTheStateBack) {
  ParticleSystem system(200, "sparks");
  system.emit(0, 0, -5, 16);
  // Particle size 8 in a 64 × 64 orthographic eye space: the square (−8, −8)…(8, 8).
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-32, 32, -32, 32, 1, 10);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_CULL_FACE);
  system.drawGeometry();
  EXPECT_EQ(gl->pixel(32, 32), (std::array<uint8_t, 4>{255, 255, 255, 255}));
  EXPECT_EQ(gl->pixel(24 + 1, 24 + 1)[0], 255);
  EXPECT_EQ(gl->pixel(20, 20)[0], 0);
  EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  GLboolean depthMask = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
  EXPECT_TRUE(depthMask);
  glDisable(GL_CULL_FACE);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SceneParts, ATrailShowsOnlyOnceItsDummyWasDrawnTwiceAndKeepsAtMost601Points) {
  SceneObject dummy(1, "Dummy01");
  TrailObject trail(543, "Dummy01Sypike", &dummy);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(-1, 1, -1, 1, -10, 10);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  trail.drawGeometry();
  EXPECT_EQ(gl->pixels(), std::vector<uint8_t>(kSize * kSize * 4, 0));
  // The dummy moves up: a ribbon 0.2 wide (6.4 pixels) in (0.2, 1, 0.2) from (0, 0) to (0, 0.8).
  dummy.setPosition({0, 0.8f, 0});
  trail.drawGeometry();
  EXPECT_EQ(trail.pointCount(), 2);
  EXPECT_EQ(gl->pixel(32, 45), (std::array<uint8_t, 4>{51, 255, 51, 255}));
  EXPECT_EQ(gl->pixel(40, 45)[1], 0);
  EXPECT_EQ(gl->pixel(32, 60)[1], 0);
  for (int i = 0; i < 700; ++i) trail.drawGeometry();
  EXPECT_EQ(trail.pointCount(), TrailObject::kMaxPoints);
  // The oldest kept point was recorded 600 draws ago and moved 601 times, the first two
  // at velocity 0: it fell 0.001 · (1 + 2 + … + 599).
  EXPECT_NEAR(trail.point(0).z, -0.001f * 599 * 600 / 2, 1e-2);
  EXPECT_EQ(trail.point(600).z, 0.0f);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  GLboolean depthMask = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthMask);
  EXPECT_TRUE(depthMask);
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// [SECTION] The effects

// Brightest channel of the pixel at (x, y) of a frame read back bottom row first.
int brightness(const std::vector<uint8_t>& pixels, int x, int y) {
  const uint8_t* p = &pixels[(static_cast<size_t>(y) * kSize + x) * 4];
  return std::max({p[0], p[1], p[2]});
}

TEST_F(SceneParts, ArmSceneShowsThreeArmsAt120240And360AndALoadFromTheCacheAddsNothing) {
  ArmScene fx("arm");
  ASSERT_NE(fx.getScene(), nullptr);
  const size_t objects = fx.getScene()->getDrawList().size();
  fx.start(0);
  // T = 0: the root angle sin(0) = 0, the arms at exactly 120°, 240° and 360° about y.
  const std::vector<uint8_t> first = frame(fx, 0, "arm");
  EXPECT_FALSE(fx.armRoots[0]->visible);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_TRUE(fx.armRoots[i]->visible) << i;
    EXPECT_EQ(fx.armRoots[i]->eulerDegrees, glm::vec3(0, 120.0f * i, 0)) << i;
    EXPECT_EQ(fx.armRoots[i]->getFirstChild()->eulerDegrees, glm::vec3(0, fx.pose.jointDegrees[0], 0)) << i;
  }
  // Seen from above, round a circle 8 pixels from the centre: three arms, 120° apart.
  std::vector<int> lit;
  for (int degree = 0; degree < 360; ++degree) {
    const double a = degree * 3.14159265358979 / 180;
    const int x = kSize / 2 + static_cast<int>(std::lround(8 * std::cos(a)));
    const int y = kSize / 2 + static_cast<int>(std::lround(8 * std::sin(a)));
    if (brightness(first, x, y) > 40) lit.push_back(degree);
  }
  std::vector<double> arms;  // the middle of each run of lit degrees
  for (size_t i = 0; i < lit.size();) {
    size_t j = i;
    while (j + 1 < lit.size() && lit[j + 1] - lit[j] <= 2) ++j;
    arms.push_back((lit[i] + lit[j]) / 2.0);
    i = j + 1;
  }
  if (arms.size() == 4 && lit.front() == 0 && lit.back() == 359) arms.erase(arms.begin());  // a run across 0°
  ASSERT_EQ(arms.size(), 3u) << testing::PrintToString(lit);
  for (int i = 0; i < 3; ++i) {
    const double apart = std::fmod(arms[(i + 1) % 3] - arms[i] + 360, 360);
    EXPECT_NEAR(apart, 120, 15) << testing::PrintToString(arms);
  }

  // Later the whole fan turns by the root angle w_0 = sin(0.05 T) in degrees.
  frame(fx, 300, "arm_later");
  EXPECT_FLOAT_EQ(fx.pose.rootDegrees, std::sin(30 * 0.05f) * 57.29577951308232f);
  EXPECT_FLOAT_EQ(fx.armRoots[2]->eulerDegrees.y, 240 + fx.pose.rootDegrees);

  ArmScene again("arm2");
  EXPECT_EQ(again.getScene(), fx.getScene());
  EXPECT_EQ(again.getScene()->getDrawList().size(), objects);
  again.start(0);
  EXPECT_EQ(frame(again, 0, "arm_again"), first);
}

TEST_F(SceneParts, SwimBoidGivesEachBodyATailOfFiveCopiesBentAboutX) {
  SwimBoid fx("swim");
  ASSERT_NE(fx.getScene(), nullptr);
  const size_t objects = fx.getScene()->getDrawList().size();
  fx.start(0);
  frame(fx, 200, "swim");
  for (SceneObject* body : fx.bodies) {
    EXPECT_EQ(body->eulerDegrees, glm::vec3(fx.pose.rootDegrees, 0, 0));
    int pieces = 0;
    for (SceneObject* piece = body->getFirstChild(); piece; piece = piece->getFirstChild(), ++pieces) {
      EXPECT_EQ(piece->position, glm::vec3(0, 0, -40));
      EXPECT_EQ(piece->eulerDegrees, glm::vec3(fx.pose.jointDegrees[pieces], 0, 0));
      EXPECT_EQ(piece->getNextSibling(), nullptr);
    }
    EXPECT_EQ(pieces, 5) << body->name;
  }
  // w_0 = 0.3 sin(0.125 T) at T = 20.
  EXPECT_FLOAT_EQ(fx.pose.rootDegrees, 0.3f * std::sin(20 * 0.125f) * 57.29577951308232f);
  SwimBoid again("swim2");
  EXPECT_EQ(again.getScene()->getDrawList().size(), objects);
}

// The three sines at scaled times T = t / 10, worked out by hand: the slide's x is
// 50 sin(T / 40), the arm's z 10 sin(T / 30 + 1.5), the head's y 5 sin(T / 20 + 0.5) − 10.
TEST_F(SceneParts, FontMachineSlidesItsThreePartsOnTheirSines) {
  FontMachine fx("stand");
  ASSERT_NE(fx.getScene(), nullptr);
  const CameraProbe* camera = fx.getScene()->addObject(std::make_unique<CameraProbe>(), -1);
  fx.start(0);
  struct Pose {
    uint32_t t;
    float slideX, armZ, headY;
  };
  const Pose poses[] = {
      {0, 0, 9.9749f, -7.6029f},             // sin 0, sin 1.5, sin 0.5
      {200, 23.9713f, 8.2766f, -5.0125f},    // sin 0.5, sin 2.1667, sin 1.5
      {1000, 29.9236f, -9.9270f, -13.5277f}, // sin 2.5, sin 4.8333, sin 5.5
      {2500, -1.6590f, -3.9728f, -7.8992f},  // sin 6.25, sin 9.8333, sin 13
      {6000, 32.5144f, 4.7164f, -13.9656f},  // sin 15, sin 21.5, sin 30.5
  };
  for (const Pose& pose : poses) {
    const std::vector<uint8_t> picture = frame(fx, pose.t, "stand_" + std::to_string(pose.t));
    EXPECT_NEAR(fx.slide->position.x, pose.slideX, 2e-3) << pose.t;
    EXPECT_EQ(fx.slide->position.y, 50) << pose.t;
    EXPECT_NEAR(fx.arm->position.z, pose.armZ, 2e-3) << pose.t;
    EXPECT_NEAR(fx.head->position.y, pose.headY, 2e-3) << pose.t;
    EXPECT_EQ(fx.head->position.x, 10) << pose.t;
    // The slide's middle is lit where the camera puts it.
    const glm::ivec2 slide = camera->pixelOf({pose.slideX, 50, 0});
    EXPECT_GT(brightness(picture, slide.x, slide.y), 40) << pose.t;
  }
  // From T = 250 to T = 600 the slide runs 34 units to the right: its old place goes dark.
  const glm::ivec2 before = camera->pixelOf({-1.659f, 50, 0}), after = camera->pixelOf({32.5144f, 50, 0});
  EXPECT_GE(after.x - before.x, 5);
  EXPECT_LT(brightness(frame(fx, 6000, "stand_moved"), before.x, before.y), 10);
  EXPECT_TRUE(fx.slide->getFirstChild()->childrenInherit);
}

TEST_F(SceneParts, GrowSceneBranchesStartGrowingOneAfterAnother) {
  GrowScene fx("grow");
  ASSERT_NE(fx.getScene(), nullptr);
  const uint16_t afterFirst = demoRand();
  const size_t objects = fx.getScene()->getDrawList().size();
  fx.start(0);
  fx.update(0);
  // Branch i begins when 0.007142857 T passes 0.3 + i: T = 42, 182 and 322.
  for (int i = 0; i < 3; ++i) {
    const float begins = (0.3f + i) / 0.007142857142857143f;
    fx.scaledTime = begins - 0.5f;
    fx.render(0);
    EXPECT_FALSE(fx.branchRoots[i]->visible) << i;
    if (i > 0) {
      EXPECT_TRUE(fx.branchRoots[i - 1]->visible) << i;
    }
    fx.scaledTime = begins + 0.5f;
    fx.render(0);
    EXPECT_TRUE(fx.branchRoots[i]->visible) << i;
    EXPECT_FALSE(fx.branchRoots[i]->getFirstChild()->visible) << i;
  }
  fx.scaledTime = 1000;
  fx.render(0);
  int shown = 0;
  for (SceneObject* s = fx.branchRoots[0]; s; s = s->getFirstChild()) shown += s->visible;
  EXPECT_EQ(shown, kBranchSegments + 1);
  // From the cache: the same objects, and the generator left where the first build left it.
  GrowScene again("grow2");
  EXPECT_EQ(demoRand(), afterFirst);
  EXPECT_EQ(again.getScene()->getDrawList().size(), objects);
}

TEST_F(SceneParts, ParticleTestScattersAHundredParticlesThroughTheBoxOnceAndDrawsThem) {
  ParticleTest fx("sparks");
  ASSERT_NE(fx.getScene(), nullptr);
  ASSERT_NE(fx.particles, nullptr);
  EXPECT_EQ(fx.particles->activeCount(), 100);
  EXPECT_EQ(fx.particles->getParent(), fx.getScene()->findObject("ParticleBox"));
  fx.particles->viewMatrix = glm::mat4(1.0f);
  fx.particles->fillQuads();
  for (int i = 0; i < 100; ++i) {
    const float* corner = fx.particles->vertexPositions() + i * 16;
    EXPECT_TRUE(corner[0] + 8 >= -100 && corner[0] + 8 <= 100 && corner[1] + 8 >= -75 && corner[1] + 8 <= 75 &&
                corner[2] >= -400 && corner[2] <= -200)
        << i;
  }
  const CameraProbe* camera = fx.getScene()->addObject(std::make_unique<CameraProbe>(), -1);
  const size_t objects = fx.getScene()->getDrawList().size();
  fx.start(0);
  const std::vector<uint8_t> pixels = frame(fx, 0, "particles");
  // Each particle is a white square 16 units wide in eye space, at its place through the view
  // matrix the effect read: the pixel at the middle of every square clear of the room's side
  // walls (8 units in from them, where no wall can hide half of it) is white, and every white
  // pixel lies within a square.
  const auto white = [&](int x, int y) {
    if (x < 0 || y < 0 || x >= kSize || y >= kSize) return false;
    const uint8_t* p = &pixels[(size_t(y) * kSize + x) * 4];
    return p[0] == 255 && p[1] == 255 && p[2] == 255;
  };
  std::vector<bool> covered(size_t(kSize) * kSize, false);
  int clear = 0, shown = 0;
  for (int i = 0; i < 100; ++i) {
    const float* corner = fx.particles->vertexPositions() + i * 16;  // (x − 8, y − 8, z), …, (x + 8, y + 8, z)
    const glm::vec3 lo(corner[0], corner[1], corner[2]), hi(corner[8], corner[9], corner[10]);
    const glm::ivec2 middle = CameraProbe::pixelOfEye(camera->projection, (lo + hi) * 0.5f);
    const glm::vec3 inRoom(glm::inverse(fx.particles->viewMatrix) * glm::vec4((lo + hi) * 0.5f, 1));
    if (std::abs(inRoom.x) <= 92 && std::abs(inRoom.y) <= 67) {
      ++clear;
      shown += white(middle.x, middle.y);
    }
    const glm::ivec2 a = CameraProbe::pixelOfEye(camera->projection, lo) - 1;
    const glm::ivec2 b = CameraProbe::pixelOfEye(camera->projection, hi) + 1;
    for (int y = std::max(a.y, 0); y <= std::min(b.y, kSize - 1); ++y)
      for (int x = std::max(a.x, 0); x <= std::min(b.x, kSize - 1); ++x) covered[size_t(y) * kSize + x] = true;
  }
  EXPECT_GE(clear, 80);
  EXPECT_EQ(shown, clear);
  int strays = 0;
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) strays += white(x, y) && !covered[size_t(y) * kSize + x];
  EXPECT_EQ(strays, 0);
  ParticleTest again("sparks2");
  EXPECT_EQ(again.particles, fx.particles);
  EXPECT_EQ(again.particles->activeCount(), 100);
  EXPECT_EQ(again.getScene()->getDrawList().size(), objects);
}

TEST_F(SceneParts, ThreadObjectTrailsTheNumberedDummiesUpToTheFirstGap) {
  ThreadObject fx("threads");
  fx.addString(0, "data/scenes/threads.vkg");
  ASSERT_NE(fx.getScene(), nullptr);
  Scene& scene = *fx.getScene();
  EXPECT_FALSE(scene.findObject("Sphere01")->visible);
  ASSERT_EQ(fx.trails.size(), 2u);
  EXPECT_EQ(fx.trails[0]->name, "Dummy01Sypike");
  EXPECT_EQ(fx.trails[0]->id, 543);
  EXPECT_EQ(fx.trails[1]->getParent(), scene.findObject("Dummy02"));
  EXPECT_FALSE(scene.findObject("Dummy02")->visible);
  EXPECT_TRUE(scene.findObject("Dummy04")->visible);
  EXPECT_EQ(scene.findObject("Dummy04Sypike"), nullptr);
  const size_t objects = scene.getDrawList().size();
  fx.start(0);
  frame(fx, 0, "threads0");
  frame(fx, 1000, "threads1");
  EXPECT_EQ(fx.trails[0]->pointCount(), 2);

  ThreadObject again("threads2");
  again.addString(0, "data/scenes/threads.vkg");
  EXPECT_EQ(again.trails, fx.trails);
  EXPECT_EQ(fx.trails[0]->pointCount(), 0);
  EXPECT_EQ(scene.getDrawList().size(), objects);
}

}  // namespace
