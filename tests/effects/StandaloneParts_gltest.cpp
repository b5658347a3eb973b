// The standalone parts against values worked out by hand: the balls' start from the seeded
// generator and a contact resolved step by step, the lattice heights and the wandering
// light, the probe through the sample demo's tone-mapping program, and the flower's orbit.
#include "effects/StandaloneParts.h"

#include <GL/glu.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <new>

#include "base/Random.h"
#include "effects/ScreenQuad.h"
#include "engine/FragmentProgram.h"
#include "engine/ShaderManager.h"
#include "engine/VertexProgram.h"
#include "resources/ImageWriters.h"
#include "resources/RenderTarget.h"
#include "resources/Texture.h"
#include "support/GlTestContext.h"
#include "support/TempDir.h"
#include "support/TestEffects.h"

// Counts the program's allocations while a test asks for it. (The replacements pair malloc
// with free; the compiler, seeing only their insides, takes free for a mismatch.) Under
// AddressSanitizer the allocator is the sanitizer's own, which takes a driver's operator new
// released through these replacements for a mismatch: there only the effect's own count of
// what it allocates is checked.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DE_OWN_ALLOCATOR 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define DE_OWN_ALLOCATOR 1
#endif
bool countingAllocations = false;
int allocationsCounted = 0;

#ifndef DE_OWN_ALLOCATOR
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  if (countingAllocations) ++allocationsCounted;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

namespace {

using Rgba = std::array<uint8_t, 4>;
constexpr int kSize = 256;

// A 16 × 16 sprite: an opaque disc of radius 7 in a transparent square.
std::string discPng() {
  testimages::Bytes pixels;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const float dx = x - 7.5f, dy = y - 7.5f;
      const uint8_t a = dx * dx + dy * dy < 49 ? 255 : 0;
      pixels.insert(pixels.end(), {128, 128, 255, a});
    }
  const testimages::Bytes png = testimages::encodePng(16, 16, PNG_COLOR_TYPE_RGBA, 8, pixels);
  return std::string(png.begin(), png.end());
}

// 2 × 2 pixels of radiance (0.5, 0.25, 1): bytes 64, 32, 128 with exponent 129 (2^-7).
std::string probeRgbe() {
  std::string bytes = testimages::rgbeHeader(2, 2);
  for (int i = 0; i < 4; ++i) bytes += std::string{char(64), char(32), char(128), char(129)};
  return bytes;
}

