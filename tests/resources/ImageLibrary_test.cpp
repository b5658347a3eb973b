#include "resources/ImageLibrary.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "resources/DDSLoader.h"
#include "resources/ImageWriters.h"
#include "resources/Texture.h"

namespace {

using namespace testimages;
using ImagePtr = std::unique_ptr<Image>;

class ImageFiles : public testing::Test {
 protected:
  void SetUp() override { dir = makeTempDir(); }
  ImagePtr load(const std::string& name) { return ImagePtr(loadImage(name.c_str(), dir.c_str())); }
  ImagePtr save(const std::string& name, const Bytes& bytes) {
    writeFile(dir + name, bytes);
    return load(name);
  }
  std::string dir;
};

// [SECTION] Choosing the decoder

TEST_F(ImageFiles, ExactExtensionsChooseTheDecoder) {
  const Bytes png = encodePng(1, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3});
  EXPECT_NE(save("a.png", png), nullptr);
  EXPECT_NE(save("b.PNG", png), nullptr);
  EXPECT_EQ(save("c.Png", png), nullptr);
  EXPECT_EQ(save("d.pNG", png), nullptr);
  const Bytes jpg = encodeJpeg(1, 1, 3, {1, 2, 3});
  EXPECT_NE(save("e.jpg", jpg), nullptr);
  EXPECT_NE(save("f.JPG", jpg), nullptr);
  EXPECT_EQ(save("g.jpeg", jpg), nullptr);
  EXPECT_EQ(save("h.Jpg", jpg), nullptr);
  EXPECT_EQ(save("png", png), nullptr);
}

TEST_F(ImageFiles, DirectoryIsPrefixedWhenGiven) {
  writeFile(dir + "x.png", encodePng(1, 1, PNG_COLOR_TYPE_RGB, 8, {9, 8, 7}));
  EXPECT_NE(ImagePtr(loadImage((dir + "x.png").c_str(), "")), nullptr);
  EXPECT_NE(ImagePtr(loadImage("x.png", dir.c_str())), nullptr);
}

TEST_F(ImageFiles, MissingFilesGiveNull) {
  EXPECT_EQ(load("none.png"), nullptr);
  EXPECT_EQ(load("none.jpg"), nullptr);
  EXPECT_EQ(load("none.dds"), nullptr);
  EXPECT_EQ(load("none.hdr"), nullptr);
}

// [SECTION] PNG

TEST_F(ImageFiles, PngRgbKeepsItsBytes) {
  const Bytes pixels = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30, 40, 50, 60, 70, 80, 90};
  auto image = save("rgb.png", encodePng(3, 2, PNG_COLOR_TYPE_RGB, 8, pixels));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 3);
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(image->bitsPerPixel, 24);
  EXPECT_EQ(image->format, 0u);
  EXPECT_EQ(image->mipCount, 0);
  EXPECT_EQ(image->data, pixels);
}

TEST_F(ImageFiles, PngRgbaGreyAndGreyAlphaStayInTheirLayout) {
  const Bytes rgba = {1, 2, 3, 4, 5, 6, 7, 8};
  auto a = save("rgba.png", encodePng(2, 1, PNG_COLOR_TYPE_RGBA, 8, rgba));
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->bitsPerPixel, 32);
  EXPECT_EQ(a->data, rgba);

  const Bytes grey = {0, 100, 200, 255};
  auto g = save("grey.png", encodePng(2, 2, PNG_COLOR_TYPE_GRAY, 8, grey));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->bitsPerPixel, 8);
  EXPECT_EQ(g->data, grey);

  const Bytes greyAlpha = {10, 20, 30, 40};
  auto ga = save("ga.png", encodePng(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, greyAlpha));
  ASSERT_NE(ga, nullptr);
  EXPECT_EQ(ga->bitsPerPixel, 16);
  EXPECT_EQ(ga->data, greyAlpha);
}

