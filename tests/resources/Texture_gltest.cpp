#include "resources/Texture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/LoadRecord.h"
#include "resources/ImageLibrary.h"
#include "resources/ImageWriters.h"
#include "support/GlTestContext.h"

namespace {

using namespace testimages;

// One context for the program: cached textures live in it.
class Textures : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    gl = new GlTestContext(32, 32);
    dir = new std::string(makeTempDir());
  }
  static void TearDownTestSuite() {
    delete gl;
    gl = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    anisotropy = 0.0f;
  }

  static TextureManager& manager() { return TextureManager::instance(); }

  // A w × h RGB picture whose pixel (x, y) is (x, y, 7).
  static std::string coordinatePng(const std::string& name, int w, int h) {
    Bytes pixels;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) pixels.insert(pixels.end(), {uint8_t(x), uint8_t(y), 7});
    writeFile(*dir + name, encodePng(w, h, PNG_COLOR_TYPE_RGB, 8, pixels));
    return name;
  }
  static void solidPng(const std::string& path, int w, int h, std::array<uint8_t, 3> rgb) {
    Bytes pixels;
    for (int i = 0; i < w * h; ++i) pixels.insert(pixels.end(), rgb.begin(), rgb.end());
    writeFile(path, encodePng(w, h, PNG_COLOR_TYPE_RGB, 8, pixels));
  }

  static GLint level(GLenum target, int lvl, GLenum parameter) {
    GLint value = 0;
    glGetTexLevelParameteriv(target, lvl, parameter, &value);
    return value;
  }
  static GLint parameter(GLenum target, GLenum name) {
    GLint value = 0;
    glGetTexParameteriv(target, name, &value);
    return value;
  }
  // Level `lvl` of the bound texture on `target` as RGBA bytes.
  static Bytes texels(GLenum target, int lvl = 0) {
    const GLint w = level(target, lvl, GL_TEXTURE_WIDTH);
    const GLint h = level(target, lvl, GL_TEXTURE_HEIGHT);
    Bytes out(size_t(w) * h * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(target, lvl, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
  }

  static GlTestContext* gl;
  static std::string* dir;
};

GlTestContext* Textures::gl = nullptr;
std::string* Textures::dir = nullptr;

// [SECTION] Pictures from files

TEST_F(Textures, PictureIsRoundedUpToPowersOfTwoAndKeepsItsOriginalSize) {
  Texture* texture = manager().getTexture(coordinatePng("wide.png", 640, 480), *dir,
                                          GL_TEXTURE_2D, 0);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->getWidth(), 1024);
  EXPECT_EQ(texture->getHeight(), 512);
  EXPECT_EQ(texture->getOriginalWidth(), 640);
  EXPECT_EQ(texture->getOriginalHeight(), 480);
  EXPECT_EQ(texture->getTarget(), GLenum(GL_TEXTURE_2D));
  EXPECT_NE(texture->getId(), 0u);
  texture->bind();
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), 1024);
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT), 512);
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR);
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S), GL_REPEAT);
  // Nearest scaling: texel (x, y) is picture pixel (trunc(x·640/1024), trunc(y·480/512)),
  // and every texel is opaque.
  const Bytes data = texels(GL_TEXTURE_2D);
  for (int y : {0, 1, 100, 511})
    for (int x : {0, 1, 2, 3, 200, 1023}) {
      const size_t at = (size_t(y) * 1024 + x) * 4;
      EXPECT_EQ(data[at], uint8_t(int(x * (640.0f / 1024.0f)))) << x << "," << y;
      EXPECT_EQ(data[at + 1], uint8_t(int(y * (480.0f / 512.0f)))) << x << "," << y;
      EXPECT_EQ(data[at + 2], 7);
      EXPECT_EQ(data[at + 3], 255);
    }
}

TEST_F(Textures, PowerOfTwoPictureUploadsUnchanged) {
  Texture* texture = manager().getTexture(coordinatePng("exact.png", 4, 2), *dir, GL_TEXTURE_2D, 0);
  ASSERT_NE(texture, nullptr);
  texture->bind();
  const Bytes data = texels(GL_TEXTURE_2D);
  ASSERT_EQ(data.size(), 32u);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(data[(y * 4 + x) * 4], x);
      EXPECT_EQ(data[(y * 4 + x) * 4 + 1], y);
    }
}