class StandaloneParts : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    gl = new GlTestContext(kSize, kSize);
    work = new WorkingDirectory("standalone_parts");
    work->write("data/textures/sphere_black.png", discPng());
    work->write("data/textures/sphere_normals.png", discPng());
    work->write("data/grace_probe.hdr", probeRgbe());
    writeSampleShaders(*work);
    // The light point as colour, the sprite's outline as alpha.
    work->write("data/shaders/vp_probe.cg",
                "#version 120\nuniform mat4 ModelViewProj;\nvoid main() { gl_Position = ModelViewProj * gl_Vertex;"
                " gl_TexCoord[0] = gl_MultiTexCoord0; }\n");
    work->write("data/shaders/fp_probe.cg",
                "#version 120\nuniform sampler2D diffuseMap;\nuniform vec4 factors;\n"
                "void main() { gl_FragColor = vec4(factors.xyz, texture2D(diffuseMap, gl_TexCoord[0].st).a); }\n");
  }
  static void TearDownTestSuite() {
    delete work;
    delete gl;
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    glViewport(0, 0, kSize, kSize);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    clear(0, 0, 0);
  }
  static void clear(float r, float g, float b) {
    glClearColor(r, g, b, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  static void expectPixel(int x, int y, Rgba expected, int tolerance = 1) {
    const Rgba p = gl->pixel(x, y);
    for (int c = 0; c < 3; ++c)
      EXPECT_NEAR(p[size_t(c)], expected[size_t(c)], tolerance) << "channel " << c << " at " << x << "," << y;
  }
  static TimelineEvent programEvent(int32_t code, const std::string& file) {
    TimelineEvent e;
    e.code = code;
    e.text = file;
    return e;
  }

  static GlTestContext* gl;
  static WorkingDirectory* work;
};

GlTestContext* StandaloneParts::gl = nullptr;
WorkingDirectory* StandaloneParts::work = nullptr;

// [SECTION] Molecules

// Everyone but the balls under test stands still on a grid 0.18 apart, high in the box.
void parkBystanders(Molecules& m, int from) {
  for (int k = from; k < Molecules::kBallCount; ++k)
    m.balls[size_t(k)] = {{-0.99f + 0.18f * float(k % 12), 0.4f + 0.2f * float(k / 12), 0}, {0, 0, 0}};
}

TEST_F(StandaloneParts, MoleculesStartFromFourDrawsPerBall) {
  // The 15-bit sequence from seed 1: 41, 18467, 6334, 26500 | 19169, 15724, 11478, 29358.
  demoSrand(1);
  Molecules m("molecules");
  EXPECT_NEAR(m.balls[0].position.x, 0.280350, 1e-6);
  EXPECT_NEAR(m.balls[0].position.y, 0.577804, 1e-6);
  EXPECT_NEAR(m.balls[0].velocity.x, 0.004665, 1e-6);
  EXPECT_NEAR(m.balls[0].velocity.y, 0.005437, 1e-6);
  EXPECT_NEAR(m.balls[1].position.x, 0.443803, 1e-6);
  EXPECT_NEAR(m.balls[1].velocity.y, 0.009798, 1e-6);
  EXPECT_EQ(m.balls[1].position.z, 0);
}

TEST_F(StandaloneParts, MoleculesContactPushesApartAndHandsOnMomentum) {
  struct Case {
    float v1x;                          // ball 1's velocity before (ball 0 moves at 0.02)
    float v0x, v1xAfter, p0x, p1x;      // after the step, gravity and motion included
  } cases[] = {
      // Ball 1 at rest is too slow to push back: ball 0 hands on 0.96 of its speed.
      {0.0f, 0.0008f, 0.0192f, -0.0192f, 0.1392f},
      // Both fast enough: 0.0192 goes right, 0.96 × −0.015 = −0.0144 comes back.
      {-0.015f, -0.0136f, 0.0186f, -0.0336f, 0.1386f},
  };
  for (const Case& c : cases) {
    Molecules m("molecules");
    parkBystanders(m, 2);
    // 0.1 apart: overlap 0.02 each way along (1, 0, 0), so 0.14 apart after.
    m.balls[0] = {{0, -0.5f, 0}, {0.02f, 0, 0}};
    m.balls[1] = {{0.1f, -0.5f, 0}, {c.v1x, 0, 0}};
    m.step();
    EXPECT_NEAR(m.balls[0].velocity.x, c.v0x, 1e-6) << c.v1x;
    EXPECT_NEAR(m.balls[1].velocity.x, c.v1xAfter, 1e-6) << c.v1x;
    EXPECT_NEAR(m.balls[0].position.x, c.p0x, 1e-6) << c.v1x;
    EXPECT_NEAR(m.balls[1].position.x, c.p1x, 1e-6) << c.v1x;
    for (int k = 0; k < 2; ++k) {
      EXPECT_NEAR(m.balls[size_t(k)].velocity.y, -0.001, 1e-7);
      EXPECT_NEAR(m.balls[size_t(k)].position.y, -0.501, 1e-6);
    }
  }
}

TEST_F(StandaloneParts, MoleculesWallsKeepEveryBallInTheBox) {
  demoSrand(7);
  Molecules m("molecules");
  float lowest = 1;
  for (int frame = 0; frame < 3000; ++frame) {
    m.step();
    // The walls act before the move: a step back along its velocity, each ball is inside
    // (up to the rounding of that step).
    for (const Molecules::Ball& b : m.balls) {
      const glm::vec3 walled = b.position - b.velocity;
      const float e = 1e-6f;
      ASSERT_TRUE(walled.x >= -1 - e && walled.x <= 1 + e && walled.y >= -1.1f - e && walled.y <= 1.1f + e &&
                  walled.z >= -0.35f - e && walled.z <= 0.35f + e)
          << "frame " << frame << ": " << walled.x << "," << walled.y << "," << walled.z;
      lowest = std::min(lowest, b.position.y);
    }
  }
  EXPECT_LT(lowest, -1.0f);  // they did fall to the floor
}

TEST_F(StandaloneParts, MoleculesDrawBallKInGreyKOverFifty) {
  Molecules m("molecules");
  parkBystanders(m, 0);
  m.balls[49] = {{0, 0, 0}, {0, 0, 0}};  // straight ahead of the camera at (0, 0, 2)
  m.render(0);
  expectPixel(kSize / 2, kSize / 2, {250, 250, 250});
  expectPixel(kSize / 2, kSize / 2 - 30, {0, 0, 0});
  GLboolean blend = GL_TRUE, smooth = GL_TRUE;
  glGetBooleanv(GL_BLEND, &blend);
  glGetBooleanv(GL_POINT_SMOOTH, &smooth);
  EXPECT_FALSE(blend);
  EXPECT_FALSE(smooth);
}

// [SECTION] Spheres

TEST_F(StandaloneParts, SpheresLatticeRunsXOuterWithSeededHeights) {
  demoSrand(1);
  Spheres s("spheres");
  // Height 1 + rand() × 10 / 32767, from 41, 18467, 6334.
  EXPECT_NEAR(s.instances[0].height, 1.012513, 1e-5);
  EXPECT_NEAR(s.instances[1].height, 6.635853, 1e-5);
  EXPECT_NEAR(s.instances[2].height, 2.933042, 1e-5);
  EXPECT_FLOAT_EQ(s.instances[1].x, -1.5f);
  EXPECT_NEAR(s.instances[1].y, -1.4f, 1e-6);
  EXPECT_NEAR(s.instances[30].x, -1.4f, 1e-6);
  EXPECT_NEAR(s.instances[899].x, 1.4f, 1e-5);
  EXPECT_NEAR(s.instances[899].y, 1.4f, 1e-5);
}

TEST_F(StandaloneParts, SpheresLightBouncesInsideItsBox) {
  Spheres::lightPoint = {0, 0, 1};
  Spheres::lightVelocity = {0.005f, 0.003f, 0.003f};
  Spheres::moveLight();
  EXPECT_NEAR(Spheres::lightPoint.z, 1.003f, 1e-6);
  EXPECT_FLOAT_EQ(Spheres::lightVelocity.z, -0.003f);  // out at the top: turned back
  Spheres::moveLight();
  EXPECT_NEAR(Spheres::lightPoint.x, 0.01f, 1e-6);
  EXPECT_NEAR(Spheres::lightPoint.z, 1.0f, 1e-6);
  EXPECT_FLOAT_EQ(Spheres::lightVelocity.z, -0.003f);

  // Starting well outside, the point walks back in rather than turning round every frame.
  Spheres::lightPoint = {0, 0, 1.5f};
  for (int i = 0; i < 200; ++i) Spheres::moveLight();
  EXPECT_GE(Spheres::lightPoint.z, 0);
  EXPECT_LE(Spheres::lightPoint.z, 1);
  for (int i = 0; i < 2000; ++i) {
    Spheres::moveLight();
    ASSERT_LE(std::fabs(Spheres::lightPoint.x), 1.005f);
    ASSERT_LE(std::fabs(Spheres::lightPoint.y), 1.003f);
  }
}

TEST_F(StandaloneParts, SpheresShowThroughTheirProgramsWithTheLightAsFactors) {
  Spheres s("spheres");
  s.handleEvent(programEvent(EffectEvent::kVertexProgram, "data/shaders/vp_probe.cg"));
  s.handleEvent(programEvent(EffectEvent::kFragmentProgram, "data/shaders/fp_probe.cg"));
  // One ball, the one at lattice (0, 0), lifted by 0.3 c with c = 0.5 sin 0 + 9.45 + 0.55 =
  // 10: two units in front of the camera, in the middle of the picture. Its sprite is
  // f = 0.23 wide: 0.115 × 2.414 / 2 of the half-height is 17.8 pixels up and down, and
  // 13.4 pixels left and right (aspect 1.33); the opaque disc is 7/8 of that.
  for (Spheres::Instance& i : s.instances) i.x = 100;
  s.instances[15 * 30 + 15] = {0, 0, 9.45f};
  Spheres::lightPoint = {0.5f, 0.25f, 0.5f};
  Spheres::lightVelocity = {0.005f, 0.003f, 0.003f};
  s.start(0);
  s.update(0);
  s.render(0);
  // The light has moved once: (0.505, 0.253, 0.503).
  const Rgba lit = {129, 65, 128, 255};
  expectPixel(kSize / 2, kSize / 2, lit);
  expectPixel(kSize / 2 + 9, kSize / 2, lit);
  expectPixel(kSize / 2, kSize / 2 - 13, lit);
  // Outside the disc the alpha test cuts the square sprite away.
  expectPixel(kSize / 2 + 14, kSize / 2 + 14, {0, 0, 0});
  expectPixel(kSize / 2, kSize / 2 + 20, {0, 0, 0});

  // The sample demo's programs compile, and shade the ball lighter than its dark glaze.
  clear(0, 0, 0);
  s.handleEvent(programEvent(EffectEvent::kVertexProgram, "data/shaders/vp_spheres.cg"));
  s.handleEvent(programEvent(EffectEvent::kFragmentProgram, "data/shaders/fp_spheres.cg"));
  s.render(0);
  EXPECT_GT(gl->pixel(kSize / 2, kSize / 2)[2], 60);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// The lattice drawn as written: instance after instance in lattice order, each lifted and
// lowered again, with the sample demo's programs and the light at `light`.
void drawLatticeInOrder(const Spheres& s, float t, const glm::vec3& light) {
  VertexProgram* vp = getVertexProgram("data/shaders/vp_spheres.cg");
  FragmentProgram* fp = getFragmentProgram("data/shaders/fp_spheres.cg");
  TextureManager& textures = TextureManager::instance();
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, Spheres::kAlphaReference);
  vp->bind();
  vp->setParameter4f(vp->factors, light.x, light.y, light.z, 0);
  fp->bind();
  glActiveTexture(GL_TEXTURE1);
  textures.getTexture("data/textures/sphere_normals.png", "", GL_TEXTURE_2D, 0)->bind();
  glActiveTexture(GL_TEXTURE0);
  textures.getTexture("data/textures/sphere_black.png", "", GL_TEXTURE_2D, 0)->bind();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45, 1.33, 0.01, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(0, -1, -5);
  glRotatef(0.01f * t, 0, 0, 1);
  for (const Spheres::Instance& i : s.instances) {
    const float c = std::sin(6 * i.y + 3 * i.x + 0.01f * t) * 0.5f + i.height + 0.55f;
    glTranslatef(0, 0, 0.3f * c);
    vp->setModelViewProj();
    const float f = 0.02f * c + 0.03f;
    drawRectMultiTex({i.x - f / 2, i.y - f / 2, f, f}, {0, 0, 1, 1});
    glTranslatef(0, 0, -0.3f * c);
  }
  vp->unbind();
  fp->unbind();
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_BLEND);
}

