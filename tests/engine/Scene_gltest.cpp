#include "engine/Scene.h"

#include <gtest/gtest.h>

#include <cmath>

#include "base/Random.h"
#include "engine/MeshObject.h"
#include "support/EngineScenes.h"
#include "support/GlTestContext.h"

namespace {

using namespace enginetest;

constexpr int kSize = 64;

class Scenes : public EngineTest<kSize> {};

glm::vec3 translationOf(const glm::mat4& m) { return glm::vec3(m[3]); }

void expectVec(const glm::vec3& actual, const glm::vec3& expected) {
  EXPECT_NEAR(actual.x, expected.x, 1e-4f);
  EXPECT_NEAR(actual.y, expected.y, 1e-4f);
  EXPECT_NEAR(actual.z, expected.z, 1e-4f);
}

// A quaternion (x, y, z, w) of `degrees` about +z.
glm::quat aboutZ(float degrees) {
  const float half = glm::radians(degrees) * 0.5f;
  return glm::quat(std::cos(half), 0.0f, 0.0f, std::sin(half));
}

// [SECTION] Rotations as the scene data writes them

TEST_F(Scenes, QuaternionMatrixIsTheTransposeOfTheUsualOne) {
  // 90° about z as the exporter writes it turns x to −y (the usual matrix turns it to +y).
  const glm::mat4 m = quaternionToMatrix(aboutZ(90));
  expectVec(glm::vec3(m * glm::vec4(1, 0, 0, 0)), glm::vec3(0, -1, 0));
  const glm::mat4 usual = glm::mat4_cast(aboutZ(37));
  const glm::mat4 ours = quaternionToMatrix(aboutZ(37));
  for (int c = 0; c < 3; ++c)
    for (int r = 0; r < 3; ++r) EXPECT_NEAR(ours[c][r], usual[r][c], 1e-6f);
  // A zero quaternion gives no division by zero.
  EXPECT_TRUE(std::isfinite(quaternionToMatrix(glm::quat(0, 0, 0, 0))[0][0]));
}

TEST_F(Scenes, EulerDegreesTurnAboutXThenYThenZ) {
  SceneObject object(1, "turned");
  object.setRotationDegrees(90, 0, 0);
  expectVec(glm::vec3(object.rotation * glm::vec4(0, 1, 0, 0)), glm::vec3(0, 0, 1));
  object.setRotationDegrees(30, 40, 50);
  const float k = 0.0055555557f * glm::pi<float>();
  const glm::mat4 expected = glm::rotate(glm::rotate(glm::rotate(glm::mat4(1), 30 * k, glm::vec3(1, 0, 0)), 40 * k,
                                                     glm::vec3(0, 1, 0)),
                                         50 * k, glm::vec3(0, 0, 1));
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) EXPECT_NEAR(object.rotation[c][r], expected[c][r], 1e-6f);
  expectVec(object.eulerDegrees, glm::vec3(30, 40, 50));
}

TEST_F(Scenes, PortraitWindowsKeepAnIntegerAspectOfAtLeastOne) {
  EXPECT_EQ(integerAspect(1024, 768), 1);
  EXPECT_EQ(integerAspect(1920, 600), 3);
  EXPECT_EQ(integerAspect(600, 800), 1);
  EXPECT_EQ(integerAspect(600, 0), 1);
  const glm::mat4 p = perspectiveMatrix(45, 0.0f, 1, 100);
  EXPECT_EQ(p, perspectiveMatrix(45, 1.0f, 1, 100));
}

// [SECTION] Time, keys and transforms

TEST_F(Scenes, SceneTimeGivesFrameAndFractionLoopingOrHeld) {
  Scene scene;
  scene.setFrames(10, 100);
  scene.setLoop(true);
  scene.setTime(1250);
  EXPECT_EQ(scene.getFrame(), 2);
  EXPECT_FLOAT_EQ(scene.getFraction(), 0.5f);
  scene.setLoop(false);
  scene.setTime(1250);
  EXPECT_EQ(scene.getFrame(), 9);
  scene.setTime(340);
  EXPECT_EQ(scene.getFrame(), 3);
  EXPECT_NEAR(scene.getFraction(), 0.4f, 1e-6f);
  scene.setFrames(10, 0);  // no division by zero for a scene without timing
  scene.setTime(500);
  EXPECT_EQ(scene.getFrame(), 0);
}