TEST_F(ImageFiles, PngPaletteKeepsIndexesAndPacking) {
  const std::vector<png_color> palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  auto p8 = save("p8.png", encodePng(3, 1, PNG_COLOR_TYPE_PALETTE, 8, {2, 0, 1}, palette));
  ASSERT_NE(p8, nullptr);
  EXPECT_EQ(p8->bitsPerPixel, 8);
  EXPECT_EQ(p8->data, (Bytes{2, 0, 1}));

  // Four-bit indexes: two pixels a byte, high nibble first; rows padded to whole bytes.
  auto p4 = save("p4.png", encodePng(3, 2, PNG_COLOR_TYPE_PALETTE, 4, {0x21, 0x00, 0x12, 0x20},
                                     palette));
  ASSERT_NE(p4, nullptr);
  EXPECT_EQ(p4->bitsPerPixel, 4);
  EXPECT_EQ(p4->data, (Bytes{0x21, 0x00, 0x12, 0x20}));
}

TEST_F(ImageFiles, Png16BitKeepsBigEndianSamples) {
  const Bytes pixels = {0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc};
  auto image = save("deep.png", encodePng(1, 1, PNG_COLOR_TYPE_RGB, 16, pixels));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->bitsPerPixel, 48);
  EXPECT_EQ(image->data, pixels);
}

TEST_F(ImageFiles, InterlacedPngIsAssembledIntoRows) {
  Bytes pixels(9 * 9 * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 7);
  auto image = save("adam7.png", encodePng(9, 9, PNG_COLOR_TYPE_RGB, 8, pixels, {}, true));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->data, pixels);
}

TEST_F(ImageFiles, BrokenPngsGiveNullQuietly) {
  Bytes good = encodePng(16, 16, PNG_COLOR_TYPE_RGB, 8, Bytes(16 * 16 * 3, 77));
  testing::internal::CaptureStderr();
  Bytes badSignature = good;
  badSignature[1] = 'X';
  EXPECT_EQ(save("sig.png", badSignature), nullptr);
  EXPECT_EQ(save("short.png", Bytes(good.begin(), good.begin() + good.size() / 2)), nullptr);
  EXPECT_EQ(save("eight.png", Bytes(good.begin(), good.begin() + 8)), nullptr);
  Bytes badCrc = good;
  badCrc[good.size() - 20] ^= 0xff;  // inside the image data chunk
  EXPECT_EQ(save("crc.png", badCrc), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(ImageFiles, PngWhoseHeaderPromisesMoreThanTheFileCanHoldIsRefused) {
  // IHDR of a 60000 × 60000 RGBA picture, followed by a tiny image data chunk.
  Bytes small = encodePng(1, 1, PNG_COLOR_TYPE_RGBA, 8, {1, 2, 3, 4});
  Bytes huge = small;
  for (int i = 0; i < 2; ++i) {
    const uint32_t v = 60000;
    const size_t at = 16 + 4 * i;
    huge[at] = uint8_t(v >> 24);
    huge[at + 1] = uint8_t(v >> 16);
    huge[at + 2] = uint8_t(v >> 8);
    huge[at + 3] = uint8_t(v);
  }
  const uint32_t crc = uint32_t(::crc32(::crc32(0, nullptr, 0), huge.data() + 12, 17));
  for (int i = 0; i < 4; ++i) huge[29 + i] = uint8_t(crc >> (24 - 8 * i));
  EXPECT_EQ(save("huge.png", huge), nullptr);
}

long peakResidentKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

TEST_F(ImageFiles, PngTextProfilesAndOtherExtrasAreSkipped) {
  const Bytes pixels = {1, 2, 3, 4, 5, 6};
  const Bytes png = encodePng(2, 1, PNG_COLOR_TYPE_RGB, 8, pixels);
  const Bytes text(100000, 'x');
  auto image = save("extras.png", withPngChunk(withPngChunk(png, "tEXt", 100000, text), "sPLT", 3, {1, 2, 3}));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->data, pixels);
}

// A chunk's length field is all libpng has before reading it: a file of a few bytes that
// claims a chunk of a gigabyte and a half must fail without the decoder taking that memory.
// Among them the findings of the PNG fuzz target (tests/regressions/png).
TEST_F(ImageFiles, PngChunkClaimingGigabytesFailsWithoutAllocatingThem) {
  const Bytes png = encodePng(4, 2, PNG_COLOR_TYPE_RGB, 8, Bytes(24, 9));
  std::vector<Bytes> files;
  for (const char* type : {"sPLT", "tEXt", "zTXt", "iTXt", "iCCP", "eXIf", "ssss"})
    files.push_back(withPngChunk(png, type, 0x60000000, Bytes(40, 's')));
  for (const auto& entry : std::filesystem::directory_iterator(DE_SOURCE_DIR "/tests/regressions/png")) {
    std::ifstream in(entry.path(), std::ios::binary);
    Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    fixPngChunkCrcs(bytes);  // as the fuzz target does before decoding
    files.push_back(bytes);
  }
  ASSERT_GT(files.size(), 7u);
  const long before = peakResidentKb();
  for (size_t i = 0; i < files.size(); ++i)
    EXPECT_EQ(save("claims.png", files[i]), nullptr) << "file " << i;
  EXPECT_LT(peakResidentKb() - before, 64 * 1024) << "kilobytes more at the peak";
}

// [SECTION] JPEG

void expectNear(const Image& image, int x, int y, std::array<int, 3> rgb, int tolerance) {
  const size_t at = (size_t(y) * image.width + x) * 3;
  for (int c = 0; c < 3; ++c)
    EXPECT_NEAR(image.data[at + c], rgb[c], tolerance) << "pixel " << x << "," << y << " channel " << c;
}

TEST_F(ImageFiles, JpegRgbRowsAreTightlyPacked) {
  // 5 × 7: 15 bytes a row, which a 4-byte row padding would skew by one byte per row.
  const std::array<std::array<int, 3>, 7> rowColours = {
      {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {200, 200, 30}, {30, 200, 200},
       {200, 30, 200}, {128, 128, 128}}};
  Bytes pixels;
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 5; ++x)
      for (int c = 0; c < 3; ++c) pixels.push_back(uint8_t(rowColours[y][c]));
  auto image = save("odd.jpg", encodeJpeg(5, 7, 3, pixels));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 5);
  EXPECT_EQ(image->height, 7);
  EXPECT_EQ(image->bitsPerPixel, 24);
  ASSERT_EQ(image->data.size(), 5u * 7u * 3u);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 5; ++x) expectNear(*image, x, y, rowColours[y], 24);
}

