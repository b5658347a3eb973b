#include "effects/Blur.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "demoSystem/Timeline.h"
#include "resources/RenderTarget.h"
#include "support/GlState.h"
#include "support/GlTestContext.h"
#include "support/TestEffects.h"

namespace {

constexpr int kScreen = 64;

// The red channel of a target, row by row from the bottom.
std::vector<int> redOf(RenderTarget& target) {
  const int w = target.getWidth(), h = target.getHeight();
  std::vector<uint8_t> rgba(size_t(w) * h * 4);
  glBindTexture(GL_TEXTURE_2D, target.getColorTextureId());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  std::vector<int> red(size_t(w) * h);
  for (size_t i = 0; i < red.size(); ++i) red[i] = rgba[i * 4];
  return red;
}

std::vector<uint8_t> rgbOf(RenderTarget& target) {
  const int w = target.getWidth(), h = target.getHeight();
  std::vector<uint8_t> rgb(size_t(w) * h * 3);
  glBindTexture(GL_TEXTURE_2D, target.getColorTextureId());
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return rgb;
}

int largestDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
  return worst;
}

// One context for the program: the render targets and the program cache are process-wide.
class BlurTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { gl = new GlTestContext(kScreen, kScreen); }
  static void TearDownTestSuite() {
    delete gl;
    gl = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    demoEndTime = 10000;
    setBlurSingleDraw(true);
    glViewport(0, 0, kScreen, kScreen);
  }
  void TearDown() override { setBlurSingleDraw(true); }

  // The frame for one effect: update, then render over the window.
  static void frame(Effect& effect, uint32_t t) {
    effect.update(t);
    glViewport(0, 0, kScreen, kScreen);
    effect.render(t);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  }
  static std::array<uint8_t, 4> screen(int x, int y) { return gl->pixel(x, y); }

  // A 512² target holding one white pixel at (256, 256) on black.
  static RenderTarget& singlePixel() {
    static RenderTarget target;
    if (!target.isInited()) target.init("blur_test_point", 512, 512, 0);
    target.bind();
    glViewport(0, 0, 512, 512);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(256, 256, 1, 1);
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 0);
    target.unbind();
    return target;
  }
  static RenderTarget& scratch() {
    static RenderTarget target;
    if (!target.isInited()) target.init("blur_test_scratch", 512, 512, 0);
    return target;
  }

  static GlTestContext* gl;
};

GlTestContext* BlurTest::gl = nullptr;

// [SECTION] The passes

// Each copy of a pass samples half-way between two pixels, so a lone pixel p lands, halved, on
// the two pixels next to p − h for every sample offset h. Along x the offsets are
// +offset − i·step; along y (texture rows upward) −offset + i·step.
TEST_F(BlurTest, APassSpreadsALonePixelInItsTapPatternWithItsEnergy) {
  struct Pass {
    float step, offset;
    std::vector<int> columnsHit;  // relative to the pixel, each entry one half-copy
    std::vector<int> rowsHit;
  };
  const Pass passes[] = {
      {1, 2.5f, {-3, -2, -2, -1, -1, 0, 0, 1, 1, 2, 2, 3}, {-3, -2, -2, -1, -1, 0, 0, 1, 1, 2, 2, 3}},
      // Offset 6.5 with step 3 is not centred: x reaches from −7 to +9, y from −9 to +7.
      {3, 6.5f, {-7, -6, -4, -3, -1, 0, 2, 3, 5, 6, 8, 9}, {-9, -8, -6, -5, -3, -2, 0, 1, 3, 4, 6, 7}},
      {5, 12.5f, {-13, -12, -8, -7, -3, -2, 2, 3, 7, 8, 12, 13}, {-13, -12, -8, -7, -3, -2, 2, 3, 7, 8, 12, 13}},
      {7, 17.5f, {-18, -17, -11, -10, -4, -3, 3, 4, 10, 11, 17, 18}, {-18, -17, -11, -10, -4, -3, 3, 4, 10, 11, 17, 18}},
  };
  // Weight 0.5: each half-copy is 0.25 of white, 63.75, stored as 64.
  constexpr float kWeight = 0.5f;
  constexpr int kHalfCopy = 64;
  for (bool single : {false, true}) {
    setBlurSingleDraw(single);
    for (const Pass& pass : passes) {
      blurPass(&singlePixel(), &scratch(), 6, pass.step, pass.offset, kWeight, false, false);
      const std::vector<int> red = redOf(scratch());
      std::vector<int> expected(512 * 512, 0);
      for (int dx : pass.columnsHit) expected[256 * 512 + 256 + dx] += kHalfCopy;
      for (int dy : pass.rowsHit) expected[(256 + dy) * 512 + 256] += kHalfCopy;
      int energy = 0, mismatches = 0;
      for (size_t i = 0; i < red.size(); ++i) {
        energy += red[i];
        if (red[i] != std::min(expected[i], 255)) ++mismatches;
      }
      EXPECT_EQ(mismatches, 0) << "step " << pass.step << (single ? " one draw" : " literal");
      // Twelve copies, each split into two halves.
      if (pass.step > 1) {
        EXPECT_EQ(energy, 24 * kHalfCopy) << "step " << pass.step;
      }
    }
  }
}