struct HierarchyCase {
  float time;
  bool loop;
  bool rootInherits;
  bool middleInherits;
  glm::vec3 leaf;       // world position of the third level
  float leafScale;      // length of its world x axis
};

// Root: position keys (0,0,0) → (10,0,0). Middle, under it: at (0,5,0), rotation keys
// 0° → 90° about z (which the exporter's matrix turns by −90°). Leaf, under the middle:
// at (1,0,0), scale keys 1 → 3. Two frames of 100 time units.
TEST_F(Scenes, ThreeLevelsFollowTheirKeysAndTheInheritanceOfTheirParents) {
  const float h = std::sqrt(0.5f);
  const std::vector<HierarchyCase> cases = {
      {0, false, true, true, {1, 4 + 1, 0}, 1},
      {50, false, true, true, {5 + h, 5 - h, 0}, 2},         // half-way: linear and spherical
      {100, false, true, true, {10, 4, 0}, 3},               // last key
      {250, false, true, true, {10, 4, 0}, 3},               // held past the end
      {250, true, true, true, {5 + h, 5 - h, 0}, 2},         // looped back to half-way
      {50, false, true, false, {5 + 1, 0, 0}, 2},            // the middle passes nothing on
      {50, false, false, true, {h, 5 - h, 0}, 2},            // the root passes nothing on
  };
  for (const HierarchyCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "t " << c.time << " loop " << c.loop << " inherit " << c.rootInherits
                                    << c.middleInherits);
    Scene scene;
    scene.setFrames(2, 100);
    auto* root = scene.addObject(std::make_unique<SceneObject>(1, "root"), -1);
    auto* middle = scene.addObject(std::make_unique<SceneObject>(2, "middle"), 1);
    auto* leaf = scene.addObject(std::make_unique<SceneObject>(3, "leaf"), 2);
    root->setKeys({{0, 0, 0}, {10, 0, 0}}, {}, {}, 100);
    middle->setPosition({0, 5, 0});
    middle->setKeys({}, {aboutZ(0), aboutZ(90)}, {}, 100);
    leaf->setPosition({1, 0, 0});
    leaf->setKeys({}, {}, {glm::vec3(1), glm::vec3(3)}, 100);
    root->childrenInherit = c.rootInherits;
    middle->childrenInherit = c.middleInherits;
    scene.finishLoading();
    scene.setLoop(c.loop);
    scene.setTime(c.time);
    scene.animate();
    scene.updateTransforms();
    expectVec(translationOf(leaf->world), c.leaf);
    EXPECT_NEAR(glm::length(glm::vec3(leaf->world[0])), c.leafScale, 1e-4f);
  }
}

