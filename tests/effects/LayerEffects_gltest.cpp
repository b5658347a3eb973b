#include "effects/LayerEffects.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "demoSystem/Timeline.h"
#include "effects/ScreenQuad.h"
#include "resources/ImageWriters.h"
#include "resources/Texture.h"
#include "resources/TextureTools.h"
#include "support/GlTestContext.h"

namespace {

using Rgba = std::array<uint8_t, 4>;
constexpr int kSize = 64;

uint8_t byteOf(double v) { return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); }

// Within one step of 8-bit rounding; alpha is left out, since blending writes it too.
MATCHER_P(NearColour, expected, "") {
  for (int i = 0; i < 3; ++i)
    if (std::abs(int(arg[i]) - int(expected[i])) > 1) return false;
  return true;
}

TimelineEvent event(int32_t code, std::array<float, 3> params = {0, 0, 0}, const std::string& text = "") {
  TimelineEvent e;
  e.code = code;
  e.value = params[0];
  e.params = params;
  e.text = text;
  return e;
}

class LayerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gl.ok());
    demoEndTime = 10000;
    patternStepLength = 100;
    lastPatternStep = 1000;
    background(0, 0, 0);
  }
  void TearDown() override { demoEndTime = 0; }

  static void background(float r, float g, float b) {
    glClearColor(r, g, b, 1);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  // What the frame does for one effect: update, then render.
  static void frame(Effect& effect, uint32_t t) {
    effect.update(t);
    effect.render(t);
  }
  Rgba at(float x, float y) const {  // unit-square position, y from the top
    return gl.pixel(static_cast<int>(x * kSize), static_cast<int>((1 - y) * kSize));
  }

  // 4 × 4, the left half red and the right half green, sampled nearest.
  static Texture* halvesTexture() {
    // A new name each time: the cache outlives the test's GL context.
    static int serial = 0;
    Texture* texture = TextureManager::instance().createTexture(
        "layer_test_halves" + std::to_string(++serial), 4, 4, GL_TEXTURE_2D, GL_RGBA, 0);
    EXPECT_NE(texture, nullptr);
    uploadPixels(texture, halvesPixels().data());
    texture->setFilter(GL_NEAREST, GL_NEAREST);
    return texture;
  }
  static std::vector<uint8_t> halvesPixels() {
    std::vector<uint8_t> pixels;
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x)
        pixels.insert(pixels.end(), {uint8_t(x < 2 ? 255 : 0), uint8_t(x < 2 ? 0 : 255), 0, 255});
    return pixels;
  }

  GlTestContext gl{kSize, kSize};
};

// [SECTION] Screen-quad operations