TEST_F(StandaloneParts, SpheresPictureIsTheLatticeDrawnInOrder) {
  Spheres s("spheres");
  s.handleEvent(programEvent(EffectEvent::kVertexProgram, "data/shaders/vp_spheres.cg"));
  s.handleEvent(programEvent(EffectEvent::kFragmentProgram, "data/shaders/fp_spheres.cg"));
  s.start(0);
  for (uint32_t time : {0u, 25000u}) {
    s.update(time);
    Spheres::lightPoint = {0.3f, -0.2f, 0.5f};
    Spheres::lightVelocity = {0.005f, 0.003f, 0.003f};
    clear(0, 0, 0);
    s.render(time);
    const std::vector<uint8_t> picture = gl->pixels();
    clear(0, 0, 0);
    drawLatticeInOrder(s, s.scaledTime, Spheres::lightPoint);
    const std::vector<uint8_t> reference = gl->pixels();
    // Nearest first or in lattice order, the cut-out balls hide one another alike; only the
    // few rim pixels whose alpha lies just below 1 blend with what is behind them.
    int differing = 0, drawn = 0;
    for (size_t i = 0; i < picture.size(); i += 4) {
      if (reference[i] + reference[i + 1] + reference[i + 2] > 0) ++drawn;
      for (size_t c = 0; c < 3; ++c)
        if (std::abs(picture[i + c] - reference[i + c]) > 2) {
          ++differing;
          break;
        }
    }
    EXPECT_GT(drawn, kSize * kSize / 4) << time;
    EXPECT_LT(differing, drawn / 500) << time;
  }
}

