#include "effects/Effect3D.h"

#include <gtest/gtest.h>

#include <memory>

#include "base/Display.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/Timeline.h"
#include "demos/EffectList.h"
#include "engine/MeshObject.h"
#include "engine/Scene.h"
#include "support/EngineScenes.h"
#include "support/GlTestContext.h"
#include "support/TestEffects.h"
#include "support/VkgScenes.h"

namespace {

using enginetest::readPixel;
using enginetest::Rgb;
constexpr int kSize = 64;

// A white floor 20 units down the view, a small box three quarters of the way to it, the spot light
// "Spot01" at the eye aimed at the floor (it only casts the shadow) and an omni light that
// lights the floor; "Side" looks at the middle of the floor past the square.
vkg::SceneFile shadowScene() {
  vkg::SceneFile file;
  file.addMaterialList().push_back(vkgtest::colourMaterial(1, "white", glm::vec3(1.0f)));
  vkgtest::addSquare(file, 1, "Floor", 1, 10.0f, {0, 0, -20}, 16);
  vkgtest::addBox(file, 2, "Blocker", 1, {-2, -2, -16}, {2, 2, -14});
  vkgtest::addNode(file, 3, "FloorMiddle", {0, 0, -20});
  // A near far plane: the shadow map covers what the camera can see.
  vkgtest::addCamera(file, 4, "Side", {8, 0, -12}, 3).farPlane = 40;
  vkg::LightRecord& spot = file.addLight();
  spot.object.name = "Spot01";
  spot.object.id = 5;
  spot.lightType = vkg::kTargetSpotLight;
  spot.cutoff = 60;
  spot.targetId = 3;
  vkgtest::addOmni(file, 6, "Omni01", {0, 0, -10}, glm::vec3(0.6f));
  return file;
}

class SceneEffect : public testing::Test {
 protected:
  // One context and folder for the program (both suites): cached scenes belong to them.
  static void SetUpTestSuite() {
    if (gl) return;
    gl = new GlTestContext(kSize, kSize);
    work = std::make_unique<WorkingDirectory>("scene_effect");
    writeSampleShaders(*work);
    vkgtest::save(vkgtest::twoWalls(), *work, "data/scenes/walls.vkg");
    vkgtest::save(shadowScene(), *work, "data/scenes/shadow.vkg");
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    demoEndTime = 100000;
    screenWidth = screenHeight = kSize;
  }

  // One frame of `fx` alone on a black screen; the pixel at (x, y).
  static Rgb frame(Effect3D& fx, uint32_t t, int x = kSize / 2, int y = kSize / 2) {
    glViewport(0, 0, kSize, kSize);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    fx.update(t);
    fx.render(t);
    enginetest::dumpPng("effect3d_" + std::to_string(t), kSize, kSize);
    return readPixel(x, y);
  }

