// The effect operations that need GL: rendering the source effect into a render target and
// taking shader programs from the cache by event.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "demoSystem/Effect.h"
#include "demoSystem/Timeline.h"
#include "effects/LayerEffects.h"
#include "engine/FragmentProgram.h"
#include "engine/VertexProgram.h"
#include "launcher/LauncherState.h"
#include "resources/RenderTarget.h"
#include "support/GlTestContext.h"
#include "support/TempDir.h"

namespace {

class Holder : public Effect {
 public:
  explicit Holder(const std::string& name) : Effect(name) {}
  void render(uint32_t) override {}
};

TimelineEvent event(int32_t code, const std::string& text) {
  TimelineEvent e;
  e.code = code;
  e.text = text;
  return e;
}

// One context for the suite: the shader cache and its pipeline live for the process.
class EffectGlTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    gl = new GlTestContext(32, 32);
    temp = new TempDir("effect_gltest");
    dir = new std::filesystem::path(temp->path());
  }
  static void TearDownTestSuite() {
    delete temp;
    delete dir;
    delete gl;
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    demoEndTime = 10000;
  }
  void TearDown() override { demoEndTime = 0; }

  static std::string shader(const std::string& name, const std::string& text) {
    const std::string path = (*dir / name).string();
    std::ofstream(path) << text;
    return path;
  }

  static GlTestContext* gl;
  static std::filesystem::path* dir;
  static TempDir* temp;
};
GlTestContext* EffectGlTest::gl = nullptr;
std::filesystem::path* EffectGlTest::dir = nullptr;
TempDir* EffectGlTest::temp = nullptr;

TEST_F(EffectGlTest, TheSourceIsUpdatedAndRenderedIntoTheClearedTarget) {
  RenderTarget target;
  target.init("effect_gltest_target", 16, 8, RenderTarget::kAlpha);
  ClearEffect source("src", 0, 1, 0, 1);
  source.ClearColor.value = false;  // the source itself leaves colour alone...
  Holder effect("holder");
  effect.sourceEffect = &source;
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);

  effect.renderSourceToTarget(&target, 1234);

  EXPECT_EQ(source.currentTime, 1234u);
  EXPECT_EQ(RenderTarget::boundFramebuffer(), 0u);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[2], 16);
  EXPECT_EQ(viewport[3], 8);
  target.bind();
  // ...so what the target holds is the transparent black it was cleared to.
  EXPECT_EQ(gl->pixel(3, 3), (std::array<uint8_t, 4>{0, 0, 0, 0}));
  target.unbind();
  EXPECT_EQ(gl->pixel(3, 3), (std::array<uint8_t, 4>{255, 0, 0, 255}));  // the window untouched

  source.ClearColor.value = true;
  effect.renderSourceToTarget(&target, 1300);
  target.bind();
  EXPECT_EQ(gl->pixel(15, 7), (std::array<uint8_t, 4>{0, 255, 0, 255}));
  target.unbind();
}

TEST_F(EffectGlTest, ProgramEventsTakeTheSharedProgramOfTheFile) {
  const std::string vertex = shader("vp_effect.cg", "#version 120\nvoid main() { gl_Position = ftransform(); }\n");
  const std::string fragment =
      shader("fp_effect.cg", "#version 120\nvoid main() { gl_FragColor = vec4(1.0); }\n");
  Holder a("a");
  Holder b("b");
  a.handleEvent(event(EffectEvent::kVertexProgram, vertex));
  a.handleEvent(event(EffectEvent::kFragmentProgram, fragment));
  b.handleEvent(event(EffectEvent::kFragmentProgram, fragment));
  ASSERT_NE(a.vertexProgram, nullptr);
  ASSERT_NE(a.fragmentProgram, nullptr);
  EXPECT_EQ(a.vertexProgram->getFileName(), vertex);
  EXPECT_EQ(a.fragmentProgram, b.fragmentProgram);
  EXPECT_NE(a.fragmentProgram->getProgram(), 0u);
}

}  // namespace