TEST_F(ImageFiles, JpegThreeByTwoKeepsEveryPixelInPlace) {
  const Bytes pixels = {250, 250, 250, 5, 5, 5, 250, 250, 250, 5, 5, 5, 250, 250, 250, 5, 5, 5};
  auto image = save("tiny.jpg", encodeJpeg(3, 2, 3, pixels));
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->data.size(), 18u);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) {
      const int v = pixels[(y * 3 + x) * 3];
      expectNear(*image, x, y, {v, v, v}, 40);
    }
}

TEST_F(ImageFiles, GreyJpegBecomesThreeChannels) {
  auto image = save("grey.jpg", encodeJpeg(3, 2, 1, {0, 128, 255, 255, 128, 0}));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->bitsPerPixel, 24);
  ASSERT_EQ(image->data.size(), 18u);
  for (int p = 0; p < 6; ++p) {
    EXPECT_EQ(image->data[p * 3], image->data[p * 3 + 1]);
    EXPECT_EQ(image->data[p * 3], image->data[p * 3 + 2]);
  }
  EXPECT_NEAR(image->data[0], 0, 24);
  EXPECT_NEAR(image->data[2 * 3], 255, 24);
}

TEST_F(ImageFiles, FourChannelJpegIsYcbcrWithAlpha) {
  // Planes Y, Cb, Cr, A: mid grey half transparent, then pure red opaque.
  const Bytes planes = {128, 128, 128, 100, 76, 85, 255, 255};
  auto image = save("ycca.jpg", encodeJpeg(2, 1, 4, planes));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->bitsPerPixel, 32);
  ASSERT_EQ(image->data.size(), 8u);
  const int expected[8] = {128, 128, 128, 100, 255, 0, 0, 255};
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(image->data[i], expected[i], 6) << i;
}