// [SECTION] TestHdr

TEST_F(StandaloneParts, TestHdrToneMapsTheProbeAndBlendsByItsOwnColour) {
  TestHdr hdr("hdr");
  hdr.handleEvent(programEvent(EffectEvent::kFragmentProgram, "data/shaders/fp_testhdr.cg"));
  hdr.Factor0.value = 2;  // exposure 2, no gamma bend
  clear(0.2f, 0.4f, 0.6f);
  glClear(GL_DEPTH_BUFFER_BIT);
  hdr.render(0);
  // s = 1 − e^(−2 r) for r = (0.5, 0.25, 1) is (0.6321, 0.3935, 0.8647); blending by the
  // source colour gives s² + d (1 − s) over d = (0.2, 0.4, 0.6).
  expectPixel(10, 10, {121, 101, 211}, 2);
  expectPixel(kSize - 10, kSize - 10, {121, 101, 211}, 2);
  GLint filter = 0;
  glBindTexture(GL_TEXTURE_2D, hdr.getProbeTexture());
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
  EXPECT_EQ(filter, GL_NEAREST);
  glBindTexture(GL_TEXTURE_2D, 0);
}

// The child re-runs the program from the start in a directory without the probe.
class TestHdrDeathTest : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(TestHdrDeathTest, AMissingProbeIsAFailedAssertionOfItsModule) {
  WorkingDirectory empty("no_probe");
  EXPECT_EXIT(TestHdr("hdr"), testing::ExitedWithCode(1), "^effects/test_hdr:[0-9]+ assertion failed\n$");
}