TEST_F(BlurTest, OnlyXAndOnlyYLeaveOutTheOtherAxisAndBothLeaveBlack) {
  for (bool single : {false, true}) {
    setBlurSingleDraw(single);
    blurPass(&singlePixel(), &scratch(), 6, 5, 12.5f, 0.5f, true, false);
    std::vector<int> red = redOf(scratch());
    EXPECT_EQ(red[256 * 512 + 256 + 13], 64);
    EXPECT_EQ(red[(256 + 13) * 512 + 256], 0);
    blurPass(&singlePixel(), &scratch(), 6, 5, 12.5f, 0.5f, false, true);
    red = redOf(scratch());
    EXPECT_EQ(red[256 * 512 + 256 + 13], 0);
    EXPECT_EQ(red[(256 + 13) * 512 + 256], 64);
    blurPass(&singlePixel(), &scratch(), 6, 5, 12.5f, 0.5f, true, true);
    red = redOf(scratch());
    EXPECT_EQ(*std::max_element(red.begin(), red.end()), 0);
  }
}

// The sums in one draw against the twelve additive draws, on a picture with every level and
// sharp edges, through all four passes with the heaviest weights a script gives.
TEST_F(BlurTest, OneDrawPassesEqualTheAdditiveDrawsWithinOneStep) {
  DrawSource source([] {
    glBegin(GL_QUADS);
    glColor3f(0, 0, 0);
    glVertex2f(-1, -1);
    glColor3f(1, 0.2f, 0);
    glVertex2f(1, -1);
    glColor3f(0.3f, 1, 1);
    glVertex2f(1, 1);
    glColor3f(0, 0.6f, 0.1f);
    glVertex2f(-1, 1);
    glEnd();
    fillRect(0.3f, 0.3f, 0.35f, 0.9f, 1, 1, 1);
    fillRect(0.6f, 0.1f, 0.61f, 0.11f, 1, 1, 1);
    fillRect(0.1f, 0.7f, 0.5f, 0.72f, 0.5f, 0.25f, 0.75f);
  });
  Blur blur("blur_equal");
  blur.sourceEffect = &source;
  blur.DoBlur.value = true;
  blur.BlurAmount.value = 3;
  // Without multiply/subtract the first pass reads the 1024² source, with it the 512² output.
  for (float factor : {0.5f, 1.3f, 4.0f, 9.0f}) {
    blur.BlurFactor.value = factor;
    for (int only : {0, 1, 2}) {
      blur.BlurOnlyX.value = only == 1;
      blur.BlurOnlyY.value = only == 2;
      blur.DoMulSub.value = factor > 1;
      setBlurSingleDraw(false);
      blur.update(0);
      const std::vector<uint8_t> literal = rgbOf(*blur.result);
      setBlurSingleDraw(true);
      blur.update(0);
      const std::vector<uint8_t> single = rgbOf(*blur.result);
      EXPECT_LE(largestDifference(literal, single), 1) << "BlurFactor " << factor << " only " << only;
    }
  }
}

