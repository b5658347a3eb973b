#include "resources/ImagePrefetch.h"

#include <gtest/gtest.h>

#include <memory>

#include "resources/ImageLibrary.h"
#include "resources/ImageWriters.h"
#include "support/TempDir.h"

namespace {

using namespace testimages;
using ImagePtr = std::unique_ptr<Image>;

// Pictures named relative to the working directory, as a demo names them.
class ImagePrefetchTest : public testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 6; ++i) {
      const uint8_t v = static_cast<uint8_t>(40 * i);
      const Bytes png = encodePng(3, 2, PNG_COLOR_TYPE_RGB, 8, Bytes(18, v));
      work.write("p" + std::to_string(i) + ".png", std::string(png.begin(), png.end()));
    }
    work.write("broken.png", "\x89PNG\r\n\x1a\n but nothing after the signature");
  }
  void TearDown() override { endImagePrefetch(); }
  WorkingDirectory work{"image_prefetch"};
};

TEST_F(ImagePrefetchTest, PicturesReadAheadEqualThoseDecodedOnRequestAndBrokenOnesStayNull) {
  startImagePrefetch({"p0.png", "p1.png", "p2.png", "p3.png", "p4.png", "p5.png", "broken.png",
                      "missing.jpg", "probe.hdr"}, decodeImageFile);
  for (int i = 5; i >= 0; --i) {  // out of order: some taken finished, some withdrawn
    const std::string name = "p" + std::to_string(i) + ".png";
    ImagePtr early(loadImage(name.c_str(), ""));
    ImagePtr direct(decodeImageFile(name.c_str(), ""));
    ASSERT_NE(early, nullptr) << name;
    EXPECT_EQ(early->width, 3);
    EXPECT_EQ(early->data, direct->data) << name;
  }
  EXPECT_EQ(loadImage("broken.png", ""), nullptr);
  EXPECT_EQ(loadImage("missing.jpg", ""), nullptr);
  Image* unused = nullptr;
  EXPECT_FALSE(takePrefetchedImage("probe.hdr", &unused));  // other kinds are not read ahead
  EXPECT_FALSE(takePrefetchedImage("p0.png", &unused));     // each picture is handed out once
}

TEST_F(ImagePrefetchTest, EndingTheReadAheadDropsWhatNobodyTook) {
  startImagePrefetch({"p0.png", "p1.png"}, decodeImageFile);
  endImagePrefetch();
  Image* image = nullptr;
  EXPECT_FALSE(takePrefetchedImage("p0.png", &image));
  ImagePtr onRequest(loadImage("p1.png", ""));
  EXPECT_NE(onRequest, nullptr);
}

}  // namespace