// [SECTION] SeriesFlower

TEST_F(StandaloneParts, SeriesFlowerFollowsTheMapFromOneZero) {
  SeriesFlower flower("flower");
  // a = 0.3 at t = 0: (1, 0) → (5/2 + 0.3, −1) → (5/8.84 − 1 + 0.84, −2.8) → …, scaled by 0.025.
  ASSERT_EQ(flower.computePoints(0), SeriesFlower::kPointCount);
  const float expected[] = {0.025f, 0, 0.07f, -0.025f, 0.0101403f, -0.07f, 0.0403824f, -0.0101403f};
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(flower.points[size_t(i)], expected[i], 1e-6) << i;
  // At 100 s, a = 1.3: the second point is (5/2 + 1.3) × 0.025.
  flower.computePoints(100000);
  EXPECT_NEAR(flower.points[2], 0.095f, 1e-6);
  // Past a = 2 (170 s) the orbit runs away; what is drawn stops at the last finite point.
  const int count = flower.computePoints(400000);
  EXPECT_LT(count, SeriesFlower::kPointCount);
  for (int i = 0; i < 2 * count; ++i) ASSERT_TRUE(std::isfinite(flower.points[size_t(i)]));
}

// The drawing as written: every point of the orbit a 6-pixel square added to the frame.
void drawFlowerAsPoints(const SeriesFlower& flower, int count, uint32_t t) {
  setOrthoUnit();
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE);
  glColor4f(0.01f, 0.03f, 0.2f, 1);
  glPointSize(6);
  glLoadIdentity();
  glTranslatef(0.5f, 0.5f, 0);
  glRotatef(0.01f * float(t), 0, 0, 1);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, flower.points.data());
  glDrawArrays(GL_POINTS, 0, count);
  glDisableClientState(GL_VERTEX_ARRAY);
  glPointSize(1);
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glColor4f(1, 1, 1, 1);
}

