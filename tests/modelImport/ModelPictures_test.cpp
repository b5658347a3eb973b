// Pictures in the form the engine's readers take: 8-bit RGB or RGBA PNG and colour JPEG pass
// as they are, the rest is decoded and written as RGBA PNG.

#include "modelImport/ModelPictures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

const std::string kModels = "/usr/share/assimp/models/";

std::vector<uint8_t> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ModelPictures, AnRgbaPngPassesAsItIs) {
  const uint8_t pixels[] = {255, 0, 0, 255, 0, 255, 0, 128};
  const std::vector<uint8_t> png = modelimport::encodePng(2, 1, pixels);
  EXPECT_EQ(modelimport::pictureFormatOf(png), modelimport::PictureFormat::Png);
  EXPECT_TRUE(modelimport::engineReads(png));
  EXPECT_TRUE(modelimport::encodePng(0, 1, pixels).empty());
}

TEST(ModelPictures, PicturesTheEngineCannotReadBecomeRgbaPng) {
  if (!std::filesystem::exists(kModels)) GTEST_SKIP() << "the package assimp-testmodels is not installed";
  const struct {
    const char* file;
    modelimport::PictureFormat format;
  } cases[] = {
      {"glTF2/BoxTextured-glTF/CesiumLogoFlat.png", modelimport::PictureFormat::Png},  // a palette PNG
      {"Collada/duckCM.tga", modelimport::PictureFormat::Other},
  };
  for (const auto& c : cases) {
    const std::vector<uint8_t> bytes = fileBytes(kModels + c.file);
    ASSERT_FALSE(bytes.empty()) << c.file;
    EXPECT_EQ(modelimport::pictureFormatOf(bytes), c.format) << c.file;
    EXPECT_FALSE(modelimport::engineReads(bytes)) << c.file;
    const std::vector<uint8_t> png = modelimport::convertToPng(bytes);
    EXPECT_TRUE(modelimport::engineReads(png)) << c.file;
    EXPECT_EQ(png[25], 6) << c.file;  // colour type RGBA
  }
  // A colour JPEG passes.
  EXPECT_TRUE(modelimport::engineReads(fileBytes(kModels + "Collada/duck_sample.jpg")));
  EXPECT_TRUE(modelimport::convertToPng({1, 2, 3, 4}).empty());
}

}  // namespace
