#include "resources/TextureTools.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "resources/Texture.h"
#include "support/GlTestContext.h"

namespace {

using Bytes = std::vector<uint8_t>;

class TextureTools : public testing::Test {
 protected:
  static void SetUpTestSuite() { gl = new GlTestContext(32, 32); }
  static void TearDownTestSuite() {
    delete gl;
    gl = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(gl->ok()); }

  static Texture* create(const std::string& name, int w, int h, GLenum target = GL_TEXTURE_2D,
                         GLenum format = GL_RGBA) {
    Texture* texture = TextureManager::instance().createTexture(name, w, h, target, format, 0);
    EXPECT_NE(texture, nullptr);
    return texture;
  }
  static Bytes texels(Texture* texture) {
    texture->bind();
    const GLenum target = texture->getTarget();
    Bytes out(size_t(texture->getWidth()) * texture->getHeight() * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(target, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
  }

  static GlTestContext* gl;
};

GlTestContext* TextureTools::gl = nullptr;

// [SECTION] Noise

TEST(Noise3, MatchesThePublishedReferenceValue) {
  // Perlin's 2002 reference implementation gives this at (3.14, 42, 7).
  EXPECT_DOUBLE_EQ(noise3(3.14, 42, 7), 0.13691995878400012);
}

TEST(Noise3, IsZeroOnTheIntegerLattice) {
  for (double x : {0.0, 1.0, 17.0, -3.0})
    for (double y : {0.0, 2.0, -100.0})
      for (double z : {0.0, 5.0, 300.0}) EXPECT_EQ(noise3(x, y, z), 0.0) << x << y << z;
}

TEST(Noise3, RepeatsEvery256UnitsAndStaysInRange) {
  double lowest = 1, highest = -1;
  for (int i = 0; i < 2000; ++i) {
    const double x = i * 0.173, y = i * 0.0917 - 40, z = i * 0.311 + 0.5;
    const double n = noise3(x, y, z);
    // Equal up to the rounding of the shifted coordinates.
    EXPECT_NEAR(n, noise3(x + 256, y, z), 1e-9);
    EXPECT_NEAR(n, noise3(x, y - 256, z + 512), 1e-9);
    lowest = std::min(lowest, n);
    highest = std::max(highest, n);
  }
  EXPECT_GE(lowest, -1.0);
  EXPECT_LE(highest, 1.0);
  EXPECT_LT(lowest, -0.3);  // it really varies
  EXPECT_GT(highest, 0.3);
}

TEST(Noise3, IsSmoothBetweenNeighbours) {
  for (int i = 0; i < 500; ++i) {
    const double x = i * 0.05 + 0.01;
    EXPECT_LT(std::fabs(noise3(x, 1.5, 2.5) - noise3(x + 1e-4, 1.5, 2.5)), 1e-3);
  }
}

// [SECTION] Fills

TEST_F(TextureTools, UploadPixelsReplacesLevelZero) {
  Texture* texture = create("tools_upload", 2, 2);
  const Bytes pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  uploadPixels(texture, pixels.data());
  EXPECT_EQ(texels(texture), pixels);
}

TEST_F(TextureTools, UploadPixelsUsesTheTexturesOwnPixelFormat) {
  Texture* rgb = create("tools_rgb", 2, 1, GL_TEXTURE_2D, GL_RGB);
  const Bytes pixels = {10, 20, 30, 40, 50, 60};
  uploadPixels(rgb, pixels.data());
  EXPECT_EQ(texels(rgb), (Bytes{10, 20, 30, 255, 40, 50, 60, 255}));

  Texture* line = create("tools_1d", 3, 1, GL_TEXTURE_1D);
  const Bytes row = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
  uploadPixels(line, row.data());
  EXPECT_EQ(texels(line), row);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureTools, UploadedTexelsAreWhatGetsDrawn) {
  Texture* texture = create("tools_draw", 2, 2);
  const Bytes pixels = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255};
  uploadPixels(texture, pixels.data());
  texture->setFilter(GL_NEAREST, GL_NEAREST);
  glViewport(0, 0, 32, 32);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 1, 0, 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_TEXTURE_2D);
  glColor4f(1, 1, 1, 1);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(0, 0);
  glTexCoord2f(1, 0);
  glVertex2f(1, 0);
  glTexCoord2f(1, 1);
  glVertex2f(1, 1);
  glTexCoord2f(0, 1);
  glVertex2f(0, 1);
  glEnd();
  glDisable(GL_TEXTURE_2D);
  // Texel row 0 is at the bottom of the quad.
  const auto bottomLeft = gl->pixel(8, 8), bottomRight = gl->pixel(24, 8);
  const auto topLeft = gl->pixel(8, 24), topRight = gl->pixel(24, 24);
  EXPECT_EQ(bottomLeft[0], 255);
  EXPECT_EQ(bottomRight[1], 255);
  EXPECT_EQ(topLeft[2], 255);
  EXPECT_EQ(topRight[0] + topRight[1] + topRight[2], 3 * 255);
}

TEST_F(TextureTools, RandomFillPutsOneRandByteInAllFourChannels) {
  Texture* texture = create("tools_random", 8, 4);
  std::srand(1234);
  randomTexture(texture);
  const Bytes data = texels(texture);
  std::srand(1234);
  int distinct = 0;
  for (int p = 0; p < 32; ++p) {
    const uint8_t expected = uint8_t(std::rand() & 0xff);
    EXPECT_EQ(data[p * 4], expected) << p;
    for (int c = 1; c < 4; ++c) EXPECT_EQ(data[p * 4 + c], expected) << p;
    distinct += data[p * 4] != data[0];
  }
  EXPECT_GT(distinct, 0);
}

TEST_F(TextureTools, ClearFillsZeros) {
  Texture* texture = create("tools_clear", 4, 4);
  randomTexture(texture);
  clearTexture(texture);
  EXPECT_EQ(texels(texture), Bytes(64, 0));
}

// The marble value of one pixel, written out from its definition.
uint8_t marbleValue(int i, int j, int w, int h, double scaleX, double scaleY, double z,
                    double offsetX, double offsetY, int octaves) {
  const double y = offsetY + i * scaleY / h;
  const double x = offsetX + j * scaleX / w;
  double sum = 0;
  for (int r = 1; r <= octaves; r *= 2) sum += noise3(x * r, y * r, z * r) / r;
  return uint8_t(int((std::sin(0.5 * (x + y + z) + sum) + 1) * 128));
}

TEST_F(TextureTools, MarbleFollowsTheNoiseSumInAllFourChannels) {
  Texture* texture = create("tools_marble", 16, 8);
  for (int octaves : {1, 8}) {
    marbleTexture(texture, 20.0f, 20.0f, 0.5f, 0.25f, 1.0f, octaves);
    const Bytes data = texels(texture);
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 16; ++j) {
        const size_t at = (size_t(i) * 16 + j) * 4;
        EXPECT_EQ(data[at], marbleValue(i, j, 16, 8, 20, 20, 0.5, 0.25, 1.0, octaves))
            << i << "," << j << " octaves " << octaves;
        EXPECT_EQ(data[at + 3], data[at]);
      }
  }
}