TEST_F(BlurTest, GlowInOneDrawEqualsItsTwoDraws) {
  DrawSource source([] {
    glBegin(GL_QUADS);
    glColor3f(0.1f, 0.9f, 0.3f);
    glVertex2f(-1, -1);
    glColor3f(1, 0.5f, 0);
    glVertex2f(1, -1);
    glColor3f(0.2f, 0.2f, 1);
    glVertex2f(1, 1);
    glColor3f(0.7f, 0.7f, 0.7f);
    glVertex2f(-1, 1);
    glEnd();
    fillRect(0.45f, 0.2f, 0.55f, 0.8f, 1, 1, 1);
  });
  Blur blur("blur_glow");
  blur.sourceEffect = &source;
  blur.DoBlur.value = blur.DoGlow.value = true;
  for (float strength : {0.3f, 0.77f, 2.0f}) {
    blur.GlowStrength.value = strength;
    std::vector<uint8_t> frames[2];
    for (bool single : {false, true}) {
      setBlurSingleDraw(single);
      blur.update(0);
      // A viewport of odd size, so that the samples fall between texels at every fraction.
      glViewport(0, 0, 61, 47);
      blur.render(0);
      frames[single] = gl->pixels();
    }
    EXPECT_LE(largestDifference(frames[0], frames[1]), 1) << "GlowStrength " << strength;
  }
}

// A source that leaves behind what a careless effect might: blending on with another blend
// function and equation, a tinted current colour, the texture replacing the colour.
void leaveStateBehind() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE);
  glBlendEquation(GL_FUNC_REVERSE_SUBTRACT);
  glColor4f(0.9f, 0.3f, 0.6f, 0.5f);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
}