TEST_F(ImageFiles, JpegOfAnotherChannelCountPassesThrough) {
  const Bytes planes = {10, 200, 60, 120, 250, 30};
  auto image = save("two.jpg", encodeJpeg(3, 1, 2, planes));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->bitsPerPixel, 16);
  ASSERT_EQ(image->data.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(image->data[i], planes[i], 6) << i;
}

TEST_F(ImageFiles, BrokenJpegsNeverCrash) {
  const Bytes good = encodeJpeg(16, 16, 3, Bytes(16 * 16 * 3, 90));
  EXPECT_EQ(save("empty.jpg", Bytes{}), nullptr);
  EXPECT_EQ(save("junk.jpg", Bytes(100, 0x42)), nullptr);
  EXPECT_EQ(save("head.jpg", Bytes(good.begin(), good.begin() + 20)), nullptr);
  // Cut inside the scan: the decoder fills what is missing, the picture keeps its size.
  auto cut = save("cut.jpg", Bytes(good.begin(), good.end() - 40));
  if (cut) {
    EXPECT_EQ(cut->data.size(), 16u * 16u * 3u);
  }
}

TEST_F(ImageFiles, AJpegHeaderPromisingFarMorePixelsThanItsBytesCanHoldIsRefused) {
  const Bytes flat = encodeJpeg(16, 16, 3, Bytes(16 * 16 * 3, 90));
  // The frame header (FF C0, length, precision) gives the height, then the width.
  const uint8_t sof[] = {0xFF, 0xC0};
  const size_t at = std::search(flat.begin(), flat.end(), std::begin(sof), std::end(sof)) - flat.begin();
  ASSERT_LT(at + 9, flat.size());
  Bytes huge = flat;
  huge[at + 5] = huge[at + 7] = 0x20;  // 8192 × 8192 from a few hundred bytes
  huge[at + 6] = huge[at + 8] = 0x00;
  EXPECT_EQ(save("huge.jpg", huge), nullptr);
  // The JPEG fuzz target's finding: 477 bytes claiming 1536 × 39680 pixels of four channels.
  std::ifstream in(DE_SOURCE_DIR "/tests/regressions/jpeg/timeout-bb0f643afc0a2e19a3ceee9e1dc54d55c7213c1f",
                   std::ios::binary);
  const Bytes finding{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_EQ(finding.size(), 477u);
  EXPECT_EQ(save("finding.jpg", finding), nullptr);
  // A large flat picture compresses well, yet stays far within what its bytes can hold.
  const Bytes big = encodeJpeg(1024, 1024, 1, Bytes(1024 * 1024, 200), 50);
  auto decoded = save("big.jpg", big);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->width, 1024);
  EXPECT_GT(1024u * 1024u / big.size(), 64u) << big.size();  // over 64 pixels a byte
}

// The scans of a progressive file repeated until it holds `scans` of them.
Bytes withScansRepeated(const Bytes& progressive, int scansInFile, int scans) {
  const uint8_t sos[] = {0xFF, 0xDA};
  const auto first = std::search(progressive.begin(), progressive.end(), std::begin(sos), std::end(sos));
  const auto end = progressive.end() - 2;  // the end-of-image marker
  Bytes out(progressive.begin(), first);
  for (int n = 0; n < scans; n += scansInFile) out.insert(out.end(), first, end);
  out.insert(out.end(), end, progressive.end());
  return out;
}