// The fast fill against the straightforward loop: odd sizes (partial lanes and blocks),
// negative and large coordinates, no octave at all up to many.
TEST(MarbleFill, GivesTheBytesOfTheStraightforwardLoop) {
  struct Case {
    int w, h;
    float scaleX, scaleY, z, offsetX, offsetY;
  };
  const Case cases[] = {{1, 1, 20, 20, 0.1f, 0, 0},       {3, 5, 20, 20, 0.7f, 0, 0},
                        {17, 9, 3.5f, 41, -2.25f, 1.5f, -8}, {64, 64, 20, 20, 12.3f, 0, 0},
                        {130, 33, -7, 5, 300.5f, -100, 77.7f}, {256, 256, 20, 20, 0.1f, 0, 0}};
  for (const Case& c : cases)
    for (int octaves : {0, 1, 2, 3, 8, 9, 64}) {
      Bytes reference(size_t(c.w) * c.h * 4), fast(reference.size(), 0xAB);
      marblePixelsReference(reference.data(), c.w, c.h, c.scaleX, c.scaleY, c.z, c.offsetX, c.offsetY,
                            octaves);
      marblePixels(fast.data(), c.w, c.h, c.scaleX, c.scaleY, c.z, c.offsetX, c.offsetY, octaves);
      EXPECT_TRUE(fast == reference) << c.w << "x" << c.h << " z " << c.z << " octaves " << octaves;
    }
  // Frames in a row, as PNoise makes them.
  Bytes reference(256 * 256 * 4), fast(reference.size());
  float z = 0;
  for (int frame = 0; frame < 20; ++frame) {
    z += 0.1f;
    marblePixelsReference(reference.data(), 256, 256, 20, 20, z, 0, 0, 8);
    marblePixels(fast.data(), 256, 256, 20, 20, z, 0, 0, 8);
    ASSERT_TRUE(fast == reference) << "frame " << frame;
  }
}

TEST_F(TextureTools, MoreOctavesAddDetail) {
  Texture* texture = create("tools_octaves", 32, 32);
  marbleTexture(texture, 20, 20, 0.1f, 0, 0, 1);
  const Bytes one = texels(texture);
  marbleTexture(texture, 20, 20, 0.1f, 0, 0, 8);
  const Bytes eight = texels(texture);
  int differing = 0;
  for (size_t p = 0; p < one.size(); p += 4) differing += one[p] != eight[p];
  EXPECT_GT(differing, 32 * 32 / 2);
}

class TextureToolsDeathTest : public TextureTools {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TextureTools::SetUp();
  }
};

TEST_F(TextureToolsDeathTest, NullTextureIsAFailedAssertion) {
  EXPECT_EXIT(clearTexture(nullptr), testing::ExitedWithCode(1),
              "^(src/)?resources/TextureTools.cpp:[0-9]+ assertion failed\n$");
  EXPECT_EXIT(marbleTexture(nullptr, 1, 1, 0, 0, 0, 1), testing::ExitedWithCode(1),
              "^(src/)?resources/TextureTools.cpp:[0-9]+ assertion failed\n$");
}

}  // namespace