TEST_F(LayerTest, RectanglesAreMeasuredFromTheTopLeft) {
  setOrthoUnit();
  glColor4f(1, 1, 1, 1);
  drawRect({0.5f, 0, 0.5f, 0.25f});
  EXPECT_EQ(at(0.75f, 0.1f), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(at(0.75f, 0.4f), (Rgba{0, 0, 0, 255}));
  EXPECT_EQ(at(0.25f, 0.1f), (Rgba{0, 0, 0, 255}));
}

TEST_F(LayerTest, FlippedProjectionTurnsTheRectangleUpsideDown) {
  setOrthoUnitFlipped();
  glColor4f(1, 1, 1, 1);
  drawRect({0, 0, 1, 0.25f});
  EXPECT_EQ(at(0.5f, 0.9f), (Rgba{255, 255, 255, 255}));
  EXPECT_EQ(at(0.5f, 0.1f), (Rgba{0, 0, 0, 255}));
}

TEST_F(LayerTest, TexturedRectanglesUseTheirTextureRectangleAndSwitchTexturingOff) {
  Texture* texture = halvesTexture();
  setOrthoUnit();
  glColor4f(1, 1, 1, 1);
  drawTexturedRectTex(texture, {0, 0, 1, 1}, {0.5f, 0, 0.5f, 1});  // the green half only
  EXPECT_EQ(at(0.1f, 0.5f), (Rgba{0, 255, 0, 255}));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  drawTexturedRect(texture, {0, 0, 1, 1});
  EXPECT_EQ(at(0.1f, 0.5f), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(at(0.9f, 0.5f), (Rgba{0, 255, 0, 255}));
  drawTexturedRect(nullptr, {0, 0, 1, 1});  // plain quad in the current colour
  EXPECT_EQ(at(0.1f, 0.5f), (Rgba{255, 255, 255, 255}));
}

// [SECTION] Clear

TEST_F(LayerTest, ClearFillsWithTheKeyedColour) {
  ClearEffect clear("c", 0, 0, 0, 1);
  clear.Red.setKey(1, 0);
  clear.Green.setKeys({{0, 0}, {1000, 1}});
  frame(clear, 500);
  EXPECT_THAT(at(0.5f, 0.5f), NearColour(Rgba{255, 128, 0, 255}));
}

TEST_F(LayerTest, ClearMasksChooseTheBuffers) {
  background(0, 0, 1);
  glClearDepth(0.25);
  glClearStencil(9);
  glClear(GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
  glClearDepth(1);
  glClearStencil(0);

  ClearEffect clear("c", 1, 0, 0, 1);
  clear.ClearColor.value = false;
  clear.ClearStencil.value = false;
  frame(clear, 0);  // depth only
  EXPECT_EQ(at(0.5f, 0.5f), (Rgba{0, 0, 255, 255}));
  float depth = 0;
  GLubyte stencil = 0;
  glReadPixels(5, 5, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  glReadPixels(5, 5, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &stencil);
  EXPECT_FLOAT_EQ(depth, 1);
  EXPECT_EQ(stencil, 9);

  clear.ClearStencil.value = true;
  clear.ClearDepth.value = false;
  frame(clear, 0);
  glReadPixels(5, 5, 1, 1, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, &stencil);
  EXPECT_EQ(stencil, 0);
}

TEST_F(LayerTest, ClearWithEveryFlagOffClearsNothing) {
  background(0, 1, 0);
  ClearEffect clear("c", 1, 0, 0, 1);
  clear.ClearColor.value = clear.ClearStencil.value = clear.ClearDepth.value = false;
  frame(clear, 0);
  EXPECT_EQ(at(0.5f, 0.5f), (Rgba{0, 255, 0, 255}));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// [SECTION] Fade

class FadeTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    background(0, 0, 1);
    fade.Red.value = 1;
    fade.start(0);
  }
  FadeEffect fade{"f"};
};

TEST_F(FadeTest, FadeOutHalfWayBlendsHalfOverTheBackground) {
  frame(fade, 5);  // default speed: scaled time 0.1 per ms, so a = 1 - 0.5
  EXPECT_THAT(at(0.5f, 0.5f), NearColour(Rgba{128, 0, 128, 255}));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  GLboolean depthWrites = GL_FALSE;
  glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrites);
  EXPECT_TRUE(depthWrites);
}

TEST_F(FadeTest, FadeOutDrawsNothingOnceTheScaledTimePassesOne) {
  frame(fade, 11);
  EXPECT_EQ(at(0.5f, 0.5f), (Rgba{0, 0, 255, 255}));
}

TEST_F(FadeTest, FadeInAddsAndKeepsGrowingPastOne) {
  fade.handleEvent(event(FadeEffect::kSetFadeOut, {0, 0, 0}));
  EXPECT_FALSE(fade.fadeOut);
  frame(fade, 5);
  EXPECT_THAT(at(0.5f, 0.5f), NearColour(Rgba{128, 0, 255, 255}));
  background(0, 0, 1);
  frame(fade, 30);  // a = 3, clamped by GL
  EXPECT_EQ(at(0.5f, 0.5f), (Rgba{255, 0, 255, 255}));
}

TEST_F(FadeTest, DurationEventSetsTheSpeedSoTheFadeLastsFiveTimesTheValue) {
  fade.handleEvent(event(FadeEffect::kSetDuration, {200, 0, 0}));
  EXPECT_FLOAT_EQ(fade.Speed.value, 1.0f / 200);
  frame(fade, 500);  // half of 1000 ms
  EXPECT_THAT(at(0.5f, 0.5f), NearColour(Rgba{128, 0, 128, 255}));
  fade.handleEvent(event(FadeEffect::kSetDuration, {0, 0, 0}));
  EXPECT_FLOAT_EQ(fade.Speed.value, 1.0f / 200);
  fade.handleEvent(event(FadeEffect::kSetDuration, {0.00005f, 0, 0}));
  EXPECT_FLOAT_EQ(fade.Speed.value, 1.0f / 200);
}

// [SECTION] Flash

class FlashTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    flash.Speed.value = 0.05f;  // scaled time 0.01 per ms
    flash.start(0);
  }
  // The expected intensity at local time t (flash started at the step's scaled time).
  static double intensity(double scaled, double start) {
    const double k = 255 - std::trunc((scaled - start) * 255);
    return std::exp(k / 255 - 1);
  }
  Rgba frameOnBlack(uint32_t t) {
    background(0, 0, 0);
    frame(flash, t);
    return at(0.5f, 0.5f);
  }
  FlashEffect flash{"fl"};
};