TEST_F(Scenes, KeyListsOfDifferentLengthsAreEachReadWithinThemselves) {
  SceneObject object(1, "short positions");
  object.setKeys({{7, 0, 0}}, {aboutZ(0), aboutZ(45), aboutZ(90)}, {}, 100);
  object.animate(2, 0.5f);  // past the only position key, at the last rotation key
  expectVec(object.position, {7, 0, 0});
  expectVec(glm::vec3(object.rotation * glm::vec4(1, 0, 0, 0)), glm::vec3(0, -1, 0));
  object.animate(1, 0.5f);  // between rotation keys 1 and 2: 67.5°
  const float a = glm::radians(67.5f);
  expectVec(glm::vec3(object.rotation * glm::vec4(1, 0, 0, 0)), glm::vec3(std::cos(a), -std::sin(a), 0));
  // A long list after a short one: the positions still move.
  SceneObject other(2, "long positions");
  other.setKeys({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {aboutZ(10)}, {}, 100);
  other.animate(1, 0.5f);
  expectVec(other.position, {1.5f, 0, 0});
}

TEST_F(Scenes, TopLevelObjectsAreSiblingsOfTheRootAndDanglingParentsStayOutside) {
  Scene scene;
  auto* first = scene.addObject(std::make_unique<SceneObject>(1, "first"), -1);
  auto* second = scene.addObject(std::make_unique<SceneObject>(2, "second"), -1);
  auto* lost = scene.addObject(std::make_unique<SceneObject>(3, "lost"), 99);
  EXPECT_EQ(scene.getRoot(), first);
  EXPECT_EQ(first->getNextSibling(), second);
  EXPECT_EQ(lost->getParent(), nullptr);
  EXPECT_EQ(second->getNextSibling(), nullptr);
  second->setPosition({0, 3, 0});
  scene.finishLoading();
  scene.updateTransforms();
  expectVec(translationOf(second->world), {0, 3, 0});
  EXPECT_EQ(scene.findObject("lost"), lost);
  EXPECT_EQ(scene.findObjectById(2), second);
}

// [SECTION] Clones

class CountingVisitor : public SceneVisitor {
 public:
  void visit(SceneObject& object) override { names.push_back(object.name); }
  std::vector<std::string> names;
};

TEST_F(Scenes, ACloneCopiesItsSubtreeAndJoinsTheSceneWithoutCycles) {
  Scene scene;
  auto* root = scene.addObject(std::make_unique<SceneObject>(1, "root"), -1);
  auto* arm = scene.addObject(std::make_unique<SceneObject>(2, "arm"), 1);
  scene.addObject(std::make_unique<SceneObject>(3, "hand"), 2);
  scene.addObject(std::make_unique<SceneObject>(4, "leg"), 1);
  arm->setPosition({1, 0, 0});
  arm->childrenInherit = true;

  std::unique_ptr<SceneObject> copy = arm->clone();
  EXPECT_EQ(copy->id, 10002);
  EXPECT_EQ(copy->getNextSibling(), nullptr);
  EXPECT_EQ(copy->getPreviousSibling(), nullptr);
  ASSERT_NE(copy->getFirstChild(), nullptr);
  EXPECT_NE(copy->getFirstChild(), arm->getFirstChild());
  EXPECT_EQ(copy->getFirstChild()->id, 10003);
  copy->setPosition({5, 0, 0});
  SceneObject* added = scene.addObject(std::move(copy), 1);  // last child of the root, after "leg"

  CountingVisitor visitor;
  root->accept(visitor, true, true);
  EXPECT_EQ(visitor.names, (std::vector<std::string>{"root", "arm", "hand", "leg", "arm", "hand"}));
  EXPECT_EQ(scene.getDrawList().size(), 6u);  // the copied hand is drawn and animated too
  scene.finishLoading();
  scene.updateTransforms();
  expectVec(translationOf(added->getFirstChild()->world), {5, 0, 0});
  expectVec(translationOf(arm->getFirstChild()->world), {1, 0, 0});
}

// [SECTION] Lights, cameras and fog

struct LitQuad {
  std::unique_ptr<Scene> scene;
  Light* light = nullptr;
  MeshObject* quad = nullptr;
};

// A camera at the origin looking down −z, a grey (0.5) quad across the view at distance d
// facing it, and a white light "Omni01" at the origin: the quad's centre shows
// 0.2 × 0.3 (ambients) + 0.5 × 1 × (N · L = 1), attenuated.
LitQuad litQuad(float distance) {
  LitQuad q;
  q.scene = std::make_unique<Scene>();
  auto material = std::make_unique<Material>(1, "grey");
  material->setDiffuse({0.5f, 0.5f, 0.5f, 1.0f});
  material->chooseShadeModel();
  q.scene->addMaterial(std::move(material));
  auto quad = makeGrid(10, "quad", 1, distance, 32);  // wider than the view at any distance
  quad->setPosition({0, 0, -distance});
  q.quad = q.scene->addObject(std::move(quad), -1);
  auto camera = std::make_unique<Camera>(20, "Camera01");
  camera->aspect = 1.0f;
  camera->farPlane = 1000;
  q.scene->addCamera(std::move(camera), -1);
  auto light = std::make_unique<Light>(30, "Omni01");
  light->setPosition({0, 0, 0});
  light->setColour({1, 1, 1, 1});
  q.light = q.scene->addLight(std::move(light), -1);
  q.scene->finishLoading();
  return q;
}

void renderFrame(Scene& scene) {
  scene.setTime(0);
  scene.animate();
  scene.updateTransforms();
  scene.render();
}

TEST_F(Scenes, LightsLightTheQuadAsTheLightingFormulaSays) {
  struct Case {
    const char* name;
    float distance;
    std::function<void(Light&)> setUp;
    int x;  // probed pixel column (row: the middle)
    double expected;
  };
  const std::vector<Case> cases = {
      {"omni", 10, [](Light&) {}, kSize / 2, 0.56},
      {"attenuated", 50, [](Light& l) { l.linearAttenuation = 0.02f; }, kSize / 2, 0.56 / 2},
      {"spot inside the cone", 10, [](Light& l) { l.setSpot(10, 0); }, kSize / 2, 0.56},
      // 15° off the axis (fov 45°: tan 15° / tan 22.5° of the half width): outside a 10° cone.
      {"spot outside the cone", 10, [](Light& l) { l.setSpot(10, 0); }, kSize / 2 + 21, 0.0},
      {"disabled", 10, [](Light& l) { l.setEnabled(false); }, kSize / 2, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    LitQuad q = litQuad(c.distance);
    c.setUp(*q.light);
    renderFrame(*q.scene);
    const int expected = byteOf(c.expected);
    const Rgb actual = readPixel(c.x, kSize / 2);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected, 2);
  }
}

TEST_F(Scenes, ALightWithATargetNeverLightsTheScene) {
  LitQuad q = litQuad(10);
  q.light->targetId = 10;  // aims at the quad
  q.scene->finishLoading();
  ASSERT_EQ(q.light->target, q.quad);
  renderFrame(*q.scene);
  EXPECT_EQ(readPixel(kSize / 2, kSize / 2), (Rgb{0, 0, 0}));
}

TEST_F(Scenes, FogBlendsTowardsItsColourByTheGlFactor) {
  struct Case {
    const char* name;
    GLenum mode;
    double factor;  // the fraction of the lit colour that stays, at distance 10
  };
  const std::vector<Case> cases = {
      {"exp", GL_EXP, std::exp(-0.05 * 10)},
      {"exp2", GL_EXP2, std::exp(-std::pow(0.05 * 10, 2))},
      {"linear", GL_LINEAR, (25.0 - 10.0) / (25.0 - 5.0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    LitQuad q = litQuad(10);
    q.scene->setFog(true);
    q.scene->setFogMode(c.mode);
    q.scene->setFogDensity(0.05f);
    q.scene->setFogRange(5, 25);
    q.scene->setFogColour({1, 0, 0, 1});
    renderFrame(*q.scene);
    dumpPng(std::string("fog_") + c.name, kSize, kSize);
    const Rgb actual = readPixel(kSize / 2, kSize / 2);
    EXPECT_NEAR(actual[0], byteOf(c.factor * 0.56 + (1 - c.factor)), 2);
    EXPECT_NEAR(actual[1], byteOf(c.factor * 0.56), 2);
    EXPECT_FALSE(glIsEnabled(GL_FOG));
  }
}

TEST_F(Scenes, FlickerDrawsItsLevelFromTheDemoGenerator) {
  LitQuad q = litQuad(10);
  q.light->flickerBase = {1.0f, 0.5f, 0.25f, 1.0f};
  q.light->setFlicker(true);
  demoSrand(1234);
  Random15 expected(1234);
  renderFrame(*q.scene);
  const float level = static_cast<float>(expected.next()) * 3.0518509e-5f;
  EXPECT_FLOAT_EQ(q.light->diffuse.r, level);
  EXPECT_FLOAT_EQ(q.light->diffuse.g, 0.5f * level);
  q.light->setFlicker(false);
  EXPECT_EQ(q.light->diffuse, q.light->flickerBase);
}

TEST_F(Scenes, CameraLooksAtItsTargetWithTheUpVectorOfItsMatrix) {
  LitQuad q = litQuad(10);
  // From (0, 0, 20) with the quad (at z = −10) as target: the quad is 30 away, straight ahead.
  Camera* camera = q.scene->activeCameraObject();
  camera->setPosition({0, 0, 20});
  camera->targetId = 10;
  q.scene->finishLoading();
  ASSERT_EQ(camera->target, q.quad);
  q.light->setPosition({0, 0, 20});
  renderFrame(*q.scene);
  EXPECT_NEAR(readPixel(kSize / 2, kSize / 2)[0], byteOf(0.56), 2);
  // Turned upside down by its matrix, the camera still sees the quad's centre.
  camera->matrix[1] = glm::vec4(0, -1, 0, 0);
  EXPECT_EQ(camera->up(), glm::vec3(0, -1, 0));
  renderFrame(*q.scene);
  EXPECT_NEAR(readPixel(kSize / 2, kSize / 2)[0], byteOf(0.56), 2);
}

TEST_F(Scenes, ResettingTheCamerasMakesTheFirstActiveWithTheFilesFieldOfView) {
  LitQuad q = litQuad(10);
  auto second = std::make_unique<Camera>(21, "Camera02");
  second->fileFovY = 60;
  Camera* other = q.scene->addCamera(std::move(second), -1);
  Camera* first = q.scene->activeCameraObject();
  first->fileFovY = 50;
  q.scene->setActiveCamera("Camera02");
  other->fovY = 10;
  q.scene->resetCameras();
  EXPECT_EQ(q.scene->activeCameraObject(), first);
  EXPECT_EQ(first->fovY, 50);
  EXPECT_EQ(other->fovY, 60);
}

// [SECTION] GL state and the material in effect

TEST_F(Scenes, RenderPathsGiveTheGlStateBack) {
  LitQuad q = litQuad(10);
  q.scene->setFog(true);
  const GlState before = captureGlState();
  renderFrame(*q.scene);
  EXPECT_EQ(captureGlState(), before);
  q.scene->renderHierarchy();
  EXPECT_EQ(captureGlState(), before);
  q.scene->renderDepthInfo();
  EXPECT_EQ(captureGlState(), before);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(Scenes, RenderHierarchyEndsTheMaterialItApplied) {
  LitQuad q = litQuad(10);
  q.scene->renderHierarchy();
  EXPECT_EQ(Material::applied(), nullptr);
  EXPECT_NEAR(readPixel(kSize / 2, kSize / 2)[0], byteOf(0.56), 2);
  // The next frame applies it again (a material left in effect would be skipped).
  SetUp();
  glColor4f(0, 0, 0, 1);
  q.scene->renderHierarchy();
  EXPECT_NEAR(readPixel(kSize / 2, kSize / 2)[0], byteOf(0.56), 2);
}

TEST_F(Scenes, LightingSwitchesReachEveryMaterial) {
  LitQuad q = litQuad(10);
  q.scene->setNoLighting(true);
  renderFrame(*q.scene);
  EXPECT_EQ(readPixel(kSize / 2, kSize / 2), (Rgb{255, 255, 255}));  // unlit: the white colour
  q.scene->setNoLighting(false);
  q.scene->setMoreLight(true);
  EXPECT_TRUE(q.scene->material(1)->hasMoreLight());
}

using ScenesDeathTest = Scenes;

TEST_F(ScenesDeathTest, OnlyALightCanCastTheShadows) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  LitQuad q = litQuad(10);
  q.scene->setShadowLight("Omni01");
  EXPECT_EQ(q.scene->getShadowType(), Scene::kOmniShadow);
  EXPECT_EQ(q.scene->getShadowLight(), q.light);
  EXPECT_EXIT(q.scene->setShadowLight("quad"), testing::ExitedWithCode(1),
              "^(src/)?engine/Scene.cpp:[0-9]+ assertion failed\n$");
}

TEST_F(ScenesDeathTest, DrawingAMeshOutsideTheTreeStopsWithoutItsMaterial) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        LitQuad q = litQuad(10);
        q.scene->addObject(makeSquare(11, "stray", 1, 1.0f), 99);
        q.scene->finishLoading();
        renderFrame(*q.scene);
      },
      testing::ExitedWithCode(1),
      "^(src/)?engine/Scene.cpp:[0-9]+ object stray could not find parent obj 99\n"
      "(src/)?engine/MeshObject.cpp:[0-9]+ Mesh has no material: stray\n$");
}

TEST_F(ScenesDeathTest, RenderingATreeWithoutObjectsStops) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  Scene empty;
  EXPECT_EXIT(empty.renderHierarchy(), testing::ExitedWithCode(1),
              "^(src/)?engine/Scene.cpp:[0-9]+ no objects in scene\n$");
}

}  // namespace