TEST_F(Textures, CompressedPictureOfTheSameStemIsPreferred) {
  writeFile(*dir + "floor.jpg", encodeJpeg(4, 4, 3, Bytes(4 * 4 * 3, 255)));
  writeFile(*dir + "floor.dds", makeDds(4, 4, "DXT1", 0, dxt1SolidBlock(0x07e0)));  // green
  Texture* texture = manager().getTexture("floor.jpg", *dir, GL_TEXTURE_2D, 0);
  ASSERT_NE(texture, nullptr);
  texture->bind();
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED), GL_TRUE);
  const Bytes data = texels(GL_TEXTURE_2D);
  EXPECT_EQ(data[0], 0);
  EXPECT_EQ(data[1], 255);
  // Without the compressed version the picture itself is taken.
  solidPng(*dir + "wall.png", 4, 4, {255, 0, 0});
  Texture* wall = manager().getTexture("wall.png", *dir, GL_TEXTURE_2D, 0);
  ASSERT_NE(wall, nullptr);
  wall->bind();
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED), GL_FALSE);
  EXPECT_EQ(texels(GL_TEXTURE_2D)[0], 255);
}

TEST_F(Textures, CacheKeyIsTheNameWithoutTheDirectory) {
  ASSERT_EQ(::mkdir((*dir + "one").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((*dir + "two").c_str(), 0755), 0);
  solidPng(*dir + "one/shared.png", 2, 2, {10, 20, 30});
  solidPng(*dir + "two/shared.png", 2, 2, {90, 80, 70});
  Texture* first = manager().getTexture("shared.png", *dir + "one/", GL_TEXTURE_2D, 0);
  Texture* second = manager().getTexture("shared.png", *dir + "two/", GL_TEXTURE_2D, 0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(second, first);
  EXPECT_EQ(manager().useCount("shared.png"), 2);
  first->bind();
  EXPECT_EQ(texels(GL_TEXTURE_2D)[0], 10);
}

TEST_F(Textures, PicturesThatFailAreNotCachedAndAreTriedAgain) {
  EXPECT_EQ(manager().getTexture("", *dir, GL_TEXTURE_2D, 0), nullptr);
  EXPECT_EQ(manager().getTexture("later.png", *dir, GL_TEXTURE_2D, 0), nullptr);
  EXPECT_EQ(manager().useCount("later.png"), 0);
  solidPng(*dir + "later.png", 2, 2, {1, 2, 3});
  EXPECT_NE(manager().getTexture("later.png", *dir, GL_TEXTURE_2D, 0), nullptr);
  EXPECT_EQ(manager().useCount("later.png"), 1);
}

TEST_F(Textures, WhileAuthoringAPictureThatDoesNotLoadIsReportedAsMissingOrBroken) {
  writeFile(*dir + "broken.png", Bytes{1, 2, 3});
  std::vector<std::string> said;
  setLoadProblemListener([&](const LoadProblem& problem) { said.push_back(problem.file + "|" + problem.message); });
  EXPECT_EQ(manager().getTexture("absent.png", *dir, GL_TEXTURE_2D, 0), nullptr);
  EXPECT_EQ(manager().getTexture("broken.png", *dir, GL_TEXTURE_2D, 0), nullptr);
  setLoadProblemListener({});
  EXPECT_EQ(said, (std::vector<std::string>{"|picture not found: " + *dir + "absent.png",
                                            "|picture does not decode: " + *dir + "broken.png"}));
}

TEST_F(Textures, ReleasingAChangedFileTakesOutWhatWasReadFromItAndItsCompressedStandIn) {
  solidPng(*dir + "edited.png", 2, 2, {10, 20, 30});
  solidPng(*dir + "untouched.png", 2, 2, {1, 1, 1});
  Texture* before = manager().getTexture("edited.png", *dir, GL_TEXTURE_2D, 0);
  Texture* untouched = manager().getTexture("untouched.png", *dir, GL_TEXTURE_2D, 0);
  ASSERT_NE(before, nullptr);
  EXPECT_TRUE(manager().releaseReadFrom({*dir + "other.png"}).empty());
  // A .dds picture of the same stem appearing would be preferred: it counts as a change too.
  auto released = manager().releaseReadFrom({*dir + "EDITED.dds"});
  ASSERT_EQ(released.size(), 1u);
  EXPECT_EQ(released[0].get(), before);
  EXPECT_EQ(manager().useCount("edited.png"), 0);
  solidPng(*dir + "edited.png", 2, 2, {200, 20, 30});
  Texture* after = manager().getTexture("edited.png", *dir, GL_TEXTURE_2D, 0);
  ASSERT_NE(after, before);
  after->bind();
  EXPECT_EQ(texels(GL_TEXTURE_2D)[0], 200);
  before->bind();  // the released texture is still whole for an effect that draws it
  EXPECT_EQ(texels(GL_TEXTURE_2D)[0], 10);
  EXPECT_EQ(manager().getTexture("untouched.png", *dir, GL_TEXTURE_2D, 0), untouched);
}

TEST_F(Textures, MipmappedPicturesGetTheirChain) {
  solidPng(*dir + "mip.png", 8, 8, {200, 100, 50});
  Texture* texture = manager().getTexture("mip.png", *dir, GL_TEXTURE_2D, kTextureMipmapped);
  ASSERT_NE(texture, nullptr);
  EXPECT_TRUE(texture->isMipmapped());
  texture->bind();
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR_MIPMAP_LINEAR);
  EXPECT_EQ(level(GL_TEXTURE_2D, 3, GL_TEXTURE_WIDTH), 1);
  const Bytes smallest = texels(GL_TEXTURE_2D, 3);
  EXPECT_EQ(smallest, (Bytes{200, 100, 50, 255}));
}

TEST_F(Textures, AnisotropyIsSetWhenAboveZero) {
  solidPng(*dir + "aniso.png", 2, 2, {1, 1, 1});
  solidPng(*dir + "plain.png", 2, 2, {1, 1, 1});
  Texture* plain = manager().getTexture("plain.png", *dir, GL_TEXTURE_2D, 0);
  anisotropy = 4.0f;
  Texture* aniso = manager().getTexture("aniso.png", *dir, GL_TEXTURE_2D, 0);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(aniso, nullptr);
  GLfloat value = 0;
  aniso->bind();
  glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &value);
  EXPECT_FLOAT_EQ(value, 4.0f);
  plain->bind();
  glGetTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, &value);
  EXPECT_FLOAT_EQ(value, 1.0f);
}

