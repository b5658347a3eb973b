#include "effects/Distort.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <numbers>

#include "base/Display.h"
#include "base/Random.h"
#include "support/GlTestContext.h"
#include "support/PaintSource.h"

namespace {

constexpr int kSize = 512;
constexpr double kPi = std::numbers::pi;
constexpr PaintSource::Rgba kWhite{1, 1, 1, 1};

// One context for the whole program: the render targets some types share live for the
// process, like the texture cache.
GlTestContext& gl() {
  static GlTestContext* context = new GlTestContext(kSize, kSize);
  return *context;
}

// The fraction of a texture coordinate on a repeating texture, and how far (in the same
// units) it is from the nearest edge of a picture whose left `split` is one colour.
double fraction(double s) { return s - std::floor(s); }
double distanceToEdge(double s, double split) {
  const double f = fraction(s);
  return std::min({f, std::fabs(f - split), 1 - f});
}

class DistortTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gl().ok());
    screenWidth = screenHeight = kSize;
    glViewport(0, 0, kSize, kSize);
    clearScreen(0, 0, 0);
  }
  static void clearScreen(float r, float g, float b) {
    glClearColor(r, g, b, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  static void frame(Effect& effect, uint32_t t) {
    effect.update(t);
    effect.render(t);
  }
  static int red(int x, int y) { return gl().pixel(x, y)[0]; }

  // The picture's left half white, the rest black.
  PaintSource halves{{{0, 0, 0.5f, 1, kWhite}}};
};

// [SECTION] What the five share

TEST_F(DistortTest, EveryDistortionStartsItsSourceAndDrawsNothingWithoutOne) {
  const std::vector<std::function<std::unique_ptr<DistortionEffect>()>> makers = {
      [] { return std::make_unique<RotoZoomEffect>("share_roto"); },
      [] { return std::make_unique<TilesEffect>("share_tiles"); },
      [] { return std::make_unique<MosaicEffect>("share_mosaic"); },
      [] { return std::make_unique<LineDistortionEffect>("share_lines"); },
      [] { return std::make_unique<RippleEffect>("share_ripple"); }};
  for (const auto& make : makers) {
    std::unique_ptr<DistortionEffect> fx = make();
    clearScreen(0, 0, 1);
    fx->start(10);
    frame(*fx, 100);
    EXPECT_EQ(gl().pixel(256, 256), (std::array<uint8_t, 4>{0, 0, 255, 255})) << fx->getName();

    PaintSource source;
    fx->sourceEffect = &source;
    fx->start(250);
    EXPECT_EQ(source.starts, 1) << fx->getName();
    EXPECT_EQ(source.startTime, 250u) << fx->getName();
    frame(*fx, 300);
    EXPECT_GE(source.updates, 1) << fx->getName();

    // A source that leads back to the effect is drawn once, not forever.
    fx->sourceEffect = fx.get();
    frame(*fx, 400);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << fx->getName();
  }
}

// [SECTION] RotoZoom

TEST_F(DistortTest, RotoZoomRepeatsThePictureFiveTimesAt5PiAndTenTimesAt10PiAndTurnsIt) {
  RotoZoomEffect roto("roto");
  roto.sourceEffect = &halves;
  struct Case {
    double scaledTime, degrees;
  };
  for (const Case& c : {Case{5 * kPi, 0}, Case{10 * kPi, 0}, Case{5 * kPi, 90}}) {
    // Scaled time is Speed × 0.2 per ms of local time: 1000 ms reach the wanted value.
    roto.Speed.value = float(c.scaledTime / 200);
    // RotSpeed × scaled time × 20 degrees.
    roto.RotSpeed.value = float(c.degrees / (c.scaledTime * 20));
    roto.start(0);
    clearScreen(1, 0, 0);
    frame(roto, 1000);
    const double zoom = 5 * std::sin(0.1 * c.scaledTime - kPi / 2) + 5;  // 5 at 5π, 10 at 10π
    int checked = 0;
    for (int i = 0; i < kSize; ++i) {
      // Texture coordinate = zoom × (screen − ½) + ½; turned by 90° the picture's x follows
      // the screen's −y, so the stripes lie across the screen.
      const double screen = (i + 0.5) / kSize - 0.5;
      const double s = c.degrees == 0 ? zoom * screen + 0.5 : -zoom * screen + 0.5;
      if (distanceToEdge(s, 0.5) * kSize / zoom < 1.5) continue;
      const int value = c.degrees == 0 ? red(i, 300) : red(300, i);
      EXPECT_EQ(value, fraction(s) < 0.5 ? 255 : 0) << "zoom " << zoom << " at " << i << " turned " << c.degrees;
      ++checked;
    }
    EXPECT_GT(checked, kSize * 3 / 4);
  }
  EXPECT_FLOAT_EQ(RotoZoomEffect::zoomAt(0), 1e-7f);  // one texel over the whole screen
}

// [SECTION] Tiles

TEST_F(DistortTest, TilesShrinkAndFadeOneAfterAnotherOnceTheirDelayHasPassed) {
  PaintSource white({}, kWhite);
  TilesEffect tiles("tiles");
  tiles.sourceEffect = &white;
  tiles.RotSpeed.value = 0;  // the tiles only shrink
  for (float fadeSpeed : {0.05f, 0.0f}) {
    tiles.FadeSpeed.value = fadeSpeed;
    tiles.start(0);
    clearScreen(0, 0, 0);
    frame(tiles, 400);  // default Speed: 0.1 units of scaled time per ms, so s = 40
    for (int k : {0, 1, 2, 5, 8}) {
      // g = 0.02 s + 1 − 0.6 k, at least 1: 1.8, 1.2, then 1 (not moving yet).
      const double g = std::max(0.02 * 40 + 1 - 0.6 * k, 1.0);
      const double alpha = std::max(1 - (g - 1) * fadeSpeed * 10, 0.0);  // 0.6, 0.9, 1
      const int r = k / 3 + 1, c = k % 3 + 1;
      const double centreX = (c / 3.0 - 1 / 6.0) * kSize, centreY = (r / 3.0 - 1 / 6.0) * kSize;
      const double half = kSize / (6 * g);  // the tile is 1 / (3 g) wide
      const int x = int(centreX), y = int(centreY);
      EXPECT_NEAR(red(x, y), alpha * 255, 1) << "tile " << k << " fade " << fadeSpeed;
      EXPECT_NEAR(red(int(centreX - half + 3), y), alpha * 255, 1) << "tile " << k;
      if (k < 3) {
        EXPECT_EQ(red(int(centreX - half - 3), y), 0) << "left of tile " << k;
      }
    }
  }
}

// [SECTION] Mosaic

TEST_F(DistortTest, BrightenMultipliesThePictureByN) {
  for (const auto& [n, expected] : std::vector<std::pair<int, int>>{
           {0, 20}, {1, 20}, {2, 40}, {3, 60}, {4, 80}, {5, 100}, {6, 120}, {7, 140}, {8, 160}}) {
    glClearColor(20 / 255.0f, 20 / 255.0f, 20 / 255.0f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    brighten(n);
    EXPECT_NEAR(red(100, 100), expected, 1) << "brighten(" << n << ")";
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
  }
}

TEST_F(DistortTest, MosaicCellsAreTheWholePictureAtOneOverCoarseSizeTimesZoom) {
  // The picture: white but for its right quarter.
  PaintSource picture({{0, 0, 0.75f, 1, kWhite}});
  MosaicEffect mosaic("mosaic");
  mosaic.sourceEffect = &picture;
  // s = 0.046875 per ms × 100 ms = 4.6875: d = 1/64 + 0.01 s = 1/16, so 64 d = 4 cells of
  // 128 pixels across the screen.
  mosaic.Speed.value = 0.234375f;
  constexpr double kCells = 4;
  EXPECT_NEAR(MosaicEffect::cellSizeAt(4.6875f), 1 / kCells, 1e-6);
  for (bool centred : {false, true}) {
    mosaic.ZoomCenter.value = centred;
    mosaic.start(0);
    frame(mosaic, 100);
    int checked = 0;
    for (int x = 0; x < kSize; ++x) {
      // Towards the origin a cell starts at the left edge; towards the centre the middle
      // cell is centred on the screen.
      const double screen = (x + 0.5) / kSize;
      const double s = centred ? (screen - 0.5) * kCells + 0.5 : screen * kCells;
      if (distanceToEdge(s, 0.75) * kSize / kCells < 1.5) continue;
      EXPECT_EQ(red(x, 256), fraction(s) < 0.75 ? 255 : 0) << "x " << x << " centred " << centred;
      ++checked;
    }
    EXPECT_GT(checked, kSize * 3 / 4);
  }
}

TEST_F(DistortTest, MosaicBrightensTheCoarseCopyBySaturationTimesTenAndTheFineCopyTwice) {
  constexpr float kGrey = 64 / 255.0f;
  PaintSource grey({}, {kGrey, kGrey, kGrey, 1});
  MosaicEffect mosaic("mosaic_saturation");
  mosaic.sourceEffect = &grey;
  for (const auto& [saturation, factor] : std::vector<std::pair<float, int>>{{0.1f, 1}, {0.3f, 3}}) {
    mosaic.Saturation.value = saturation;
    mosaic.start(0);
    frame(mosaic, 100);
    // (factor × 64) × (2 × 64) / 255
    EXPECT_NEAR(red(256, 256), factor * 64 * 128 / 255.0, 1.5) << "saturation " << saturation;
  }
}

// [SECTION] LineDistortion

TEST_F(DistortTest, LineDistortionShiftsEachStripByItsNoisySineAndDropsUndefinedPowers) {
  LineDistortionEffect lines("lines");
  lines.sourceEffect = &halves;
  lines.MaxAmplitude.value = 1;
  lines.Magic1.value = 128;  // sin(k × 128 / 512 × 1 × 6.28): a quarter turn per strip
  lines.Magic2.value = 0;    // the phase stays where it is
  lines.Magic4.value = 1;
  for (float magic3 : {1.0f, 0.5f}) {
    lines.Magic3.value = magic3;
    LineDistortionEffect::phase = 0;
    clearScreen(0, 0, 0);
    lines.update(0);
    demoSrand(77);
    lines.render(0);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    const std::vector<uint8_t> pixels = gl().pixels();
    Random15 random(77);
    int vanished = 0;
    for (int k = 0; k < LineDistortionEffect::kStrips; ++k) {  // strip k is pixel row k
      const double value = random.next() / 32767.0 * 0.2 + 0.8 * std::sin(k * 128.0 / 512 * 6.28);
      const uint8_t* row = &pixels[size_t(k) * kSize * 4];
      if (value < 0 && magic3 != 1) {
        // A negative value to a fractional power: the strip is not drawn at all.
        for (int x = 0; x < kSize; ++x) ASSERT_EQ(row[x * 4], 0) << "strip " << k << " x " << x;
        ++vanished;
        continue;
      }
      const double shift = std::pow(value, double(magic3)) * 0.5;
      // The picture's white half runs from the strip's left end to its middle.
      const double from = shift * kSize, to = (shift + 0.5) * kSize;
      for (int x = 0; x < kSize; ++x) {
        const double centre = x + 0.5;
        if (std::fabs(centre - from) < 1.5 || std::fabs(centre - to) < 1.5) continue;
        ASSERT_EQ(row[x * 4], centre > from && centre < to ? 255 : 0)
            << "strip " << k << " x " << x << " shift " << shift << " Magic3 " << magic3;
      }
    }
    if (magic3 != 1) {
      EXPECT_GT(vanished, 100);
    }
  }
}

// [SECTION] Ripple

TEST_F(DistortTest, RippleMeshRingsJoinNeighbouringCirclesAndWrapWithinThem) {
  RippleEffect ripple("ripple_mesh");
  EXPECT_EQ(ripple.vertexCount(), 16378);
  // Vertex 0 is the centre, 1–8 the first circle and 9 its copy of vertex 1; ring r has
  // 8 × 2^r vertices starting at 10 + 8 (2^r − 2).
  const auto ringStart = [](int r) { return r == 0 ? 1 : 10 + 8 * ((1 << r) - 2); };
  for (int r = 1; r <= RippleEffect::rings; ++r) {
    const std::vector<uint16_t>& list = ripple.ringIndices(r);
    EXPECT_EQ(list.size(), size_t(9 * 8) << (r - 1)) << "ring " << r;
    const int outerEnd = ringStart(r) + (8 << r);
    for (uint16_t index : list) {
      ASSERT_GE(index, ringStart(r - 1)) << "ring " << r;
      ASSERT_LT(index, outerEnd) << "ring " << r;
    }
    // The last triangle closes the ring on both circles' first vertices.
    EXPECT_EQ(list[list.size() - 1], ringStart(r)) << "ring " << r;
    EXPECT_EQ(list[list.size() - 3], ringStart(r - 1)) << "ring " << r;
  }
  // Built around the middle of the picture: the first circle 0.05 above it.
  const std::vector<float>& v = ripple.vertexPositions();
  EXPECT_FLOAT_EQ(v[0], 0.5f);
  EXPECT_FLOAT_EQ(v[1], 0.5f);
  EXPECT_NEAR(v[3], 0.5, 1e-6);
  EXPECT_NEAR(v[4], 0.55, 1e-6);
}

TEST_F(DistortTest, RippleCirclesTakeARampWeightedAverageOfTheirHistorySlice) {
  RippleEffect ripple("ripple_wave");
  ripple.sourceEffect = &halves;
  constexpr uint32_t t = 4712;  // sin(4.712) − 1 = −2.0 (to 1e-6)
  const double sample = std::sin(0.001 * t) - 1;
  constexpr double n = 83;
  glViewport(0, 0, 1, 1);  // hundreds of frames: only the heights are looked at
  // Time 0 clears the history and samples sin(0) − 1 = −1.
  ripple.render(0);
  EXPECT_EQ(ripple.centreHeight(), -1);
  EXPECT_EQ(ripple.circleHeight(1), 0);
  ripple.render(t);  // H = [sample, −1, 0, …]: the first circle reads H[1] with weight 0
  EXPECT_NEAR(ripple.centreHeight(), sample, 1e-6);
  EXPECT_EQ(ripple.circleHeight(1), 0);
  ripple.render(t);  // H = [sample, sample, −1, 0, …]: H[2] has weight 1
  EXPECT_NEAR(ripple.circleHeight(1), -1 / (n * n), 1e-9);
  ripple.render(t);  // H[2] = sample with weight 1, H[3] = −1 with weight 2
  EXPECT_NEAR(ripple.circleHeight(1), (sample - 2) / (n * n), 1e-7);
  EXPECT_EQ(ripple.circleHeight(2), 0);  // the second circle's slice starts at H[84]
  // A history that is the same everywhere: every circle at Σ j / n² = 82 · 83 / 2 / 83².
  for (int frame = 0; frame < 840; ++frame) ripple.render(t);  // 1 + 10 × 83 samples deep
  for (int c = 1; c <= RippleEffect::rings; ++c)
    EXPECT_NEAR(ripple.circleHeight(c), sample * (82 * 83 / 2) / (n * n), 1e-5) << "circle " << c;
  EXPECT_EQ(ripple.circleHeight(RippleEffect::rings + 1), 0);  // the outermost stays flat
}

TEST_F(DistortTest, RippleIsCentredOnTheScreenAndCoversIt) {
  RippleEffect ripple("ripple_screen");
  ripple.sourceEffect = &halves;
  // Flat (sin(1.5708) − 1 ≈ 0), then deep: the middle of the picture stays in the middle.
  for (uint32_t t : {1571u, 4712u}) {
    clearScreen(0, 0, 1);
    ripple.render(0);
    frame(ripple, t);
    for (int y : {2, 256, 509}) {
      EXPECT_EQ(red(250, y), 255) << t;
      EXPECT_EQ(red(262, y), 0) << t;
    }
    // At distance 1 the screen shows 0.5 ± tan 22.5° of the mesh: all of it is covered.
    for (int x : {0, kSize - 1})
      for (int y : {0, kSize - 1})
        EXPECT_NE(gl().pixel(x, y), (std::array<uint8_t, 4>{0, 0, 255, 255})) << x << "," << y << " at " << t;
  }
  // A window taller than wide: width ÷ height in whole numbers is 0, taken as 1.
  screenWidth = kSize / 2;
  clearScreen(0, 0, 1);
  frame(ripple, 1571);
  EXPECT_EQ(red(250, 256), 255);
  EXPECT_EQ(red(262, 256), 0);
}

}  // namespace
