// The contract every effect type keeps, checked over every row of the type table that has a
// constructor (the list grows by itself as types are built): with its defaults it renders a
// few frames, takes every event code 0–63 with a neutral value, and after each step leaves no
// GL error and the GL state the next effect relies on exactly as it found it.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>

#include "base/Display.h"
#include "demoSystem/Effect.h"
#include "demoSystem/Timeline.h"
#include "demos/EffectList.h"
#include "resources/ImageWriters.h"
#include "support/GlState.h"
#include "support/GlTestContext.h"
#include "support/PartScenes.h"
#include "support/SimulationScenes.h"
#include "support/TempDir.h"
#include "support/TestEffects.h"
#include "support/VkgScenes.h"

namespace {

constexpr int kSize = 64;

// [SECTION] The fixture demo

// A pass-through program pair for the program events (35, 36) and a small picture.
const char* kVertexProgram =
    "#version 120\nvoid main() { gl_TexCoord[0] = gl_MultiTexCoord0; gl_FrontColor = gl_Color;"
    " gl_Position = ftransform(); }\n";
const char* kFragmentProgram =
    "#version 120\nuniform sampler2D diffuseMap;\n"
    "void main() { gl_FragColor = gl_Color * texture2D(diffuseMap, gl_TexCoord[0].st); }\n";

// What a type needs beyond its defaults before it can draw: strings of its tables (picture,
// scene and text file names of the fixture demo). Rows are added as types that need data
// are built; a type without a row runs on its defaults alone.
const std::map<std::string, std::function<void(Effect&)>> kFixtureSetup = {
    {"Image", [](Effect& e) { e.addString(0, "data/contract.png"); }},
    {"TypeWriter", [](Effect& e) { e.addString(0, "data/contract.png"); }},
    {"Scene", [](Effect& e) { e.addString(0, "data/scenes/contract.vkg"); }},
    {"Metaballs", [](Effect& e) { e.addString(0, "data/scenes/metaballs.vkg"); }},
    {"BoidScene", [](Effect& e) { e.addString(0, "data/scenes/boids.vkg"); }},
    {"SmokeCube", [](Effect& e) { e.addString(0, "data/scenes/smokecube.vkg"); }},
    {"SmokeScene", [](Effect& e) { e.addString(0, "data/scenes/smokescene.vkg"); }},
    {"OmniShadowTest", [](Effect& e) { e.addString(0, "data/scenes/contract.vkg"); }},
    {"ThreadObject", [](Effect& e) { e.addString(0, "data/scenes/threads.vkg"); }},
};

// The neutral event of each code: value 0, and a text that names something that exists,
// where a code reads its text as a name (the source effect, the program files).
TimelineEvent neutralEvent(int32_t code, uint32_t time) {
  TimelineEvent event;
  event.time = time;
  event.effectName = "fx";
  event.code = code;
  if (code == 2) event.text = "src";
  if (code == 35) event.text = "data/shaders/contract_vp.cg";
  if (code == 36) event.text = "data/shaders/contract_fp.cg";
  if (code == 56) event.text = "Omni01";  // the shadow light of the scene types
  return event;
}

std::string glErrors() {
  std::string text;
  for (GLenum e = glGetError(); e != GL_NO_ERROR; e = glGetError()) text += " 0x" + std::to_string(e);
  return text;
}

// [SECTION] The contract

class EffectContract : public testing::TestWithParam<std::string> {
 protected:
  static void SetUpTestSuite() {
    gl = new GlTestContext(kSize, kSize);
    work = new WorkingDirectory("effect_contract");
    work->write("data/shaders/contract_vp.cg", kVertexProgram);
    work->write("data/shaders/contract_fp.cg", kFragmentProgram);
    work->write("data/contract.png", tinyPng());
    // The post-processing types load the sample demo's programs when they are built.
    writeSampleShaders(*work);
    // Pictures types load by fixed names when they are constructed.
    work->write("data/textures/sphere_black.png", tinyPng());
    work->write("data/textures/sphere_normals.png", tinyPng());
    work->write("data/grace_probe.hdr", tinyRgbe());
    work->write("data/textures/fliser.jpg", tinyJpeg());
    work->write("data/textures/fliser_normal.png", tinyPng());
    work->write("data/textures/envmap.jpg", tinyJpeg());
    work->write("data/textures/metal24.jpg", tinyJpeg());
    vkgtest::save(vkgtest::twoWalls(), *work, "data/scenes/contract.vkg");
    // One stage per simulation type: each adds its own object to its cached scene.
    for (const char* scene : {"metaballs", "boids", "smokecube", "smokescene"})
      vkgtest::save(vkgtest::simulationStage(), *work, std::string("data/scenes/") + scene + ".vkg");
    // The scene-based parts load their fixed scene files when they are built.
    partscenes::writeAll(*work);
  }
  static void TearDownTestSuite() {
    delete work;
    delete gl;
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    screenWidth = kSize;
    screenHeight = kSize;
    demoEndTime = 10000;
    patternStepLength = 100;
    effectRegistry = &registry;
    eventList = nullptr;
    glViewport(0, 0, kSize, kSize);
  }
  void TearDown() override {
    registry.clear();
    effectRegistry = nullptr;
  }

