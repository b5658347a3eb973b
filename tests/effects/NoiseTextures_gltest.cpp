#include "effects/NoiseTextures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

#include "base/Random.h"
#include "resources/Texture.h"
#include "resources/TextureTools.h"
#include "support/GlTestContext.h"
#include "support/PaintSource.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kSize = 512;

GlTestContext& gl() {
  static GlTestContext* context = new GlTestContext(kSize, kSize);
  return *context;
}

Bytes texels(GLuint texture, int w, int h) {
  glBindTexture(GL_TEXTURE_2D, texture);
  Bytes out(size_t(w) * h * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
  return out;
}

GLint wrapOf(GLuint texture) {
  GLint s = 0, t = 0;
  glBindTexture(GL_TEXTURE_2D, texture);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &s);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &t);
  return s == t ? s : -1;
}

class NoiseTexturesTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gl().ok());
    glViewport(0, 0, kSize, kSize);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  static void frame(Effect& effect, uint32_t t) {
    effect.update(t);
    effect.render(t);
  }
};

// [SECTION] Noise

TEST_F(NoiseTexturesTest, NoiseStaysPutWithoutAnimateAndJumpsEveryFrameWithIt) {
  NoiseEffect noise("noise");
  NoiseEffect::noiseRect = {0, 0, 1, 1};
  frame(noise, 0);
  const Bytes first = gl().pixels();
  glClear(GL_COLOR_BUFFER_BIT);
  frame(noise, 40);
  EXPECT_EQ(gl().pixels(), first);
  EXPECT_EQ(NoiseEffect::noiseRect.x, 0);
  EXPECT_EQ(NoiseEffect::noiseRect.y, 0);

  noise.Animate.value = true;
  demoSrand(5);
  glClear(GL_COLOR_BUFFER_BIT);
  frame(noise, 80);
  // The offset is two draws of the 15-bit generator over 32767.
  Random15 random(5);
  const float x = random.next() / 32767.0f, y = random.next() / 32767.0f;
  EXPECT_FLOAT_EQ(NoiseEffect::noiseRect.x, x);
  EXPECT_FLOAT_EQ(NoiseEffect::noiseRect.y, y);
  EXPECT_NE(gl().pixels(), first);
  EXPECT_EQ(NoiseEffect::noiseRect.w, 1);
  EXPECT_EQ(NoiseEffect::noiseRect.h, 1);
  NoiseEffect::noiseRect = {0, 0, 1, 1};
}

// [SECTION] PNoise

TEST_F(NoiseTexturesTest, PNoiseFirstFrameIsTheMarbleAtDepthOneTenthWithOneOctave) {
  PNoiseEffect pnoise("pnoise");
  PNoiseEffect::marbleZ = 0;
  PNoiseEffect::marbleOctaves = 1;
  Texture* marble = TextureManager::instance().createTexture("pnoisetexture", 256, 256, GL_TEXTURE_2D, GL_RGBA, 0);
  EXPECT_EQ(texels(marble->getId(), 256, 256), Bytes(256 * 256 * 4, 0));  // cleared

  frame(pnoise, 0);
  EXPECT_DOUBLE_EQ(PNoiseEffect::marbleZ, 0.1);
  Bytes expected(256 * 256 * 4);
  marblePixelsReference(expected.data(), 256, 256, 20, 20, 0.1f, 0, 0, 1);
  EXPECT_TRUE(texels(marble->getId(), 256, 256) == expected);
  // Drawn over the whole screen, row 0 at the top: each screen pixel samples the texture
  // between four texels (linear filtering, repeating at the edges).
  const Bytes screen = gl().pixels();
  const auto texel = [&](int i, int j) { return double(expected[(size_t(j & 255) * 256 + (i & 255)) * 4]); };
  for (int y = 0; y < kSize; y += 37)
    for (int x = 0; x < kSize; x += 41) {
      const double u = x / 2.0 - 0.25, v = (kSize - 1 - y) / 2.0 - 0.25;
      const int i = int(std::floor(u)), j = int(std::floor(v));
      const double fu = u - i, fv = v - j;
      const double value = (texel(i, j) * (1 - fu) + texel(i + 1, j) * fu) * (1 - fv) +
                           (texel(i, j + 1) * (1 - fu) + texel(i + 1, j + 1) * fu) * fv;
      EXPECT_NEAR(screen[(size_t(y) * kSize + x) * 4], value, 2) << x << "," << y;
    }

  // More octaves are taken as they come, up to eight.
  PNoiseEffect::marbleOctaves = 12;
  frame(pnoise, 40);
  EXPECT_EQ(PNoiseEffect::marbleOctaves, PNoiseEffect::kMaxOctaves);
  marblePixelsReference(expected.data(), 256, 256, 20, 20, 0.2f, 0, 0, 8);
  EXPECT_TRUE(texels(marble->getId(), 256, 256) == expected);
  PNoiseEffect::marbleOctaves = 1;
}