TEST_F(Textures, S3tcLevelsAreUploadedFromConsecutiveParts) {
  // 8 × 8 DXT5, four levels: red opaque, green half alpha, blue, white.
  Bytes chain = repeat(dxt5SolidBlock(0xf800, 255), 4);
  for (const Bytes& block : {dxt5SolidBlock(0x07e0, 128), dxt5SolidBlock(0x001f, 255),
                             dxt5SolidBlock(0xffff, 255)})
    chain.insert(chain.end(), block.begin(), block.end());
  writeFile(*dir + "chain.dds", makeDds(8, 8, "DXT5", 4, chain));
  Texture* texture = manager().getTexture("chain.dds", *dir, GL_TEXTURE_2D, kTextureMipmapped);
  ASSERT_NE(texture, nullptr);
  texture->bind();
  EXPECT_EQ(texels(GL_TEXTURE_2D, 0)[0], 255);
  const Bytes level1 = texels(GL_TEXTURE_2D, 1);
  EXPECT_EQ(level1[1], 255);
  EXPECT_EQ(level1[3], 128);
  EXPECT_EQ(texels(GL_TEXTURE_2D, 2)[2], 255);
  EXPECT_EQ(texels(GL_TEXTURE_2D, 3), (Bytes{255, 255, 255, 255}));
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL), 3);
}

TEST_F(Textures, CutMipChainEndsAtTheLastLevelTheFileHolds) {
  // Claims 4 levels of 8 × 8 DXT1 but holds only the first two.
  writeFile(*dir + "cut.dds", makeDds(8, 8, "DXT1", 4, repeat(dxt1SolidBlock(0xf800), 5)));
  Texture* texture = manager().getTexture("cut.dds", *dir, GL_TEXTURE_2D, kTextureMipmapped);
  ASSERT_NE(texture, nullptr);
  texture->bind();
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL), 1);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(Textures, RgbePictureKeepsValuesAboveOne) {
  writeFile(*dir + "probe.hdr", rgbeHeader(2, 1) + std::string("\x80\x40\x20\x84\x10\x10\x10\x81", 8));
  Texture* texture = manager().getTexture("probe.hdr", *dir, GL_TEXTURE_2D, 0);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->getInternalFormat(), floatTextureFormat);
  texture->bind();
  float values[6] = {};
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_FLOAT, values);
  EXPECT_FLOAT_EQ(values[0], 8.0f);
  EXPECT_FLOAT_EQ(values[1], 4.0f);
  EXPECT_FLOAT_EQ(values[2], 2.0f);
  EXPECT_FLOAT_EQ(values[3], 0.125f);
}