  // A 2 × 2 opaque picture, and one of high dynamic range.
  static std::string tinyPng();
  static std::string tinyJpeg();
  static std::string tinyRgbe();

  // One frame as the launcher runs it, then the checks.
  void frameAndCheck(uint32_t t, const GlState& before, const std::string& step) {
    renderFrame(t);
    const std::string errors = glErrors();
    EXPECT_EQ(errors, "") << GetParam() << ": GL error after " << step;
    const std::string changed = GlState::read().differencesFrom(before);
    EXPECT_EQ(changed, "") << GetParam() << ": GL state not restored after " << step;
  }

  static GlTestContext* gl;
  static WorkingDirectory* work;
  EffectList registry;
};

GlTestContext* EffectContract::gl = nullptr;
WorkingDirectory* EffectContract::work = nullptr;

std::string EffectContract::tinyPng() {
  using testimages::Bytes;
  const Bytes pixels = {255, 128, 64, 255, 64, 255, 128, 255, 0, 128, 64, 255, 255, 255, 255, 255};
  const Bytes png = testimages::encodePng(2, 2, PNG_COLOR_TYPE_RGBA, 8, pixels);
  return std::string(png.begin(), png.end());
}

std::string EffectContract::tinyJpeg() {
  const testimages::Bytes pixels = {255, 128, 64, 64, 255, 128, 0, 128, 64, 255, 255, 255};
  const testimages::Bytes jpeg = testimages::encodeJpeg(2, 2, 3, pixels);
  return std::string(jpeg.begin(), jpeg.end());
}

std::string EffectContract::tinyRgbe() {
  // Width below 8: stored flat, R G B E per pixel; exponent 136 means the bytes as they are.
  std::string bytes = testimages::rgbeHeader(2, 2);
  for (int i = 0; i < 4; ++i) bytes += std::string{char(1), char(2), char(3), char(136)};
  return bytes;
}

TEST_P(EffectContract, RendersWithDefaultsTakesEveryEventAndRestoresTheGlState) {
  const std::string type = GetParam();
  ASSERT_TRUE(registry.insertEffect("src", "Clear"));
  ASSERT_TRUE(registry.insertEffect("fx", type));
  Effect* fx = registry.findEffect("fx");
  if (auto setup = kFixtureSetup.find(type); setup != kFixtureSetup.end()) setup->second(*fx);
  fx->handleEvent(neutralEvent(2, 0));  // post-processing types draw their source
  fx->active.setKey(1, 0);
  enterRestingState();
  glGetError();

  const GlState before = GlState::read();
  uint32_t t = 0;
  for (; t <= 1000; t += 250) frameAndCheck(t, before, "the frame at " + std::to_string(t) + " ms");
  for (int32_t code = 0; code < 64; ++code) {
    fx->handleEvent(neutralEvent(code, t));
    frameAndCheck(t, before, "event code " + std::to_string(code));
    t += 40;
    if (HasFailure()) break;  // one broken step is enough to read
  }
}

std::vector<std::string> everyType() {
  std::vector<std::string> names;
  for (const EffectType& type : builtInEffectTypes()) names.push_back(type.name);
  return names;
}

INSTANTIATE_TEST_SUITE_P(EveryType, EffectContract, testing::ValuesIn(everyType()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
