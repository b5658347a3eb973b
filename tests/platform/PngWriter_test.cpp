#include "platform/Capture/PngWriter.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
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

TEST(PngWriter, RefusesWhatItCannotWriteAndSaysWhy) {
  const uint8_t pixel[3] = {1, 2, 3};
  std::string error;
  EXPECT_FALSE(platform::writePngRgb("/nonexistent-dir/x.png", 1, 1, pixel, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(platform::writePngRgb(tempPath("b.png"), 0, 1, pixel, &error));
  EXPECT_FALSE(platform::writePngRgb(tempPath("c.png"), 1, 1, nullptr, &error));
}

}  // namespace