TEST_F(ImageFiles, ProgressiveJpegDecodesButAFileOfEndlessScansIsRefused) {
  Bytes pixels(16 * 16 * 3);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 7);
  const Bytes progressive = encodeJpeg(16, 16, 3, pixels, 100, true);
  auto baseline = save("baseline.jpg", encodeJpeg(16, 16, 3, pixels));
  auto image = save("progressive.jpg", progressive);
  ASSERT_TRUE(baseline && image);
  EXPECT_EQ(image->data, baseline->data) << "the same coefficients, sent in ten scans";
  // Each scan is a pass over the whole picture: a hundred are read, more are not.
  EXPECT_NE(save("100.jpg", withScansRepeated(progressive, 10, 100)), nullptr);
  EXPECT_EQ(save("110.jpg", withScansRepeated(progressive, 10, 110)), nullptr);
}

// [SECTION] DDS

TEST_F(ImageFiles, DdsFourCCsGiveTheirFormats) {
  auto dxt1 = save("a.dds", makeDds(4, 4, "DXT1", 0, dxt1SolidBlock(0xf800)));
  ASSERT_NE(dxt1, nullptr);
  EXPECT_EQ(dxt1->format, GLenum(GL_COMPRESSED_RGBA_S3TC_DXT1_EXT));
  EXPECT_EQ(dxt1->bitsPerPixel, 24);
  EXPECT_EQ(dxt1->mipCount, 0);
  EXPECT_EQ(dxt1->data, dxt1SolidBlock(0xf800));

  auto dxt3 = save("b.dds", makeDds(4, 4, "DXT3", 0, dxt3SolidBlock(0x07e0, 15)));
  ASSERT_NE(dxt3, nullptr);
  EXPECT_EQ(dxt3->format, GLenum(GL_COMPRESSED_RGBA_S3TC_DXT3_EXT));
  EXPECT_EQ(dxt3->bitsPerPixel, 32);

  auto dxt5 = save("c.DDS", makeDds(4, 4, "DXT5", 0, dxt5SolidBlock(0x001f, 128)));
  ASSERT_NE(dxt5, nullptr);
  EXPECT_EQ(dxt5->format, GLenum(GL_COMPRESSED_RGBA_S3TC_DXT5_EXT));
  EXPECT_EQ(dxt5->bitsPerPixel, 32);
  EXPECT_EQ(dxt5->width, 4);
  EXPECT_EQ(dxt5->height, 4);
}

TEST_F(ImageFiles, DdsMipChainIsReadUpToTwiceTheTopLevel) {
  // 16 × 16 DXT1 with 5 levels: 128 + 32 + 8 + 8 + 8 bytes.
  const Bytes chain = repeat(dxt1SolidBlock(0xffff), 16 + 4 + 1 + 1 + 1);
  auto image = save("mips.dds", makeDds(16, 16, "DXT1", 5, chain));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->mipCount, 5);
  EXPECT_EQ(image->data, chain);

  // Bytes beyond twice the top level are not taken.
  Bytes longer = chain;
  longer.resize(400, 0xee);
  auto capped = save("long.dds", makeDds(16, 16, "DXT1", 5, longer));
  ASSERT_NE(capped, nullptr);
  EXPECT_EQ(capped->data.size(), 256u);

  // One level: exactly the linear size.
  auto single = save("one.dds", makeDds(16, 16, "DXT1", 1, longer));
  ASSERT_NE(single, nullptr);
  EXPECT_EQ(single->data.size(), 128u);
}

TEST_F(ImageFiles, OtherDdsContentsGiveNull) {
  EXPECT_EQ(save("ati.dds", makeDds(4, 4, "ATI2", 0, Bytes(16, 0))), nullptr);
  Bytes notDds = makeDds(4, 4, "DXT1", 0, Bytes(8, 0));
  notDds[3] = 'X';
  EXPECT_EQ(save("magic.dds", notDds), nullptr);
  EXPECT_EQ(save("header.dds", Bytes(notDds.begin(), notDds.begin() + 60)), nullptr);
  EXPECT_EQ(save("nodata.dds", makeDds(4, 4, "DXT1", 0, Bytes{})), nullptr);
  EXPECT_EQ(save("zero.dds", makeDds(0, 0, "DXT1", 0, Bytes(8, 0), 8)), nullptr);
}