TEST_F(Textures, OtherTargetsForFilesAreReportedAndGetNoGlObject) {
  solidPng(*dir + "ramp.png", 4, 1, {1, 2, 3});
  testing::internal::CaptureStderr();
  Texture* texture = manager().getTexture("ramp.png", *dir, GL_TEXTURE_1D, 0);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("generateTexture1D is not implemented\n"),
            std::string::npos);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->getId(), 0u);
}

// [SECTION] Empty textures

TEST_F(Textures, EmptyTexturesFollowTheirFlags) {
  Texture* rgba = manager().createTexture("e_rgba", 16, 8, GL_TEXTURE_2D, GL_RGBA, 0);
  ASSERT_NE(rgba, nullptr);
  EXPECT_GT(maxTextureSize, 0);  // asked from GL on first need
  EXPECT_EQ(rgba->getInternalFormat(), GLenum(GL_RGBA));
  rgba->bind();
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH), 16);
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT), 8);
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_LINEAR);

  Texture* floats = manager().createTexture("e_float", 4, 4, GL_TEXTURE_2D, GL_RGBA, kTextureFloat);
  EXPECT_EQ(floats->getInternalFormat(), floatTextureFormat);
  floats->bind();
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_RED_TYPE), GL_FLOAT);

  Texture* deep = manager().createTexture("e_16", 4, 4, GL_TEXTURE_2D, GL_RGBA, kTexture16Bit);
  EXPECT_EQ(deep->getInternalFormat(), GLenum(GL_RGBA16));
  deep->bind();
  EXPECT_EQ(level(GL_TEXTURE_2D, 0, GL_TEXTURE_RED_SIZE), 16);

  Texture* line = manager().createTexture("e_1d", 32, 99, GL_TEXTURE_1D, GL_RGBA, 0);
  EXPECT_EQ(line->getHeight(), 1);
  line->bind();
  EXPECT_EQ(level(GL_TEXTURE_1D, 0, GL_TEXTURE_WIDTH), 32);

  Texture* depth = manager().createTexture("e_depth", 8, 8, GL_DEPTH_COMPONENT, GL_RGBA, 0);
  EXPECT_EQ(depth->getTarget(), GLenum(GL_DEPTH_COMPONENT));
  depth->bind();  // bound as a 2D texture
  EXPECT_GT(level(GL_TEXTURE_2D, 0, GL_TEXTURE_DEPTH_SIZE), 0);
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S), GL_CLAMP_TO_EDGE);

  Texture* cube = manager().createCubeMap("e_cube", 16);
  ASSERT_NE(cube, nullptr);
  cube->bind();
  EXPECT_EQ(level(GL_TEXTURE_CUBE_MAP_NEGATIVE_Z, 0, GL_TEXTURE_WIDTH), 16);

  EXPECT_EQ(manager().createTexture("e_3d", 4, 4, GL_TEXTURE_3D, GL_RGBA, 0), nullptr);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(Textures, SecondCreateOfANameSharesTheTexture) {
  Texture* a = manager().createTexture("shared_target", 8, 8, GL_TEXTURE_2D, GL_RGB, 0);
  Texture* b = manager().createTexture("shared_target", 64, 64, GL_TEXTURE_2D, GL_RGBA, 0);
  EXPECT_EQ(a, b);
  EXPECT_EQ(b->getWidth(), 8);
  EXPECT_EQ(manager().useCount("shared_target"), 2);
}

TEST_F(Textures, AddTextureRefusesNullAndASecondTexture) {
  auto* mine = new Texture;
  auto* other = new Texture;
  EXPECT_EQ(manager().addTexture("added", mine), 0);
  EXPECT_EQ(manager().addTexture("added", mine), 0);
  EXPECT_EQ(manager().useCount("added"), 2);
  EXPECT_EQ(manager().addTexture("added", other), 1);
  EXPECT_EQ(manager().addTexture("added-null", nullptr), 1);
  EXPECT_EQ(manager().useCount("added-null"), 0);
  EXPECT_EQ(manager().createTexture("added", 4, 4, GL_TEXTURE_2D, GL_RGBA, 0), mine);
  delete other;
}

TEST_F(Textures, SetFilterChangesTheBoundTexture) {
  Texture* texture = manager().createTexture("filtered", 4, 4, GL_TEXTURE_2D, GL_RGBA, 0);
  texture->setFilter(GL_NEAREST, GL_NEAREST);
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER), GL_NEAREST);
  EXPECT_EQ(parameter(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER), GL_NEAREST);
}

// [SECTION] Cube maps from files

