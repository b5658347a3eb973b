// Pictures and shader sources read from a packed, encrypted data archive, as the demo reads
// them (a program of its own: once the archive is open, the disk is no longer read).

#include <gtest/gtest.h>

#include <memory>

#include "archive/RarWriter.h"
#include "archive/vkd.h"
#include "engine/FragmentProgram.h"
#include "engine/ShaderManager.h"
#include "resources/ImageLibrary.h"
#include "resources/ImageWriters.h"
#include "resources/Texture.h"
#include "support/GlTestContext.h"

namespace {

using namespace testimages;

class ArchiveResources : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    gl = new GlTestContext(32, 32);
    dir = new std::string(makeTempDir());
    rar::ArchiveWriter writer("lynxa42");
    Bytes archive = writer.start();
    const auto add = [&](const std::string& name, const Bytes& bytes) {
      rar::StoredFile file;
      file.name = name;
      file.data = bytes.data();
      file.size = bytes.size();
      const Bytes entry = writer.entry(file);
      archive.insert(archive.end(), entry.begin(), entry.end());
    };
    Bytes rgb;
    for (int i = 0; i < 6; ++i) rgb.insert(rgb.end(), {uint8_t(40 * i), 100, 200});
    add("data\\textures\\pic.png", encodePng(3, 2, PNG_COLOR_TYPE_RGB, 8, rgb));
    add("data\\textures\\photo.jpg", encodeJpeg(8, 8, 3, Bytes(8 * 8 * 3, 250)));
    add("data\\texturesCompressed\\photo.dds", makeDds(4, 4, "DXT1", 0, dxt1SolidBlock(0x001f)));
    add("data\\textures\\inside.hdr", Bytes(4, 0));
    const std::string shader = "#version 120\nuniform vec4 factors;\nvoid main() { gl_FragColor = factors; }\n";
    add("data\\shaders\\fp_archive.cg", Bytes(shader.begin(), shader.end()));
    const Bytes end = writer.end();
    archive.insert(archive.end(), end.begin(), end.end());
    writeFile(*dir + "data.vkd", archive);

    // An RGBE picture on disk, where such pictures are always read from.
    writeFile(*dir + "probe.hdr", rgbeHeader(1, 1) + std::string("\x80\x80\x80\x82", 4));
    archivePath = new std::string(*dir + "data.vkd");
    openArchive(archivePath->c_str(), "lynxa42");
  }
  static void TearDownTestSuite() {
    delete gl;
    gl = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(gl->ok()); }

  static Bytes texels(Texture* texture) {
    texture->bind();
    Bytes out(size_t(texture->getWidth()) * texture->getHeight() * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
  }

  static GlTestContext* gl;
  static std::string* dir;
  static std::string* archivePath;
};

GlTestContext* ArchiveResources::gl = nullptr;
std::string* ArchiveResources::dir = nullptr;
std::string* ArchiveResources::archivePath = nullptr;

TEST_F(ArchiveResources, PictureDecodesFromTheArchiveIntoATexture) {
  Texture* texture = TextureManager::instance().getTexture("data/textures/pic.png", "",
                                                          GL_TEXTURE_2D, 0);
  ASSERT_NE(texture, nullptr);
  EXPECT_EQ(texture->getWidth(), 4);
  EXPECT_EQ(texture->getOriginalWidth(), 3);
  const Bytes data = texels(texture);
  // Row 0 of the 4 × 2 texture repeats picture column 0 (x·3/4 = 0, 0, 1, 2).
  EXPECT_EQ(data[0], 0);
  EXPECT_EQ(data[4], 0);
  EXPECT_EQ(data[8], 40);
  EXPECT_EQ(data[12], 80);
  EXPECT_EQ(data[16 + 12], 200);  // row 1, column 2 is picture pixel 5
  EXPECT_EQ(data[1], 100);
  EXPECT_EQ(data[3], 255);
}

TEST_F(ArchiveResources, NamesMatchWithEitherSeparatorAndAnyCase) {
  std::unique_ptr<Image> image(loadImage("DATA\\Textures\\pic.png", ""));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 3);
}

TEST_F(ArchiveResources, SceneStyleLookupFindsTheCompressedFolderFirst) {
  // The scene loader asks for the .dds in the compressed folder, then the picture itself.
  Texture* compressed = TextureManager::instance().getTexture(
      "photo.dds", "data/texturesCompressed/", GL_TEXTURE_2D, kTextureMipmapped);
  ASSERT_NE(compressed, nullptr);
  EXPECT_EQ(texels(compressed)[2], 255);  // blue
  Texture* plain =
      TextureManager::instance().getTexture("photo.jpg", "data/textures/", GL_TEXTURE_2D, 0);
  ASSERT_NE(plain, nullptr);
  EXPECT_NEAR(texels(plain)[0], 250, 3);
}

TEST_F(ArchiveResources, RgbePicturesComeFromDiskNotFromTheArchive) {
  std::unique_ptr<Image> onDisk(loadImage("probe.hdr", dir->c_str()));
  ASSERT_NE(onDisk, nullptr);
  EXPECT_FLOAT_EQ(onDisk->floatData[0], 2.0f);
  EXPECT_EQ(loadImage("data/textures/inside.hdr", ""), nullptr);
}

TEST_F(ArchiveResources, ShaderSourceCompilesFromTheArchive) {
  FragmentProgram* program = getFragmentProgram("data/shaders/fp_archive.cg");
  ASSERT_NE(program, nullptr);
  EXPECT_GE(program->factors, 0);
}

class ArchiveResourcesDeathTest : public ArchiveResources {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ArchiveResources::SetUp();
  }
};

TEST_F(ArchiveResourcesDeathTest, ShaderMissingFromTheArchiveIsFatal) {
  EXPECT_EXIT(getFragmentProgram("data/shaders/fp_none.cg"), testing::ExitedWithCode(1),
              "^(src/)?engine/FragmentProgram.cpp:[0-9]+ Shader file not found: : "
              "data/shaders/fp_none.cg\n$");
}

}  // namespace
