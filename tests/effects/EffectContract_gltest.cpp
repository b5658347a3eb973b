// The contract every effect type keeps, checked over every row of the type table that has a
// constructor (the list grows by itself as types are built): with its defaults it renders a
// few frames, takes every event code 0–63 with a neutral value, and after each step leaves no
// GL error and the GL state the next effect relies on exactly as it found it.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <sstream>

#include "base/Display.h"
#include "demoSystem/Effect.h"
#include "demoSystem/Timeline.h"
#include "demos/EffectList.h"
#include "resources/ImageWriters.h"
#include "support/GlTestContext.h"
#include "support/TempDir.h"

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
  return event;
}

// [SECTION] The GL state that must come back

// Between effects the frame is in the engine's resting state: depth test and depth writes
// on, blending off with the additive equation, no program, the window's framebuffer and
// viewport, the matrix stacks at their depth. The blend factors are not part of it: every
// effect sets them whenever it turns blending on.
void enterRestingState() {
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  glBlendEquation(GL_FUNC_ADD);
  glDisable(GL_CULL_FACE);
  glMatrixMode(GL_MODELVIEW);
}

struct GlState {
  GLboolean blend, depthTest, depthMask, cullFace, lighting, fog, alphaTest, stencilTest,
      scissorTest, texture2d;
  GLint blendEquation, depthFunc;
  GLint pipeline, program, drawFramebuffer, readFramebuffer, activeTexture;
  GLint modelviewDepth, projectionDepth, textureDepth, matrixMode;
  std::array<GLint, 4> viewport;
  std::array<GLboolean, 4> colorMask;

  static GlState read() {
    GlState s{};
    s.blend = glIsEnabled(GL_BLEND);
    s.depthTest = glIsEnabled(GL_DEPTH_TEST);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &s.depthMask);
    s.cullFace = glIsEnabled(GL_CULL_FACE);
    s.lighting = glIsEnabled(GL_LIGHTING);
    s.fog = glIsEnabled(GL_FOG);
    s.alphaTest = glIsEnabled(GL_ALPHA_TEST);
    s.stencilTest = glIsEnabled(GL_STENCIL_TEST);
    s.scissorTest = glIsEnabled(GL_SCISSOR_TEST);
    s.texture2d = glIsEnabled(GL_TEXTURE_2D);
    glGetIntegerv(GL_BLEND_EQUATION_RGB, &s.blendEquation);
    glGetIntegerv(GL_DEPTH_FUNC, &s.depthFunc);
    glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &s.pipeline);
    glGetIntegerv(GL_CURRENT_PROGRAM, &s.program);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &s.drawFramebuffer);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &s.readFramebuffer);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s.activeTexture);
    glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelviewDepth);
    glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projectionDepth);
    glGetIntegerv(GL_TEXTURE_STACK_DEPTH, &s.textureDepth);
    glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
    glGetIntegerv(GL_VIEWPORT, s.viewport.data());
    glGetBooleanv(GL_COLOR_WRITEMASK, s.colorMask.data());
    return s;
  }

  // The fields that differ from `before`, by name; empty when all came back.
  std::string differencesFrom(const GlState& before) const {
    std::ostringstream out;
    auto check = [&](const char* name, auto now, auto then) {
      if (now != then) out << ' ' << name << ' ' << +then << "->" << +now;
    };
    check("blend", blend, before.blend);
    check("depthTest", depthTest, before.depthTest);
    check("depthMask", depthMask, before.depthMask);
    check("cullFace", cullFace, before.cullFace);
    check("lighting", lighting, before.lighting);
    check("fog", fog, before.fog);
    check("alphaTest", alphaTest, before.alphaTest);
    check("stencilTest", stencilTest, before.stencilTest);
    check("scissorTest", scissorTest, before.scissorTest);
    check("texture2d", texture2d, before.texture2d);
    check("blendEquation", blendEquation, before.blendEquation);
    check("depthFunc", depthFunc, before.depthFunc);
    check("pipeline", pipeline, before.pipeline);
    check("program", program, before.program);
    check("drawFramebuffer", drawFramebuffer, before.drawFramebuffer);
    check("readFramebuffer", readFramebuffer, before.readFramebuffer);
    check("activeTexture", activeTexture, before.activeTexture);
    check("modelviewDepth", modelviewDepth, before.modelviewDepth);
    check("projectionDepth", projectionDepth, before.projectionDepth);
    check("textureDepth", textureDepth, before.textureDepth);
    check("matrixMode", matrixMode, before.matrixMode);
    for (int i = 0; i < 4; ++i) check("viewport", viewport[i], before.viewport[i]);
    for (int i = 0; i < 4; ++i) check("colorMask", colorMask[i], before.colorMask[i]);
    return out.str();
  }
};

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

  // A 2 × 2 opaque picture.
  static std::string tinyPng();

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

std::vector<std::string> builtTypes() {
  std::vector<std::string> names;
  for (const EffectType& type : builtInEffectTypes())
    if (type.create) names.push_back(type.name);
  return names;
}

INSTANTIATE_TEST_SUITE_P(EveryBuiltType, EffectContract, testing::ValuesIn(builtTypes()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