  static GlTestContext* gl;
  static std::unique_ptr<WorkingDirectory> work;  // removed at exit
};

GlTestContext* SceneEffect::gl = nullptr;
std::unique_ptr<WorkingDirectory> SceneEffect::work;

testing::AssertionResult pixelIs(bool ok, Rgb p) {
  return (ok ? testing::AssertionSuccess() : testing::AssertionFailure())
         << "pixel " << p[0] << " " << p[1] << " " << p[2];
}
testing::AssertionResult isRed(Rgb p) { return pixelIs(p[0] > 200 && p[1] < 40 && p[2] < 40, p); }
testing::AssertionResult isGreen(Rgb p) { return pixelIs(p[1] > 200 && p[0] < 40 && p[2] < 40, p); }
testing::AssertionResult isBlack(Rgb p) { return pixelIs(p[0] < 10 && p[1] < 10 && p[2] < 10, p); }

// [SECTION] Loading

TEST_F(SceneEffect, DatafileLoadsTheSceneAndListsItsCameras) {
  Effect3D fx("s");
  EXPECT_EQ(fx.Camera.choiceCount, 0u);
  fx.addString(0, "data/scenes/walls.vkg");
  ASSERT_NE(fx.getScene(), nullptr);
  EXPECT_EQ(fx.Camera.choiceCount, 3u);
  EXPECT_EQ(fx.Datafile.choiceCount, 1u);
  EXPECT_EQ(fx.getString(1000, 2), "Cam03");
  // FOV follows the first camera: 1 radian across 4:3 is 44.6° high.
  EXPECT_NEAR(fx.FOV.value * 180, 44.6f, 0.1f);
  // The same file again is the same scene, and not loaded twice.
  EXPECT_FALSE(fx.loadScene("data/scenes/walls.vkg"));
  Effect3D other("t");
  other.addString(0, "data/scenes/walls.vkg");
  EXPECT_EQ(other.getScene(), fx.getScene());
}

TEST_F(SceneEffect, AFileThatDoesNotLoadKeepsThePreviousScene) {
  Effect3D fx("s");
  fx.addString(0, "data/scenes/walls.vkg");
  Scene* walls = fx.getScene();
  EXPECT_FALSE(fx.loadScene("data/scenes/missing.vkg"));
  EXPECT_EQ(fx.getScene(), walls);
}

// [SECTION] Camera, field of view, fog, lighting

TEST_F(SceneEffect, CameraByNumberFovFogAndLighting) {
  Effect3D fx("s");
  fx.addString(0, "data/scenes/walls.vkg");
  fx.start(0);
  EXPECT_TRUE(isRed(frame(fx, 10)));
  fx.Camera.value = 1;
  EXPECT_TRUE(isGreen(frame(fx, 20)));
  fx.Camera.value = 2;
  EXPECT_TRUE(isBlack(frame(fx, 30)));
  fx.Camera.value = 0;

  // 45° high: the 6-unit wall at 10 leaves the corners black; 18° high fills them.
  EXPECT_TRUE(isBlack(frame(fx, 40, 2, 2)));
  fx.FOV.value = 0.1f;
  EXPECT_TRUE(isRed(frame(fx, 50, 2, 2)));

  // Linear fog from 0 to 20 units (FogEnd 0.04 × FogScale 1/60 × 30000): halfway at 10.
  fx.Fog.value = true;
  fx.FogMode.value = 2;
  fx.FogB.value = 1;
  fx.FogStart.value = 0;
  fx.FogEnd.value = 0.04f;
  const Rgb fogged = frame(fx, 60);
  EXPECT_NEAR(fogged[0], 128, 3);
  EXPECT_NEAR(fogged[2], 128, 3);
  fx.Fog.value = false;
  EXPECT_TRUE(isRed(frame(fx, 70)));

  // Without its light the lit wall is black; with lighting switched off it shows its colour.
  TimelineEvent select;
  select.code = Effect3D::kSelectLight;
  select.text = "Omni01";
  fx.handleEvent(select);
  TimelineEvent off;
  off.code = Effect3D::kLightEnabled;
  off.value = 0;
  fx.handleEvent(off);
  EXPECT_TRUE(isBlack(frame(fx, 80)));
  // Unlit, a colour-only material takes the colour in effect: white.
  fx.LightingOff.value = true;
  const Rgb unlit = frame(fx, 90);
  EXPECT_TRUE(pixelIs(unlit[0] == 255 && unlit[1] == 255 && unlit[2] == 255, unlit));
  fx.LightingOff.value = false;
  frame(fx, 95);
  off.value = 1;
  fx.handleEvent(off);
}

TEST_F(SceneEffect, ShadowsDarkenTheFloorBehindTheBlocker) {
  Effect3D fx("s");
  fx.addString(0, "data/scenes/shadow.vkg");
  fx.start(0);
  TimelineEvent light;
  light.code = Effect3D::kShadowLight;
  light.text = "Spot01";
  fx.handleEvent(light);
  const Rgb lit = frame(fx, 10);
  EXPECT_GT(lit[0], 60);
  fx.Shadows.value = true;
  const Rgb shadowed = frame(fx, 20);
  EXPECT_LT(shadowed[0], lit[0] * 0.8);
  fx.Shadows.value = false;
  EXPECT_NEAR(frame(fx, 40)[0], lit[0], 2);
}

// [SECTION] The scene clock

TEST_F(SceneEffect, SpeedFiveFollowsDemoTimeAndASeekBackMovesTheSceneBack) {
  Effect3D fx("s");
  fx.addString(0, "data/scenes/walls.vkg");
  fx.Speed.value = 5;
  fx.start(1000);
  fx.update(1600);
  EXPECT_FLOAT_EQ(fx.getSceneClock(), 600);
  fx.update(1300);  // the viewer sought back
  EXPECT_FLOAT_EQ(fx.getSceneClock(), 300);
  fx.Speed.value = 1;  // speed factor 0.2
  fx.update(2300);
  EXPECT_FLOAT_EQ(fx.getSceneClock(), 500);
  fx.start(5000);
  EXPECT_FLOAT_EQ(fx.getSceneClock(), 0);
}

// [SECTION] Through the script

class SceneScript : public SceneEffect {
 protected:
  void SetUp() override {
    SceneEffect::SetUp();
    effectRegistry = &effects;
    eventList = &events;
  }
  void TearDown() override {
    effectRegistry = nullptr;
    eventList = nullptr;
  }
  Rgb frameAt(uint32_t t) {
    glViewport(0, 0, kSize, kSize);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    renderFrame(t);
    enginetest::dumpPng("script_" + std::to_string(t), kSize, kSize);
    return readPixel(kSize / 2, kSize / 2);
  }

  EffectList effects{builtInEffectTypes()};
  EventList events;
  ScriptLoader loader;
};

TEST_F(SceneScript, CameraKeyedByNameOrNumberAndFrozenByEvent18) {
  loader.loadText(
      "DEFINE CAMERA_BY_NAME 18\n__SETUP__\nINSERT_EFFECT Clear AS clear\nINSERT_EFFECT Scene AS s\n"
      "0 s s Datafile \"data/scenes/walls.vkg\"\n__TIMELINE__\n0 b clear\n0 b s\n0 i s\n"
      "0 s s Camera 0\n1000 s s Camera \"Cam03\"\n2000 s s Camera 0.5\n3000 s s Camera \"CamFront\"\n"
      "3500 t s CAMERA_BY_NAME \"CamBack\"\n4000 s s Camera \"Cam03\"\n",
      effects, events);
  auto* fx = dynamic_cast<Effect3D*>(effects.findEffect("s"));
  ASSERT_NE(fx, nullptr);
  ASSERT_NE(fx->getScene(), nullptr);
  EXPECT_TRUE(isRed(frameAt(500)));
  EXPECT_TRUE(isBlack(frameAt(1500)));   // "Cam03" is the third camera
  EXPECT_TRUE(isGreen(frameAt(2500)));   // 0.5 of three choices is the second
  EXPECT_TRUE(isRed(frameAt(3200)));
  EXPECT_TRUE(isGreen(frameAt(3700)));   // chosen by the event
  EXPECT_TRUE(isGreen(frameAt(4500)));   // the keys no longer move it
}

}  // namespace