TEST_F(FlashTest, DrawsOnlyInStepsMarkedOneStartingAtFullIntensity) {
  EXPECT_EQ(frameOnBlack(0), (Rgba{255, 255, 255, 255}));
  const uint8_t mid = byteOf(intensity(0.5, 0));
  EXPECT_THAT(frameOnBlack(50), NearColour(Rgba{mid, mid, mid, 255}));
  const uint8_t late = byteOf(intensity(0.99, 0));
  EXPECT_THAT(frameOnBlack(99), NearColour(Rgba{late, late, late, 255}));
  for (uint32_t t : {100u, 250u, 399u}) EXPECT_EQ(frameOnBlack(t), (Rgba{0, 0, 0, 255})) << t;
  EXPECT_EQ(frameOnBlack(400), (Rgba{255, 255, 255, 255}));  // a new step restarts the flash
  EXPECT_FLOAT_EQ(flash.flashStart, 4);
  EXPECT_EQ(frameOnBlack(500), (Rgba{0, 0, 0, 255}));
  EXPECT_EQ(frameOnBlack(850), (Rgba{255, 255, 255, 255}));
}

TEST_F(FlashTest, DecaysByAFactorEPerScaledTimeUnit) {
  flash.Pattern.value.assign(1, '1');  // every step is a flash step: no restart while we watch
  flash.Speed.value = 0.005f;  // 0.001 scaled per ms: one unit takes 1000 ms
  patternStepLength = 100000;
  frameOnBlack(0);
  const uint8_t oneUnit = byteOf(std::exp(-1.0));
  EXPECT_THAT(frameOnBlack(1000), NearColour(Rgba{oneUnit, oneUnit, oneUnit, 255}));
}

TEST_F(FlashTest, WithoutAddTheFlashBlendsByItsIntensity) {
  flash.Add.value = false;
  const double i = intensity(0.5, 0);
  frameOnBlack(0);
  const uint8_t expected = byteOf(i * i);
  EXPECT_THAT(frameOnBlack(50), NearColour(Rgba{expected, expected, expected, 255}));
}

// [SECTION] Image

class ImageTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    image.start(0);
  }
  bool lit(float x, float y) const { return at(x, y)[0] > 128; }
  ImageEffect image{"img"};
};

