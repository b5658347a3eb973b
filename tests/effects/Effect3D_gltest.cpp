#include "effects/Effect3D.h"
#include "effects/PostProcess.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "base/Display.h"
#include "base/FrameStats.h"
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

// A red square 5 units ahead on the left and a green one 50 units ahead on the right, unlit
// (they show the colour in effect through their diffuse colour as ambient), seen by "Eye"
// down −z with a far plane of 100: distances 0.05 and 0.5 of it.
vkg::SceneFile nearAndFar() {
  vkg::SceneFile file;
  auto& materials = file.addMaterialList();
  materials.push_back(vkgtest::colourMaterial(1, "red", {1, 0, 0}));
  materials.push_back(vkgtest::colourMaterial(2, "green", {0, 1, 0}));
  vkgtest::addSquare(file, 1, "Near", 1, 1.0f, {-1.5f, 0, -5}, 2);
  vkgtest::addSquare(file, 2, "Far", 2, 10.0f, {15, 0, -50}, 2);
  vkgtest::addCamera(file, 3, "Eye", {0, 0, 0}, -1).farPlane = 100;
  vkgtest::addOmni(file, 4, "Omni01", {0, 0, 0});
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
    vkgtest::save(nearAndFar(), *work, "data/scenes/depth.vkg");
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

// [SECTION] Program factors

// Events 55 and 59 key the selected mesh's fragment and vertex factors as the timeline keys a
// float variable: the first key (1000 ms) fills the demo with its value up to the end
// (10000 ms), the second (2000 ms) adds a breakpoint, and the value ramps linearly from
// there back to the end key's. At 6000 ms, half way from 2000 to 10000: 1.5 and 0.375,
// times the music level (1 without a Spectrum) × 0.4.
TEST_F(SceneEffect, FactorKeysOfBothProgramsFollowTheTimelinesFloatVariables) {
  vkg::SceneFile file;
  file.addMaterialList().push_back(vkgtest::colourMaterial(1, "m", glm::vec3(1.0f)));
  vkgtest::addSquare(file, 1, "Keyed", 1, 1.0f, {0, 0, -5}, 2);
  vkgtest::addCamera(file, 2, "Eye", {0, 0, 0}, -1);
  vkgtest::save(file, *work, "data/scenes/factors.vkg");
  demoEndTime = 10000;
  spectrumLevel = 1.0f;

  Effect3D fx("s");
  fx.addString(0, "data/scenes/factors.vkg");
  ASSERT_NE(fx.getScene(), nullptr);
  fx.start(0);
  const auto send = [&fx](int32_t code, const std::string& text, std::array<float, 3> params = {}) {
    TimelineEvent event;
    event.code = code;
    event.text = text;
    event.params[0] = params[0];
    event.params[1] = params[1];
    event.params[2] = params[2];
    fx.handleEvent(event);
  };
  send(Effect3D::kSelectObject, "Keyed");
  send(Effect3D::kObjectVertexProgram, "data/shaders/vp_pulse.cg");
  send(Effect3D::kObjectFragmentProgram, "data/shaders/fp_pulse.cg");
  for (const int32_t code : {Effect3D::kFragmentFactorKey, Effect3D::kVertexFactorKey}) {
    send(code, "", {1000, 1.0f, 0.5f});
    send(code, "", {2000, 2.0f, 0.25f});
  }
  auto* mesh = static_cast<MeshObject*>(fx.getScene()->findObject("Keyed"));
  struct Case {
    uint32_t time;
    float f0, f1;
  };
  const std::vector<Case> cases = {
      {6000, 0.6f, 0.15f}, {500, 0.4f, 0.2f}, {1500, 0.6f, 0.15f}, {2000, 0.8f, 0.1f}, {10000, 0.4f, 0.2f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.time);
    frame(fx, c.time);
    for (const auto* factors : {&mesh->getFragmentFactors(), &mesh->getVertexFactors()}) {
      EXPECT_NEAR((*factors)[0], c.f0, 1e-6f);
      EXPECT_NEAR((*factors)[1], c.f1, 1e-6f);
      // The event carries no third and fourth value: they are keyed as 0.
      EXPECT_EQ((*factors)[2], 0.0f);
      EXPECT_EQ((*factors)[3], 0.0f);
    }
  }
}

// [SECTION] Depth of field

// Pixels of the middle row that show a square's own colour untouched (channel `channel` at
// 255, the others 0): a square in focus keeps them, a blurred one mixes in its surroundings.
int purePixels(int channel) {
  int count = 0;
  for (int x = 0; x < kSize; ++x) {
    Rgb pure{0, 0, 0};
    pure[static_cast<size_t>(channel)] = 255;
    count += readPixel(x, kSize / 2) == pure;
  }
  return count;
}

TEST_F(SceneEffect, FocusValuesChooseWhichSquareDepthOfFieldKeepsSharp) {
  Effect3D fx("s");
  fx.addString(0, "data/scenes/depth.vkg");
  fx.start(0);
  TimelineEvent depthPass;
  depthPass.code = Effect3D::kDepthPass;
  depthPass.value = 1;
  fx.handleEvent(depthPass);
  ShaderDOF dof("scene_dof");
  dof.sourceEffect = &fx;
  dof.DoBlur.value = true;
  dof.BlurFactorX.value = dof.BlurFactorY.value = 24;
  fx.FocalNear.value = 0;
  fx.FocalFar.value = 1;
  int pure[2][2];  // [focus on near / far][red / green]
  for (int focus = 0; focus < 2; ++focus) {
    fx.FocalPoint.value = focus == 0 ? 0.05f : 0.5f;
    glViewport(0, 0, kSize, kSize);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    dof.update(100 + focus);
    dof.render(100 + focus);
    enginetest::dumpPng("dof_focus" + std::to_string(focus), kSize, kSize);
    pure[focus][0] = purePixels(0);
    pure[focus][1] = purePixels(1);
  }
  EXPECT_GE(pure[0][0], 15) << "the near square is in focus";
  EXPECT_EQ(pure[0][1], 0) << "the far square is out of focus";
  EXPECT_EQ(pure[1][0], 0) << "the near square is out of focus";
  EXPECT_GE(pure[1][1], 15) << "the far square is in focus";
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