TEST_F(ImageFiles, DdsWithALyingLinearSizeReadsOnlyWhatIsThere) {
  auto image = save("lie.dds", makeDds(4, 4, "DXT5", 3, Bytes(16, 1), 0x7fffffff));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->data.size(), 16u);
}

using ImageFilesDeathTest = ImageFiles;

TEST_F(ImageFilesDeathTest, NonSquareDdsStopsTheDemo) {
  writeFile(dir + "wide.dds", makeDds(256, 128, "DXT1", 0, Bytes(256 * 128 / 2, 0)));
  EXPECT_EXIT(load("wide.dds"), testing::ExitedWithCode(1),
              "^(src/)?resources/DDSLoader.cpp:[0-9]+ Non-square compressed images not supported\n$");
}

// [SECTION] RGBE

class RgbeFiles : public ImageFiles {
 protected:
  ImagePtr saveRgbe(const std::string& name, const std::string& header, const Bytes& pixels) {
    Bytes bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
    return save(name, bytes);
  }
  // The loader's stderr line for a file, and that it gave null.
  std::string failure(const std::string& header, const Bytes& pixels) {
    testing::internal::CaptureStderr();
    auto image = saveRgbe("bad.hdr", header, pixels);
    EXPECT_EQ(image, nullptr);
    return testing::internal::GetCapturedStderr();
  }
};

TEST_F(RgbeFiles, FlatPixelsConvertWithTheSharedExponent) {
  // Width 4 is always flat, even though the first bytes look like a run-length start.
  const Bytes pixels = {2, 2, 0, 136, 128, 64, 32, 129, 1, 2, 3, 0, 255, 0, 0, 137};
  auto image = saveRgbe("flat.hdr", rgbeHeader(4, 1), pixels);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 4);
  EXPECT_EQ(image->height, 1);
  EXPECT_EQ(image->bitsPerPixel, 32);
  EXPECT_TRUE(image->data.empty());
  EXPECT_EQ(image->format, floatTextureFormat);
  const std::vector<float> expected = {2, 2, 0, 1, 0.5f, 0.25f, 0, 0, 0, 510, 0, 0};
  EXPECT_EQ(image->floatData, expected);
}

TEST_F(RgbeFiles, RunLengthScanlinesDecode) {
  std::vector<std::array<uint8_t, 4>> row0(10, {128, 0, 0, 129});
  std::vector<std::array<uint8_t, 4>> row1;
  for (int x = 0; x < 10; ++x) row1.push_back({uint8_t(x * 16), 64, uint8_t(255 - x), 128});
  Bytes pixels = rgbeRleScanline(row0);
  const Bytes second = rgbeRleScanline(row1);
  pixels.insert(pixels.end(), second.begin(), second.end());
  auto image = saveRgbe("rle.hdr", rgbeHeader(10, 2), pixels);
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->floatData.size(), 60u);
  for (int x = 0; x < 10; ++x) {
    EXPECT_FLOAT_EQ(image->floatData[x * 3], 1.0f);
    EXPECT_FLOAT_EQ(image->floatData[x * 3 + 1], 0.0f);
    EXPECT_FLOAT_EQ(image->floatData[30 + x * 3], x * 16 / 256.0f);
    EXPECT_FLOAT_EQ(image->floatData[30 + x * 3 + 1], 0.25f);
    EXPECT_FLOAT_EQ(image->floatData[30 + x * 3 + 2], (255 - x) / 256.0f);
  }
}

TEST_F(RgbeFiles, LiteralOf128BytesIsAccepted) {
  std::vector<std::array<uint8_t, 4>> row;
  for (int x = 0; x < 128; ++x) row.push_back({uint8_t(x), uint8_t(x + 1), 7, 136});
  // Plane 0 and 1: one literal of 128; planes 2 and 3: runs.
  Bytes pixels = {2, 2, 0, 128, 128};
  for (int x = 0; x < 128; ++x) pixels.push_back(uint8_t(x));
  pixels.push_back(128);
  for (int x = 0; x < 128; ++x) pixels.push_back(uint8_t(x + 1));
  for (const uint8_t value : {uint8_t(7), uint8_t(136)}) {
    pixels.push_back(128 + 127);
    pixels.push_back(value);
    pixels.push_back(128 + 1);
    pixels.push_back(value);
  }
  auto image = saveRgbe("lit.hdr", rgbeHeader(128, 1), pixels);
  ASSERT_NE(image, nullptr);
  EXPECT_FLOAT_EQ(image->floatData[127 * 3], 127.0f);
  EXPECT_FLOAT_EQ(image->floatData[127 * 3 + 1], 128.0f);
  EXPECT_FLOAT_EQ(image->floatData[127 * 3 + 2], 7.0f);
}

