#include "launcher/LaunchSettings.h"

#include <gtest/gtest.h>

namespace {

TEST(ResolutionText, ListedTextsGiveTheirSize) {
  EXPECT_EQ(resolutionFromText("640x480").width, 640);
  EXPECT_EQ(resolutionFromText("640x480").height, 480);
  EXPECT_EQ(resolutionFromText("800x600").width, 800);
  EXPECT_EQ(resolutionFromText("800x600").height, 600);
  EXPECT_EQ(resolutionFromText("1024x768").width, 1024);
  EXPECT_EQ(resolutionFromText("1024x768").height, 768);
  EXPECT_EQ(resolutionFromText("1280x1024").width, 1280);
  EXPECT_EQ(resolutionFromText("1280x1024").height, 1024);
}

TEST(ResolutionText, AnyOtherTextGives800x600) {
  for (const char* text : {"1920x1080", "", "640X480", " 640x480", "1024x768 ", "banana"}) {
    const Resolution r = resolutionFromText(text);
    EXPECT_EQ(r.width, 800) << text;
    EXPECT_EQ(r.height, 600) << text;
  }
}

TEST(FsaaText, ListedTextsGiveTheirSampleCount) {
  EXPECT_EQ(fsaaFromText("No FSAA"), 0);
  EXPECT_EQ(fsaaFromText("2X FSAA"), 2);
  EXPECT_EQ(fsaaFromText("4X FSAA"), 4);
  EXPECT_EQ(fsaaFromText("6X FSAA"), 6);
  EXPECT_EQ(fsaaFromText("8X FSAA"), 8);
}

TEST(FsaaText, AnyOtherTextGivesNoFsaa) {
  for (const char* text : {"", "16X FSAA", "4x fsaa", "4", "3X FSAA"}) EXPECT_EQ(fsaaFromText(text), 0) << text;
}

TEST(DialogSettings, UntouchedDialogStarts800x600WindowedWithMusicWithoutFsaa) {
  const LaunchSettings s = settingsFromDialog("800x600", "No FSAA", false, true);
  EXPECT_EQ(s.width, 800);
  EXPECT_EQ(s.height, 600);
  EXPECT_EQ(s.fsaa, 0);
  EXPECT_FALSE(s.fullscreen);
  EXPECT_TRUE(s.music);
}

TEST(DialogSettings, ChoicesCarryThrough) {
  const LaunchSettings s = settingsFromDialog("1280x1024", "4X FSAA", true, false);
  EXPECT_EQ(s.width, 1280);
  EXPECT_EQ(s.height, 1024);
  EXPECT_EQ(s.fsaa, 4);
  EXPECT_TRUE(s.fullscreen);
  EXPECT_FALSE(s.music);
}

}  // namespace