TEST_F(NoiseTexturesTest, PNoiseIgnoresEveryEventAndKeepsTheBlendingItFinds) {
  PNoiseEffect pnoise("pnoise_events");
  pnoise.SpectrumStr.value = 1;  // so that a pulse event would show
  pnoise.start(100);
  for (int32_t code : {0, 2, 5, 19, 40}) {
    TimelineEvent event;
    event.code = code;
    event.time = 5000;
    event.value = 3;
    event.text = "paint";
    pnoise.handleEvent(event);
  }
  EXPECT_EQ(pnoise.startTime, 100u);
  EXPECT_EQ(pnoise.sourceEffect, nullptr);
  EXPECT_EQ(pnoise.pulse, 0);
  EXPECT_EQ(pnoise.timeOffset, 0);

  glEnable(GL_BLEND);
  glBlendFunc(GL_ZERO, GL_ONE);  // draws nothing
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  frame(pnoise, 0);
  EXPECT_TRUE(glIsEnabled(GL_BLEND));
  EXPECT_EQ(gl().pixel(256, 256), (std::array<uint8_t, 4>{0, 0, 255, 255}));
  glDisable(GL_BLEND);
}

// [SECTION] TechnoNoise

TEST_F(NoiseTexturesTest, TechnoNoiseAddsEveryOtherLineOfTheSourceOnTopOfIt) {
  constexpr float kGrey = 64 / 255.0f;
  PaintSource grey({{0, 0, 0.5f, 1, {2 * kGrey, 2 * kGrey, 2 * kGrey, 1}}}, {kGrey, kGrey, kGrey, 1});
  TechnoNoiseEffect techno("techno");
  techno.sourceEffect = &grey;
  techno.ScaleSizeX.value = techno.ScaleSizeY.value = 1;  // the copy lies over the source

  // ScaleAlpha 0: the plain source (left 128, right 64).
  techno.ScaleAlpha.value = 0;
  frame(techno, 0);
  for (int y : {100, 101, 400})
    for (const auto& [x, value] : {std::pair{100, 128}, std::pair{400, 64}})
      EXPECT_EQ(gl().pixel(x, y)[0], value) << x << "," << y;

  // ScaleAlpha a: even rows (from the bottom) as they are, odd rows (1 + a) times.
  for (float a : {1.0f, 0.5f}) {
    techno.ScaleAlpha.value = a;
    frame(techno, 40);
    for (int y : {0, 1, 100, 101, 510, 511}) {
      const double lift = y % 2 == 1 ? 1 + a : 1;
      EXPECT_NEAR(gl().pixel(100, y)[0], 128 * lift, 1) << "row " << y << " alpha " << a;
      EXPECT_NEAR(gl().pixel(400, y)[0], 64 * lift, 1) << "row " << y << " alpha " << a;
    }
  }
}

