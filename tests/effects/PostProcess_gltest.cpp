#include "effects/PostProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "demoSystem/Timeline.h"
#include "effects/Blur.h"
#include "effects/LayerEffects.h"
#include "resources/ImageWriters.h"
#include "resources/RenderTarget.h"
#include "support/GlState.h"
#include "support/GlTestContext.h"
#include "support/TempDir.h"
#include "support/TestEffects.h"

namespace {

constexpr int kScreen = 128;
using Rgb = std::array<int, 3>;

TimelineEvent event(int32_t code, float value, const std::string& text = "") {
  TimelineEvent e;
  e.code = code;
  e.value = value;
  e.text = text;
  return e;
}

// One context and one working directory (with the sample demo's programs) for the program:
// targets, textures and programs are process-wide.
class PostProcessTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    gl = new GlTestContext(kScreen, kScreen);
    work = new WorkingDirectory("post_process");
    writeSampleShaders(*work);
  }
  static void TearDownTestSuite() {
    delete work;
    delete gl;
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    demoEndTime = 10000;
    exposure = 32;
    background(0, 0, 0.5f);
  }

  static void background(float r, float g, float b) {
    glViewport(0, 0, kScreen, kScreen);
    glClearColor(r, g, b, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  // The frame for one effect: update, then render over the window.
  static void frame(Effect& effect, uint32_t t) {
    effect.update(t);
    glViewport(0, 0, kScreen, kScreen);
    effect.render(t);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
  static Rgb screen(int x, int y) {
    const auto p = gl->pixel(x, y);
    return {p[0], p[1], p[2]};
  }
  // Largest minus smallest red value along a row between two columns.
  static int contrast(int y, int x0, int x1) {
    int lo = 255, hi = 0;
    for (int x = x0; x < x1; ++x) {
      lo = std::min(lo, screen(x, y)[0]);
      hi = std::max(hi, screen(x, y)[0]);
    }
    return hi - lo;
  }

  static GlTestContext* gl;
  static WorkingDirectory* work;
};

GlTestContext* PostProcessTest::gl = nullptr;
WorkingDirectory* PostProcessTest::work = nullptr;

void expectNear(const Rgb& actual, const Rgb& expected, int tolerance, const std::string& what) {
  for (int c = 0; c < 3; ++c)
    EXPECT_NEAR(actual[c], expected[c], tolerance) << what << ", channel " << c;
}

// [SECTION] HDR

// The conversion keeps v / E above the black floor f = 1/4096, stretched back to full range;
// the tone map draws L (1 + L / 16) / (1 + L) of L = 4 · stored.
int toneMapped(double v, double e) {
  const double f = 1.0 / 4096;
  const double stored = std::clamp((v / e - f) / (1 - f), 0.0, 1.0);
  const double l = 4 * stored;
  return static_cast<int>(std::lround(std::clamp(l * (1 + l / 16) / (1 + l), 0.0, 1.0) * 255));
}

TEST_F(PostProcessTest, HdrValuesAboveOneToneMapByTheExposure) {
  ClearEffect source("hdr_source", 4, 2, 0.5f, 1);
  ShaderRTT_HDR hdr("hdr");
  hdr.sourceEffect = &source;
  hdr.DoMulSub.value = true;  // with nothing subtracted or multiplied: the converted picture
  hdr.Subtract.value = 0;
  hdr.Multiply.value = 0;
  hdr.handleEvent(event(ShaderRTT::kSelectPair, 512));
  struct Case {
    float exposure;
    Rgb expected;
  };
  // By hand: E 32 gives (88, 52, 15); E 2 takes 4 and 2 to full scale, white, and 0.5 to 135.
  const Case cases[] = {{32, {88, 52, 15}}, {2, {255, 255, 135}}};
  for (const Case& c : cases) {
    hdr.handleEvent(event(ShaderRTT_HDR::kExposure, c.exposure));
    EXPECT_EQ(toneMapped(4, c.exposure), c.expected[0]);
    EXPECT_EQ(toneMapped(0.5, c.exposure), c.expected[2]);
    frame(hdr, 0);
    expectNear(screen(64, 64), c.expected, 1, "exposure " + std::to_string(c.exposure));
  }
  // No exposure at all has no range: black, not a division by zero.
  hdr.handleEvent(event(ShaderRTT_HDR::kExposure, 0));
  frame(hdr, 0);
  expectNear(screen(64, 64), {0, 0, 0}, 0, "exposure 0");
}

TEST_F(PostProcessTest, HdrRenderSetsItsOwnProjection) {
  ClearEffect source("hdr_source", 4, 2, 0.5f, 1);
  ShaderRTT_HDR hdr("hdr_projection");
  hdr.sourceEffect = &source;
  hdr.DoMulSub.value = true;
  hdr.Subtract.value = 0;
  hdr.Multiply.value = 0;
  hdr.update(0);
  // What any later effect's update leaves behind: it rendered its own source with identity
  // matrices.
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glViewport(0, 0, kScreen, kScreen);
  hdr.render(0);
  for (auto [x, y] : {std::pair{2, 2}, {125, 2}, {2, 125}, {125, 125}})
    expectNear(screen(x, y), {88, 52, 15}, 1, "corner " + std::to_string(x) + "," + std::to_string(y));
}

// [SECTION] ShaderRTT against Blur

// Where the two agree: the multiply/subtract of flat greys (Blur's Multiply m is ShaderRTT's
// m / 10), and ShaderRTT's blur keeps a flat field as it is.
TEST_F(PostProcessTest, ShaderRttMultiplySubtractMatchesBlurOnFlatGreys) {
  struct Case {
    float grey, subtract, multiply;
  };
  const Case cases[] = {{51 / 255.f, 0.4f, 1.0f}, {128 / 255.f, 0.4f, 1.0f}, {153 / 255.f, 0.2f, 0.5f},
                        {204 / 255.f, 0.7f, 0.0f}, {77 / 255.f, 0.0f, 0.3f}};
  for (const Case& c : cases) {
    ClearEffect source("grey", c.grey, c.grey, c.grey, 1);
    Blur blur("agree_blur");
    blur.sourceEffect = &source;
    blur.DoMulSub.value = true;
    blur.Subtract.value = c.subtract;
    blur.Multiply.value = c.multiply;
    frame(blur, 0);
    const Rgb byBlur = screen(64, 64);

    ShaderRTT rtt("agree_rtt");
    rtt.sourceEffect = &source;
    rtt.DoMulSub.value = true;
    rtt.DoBlur.value = true;
    rtt.Subtract.value = c.subtract;
    rtt.Multiply.value = c.multiply / 10;
    frame(rtt, 0);
    // Blur rounds to 8 bits after each of its six draws, the program once.
    expectNear(screen(64, 64), byBlur, 2, "grey " + std::to_string(c.grey));
  }
}

// [SECTION] Drawing the result

TEST_F(PostProcessTest, GlowAddsTheResultOncePerAdditivePass) {
  ClearEffect source("grey", 40 / 255.f, 40 / 255.f, 40 / 255.f, 1);
  ShaderRTT rtt("glow_rtt");
  rtt.sourceEffect = &source;
  rtt.DoMulSub.value = true;  // 0 and 0: a plain copy into the result
  rtt.Subtract.value = 0;
  rtt.Multiply.value = 0;
  rtt.DoGlow.value = true;
  ShaderDOF dof("glow_dof");
  dof.sourceEffect = &source;
  dof.DoGlow.value = true;
  for (uint32_t passes : {0u, 1u, 3u, 9u}) {
    rtt.NumAdditivePasses.value = passes;
    frame(rtt, 0);
    // The sharp layer plus passes + 1 copies of the result.
    const int expected = std::min(255, 40 * int(passes + 2));
    expectNear(screen(64, 64), {expected, expected, expected}, 1, "ShaderRTT passes " + std::to_string(passes));
  }
  // ShaderDOF draws its result NumAdditivePasses times, not once more: 0 leaves the glow
  // layer alone.
  dof.NumAdditivePasses.value = 0;
  frame(dof, 0);
  expectNear(screen(64, 64), {40, 40, 40}, 0, "ShaderDOF without passes");
  dof.DoGlow.value = false;
  background(0, 0, 0.5f);
  frame(dof, 0);
  expectNear(screen(64, 64), {0, 0, 128}, 0, "ShaderDOF draws nothing");
}

TEST_F(PostProcessTest, PairSelectionIsSharedByEveryInstanceFromTheNextUpdate) {
  ClearEffect source("grey", 0.5f, 0.5f, 0.5f, 1);
  ShaderRTT first("pair_first");
  ShaderRTT second("pair_second");  // builds the targets again: the small pair is selected
  first.sourceEffect = second.sourceEffect = &source;
  first.update(0);
  EXPECT_EQ(first.result->getWidth(), 128);
  second.handleEvent(event(ShaderRTT::kSelectPair, 512));
  EXPECT_EQ(first.result->getWidth(), 128);  // until the next update
  first.update(0);
  EXPECT_EQ(first.result->getWidth(), 512);
  first.handleEvent(event(ShaderRTT::kSelectPair, 511));
  second.update(0);
  EXPECT_EQ(second.result->getWidth(), 128);
}

// [SECTION] Depth of field

// Vertical bars 8 pixels wide on screen, on both halves; the depth-information image says the
// left half is on the focal plane and the right half fully out of focus.
TEST_F(PostProcessTest, DepthOfFieldKeepsTheFocalPlaneSharpAndBlursTheFarObject) {
  DrawSource bars([] {
    for (int i = 0; i < 16; i += 2) fillRect(i / 16.f, 0, (i + 1) / 16.f, 1, 1, 1, 1);
  });
  ShaderDOF dof("dof");
  dof.sourceEffect = &bars;
  dof.DoBlur.value = true;
  dof.BlurFactorX.value = 4;
  dof.BlurFactorY.value = 4;

  RenderTarget& depth = sceneDepthTarget();
  depth.bind();
  glViewport(0, 0, depth.getWidth(), depth.getHeight());
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(depth.getWidth() / 2, 0, depth.getWidth() / 2, depth.getHeight());
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  depth.unbind();

  frame(dof, 0);
  EXPECT_GE(contrast(64, 8, 56), 250) << "the focal plane lost its edges";
  EXPECT_LE(contrast(64, 72, 120), 60) << "the far object is not blurred";
  // Blurred into a grey between the bars, neither of them (the clamped edge and the bar
  // beside the focal plane pull it somewhat darker than half).
  int sum = 0;
  for (int x = 72; x < 120; ++x) sum += screen(x, 64)[0];
  EXPECT_NEAR(sum / 48, 128, 40);
}

// Without the glow the source is drawn at 768² instead of 1024², seen only through the 512²
// passes: a flat field comes through exactly; a picture with gradients and hard edges, half of
// it on the focal plane, stays within two levels on 99 % of the pixels and 40 dB; with the
// glow the sharp source is drawn as before, to the level. (Hard edges packed closely on the
// focal plane fare worse: twelve across this 128-pixel screen keep 98.4 % within two levels.)
TEST_F(PostProcessTest, DepthOfFieldReducedSourceStaysWithinTolerance) {
  RenderTarget& depth = sceneDepthTarget();
  const auto depthAmount = [&](float left, float right) {
    depth.bind();
    glViewport(0, 0, depth.getWidth(), depth.getHeight());
    glClearColor(0, left, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(depth.getWidth() / 2, 0, depth.getWidth() / 2, depth.getHeight());
    glClearColor(0, right, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    depth.unbind();
  };
  const auto grab = [&] {
    std::vector<Rgb> pixels;
    for (int y = 0; y < kScreen; ++y)
      for (int x = 0; x < kScreen; ++x) pixels.push_back(screen(x, y));
    return pixels;
  };
  const auto bothWays = [&](ShaderDOF& dof) {
    setDofReducedSource(false);
    background(0, 0, 0);
    frame(dof, 0);
    std::vector<Rgb> full = grab();
    setDofReducedSource(true);
    background(0, 0, 0);
    frame(dof, 0);
    return std::make_pair(full, grab());
  };

  ClearEffect flat("dof_flat", 100 / 255.f, 100 / 255.f, 100 / 255.f, 1);
  ShaderDOF dof("dof_reduced");
  dof.DoBlur.value = true;
  dof.sourceEffect = &flat;
  depthAmount(0, 1);
  const auto [flatFull, flatReduced] = bothWays(dof);
  EXPECT_EQ(dof.sourceTarget()->getWidth(), 768);
  EXPECT_EQ(flatReduced, flatFull);
  expectNear(screen(32, 64), {100, 100, 100}, 0, "flat field, reduced source");

  DrawSource picture([] {
    glBegin(GL_QUADS);
    glColor3f(0, 0.2f, 1);
    glVertex2f(-1, -1);
    glColor3f(1, 0.6f, 0);
    glVertex2f(1, -1);
    glColor3f(0.3f, 1, 0.2f);
    glVertex2f(1, 1);
    glColor3f(0.8f, 0.1f, 0.5f);
    glVertex2f(-1, 1);
    glEnd();
    for (int i = 0; i < 3; ++i) fillRect(0.1f + 0.3f * i, 0.2f, 0.2f + 0.3f * i, 0.8f, 1, 1, 1);
  });
  dof.sourceEffect = &picture;
  dof.BlurFactorX.value = dof.BlurFactorY.value = 1;
  depthAmount(0, 0.5f);
  const auto [full, reduced] = bothWays(dof);
  int within = 0;
  double squares = 0;
  for (size_t i = 0; i < full.size(); ++i) {
    int worst = 0;
    for (int c = 0; c < 3; ++c) {
      const int d = full[i][c] - reduced[i][c];
      worst = std::max(worst, std::abs(d));
      squares += d * d;
    }
    within += worst <= 2;
  }
  EXPECT_GE(within, int(full.size() * 99 / 100));
  const double mse = squares / double(full.size() * 3);
  EXPECT_TRUE(mse == 0 || 10 * std::log10(255.0 * 255.0 / mse) >= 40) << "mse " << mse;

  dof.DoGlow.value = true;
  const auto [glowFull, glowReduced] = bothWays(dof);
  EXPECT_EQ(dof.sourceTarget(), &ShaderDOF::target(1));
  EXPECT_EQ(glowReduced, glowFull);
}

// [SECTION] Target textures

TEST_F(PostProcessTest, TargetTextureScrollsTintsAndCombines) {
  // Left half red, right half green.
  DrawSource halves([] {
    fillRect(0, 0, 0.5f, 1, 1, 0, 0);
    fillRect(0.5f, 0, 1, 1, 0, 1, 0);
  });
  TargetTexture scroll("scroll");
  scroll.sourceEffect = &halves;
  scroll.start(0);
  // "Speed" 0.5 is 0.1 of scaled time per millisecond: 5 ms scroll FactorX 1 by half a width.
  frame(scroll, 5);
  expectNear(screen(32, 64), {0, 255, 0}, 1, "left after half a scroll");
  expectNear(screen(96, 64), {255, 0, 0}, 1, "right after half a scroll (wrapped)");
  scroll.Red.value = 0.5f;
  frame(scroll, 10);  // a whole width: back in place, tinted
  expectNear(screen(32, 64), {128, 0, 0}, 1, "tinted left");

  // A second texture on unit 1 multiplies the picture.
  testimages::writeFile(work->dir().str() + "/data/grey.png",
                        testimages::encodePng(1, 1, PNG_COLOR_TYPE_RGBA, 8, {128, 128, 128, 255}));
  scroll.handleEvent(event(TargetTexture::kSecondTexture, 0, "data/grey.png"));
  ASSERT_NE(scroll.texture, nullptr);
  frame(scroll, 10);
  expectNear(screen(96, 64), {0, 128, 0}, 1, "green times grey");

  // The effect's own program gets Factor0–3 as `factors`.
  work->write("data/shaders/factors_fp.cg",
              "#version 120\nuniform vec4 factors;\nvoid main() { gl_FragColor = factors; }\n");
  scroll.handleEvent(event(EffectEvent::kFragmentProgram, 0, "data/shaders/factors_fp.cg"));
  scroll.Factor0.value = 0.2f;
  scroll.Factor1.value = 0.6f;
  scroll.Factor2.value = 1.0f;
  scroll.Factor3.value = 1.0f;
  frame(scroll, 10);
  expectNear(screen(64, 64), {51, 153, 255}, 1, "the program's factors");
}

TEST_F(PostProcessTest, TargetTextureHdrKeepsFloatValuesForItsProgram) {
  ClearEffect source("hdr_source", 4, 0.25f, 0, 1);
  TargetTextureHDR texture("float_texture");
  texture.sourceEffect = &source;
  texture.start(0);
  // A program that scales the texel down by four shows what the 8-bit target would have cut.
  work->write("data/shaders/quarter_fp.cg",
              "#version 120\nuniform sampler2D image0;\n"
              "void main() { gl_FragColor = texture2D(image0, gl_TexCoord[0].st) * 0.25; }\n");
  texture.handleEvent(event(EffectEvent::kFragmentProgram, 0, "data/shaders/quarter_fp.cg"));
  frame(texture, 0);
  expectNear(screen(64, 64), {255, 16, 0}, 1, "4 and 0.25, quartered");
}

// [SECTION] State

TEST_F(PostProcessTest, EverySwitchOnLeavesTheRestingGlState) {
  ClearEffect source("state_source", 0.5f, 0.25f, 1, 1);
  ShaderRTT rtt("state_rtt");
  ShaderRTT_HDR hdr("state_hdr");
  ShaderDOF dof("state_dof");
  TargetTexture texture("state_texture");
  for (ShaderRTT* e : {&rtt, static_cast<ShaderRTT*>(&hdr)}) {
    e->DoBlur.value = e->DoMulSub.value = e->DoGlow.value = true;
    e->NumAdditivePasses.value = 2;
  }
  dof.DoBlur.value = dof.DoGlow.value = true;
  testimages::writeFile(work->dir().str() + "/data/state.png",
                        testimages::encodePng(1, 1, PNG_COLOR_TYPE_RGBA, 8, {128, 128, 128, 255}));
  texture.handleEvent(event(TargetTexture::kSecondTexture, 0, "data/state.png"));
  texture.BlendEquation.value = 2;  // reverse subtraction, which must not outlive the draw
  work->write("data/shaders/state_fp.cg",
              "#version 120\nuniform vec4 factors;\nvoid main() { gl_FragColor = factors; }\n");
  texture.handleEvent(event(EffectEvent::kFragmentProgram, 0, "data/shaders/state_fp.cg"));
  for (Effect* e : std::initializer_list<Effect*>{&rtt, &hdr, &dof, &texture}) {
    e->sourceEffect = &source;
    enterRestingState();
    const GlState before = GlState::read();
    frame(*e, 0);
    EXPECT_EQ(GlState::read().differencesFrom(before), "") << e->getName();
  }
}

}  // namespace