TEST_F(RgbeFiles, ScanlineThatDoesNotStartWithTwoTwoMeansAFlatFile) {
  Bytes pixels;
  for (int i = 0; i < 8 * 2; ++i) {
    const Bytes p = {uint8_t(i), 0, 0, 136};
    pixels.insert(pixels.end(), p.begin(), p.end());
  }
  auto image = saveRgbe("flat8.hdr", rgbeHeader(8, 2), pixels);
  ASSERT_NE(image, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_FLOAT_EQ(image->floatData[i * 3], float(i));
}

TEST_F(RgbeFiles, HeaderWithoutMagicOrWithGammaAndExposureIsRead) {
  const std::string header = "GAMMA=2.2\nEXPOSURE=0.5\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 1\n";
  auto image = saveRgbe("nomagic.hdr", header, {64, 64, 64, 129});
  ASSERT_NE(image, nullptr);
  EXPECT_FLOAT_EQ(image->floatData[0], 0.5f);
}

TEST_F(RgbeFiles, BackslashPathsOpenWithSlashes) {
  ASSERT_EQ(::mkdir((dir + "data").c_str(), 0755), 0);
  writeFile(dir + "data/probe.hdr", rgbeHeader(1, 1) + std::string("\x80\x80\x80\x81", 4));
  ImagePtr image(loadImage("data\\probe.hdr", dir.c_str()));
  ASSERT_NE(image, nullptr);
  EXPECT_FLOAT_EQ(image->floatData[0], 1.0f);
}

TEST_F(RgbeFiles, HeaderFaultsHaveTheirMessages) {
  EXPECT_EQ(failure("#?RADIANCE\n\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 1\n", Bytes(4, 0)),
            "RGBE bad file format: no FORMAT specifier found\n");
  // A header that ends before any FORMAT line has no FORMAT line, whether a blank line or
  // the end of the file ends it.
  EXPECT_EQ(failure("#?RADIANCE\nGAMMA=1\n", {}), "RGBE bad file format: no FORMAT specifier found\n");
  EXPECT_EQ(failure("#?RADIANCE\n", {}), "RGBE bad file format: no FORMAT specifier found\n");
  EXPECT_EQ(failure("", {}), "RGBE bad file format: no FORMAT specifier found\n");
  EXPECT_EQ(failure("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n", {}), "RGBE read error\n");
  EXPECT_EQ(failure("#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n-Y 1 +X 1\n", Bytes(4, 0)),
            "RGBE bad file format: no FORMAT specifier found\n");
  EXPECT_EQ(failure("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 0 +X 4\n", Bytes(4, 0)),
            "RGBE bad file format: invalid image size\n");
}

TEST_F(RgbeFiles, DataFaultsHaveTheirMessages) {
  EXPECT_EQ(failure(rgbeHeader(4, 2), Bytes(4 * 7, 1)), "RGBE read error\n");
  EXPECT_EQ(failure(rgbeHeader(16, 1), {2, 2, 0, 15, 128 + 16, 0}),
            "RGBE bad file format: wrong scanline width\n");
  // A run past the end of the plane.
  EXPECT_EQ(failure(rgbeHeader(16, 1), {2, 2, 0, 16, 128 + 17, 0}),
            "RGBE bad file format: bad scanline data\n");
  // A zero count.
  EXPECT_EQ(failure(rgbeHeader(16, 1), {2, 2, 0, 16, 0, 0}),
            "RGBE bad file format: bad scanline data\n");
  // A literal past the end of the plane.
  Bytes literal = {2, 2, 0, 16, 17};
  literal.resize(literal.size() + 17 + 64, 1);
  EXPECT_EQ(failure(rgbeHeader(16, 1), literal), "RGBE bad file format: bad scanline data\n");
  // Run-length data that stops in the middle.
  EXPECT_EQ(failure(rgbeHeader(16, 1), {2, 2, 0, 16, 128 + 16, 5, 128 + 16}), "RGBE read error\n");
}

TEST_F(RgbeFiles, HugeSizeWithoutTheDataIsAReadErrorNotAnAllocation) {
  EXPECT_EQ(failure(rgbeHeader(30000, 30000), Bytes(64, 2)), "RGBE read error\n");
}

TEST(RgbeStream, ReadsFromAnyStdioStream) {
  const std::string text = rgbeHeader(2, 1) + std::string("\x80\x00\x00\x81\x00\x80\x00\x81", 8);
  FILE* stream = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
  ASSERT_NE(stream, nullptr);
  ImagePtr image(readRgbe(stream));
  std::fclose(stream);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->floatData, (std::vector<float>{1, 0, 0, 0, 1, 0}));
}