// The picture of the frame `draw` makes in an 8-bit target of width × height, rows bottom up.
std::vector<uint8_t> eightBitFrame(RenderTarget& target, const std::function<void()>& draw) {
  target.bind();
  glViewport(0, 0, target.getWidth(), target.getHeight());
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  draw();
  std::vector<uint8_t> rgba(size_t(target.getWidth()) * size_t(target.getHeight()) * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, target.getWidth(), target.getHeight(), GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  target.unbind();
  glViewport(0, 0, kSize, kSize);
  return rgba;
}

// Every pixel of the flower as the sixty thousand points drawn one by one would leave it in
// an 8-bit frame: each point there adds (3, 8, 51), its colour (2.55, 7.65, 51) rounded when
// it is stored, so a pixel under n points holds n times that (saturated), not the sum rounded
// once. Sizes square and not, even and odd; turned by the times to angles of all kinds.
TEST_F(StandaloneParts, SeriesFlowerEqualsItsPointsAddedOneByOneInAnEightBitFrame) {
  SeriesFlower flower("flower");
  struct Size {
    int width, height;
  };
  for (const Size size : {Size{256, 192}, Size{333, 217}, Size{1024, 1024}}) {
    RenderTarget picture, points;
    const std::string name = std::to_string(size.width) + "x" + std::to_string(size.height);
    picture.init("flower_picture_" + name, size.width, size.height, RenderTarget::kAlpha);
    points.init("flower_points_" + name, size.width, size.height, RenderTarget::kAlpha);
    for (uint32_t t : {0u, 4321u, 55555u, 103680u, 160000u}) {
      const std::vector<uint8_t> drawn = eightBitFrame(picture, [&] { flower.render(t); });
      const std::vector<uint8_t> reference =
          eightBitFrame(points, [&] { drawFlowerAsPoints(flower, flower.computePoints(t), t); });
      int lit = 0, differing = 0, worst = 0;
      for (size_t i = 0; i < drawn.size(); i += 4) {
        lit += reference[i + 2] > 0;
        int difference = 0;
        for (size_t c = 0; c < 3; ++c) difference = std::max(difference, std::abs(drawn[i + c] - reference[i + c]));
        differing += difference > 1;
        worst = std::max(worst, difference);
      }
      EXPECT_GT(lit, size.width * size.height / 20) << name << " at " << t;
      EXPECT_EQ(differing, 0) << name << " at " << t << ": up to " << worst << " levels apart";
    }
  }
  // The pixels under one to four points: (3, 8, 51) times n, the red 3, 6, 9, 12 and not the
  // 3, 5, 8, 10 of the exact sums.
  RenderTarget target;
  target.init("flower_few_points", 1024, 1024, RenderTarget::kAlpha);
  std::array<int, 5> seen{};
  const std::vector<uint8_t> drawn = eightBitFrame(target, [&] { flower.render(160000); });
  for (size_t i = 0; i < drawn.size(); i += 4)
    for (int n = 1; n <= 4; ++n)
      if (drawn[i] == 3 * n && drawn[i + 1] == 8 * n && drawn[i + 2] == std::min(51 * n, 255)) ++seen[size_t(n)];
  for (int n = 1; n <= 4; ++n) EXPECT_GT(seen[size_t(n)], 100) << n << " points";
}

// The same on the screen, whatever its depth (here a window of ten bits a channel, where a
// point adds about (10, 30, 204.6) of 1023).
TEST_F(StandaloneParts, SeriesFlowerEqualsItsPointsAddedOneByOneOnTheScreen) {
  SeriesFlower flower("flower");
  GLint redBits = 0;
  glGetIntegerv(GL_RED_BITS, &redBits);
  for (uint32_t t : {0u, 4321u, 103680u}) {
    clear(0, 0, 0);
    flower.render(t);
    const std::vector<uint8_t> drawn = gl->pixels();
    clear(0, 0, 0);
    drawFlowerAsPoints(flower, flower.computePoints(t), t);
    const std::vector<uint8_t> reference = gl->pixels();
    int lit = 0, differing = 0;
    for (size_t i = 0; i < drawn.size(); i += 4) {
      lit += reference[i + 2] > 0;
      for (size_t c = 0; c < 3; ++c)
        if (std::abs(drawn[i + c] - reference[i + c]) > 1) {
          ++differing;
          break;
        }
    }
    EXPECT_GT(lit, kSize * kSize / 20) << t;
    EXPECT_EQ(differing, 0) << "at " << t << " on a screen of " << redBits << " bits a channel";
  }
}

// Drawn as the source of a render-to-texture effect (a 1024² target) and on screen in one
// frame, the flower alternates between two sizes: its buffers and texture grow to the larger
// once and are never made again, and a frame allocates nothing.
TEST_F(StandaloneParts, SeriesFlowerAllocatesNothingPerFrameAtAlternatingSizes) {
  SeriesFlower flower("flower");
  RenderTarget target;
  target.init("flower_source", 1024, 1024, 0);
  const auto frameAt = [&](uint32_t t) {
    target.bind();
    glViewport(0, 0, target.getWidth(), target.getHeight());
    flower.render(t);
    target.unbind();
    glViewport(0, 0, kSize, kSize * 3 / 4);
    flower.render(t);
    glViewport(0, 0, kSize, kSize);
  };
  frameAt(0);
  const int afterFirst = flower.storageAllocations();
  EXPECT_GE(afterFirst, 1);
  // The driver compiles its own code for a draw it has seen a few times (with allocations of
  // its own): a few frames more before counting.
  for (uint32_t t = 40; t <= 160; t += 40) frameAt(t);
  allocationsCounted = 0;
  countingAllocations = true;
  for (uint32_t t = 200; t <= 600; t += 40) frameAt(t);
  countingAllocations = false;
  EXPECT_EQ(flower.storageAllocations(), afterFirst);
  EXPECT_EQ(allocationsCounted, 0);
  // A larger size than any before grows the storage once more.
  target.init("flower_source_wide", 1100, 1024, 0);
  frameAt(640);
  EXPECT_EQ(flower.storageAllocations(), afterFirst + 2);  // the buffers and the texture
  frameAt(680);
  EXPECT_EQ(flower.storageAllocations(), afterFirst + 2);
}

}  // namespace