TEST_F(ImageTest, DefaultsCoverTheScreenInTheTint) {
  image.Red.value = 1;
  image.Green.value = 0.5f;
  image.Blue.value = 0.25f;
  frame(image, 0);
  EXPECT_THAT(at(0.02f, 0.02f), NearColour(Rgba{255, 128, 64, 255}));
  EXPECT_THAT(at(0.98f, 0.98f), NearColour(Rgba{255, 128, 64, 255}));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  GLint equation = 0;
  glGetIntegerv(GL_BLEND_EQUATION_RGB, &equation);
  EXPECT_EQ(equation, GL_FUNC_ADD);
}

TEST_F(ImageTest, ScaleActsAboutTheCentreAndPositionMovesInUnits) {
  image.handleEvent(event(ImageEffect::kScale, {0.5f, 0.5f, 1}));
  frame(image, 0);
  EXPECT_TRUE(lit(0.5f, 0.5f));
  EXPECT_TRUE(lit(0.27f, 0.27f));
  EXPECT_FALSE(lit(0.23f, 0.5f));
  EXPECT_FALSE(lit(0.5f, 0.77f));

  background(0, 0, 0);
  image.handleEvent(event(ImageEffect::kPosition, {0.25f, 0.125f, 0}));
  frame(image, 0);
  // x from 0.5 to 1; GL's y is upward, so the quad rises: top edge at 1/8 from the top.
  EXPECT_FALSE(lit(0.45f, 0.5f));
  EXPECT_TRUE(lit(0.55f, 0.5f));
  EXPECT_TRUE(lit(0.55f, 0.15f));
  EXPECT_FALSE(lit(0.55f, 0.1f));
  EXPECT_FALSE(lit(0.55f, 0.65f));
}

TEST_F(ImageTest, RotationTurnsTheScaledQuadAboutTheCentre) {
  image.handleEvent(event(ImageEffect::kScale, {0.5f, 0.25f, 1}));
  image.handleEvent(event(ImageEffect::kRotation, {0, 0, 90}));
  frame(image, 0);
  // 0.5 wide and 0.25 high before the turn: 0.25 wide and 0.5 high after it.
  EXPECT_TRUE(lit(0.5f, 0.3f));
  EXPECT_TRUE(lit(0.5f, 0.7f));
  EXPECT_FALSE(lit(0.7f, 0.5f));
  EXPECT_FALSE(lit(0.3f, 0.5f));
}

TEST_F(ImageTest, RotationAndScaleSpeedsFollowTheScaledTime) {
  image.handleEvent(event(ImageEffect::kScale, {0.5f, 0.25f, 1}));
  image.handleEvent(event(ImageEffect::kRotationSpeed, {0, 0, 9}));
  frame(image, 100);  // scaled time 10: 90 degrees
  EXPECT_TRUE(lit(0.5f, 0.3f));
  EXPECT_FALSE(lit(0.7f, 0.5f));

  background(0, 0, 0);
  image.handleEvent(event(ImageEffect::kRotationSpeed, {0, 0, 0}));
  image.handleEvent(event(ImageEffect::kScale, {0.25f, 0.25f, 1}));
  image.handleEvent(event(ImageEffect::kScaleSpeed, {0.025f, 0.025f, 0}));
  frame(image, 100);  // 0.25 + 0.025 × 10 = 0.5
  EXPECT_TRUE(lit(0.27f, 0.27f));
  EXPECT_FALSE(lit(0.23f, 0.5f));
}