void restoreLeftState() {
  glDisable(GL_BLEND);
  glBlendEquation(GL_FUNC_ADD);
  glColor4f(1, 1, 1, 1);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

void drawTestPicture() {
  glBegin(GL_QUADS);
  glColor3f(0.1f, 0.1f, 0.1f);
  glVertex2f(-1, -1);
  glColor3f(1, 0.4f, 0);
  glVertex2f(1, -1);
  glColor3f(0.3f, 0.8f, 1);
  glVertex2f(1, 1);
  glColor3f(0, 0.6f, 0.2f);
  glVertex2f(-1, 1);
  glEnd();
  fillRect(0.3f, 0.3f, 0.35f, 0.9f, 1, 1, 1);
  fillRect(0.6f, 0.1f, 0.8f, 0.15f, 0.9f, 0.2f, 0.7f);
}

// Whatever state the source leaves, each setting draws one picture: through the one-draw
// passes and through the additive draws alike, on the first frame and on the next (the
// targets hold the last frame's sums by then), and the same as from a source that leaves
// nothing behind.
TEST_F(BlurTest, StateTheSourceLeavesShowsInNeitherWayOfDrawing) {
  struct Setting {
    bool blur, mulSub, glow;
    uint32_t amount;
    bool onlyX, onlyY;
  };
  const Setting settings[] = {
      {true, false, false, 0, false, false}, {true, false, false, 3, false, false},
      {true, false, false, 1, true, false},  {true, false, false, 2, false, true},
      {true, true, false, 1, false, false},  {true, false, true, 2, false, false},
      {true, true, true, 3, false, false},   {false, true, false, 0, false, false},
      {false, false, true, 0, false, false}, {false, false, false, 0, false, false},
  };
  DrawSource careful(drawTestPicture, "careful");
  DrawSource careless(
      [] {
        drawTestPicture();
        leaveStateBehind();
      },
      "careless");
  Blur blur("blur_leftovers");
  blur.BlurFactor.value = 1.3f;
  blur.GlowStrength.value = 0.6f;
  const auto picture = [&](Effect& source, bool single) {
    setBlurSingleDraw(single);
    blur.sourceEffect = &source;
    glClearColor(0.2f, 0.1f, 0.4f, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0);
    frame(blur, 0);
    restoreLeftState();
    return gl->pixels();
  };
  for (const Setting& s : settings) {
    blur.DoBlur.value = s.blur;
    blur.DoMulSub.value = s.mulSub;
    blur.DoGlow.value = s.glow;
    blur.BlurAmount.value = s.amount;
    blur.BlurOnlyX.value = s.onlyX;
    blur.BlurOnlyY.value = s.onlyY;
    std::ostringstream what;
    what << "blur " << s.blur << " mulsub " << s.mulSub << " glow " << s.glow << " amount " << s.amount
         << " only " << s.onlyX << s.onlyY;
    const std::vector<uint8_t> reference = picture(careful, true);
    EXPECT_GT(*std::max_element(reference.begin(), reference.end()), 100) << what.str();
    for (bool single : {true, false}) {
      for (int repeat = 0; repeat < 2; ++repeat) {
        EXPECT_LE(largestDifference(picture(careless, single), reference), single ? 0 : 1)
            << what.str() << (single ? ", one draw" : ", additive draws") << ", frame " << repeat;
      }
    }
  }
}

// A clear colour left by the source is what every pass starts from; the one-draw passes add
// their sums onto it as the additive draws add their copies.
TEST_F(BlurTest, AClearColourTheSourceLeavesStartsEveryPassInBothWays) {
  DrawSource source([] {
    drawTestPicture();
    glClearColor(0.25f, 0.05f, 0.5f, 1);
  });
  Blur blur("blur_clear_colour");
  blur.sourceEffect = &source;
  blur.DoBlur.value = true;
  blur.BlurFactor.value = 0.4f;
  for (uint32_t amount : {0u, 3u}) {
    blur.BlurAmount.value = amount;
    std::vector<uint8_t> pictures[2];
    for (bool single : {false, true}) {
      setBlurSingleDraw(single);
      frame(blur, 0);
      glClearColor(0, 0, 0, 0);
      pictures[single] = gl->pixels();
    }
    EXPECT_LE(largestDifference(pictures[0], pictures[1]), 1) << "BlurAmount " << amount;
    // Every pixel holds at least the clear colour's blue, 0.5 (128).
    for (const std::vector<uint8_t>& p : pictures) {
      int leastBlue = 255;
      for (size_t i = 2; i < p.size(); i += 4) leastBlue = std::min(leastBlue, int(p[i]));
      EXPECT_GE(leastBlue, 127) << "BlurAmount " << amount;
    }
  }
}

// [SECTION] The effect

TEST_F(BlurTest, ResultFollowsTheSwitchesAndAmountAboveThreeActsAsThree) {
  DrawSource source([] { fillRect(0.4f, 0.4f, 0.6f, 0.6f, 1, 1, 1); });
  Blur blur("blur_amount");
  blur.sourceEffect = &source;
  blur.update(0);
  EXPECT_EQ(blur.result, nullptr);  // no pass ran: the source is shown
  blur.DoMulSub.value = true;
  blur.update(0);
  EXPECT_EQ(blur.result, &Blur::target(4));
  blur.DoBlur.value = true;
  const RenderTarget* expected[] = {&Blur::target(2), &Blur::target(3), &Blur::target(4), &Blur::target(2)};
  for (uint32_t amount = 0; amount < 4; ++amount) {
    blur.BlurAmount.value = amount;
    blur.update(0);
    EXPECT_EQ(blur.result, expected[amount]) << "BlurAmount " << amount;
  }
  const std::vector<uint8_t> three = rgbOf(*blur.result);
  blur.BlurAmount.value = 7;
  blur.update(0);
  EXPECT_EQ(blur.result, &Blur::target(2));
  EXPECT_EQ(rgbOf(*blur.result), three);
}

TEST_F(BlurTest, WithoutAnyPassTheSourceIsShownAndGlowAddsTheResult) {
  // The left half red at 0.4 (102), the right half black.
  DrawSource source([] { fillRect(0, 0, 0.5f, 1, 0.4f, 0, 0); });
  Blur blur("blur_plain");
  blur.sourceEffect = &source;
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  frame(blur, 0);
  EXPECT_EQ(screen(10, 32)[0], 102);
  EXPECT_EQ(screen(54, 32)[0], 0);
  EXPECT_EQ(screen(54, 32)[2], 0);  // drawn opaque over the blue
  // Glow without a pass: the source, plus the source times GlowStrength 0.5.
  blur.DoGlow.value = true;
  blur.GlowStrength.value = 0.5f;
  frame(blur, 0);
  EXPECT_NEAR(screen(10, 32)[0], 153, 1);
}

// The multiply/subtract pass on flat greys, worked through its blend equations with the
// 8-bit store after every draw: the copy c; reverse subtraction at alpha s of the source times
// s, c·(1 − s) − (c·s)·s; then four times d + d·(c·m). Both strengths are vertex colours,
// which GL clamps to 0..1.
TEST_F(BlurTest, MultiplySubtractOnFlatGreysFollowsItsBlendEquations) {
  const auto q = [](double v) { return std::round(std::clamp(v, 0.0, 1.0) * 255) / 255; };
  struct Case {
    double grey, subtract, multiply;
  };
  // Greys on exact 8-bit steps, so that the source itself is not rounded.
  const Case cases[] = {{51 / 255.0, 0.4, 1.0},  {128 / 255.0, 0.4, 1.0}, {204 / 255.0, 0.4, 1.0},
                        {153 / 255.0, 0.2, 0.5}, {153 / 255.0, 0.7, 0.0}, {77 / 255.0, 0.0, 2.0},
                        {230 / 255.0, 1.5, 1.0}};
  for (const Case& c : cases) {
    double d = q(c.grey);
    const double g = d, s = std::min(c.subtract, 1.0), m = std::min(c.multiply, 1.0);
    d = q(d * (1 - q(s)) - q(g * s) * q(s));
    if (m > 0)
      for (int i = 0; i < 4; ++i) d = q(d + d * q(g * m));
    const int expected = static_cast<int>(std::lround(d * 255));

    DrawSource source([&] { fillRect(0, 0, 1, 1, float(c.grey), float(c.grey), float(c.grey)); });
    Blur blur("blur_mulsub");
    blur.sourceEffect = &source;
    blur.DoMulSub.value = true;
    blur.Subtract.value = float(c.subtract);
    blur.Multiply.value = float(c.multiply);
    frame(blur, 0);
    EXPECT_NEAR(screen(32, 32)[0], expected, 1) << "grey " << g << " subtract " << s << " multiply " << m;
    EXPECT_EQ(screen(32, 32)[0], screen(5, 60)[1]);
  }
}

TEST_F(BlurTest, EveryPassOnLeavesTheRestingGlState) {
  DrawSource source([] { fillRect(0.4f, 0.4f, 0.6f, 0.6f, 1, 1, 1); });
  Blur blur("blur_state");
  blur.sourceEffect = &source;
  blur.DoBlur.value = blur.DoMulSub.value = blur.DoGlow.value = true;
  blur.BlurAmount.value = 3;
  for (bool single : {false, true}) {
    setBlurSingleDraw(single);
    enterRestingState();
    const GlState before = GlState::read();
    // The effects updated after this one see the state its update leaves (culling included,
    // which the multiply/subtract pass would otherwise leave switched on).
    blur.update(0);
    EXPECT_EQ(GlState::read().differencesFrom(before), "") << "update, " << (single ? "one draw" : "literal");
    glViewport(0, 0, kScreen, kScreen);
    blur.render(0);
    EXPECT_EQ(GlState::read().differencesFrom(before), "") << (single ? "one draw" : "literal");
  }
}

}  // namespace