// [SECTION] Scaling and expansion

TEST(ScaleImage, ThreeByTwoToFourByFourRepeatsColumnsAndRows) {
  Image image;
  image.width = 3;
  image.height = 2;
  image.bitsPerPixel = 24;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) image.data.insert(image.data.end(), {uint8_t(x), uint8_t(y), 9});
  ASSERT_EQ(scaleImage(4, 4, &image), 0);
  EXPECT_EQ(image.width, 4);
  EXPECT_EQ(image.height, 4);
  ASSERT_EQ(image.data.size(), 48u);
  const int columns[4] = {0, 0, 1, 2};
  const int rows[4] = {0, 0, 1, 1};
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(image.data[(y * 4 + x) * 3], columns[x]) << x << "," << y;
      EXPECT_EQ(image.data[(y * 4 + x) * 3 + 1], rows[y]) << x << "," << y;
    }
}

TEST(ScaleImage, ShrinksAndScalesFloatPictures) {
  Image image;
  image.width = 4;
  image.height = 1;
  image.bitsPerPixel = 32;
  image.floatData = {0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3};
  ASSERT_EQ(scaleImage(2, 2, &image), 0);
  EXPECT_EQ(image.floatData, (std::vector<float>{0, 0, 0, 2, 2, 2, 0, 0, 0, 2, 2, 2}));
}

TEST(ScaleImage, NullIsReportedAndRefused) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(scaleImage(4, 4, nullptr), 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("no image to scale\n"), std::string::npos);
}

TEST(ExpandTo32Bits, EveryPixelBecomesOpaque) {
  Image image;
  image.width = 4;
  image.height = 4;
  image.bitsPerPixel = 24;
  for (int p = 0; p < 16; ++p) image.data.insert(image.data.end(), {uint8_t(p), 1, 2});
  expandTo32Bits(&image);
  EXPECT_EQ(image.bitsPerPixel, 32);
  ASSERT_EQ(image.data.size(), 64u);
  for (int p = 0; p < 16; ++p) {
    EXPECT_EQ(image.data[p * 4], p);
    EXPECT_EQ(image.data[p * 4 + 1], 1);
    EXPECT_EQ(image.data[p * 4 + 2], 2);
    EXPECT_EQ(image.data[p * 4 + 3], 255);
  }
}

TEST(ExpandTo32BitsDeathTest, OtherDepthsStopTheDemo) {
  Image grey;
  grey.width = grey.height = 1;
  grey.bitsPerPixel = 8;
  grey.data = {5};
  EXPECT_EXIT(expandTo32Bits(&grey), testing::ExitedWithCode(1),
              "^(src/)?resources/ImageLibrary.cpp:[0-9]+ Image has unsupported bit depth\n$");
}

}  // namespace