// At ScaleAlpha 0 the scan-line copy is left out (update and draw) only where that leaves
// the frame as it was: each case is drawn with the skipping off, then on with the scan-line
// target filled with red in between (a stale copy would show), and the frames must be equal.
TEST_F(NoiseTexturesTest, TechnoNoiseLeavesOutOnlyAScanLineCopyThatAddsNothing) {
  PaintSource picture({{0, 0, 0.5f, 1, {0.5f, 0.25f, 0.75f, 1}}}, {0.2f, 0.3f, 0.1f, 1});
  TechnoNoiseEffect techno("techno_skip");
  techno.sourceEffect = &picture;
  techno.BlendSrc.value = 1;
  techno.Red.value = techno.Green.value = techno.Blue.value = 0.5f;
  techno.ScaleSizeX.value = techno.ScaleSizeY.value = 1.3f;
  struct Case {
    const char* name;
    float scaleAlpha;
    uint32_t equation;  // the BlendEquation code: 0 add, 1 subtract, 2 reverse subtract
    bool otherActive;
    GLint texEnv;     // left behind by an effect before
    bool secondUnit;  // a grey texture left on unit 1 by an effect before
    bool skipped;
  };
  const Case cases[] = {
      {"alpha 0", 0, 0, false, GL_MODULATE, false, true},
      {"alpha 0.5 after a skipped frame", 0.5f, 0, false, GL_MODULATE, false, false},
      {"alpha below 0 (clamped)", -1, 2, false, GL_MODULATE, false, true},
      {"subtracting the destination from 0", 0, 1, false, GL_MODULATE, false, false},
      {"another TechnoNoise drawn", 0, 0, true, GL_MODULATE, false, false},
      {"a texture environment adding the texture", 0, 0, false, GL_ADD, false, true},
      {"a second texture unit left on", 0, 0, false, GL_MODULATE, true, true},
  };
  GLuint grey = 0;
  const uint8_t greyTexel[4] = {160, 160, 160, 255};
  glGenTextures(1, &grey);
  glBindTexture(GL_TEXTURE_2D, grey);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, greyTexel);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  for (const Case& c : cases) {
    techno.ScaleAlpha.value = c.scaleAlpha;
    techno.BlendEquation.value = c.equation;
    std::optional<TechnoNoiseEffect> other;
    if (c.otherActive) {
      other.emplace("techno_other");
      other->sourceEffect = &picture;
      other->active.value = true;
    }
    const auto draw = [&](bool skipping) {
      TechnoNoiseEffect::setSkipUnseenScanLines(skipping);
      glClearColor(0, 0, 0, 1);
      glClear(GL_COLOR_BUFFER_BIT);
      glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, c.texEnv);
      if (c.secondUnit) {
        glActiveTexture(GL_TEXTURE1);
        glBindTexture(GL_TEXTURE_2D, grey);
        glEnable(GL_TEXTURE_2D);
        glActiveTexture(GL_TEXTURE0);
      }
      frame(techno, 0);
      glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
      glActiveTexture(GL_TEXTURE1);
      glDisable(GL_TEXTURE_2D);
      glActiveTexture(GL_TEXTURE0);
      return gl().pixels();
    };
    const Bytes reference = draw(false);
    RenderTarget& lines = TechnoNoiseEffect::scanLineTarget();
    lines.bind();
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    lines.unbind();
    glViewport(0, 0, kSize, kSize);
    EXPECT_EQ(draw(true), reference) << c.name;
    EXPECT_EQ(techno.scanLinesSkipped(), c.skipped) << c.name;
  }
  glDeleteTextures(1, &grey);
  TechnoNoiseEffect::setSkipUnseenScanLines(true);
}

TEST_F(NoiseTexturesTest, TechnoNoiseWrapModesGoToTheColourTextures) {
  TechnoNoiseEffect techno("techno_wrap");
  RenderTarget& source = TechnoNoiseEffect::sourceTarget();
  RenderTarget& lines = TechnoNoiseEffect::scanLineTarget();
  EXPECT_EQ(wrapOf(source.getColorTextureId()), GL_CLAMP_TO_EDGE);
  EXPECT_EQ(wrapOf(lines.getColorTextureId()), GL_REPEAT);
  // The depth textures keep the edge clamping they were made with.
  EXPECT_EQ(wrapOf(source.getDepthTextureId()), GL_CLAMP_TO_EDGE);
  EXPECT_EQ(wrapOf(lines.getDepthTextureId()), GL_CLAMP_TO_EDGE);
}

TEST_F(NoiseTexturesTest, TechnoNoiseStartsItsSourceAndDrawsNothingWithoutOne) {
  TechnoNoiseEffect techno("techno_start");
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  frame(techno, 10);
  EXPECT_EQ(gl().pixel(256, 256), (std::array<uint8_t, 4>{0, 0, 255, 255}));
  PaintSource source;
  techno.sourceEffect = &source;
  techno.start(70);
  EXPECT_EQ(source.starts, 1);
  EXPECT_EQ(source.startTime, 70u);
  techno.sourceEffect = &techno;  // leading back to itself: drawn once, not forever
  techno.ScaleAlpha.value = 0;     // and its scan lines, read inside its own update, kept
  frame(techno, 80);
  frame(techno, 120);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  EXPECT_FALSE(techno.scanLinesSkipped());
}

}  // namespace