TEST_F(ImageTest, ShrinkingPassesThroughZeroAndMirrors) {
  image.texture = halvesTexture();
  image.handleEvent(event(ImageEffect::kScaleSpeed, {0.15f, 0.15f, 0}));
  image.handleEvent(event(ImageEffect::kShrink));
  EXPECT_FALSE(image.growing);
  frame(image, 0);
  EXPECT_EQ(at(0.25f, 0.5f), (Rgba{255, 0, 0, 255}));
  background(0, 0, 0);
  frame(image, 100);  // 1 - 0.15 × 10 = -0.5: half size, left and right swapped
  EXPECT_EQ(at(0.375f, 0.5f), (Rgba{0, 255, 0, 255}));
  EXPECT_EQ(at(0.625f, 0.5f), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(at(0.2f, 0.5f), (Rgba{0, 0, 0, 255}));
  image.handleEvent(event(ImageEffect::kGrow));
  EXPECT_TRUE(image.growing);
}

TEST_F(ImageTest, DriftSlidesTheQuadWithinItsFrame) {
  image.handleEvent(event(ImageEffect::kDrift, {0.025f, 0.025f, 0}));
  frame(image, 100);  // drawn at (0.25, 0.25) with y measured downward
  EXPECT_FALSE(lit(0.2f, 0.5f));
  EXPECT_TRUE(lit(0.3f, 0.5f));
  EXPECT_FALSE(lit(0.5f, 0.2f));
  EXPECT_TRUE(lit(0.5f, 0.3f));
}

TEST_F(ImageTest, AlphaWithItsPulseBoostAndTheEffectsBlendCodes) {
  image.BlendSrc.value = 4;  // GL_SRC_ALPHA
  image.BlendDst.value = 5;  // GL_ONE_MINUS_SRC_ALPHA
  image.handleEvent(event(ImageEffect::kAlpha, {0.25f, 0, 0}));
  EXPECT_FLOAT_EQ(image.Alpha.value, 0.25f);
  image.handleEvent(event(ImageEffect::kPulseScale, {2, 0, 0}));
  image.handleEvent(event(ImageEffect::kAlphaPulse, {0.25f, 0, 0}));
  EXPECT_FLOAT_EQ(image.alphaBoost, 0.5f);
  frame(image, 0);
  EXPECT_THAT(at(0.5f, 0.5f), NearColour(Rgba{191, 191, 191, 255}));
}

TEST_F(ImageTest, StartResetsTheTransform) {
  image.handleEvent(event(ImageEffect::kScale, {0, 0, 0}));
  image.handleEvent(event(ImageEffect::kShrink));
  image.handleEvent(event(ImageEffect::kPulseScale, {3, 0, 0}));
  image.handleEvent(event(EffectEvent::kStart));
  EXPECT_EQ(image.scale, (ImageEffect::Vec3{1, 1, 1}));
  EXPECT_TRUE(image.growing);
  EXPECT_FLOAT_EQ(image.pulseScale, 0);
}

TEST_F(ImageTest, PicturesComeFromTheDatafileTableOrTheLoadEvent) {
  const std::string dir = testimages::makeTempDir();
  const auto halves = halvesPixels();
  testimages::writeFile(dir + "halves.png", testimages::encodePng(4, 4, PNG_COLOR_TYPE_RGBA, 8, halves));
  std::vector<uint8_t> blue;
  for (int i = 0; i < 16; ++i) blue.insert(blue.end(), {0, 0, 255, 255});
  testimages::writeFile(dir + "blue.png", testimages::encodePng(4, 4, PNG_COLOR_TYPE_RGBA, 8, blue));

  EXPECT_EQ(image.addString(0, dir + "halves.png"), 0);
  ASSERT_NE(image.texture, nullptr);
  frame(image, 0);
  // Linear filtering with wrap-around: probe where both neighbouring texels agree.
  EXPECT_EQ(at(0.2f, 0.5f), (Rgba{255, 0, 0, 255}));
  EXPECT_EQ(at(0.8f, 0.5f), (Rgba{0, 255, 0, 255}));

  image.handleEvent(event(ImageEffect::kLoadTexture, {0, 0, 0}, dir + "blue.png"));
  frame(image, 0);
  EXPECT_EQ(at(0.1f, 0.5f), (Rgba{0, 0, 255, 255}));

  image.addString(1000, dir + "halves.png");  // another table loads nothing
  frame(image, 0);
  EXPECT_EQ(at(0.1f, 0.5f), (Rgba{0, 0, 255, 255}));
  std::filesystem::remove_all(dir);
}

}  // namespace