TEST_F(Textures, CubeMapFromSixPicturesFillsEachFace) {
  std::array<std::string, 6> names;
  for (int face = 0; face < 6; ++face) {
    names[face] = "face" + std::to_string(face) + ".png";
    solidPng(*dir + names[face], 4, 4, {uint8_t(face * 40), uint8_t(255 - face * 40), 9});
  }
  Texture* cube = manager().getCubeMap(names, *dir);
  ASSERT_NE(cube, nullptr);
  EXPECT_EQ(cube->getTarget(), GLenum(GL_TEXTURE_CUBE_MAP));
  EXPECT_EQ(cube->getWidth(), 4);
  cube->bind();
  for (int face = 0; face < 6; ++face) {
    const Bytes data = texels(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face);
    EXPECT_EQ(data[0], face * 40) << face;
    EXPECT_EQ(data[1], 255 - face * 40) << face;
    EXPECT_EQ(data[3], 255) << face;
  }
  EXPECT_EQ(parameter(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R), GL_CLAMP_TO_EDGE);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_CUBE_MAP));
  EXPECT_EQ(manager().getCubeMap(names, "elsewhere/"), cube);
}

TEST_F(Textures, CubeMapFacesMayBeCompressedOrResized) {
  std::array<std::string, 6> names;
  for (int face = 0; face < 6; ++face) names[face] = "mixed" + std::to_string(face) + ".png";
  for (int face = 0; face < 3; ++face) solidPng(*dir + names[face], face == 1 ? 2 : 4, 4, {7, 8, 9});
  for (int face = 3; face < 6; ++face) {
    names[face] = "mixed" + std::to_string(face) + ".dds";
    writeFile(*dir + names[face], makeDds(4, 4, "DXT1", 0, dxt1SolidBlock(0xf800)));
  }
  Texture* cube = manager().getCubeMap(names, *dir);
  ASSERT_NE(cube, nullptr);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  cube->bind();
  EXPECT_EQ(level(GL_TEXTURE_CUBE_MAP_NEGATIVE_X, 0, GL_TEXTURE_WIDTH), 4);
  EXPECT_EQ(texels(GL_TEXTURE_CUBE_MAP_NEGATIVE_X)[0], 7);
  EXPECT_EQ(texels(GL_TEXTURE_CUBE_MAP_POSITIVE_Z)[0], 255);
}

TEST_F(Textures, CubeMapNeedsAllSixPictures) {
  std::array<std::string, 6> names = {"c0.png", "c1.png", "c2.png", "c3.png", "c4.png", "gone.png"};
  for (int face = 0; face < 5; ++face) solidPng(*dir + names[face], 2, 2, {1, 2, 3});
  EXPECT_EQ(manager().getCubeMap(names, *dir), nullptr);
  EXPECT_EQ(manager().useCount("c0.png"), 0);
  names[0] = "";
  EXPECT_EQ(manager().getCubeMap(names, *dir), nullptr);
}

// [SECTION] Fatal cases

class TexturesDeathTest : public Textures {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Textures::SetUp();
  }
};

TEST_F(TexturesDeathTest, NameWithoutADotIsAFailedAssertion) {
  EXPECT_EXIT(manager().getTexture("nodot", *dir, GL_TEXTURE_2D, 0), testing::ExitedWithCode(1),
              "^(src/)?resources/Texture.cpp:[0-9]+ assertion failed\n$");
}

TEST_F(TexturesDeathTest, EmptyTextureLargerThanTheLimitStops) {
  EXPECT_EXIT(
      {
        maxTextureSize = 256;
        manager().createTexture("too_big", 512, 16, GL_TEXTURE_2D, GL_RGBA, 0);
      },
      testing::ExitedWithCode(1),
      "^(src/)?resources/Texture.cpp:[0-9]+ Texture: dimensions too large\n$");
  EXPECT_EXIT(
      {
        maxTextureSize = 256;
        manager().createTexture("too_tall", 16, 257, GL_TEXTURE_2D, GL_RGBA, 0);
      },
      testing::ExitedWithCode(1),
      "^(src/)?resources/Texture.cpp:[0-9]+ Texture: dimensions too large\n$");
}

TEST_F(TexturesDeathTest, GreyPictureCannotBeUploaded) {
  writeFile(*dir + "grey.png", encodePng(2, 2, PNG_COLOR_TYPE_GRAY, 8, {1, 2, 3, 4}));
  EXPECT_EXIT(manager().getTexture("grey.png", *dir, GL_TEXTURE_2D, 0), testing::ExitedWithCode(1),
              "^(src/)?resources/ImageLibrary.cpp:[0-9]+ Image has unsupported bit depth\n$");
}

}  // namespace
