// Pictures in the form the engine's readers take: 8-bit RGB or RGBA PNG and colour JPEG pass
// as they are, the rest is decoded and written as RGBA PNG.

#include "modelImport/ModelPictures.h"

#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <cstring>
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

// A 16-bit greyscale PNG (which the engine does not read, so it is converted) cut or forged in
// its chunk lengths is refused before decoding; whole, it converts.
TEST(ModelPictures, APngWhoseChunksClaimMoreThanItsBytesIsNotConverted) {
  const auto chunk = [](std::vector<uint8_t>& out, const char* type, std::vector<uint8_t> data, uint32_t length) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(length >> shift));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), 4, 0);  // the CRC, which the decoder does not check
  };
  // One 16-bit grey pixel: filter byte 0 and the sample 0x8000, stored uncompressed.
  const std::vector<uint8_t> ihdr = {0, 0, 0, 1, 0, 0, 0, 1, 16, 0, 0, 0, 0};
  const std::vector<uint8_t> idat = {0x78, 0x01, 0x01, 3, 0, 0xFC, 0xFF, 0, 0x80, 0, 0x01, 0x03, 0x00, 0x81};
  const auto png = [&](uint32_t idatLength, bool end) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    chunk(out, "IHDR", ihdr, 13);
    chunk(out, "IDAT", idat, idatLength);
    if (end) chunk(out, "IEND", {}, 0);
    return out;
  };
  const std::vector<uint8_t> whole = png(uint32_t(idat.size()), true);
  ASSERT_FALSE(modelimport::engineReads(whole));
  const std::vector<uint8_t> converted = modelimport::convertToPng(whole);
  ASSERT_FALSE(converted.empty());
  EXPECT_TRUE(modelimport::engineReads(converted));

  // The fuzzer's finding: a whole first IDAT, then one claiming almost 2 GiB.
  std::vector<uint8_t> second = png(uint32_t(idat.size()), false);
  chunk(second, "IDAT", {}, 0x7FFFFF00u);
  for (const std::vector<uint8_t>& bad : {png(0x40000000u, true), png(0xFFFFFFFFu, true), second,
                                          png(uint32_t(idat.size()) + 1, false), png(uint32_t(idat.size()), false)})
    EXPECT_TRUE(modelimport::convertToPng(bad).empty());
}

TEST(ModelPictures, EmbeddedPictureNamesLoseWhatWindowsRefusesInAFileName) {
  const uint8_t pixels[] = {255, 0, 0, 255};
  const std::vector<uint8_t> png = modelimport::encodePng(1, 1, pixels);
  aiScene scene;
  scene.mNumTextures = 2;
  scene.mTextures = new aiTexture*[2];
  const char* names[] = {"wood: oak?.png", "C:\\maps\\a<b>|\"c\".png"};
  for (int i = 0; i < 2; ++i) {
    auto* texture = new aiTexture();
    texture->mWidth = static_cast<unsigned>(png.size());  // compressed: the file's bytes
    texture->pcData = new aiTexel[(png.size() + sizeof(aiTexel) - 1) / sizeof(aiTexel)];
    std::memcpy(texture->pcData, png.data(), png.size());
    texture->mFilename = names[i];
    scene.mTextures[i] = texture;
  }
  modelimport::PictureCollector pictures(scene, "model.glb", [](const std::string&) {});
  EXPECT_EQ(pictures.nameFor("*0", "Wood"), "wood_ oak_.png");
  EXPECT_EQ(pictures.nameFor("*1", "Paint"), "a_b___c_.png");
}

// The decoder takes PNG, JPEG, BMP and TGA only; other formats never reach it. Among them the
// fuzz target's finding, a 16-bit grey PNM header that made the decoder read past its output.
TEST(ModelPictures, OnlyTheFormatsModelsCarryReachTheDecoder) {
  const auto bytes = [](std::string text) { return std::vector<uint8_t>(text.begin(), text.end()); };
  // A 1 × 1 24-bit BMP: a blue pixel (stored B, G, R) and its row padded to four bytes.
  std::string bmp("BM\x3A\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\1\0\0\0\1\0\0\0\1\0\x18\0", 30);
  bmp += std::string(24, '\0') + std::string("\xFF\0\0\0", 4);
  const std::vector<uint8_t> converted = modelimport::convertToPng(bytes(bmp));
  ASSERT_TRUE(modelimport::engineReads(converted));
  EXPECT_EQ(modelimport::refusedPictureFormat(bytes(bmp)), nullptr);

  const std::vector<uint8_t> finding =
      fileBytes(DE_SOURCE_DIR "/tests/regressions/modelpictures/crash-139712b91a2569fbfb002cee50227c2dced5f5ec");
  ASSERT_EQ(finding.size(), 13u);
  const struct {
    std::vector<uint8_t> bytes;
    const char* format;
  } refused[] = {
      {finding, "a PNM"},
      {bytes(std::string("P6\n1 1\n255\n\xFF\0\0", 14)), "a PNM"},
      {bytes("GIF89a"), "a GIF"},
      {bytes("8BPS\0\1"), "a PSD"},
      {fileBytes(DE_SOURCE_DIR "/tests/regressions/modelpictures/uninit-b237f613078f85104756e2d192bdb3435c01fa0b"),
       "an interlaced PNG"},
      // A fuzz finding: a Huffman table of 267 codes, past the decoder's 257-byte size list.
      {fileBytes(DE_SOURCE_DIR "/tests/regressions/modelpictures/crash-10739ac61841c52fa5d480163bbe0b0516bba89e"),
       "a JPEG with a Huffman table of more than 256 codes"},
      // The same behind a fill byte before the start-of-image marker.
      {fileBytes(DE_SOURCE_DIR "/tests/regressions/modelpictures/crash-589fdaf0091d8f20e856dc4aac250f1abf422301"),
       "a JPEG with a Huffman table of more than 256 codes"},
  };
  for (const auto& c : refused) {
    ASSERT_NE(modelimport::refusedPictureFormat(c.bytes), nullptr) << c.format;
    EXPECT_STREQ(modelimport::refusedPictureFormat(c.bytes), c.format);
    EXPECT_TRUE(modelimport::convertToPng(c.bytes).empty()) << c.format;
  }
  // A JPEG whose Huffman tables overflow is not even asked for its header (the header reader
  // builds the tables).
  EXPECT_FALSE(modelimport::engineReads(fileBytes(
      DE_SOURCE_DIR "/tests/regressions/modelpictures/crash-f4788a73f35d0c93d04c61e20fb28e2733a1beed")));
  // A palette BMP whose pixels start before its palette ends: the decoder would fill the
  // picture from a palette it never read (stack memory, seen by valgrind in the replay).
  EXPECT_TRUE(modelimport::convertToPng(fileBytes(DE_SOURCE_DIR "/tests/regressions/modelpictures/"
                                                  "uninit-27af4ae61f2e564c65a9257c3f686d9baaef2227"))
                  .empty());
}

}  // namespace
