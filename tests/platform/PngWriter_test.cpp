#include "platform/Capture/PngWriter.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace {

std::string tempPath(const char* name) {
  static TempDir dir("de_png");
  return dir.file(name);
}

TEST(PngWriter, WritesRgbTopRowFirst) {
  // 3 × 2, bottom row first as GL reads: bottom row red, top row blue.
  const std::vector<uint8_t> rgb = {255, 0, 0, 255, 0, 0, 255, 0, 0,   // bottom
                                    0, 0, 255, 0, 0, 255, 0, 0, 255};  // top
  const std::string path = tempPath("a.png");
  std::string error;
  ASSERT_TRUE(platform::writePngRgb(path, 3, 2, rgb.data(), &error)) << error;

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
  EXPECT_EQ(image.width, 3u);
  EXPECT_EQ(image.height, 2u);
  EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, 0u);
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> back(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
  EXPECT_EQ(back[2], 255);  // first row in the file: blue
  EXPECT_EQ(back[0], 0);
  EXPECT_EQ(back[9], 255);  // second row: red
  unlink(path.c_str());
}

// Decoded by libpng, top row first.
std::vector<uint8_t> decode(const uint8_t* file, size_t size, int* width, int* height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file, size)) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  *width = static_cast<int>(image.width);
  *height = static_cast<int>(image.height);
  return rgb;
}

// Frames with what drawn frames have (flat areas, gradients, noise) and what stresses the
// "up" filter (each row's bytes wrapping round against the row above), at sizes down to one
// pixel: each decodes to exactly the pixels given, flipped to top row first. One encoder
// serves them all, as a capture's does.
TEST(PngWriter, EveryFrameDecodesToExactlyItsPixels) {
  struct Case {
    int width, height;
    const char* content;
  };
  const Case cases[] = {{1, 1, "noise"}, {1, 7, "gradient"}, {7, 1, "noise"}, {37, 5, "wrap"},
                        {800, 600, "gradient"}, {800, 600, "noise"}, {64, 64, "flat"}, {800, 600, "wrap"}};
  platform::PngEncoder encoder;
  uint32_t seed = 7;
  for (const Case& c : cases) {
    const size_t stride = static_cast<size_t>(c.width) * 3;
    std::vector<uint8_t> rgb(stride * c.height);
    for (int y = 0; y < c.height; ++y)
      for (size_t x = 0; x < stride; ++x) {
        seed = seed * 1664525u + 1013904223u;
        uint8_t& byte = rgb[y * stride + x];
        const std::string content = c.content;
        if (content == "noise") byte = static_cast<uint8_t>(seed >> 24);
        else if (content == "gradient") byte = static_cast<uint8_t>(x * 255 / stride + y);
        else if (content == "wrap") byte = static_cast<uint8_t>(y % 2 ? 250 + x % 6 : x % 5);
        else byte = 90;
      }
    ASSERT_TRUE(encoder.encode(c.width, c.height, rgb.data())) << c.width << "x" << c.height;
    int width = 0, height = 0;
    const std::vector<uint8_t> back = decode(encoder.data(), encoder.size(), &width, &height);
    ASSERT_EQ(width, c.width) << c.content;
    ASSERT_EQ(height, c.height) << c.content;
    for (int y = 0; y < c.height; ++y)
      ASSERT_EQ(0, std::memcmp(&back[y * stride], &rgb[(c.height - 1 - y) * stride], stride))
          << c.width << "x" << c.height << " " << c.content << ", row " << y;
  }
}

TEST(PngWriter, RefusesWhatItCannotWriteAndSaysWhy) {
  const uint8_t pixel[3] = {1, 2, 3};
  std::string error;
  EXPECT_FALSE(platform::writePngRgb("/nonexistent-dir/x.png", 1, 1, pixel, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(platform::writePngRgb(tempPath("b.png"), 0, 1, pixel, &error));
  EXPECT_FALSE(platform::writePngRgb(tempPath("c.png"), 1, 1, nullptr, &error));
}

}  // namespace
