#include "launcher/VelkorLauncher.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "demoSystem/DemoClock.h"
#include "launcher/DemoStartup.h"
#include "launcher/FrameCapture.h"
#include "launcher/FrameLoop.h"
#include "launcher/LauncherState.h"
#include "resources/ImageWriters.h"
#include "resources/Texture.h"

namespace {

using platform::Key;

void pressKey(Key key) { platform::postKey(key, true); }

class LauncherWindow : public testing::Test {
 protected:
  void SetUp() override {
    quitRequested = reloadRequested = paused = shiftHeld = statsOverlay = false;
    musicEnabled = false;
    inputEnabled = true;
    seekStep = 10.0f;
    ASSERT_TRUE(window.create(kDemoWindowTitle, 160, 120, 32, false, windowProc, 0, nullptr));
    platform::flushMessages();
  }
  void TearDown() override { window.destroy(); }

  LoopExit run() {
    return runFrames(window, [this](uint32_t) { ++rendered; });
  }

  VelkorWindow window;
  int rendered = 0;
};

TEST_F(LauncherWindow, QueuedQuitEndsTheLoopBeforeAnotherFrame) {
  platform::postQuit();
  EXPECT_EQ(run(), LoopExit::Quit);
  EXPECT_EQ(rendered, 0);
  EXPECT_TRUE(quitRequested);
}

TEST_F(LauncherWindow, ClosingTheWindowQueuesAQuitThatEndsTheNextFrame) {
  platform::postWindowClose();
  EXPECT_EQ(run(), LoopExit::Quit);
  EXPECT_EQ(rendered, 1);
}

TEST_F(LauncherWindow, EscapeQuitsAfterTheFrameItArrivedIn) {
  pressKey(Key::Escape);
  EXPECT_EQ(run(), LoopExit::Quit);
  EXPECT_EQ(rendered, 1);
}

TEST_F(LauncherWindow, SpaceLeavesForAReloadAfterOneFrame) {
  pressKey(Key::Space);
  EXPECT_EQ(run(), LoopExit::Reload);
  EXPECT_EQ(rendered, 1);
  EXPECT_FALSE(reloadRequested);
}

TEST_F(LauncherWindow, OneMessageIsHandledPerFrame) {
  pressKey(Key::F2);
  pressKey(Key::F2);
  pressKey(Key::F2);
  pressKey(Key::Escape);
  std::vector<bool> overlayPerFrame;
  runFrames(window, [&](uint32_t) { overlayPerFrame.push_back(statsOverlay); });
  EXPECT_EQ(overlayPerFrame, (std::vector<bool>{true, false, true, true}));
}

TEST_F(LauncherWindow, KeypadEnterAndReturnBothClearTheSeeking) {
  demoClock.clearSeek();
  demoClock.setBaseOffset(100000);
  pressKey(Key::Right);
  pressKey(Key::Enter);
  pressKey(Key::Right);
  pressKey(Key::Enter);
  pressKey(Key::Escape);
  std::vector<int64_t> seeks;
  runFrames(window, [&](uint32_t) { seeks.push_back(demoClock.seekOffset()); });
  EXPECT_EQ(seeks, (std::vector<int64_t>{10, 0, 11, 0, 0}));
  demoClock.setBaseOffset(0);
}

TEST_F(LauncherWindow, InputBeforeTheFirstLoadIsIgnored) {
  inputEnabled = false;
  pressKey(Key::F2);
  pressKey(Key::Escape);
  int frames = 0;
  runFrames(window, [&](uint32_t) {
    if (++frames == 3) quitRequested = true;
  });
  EXPECT_FALSE(statsOverlay);
  EXPECT_EQ(frames, 3);
}

TEST_F(LauncherWindow, RequiredExtensionsAndUnitsAreThereOnThisDriver) {
  queryGlCaps();
  EXPECT_GE(glCaps.maxTextureUnits, 3);
  EXPECT_GE(glCaps.maxTextureSize, 1024);
  EXPECT_EQ(maxTextureSize, glCaps.maxTextureSize);
  EXPECT_GT(glCaps.maxVertexProgramInstructions, 0);
  EXPECT_GT(glCaps.maxFragmentProgramInstructions, 0);
  checkExtensions();  // returns: nothing is missing
  chooseFloatTextureFormat();
  EXPECT_EQ(floatTextureFormat, static_cast<GLenum>(hasGlExtension("ARB_texture_float") ? GL_RGB16F_ARB
                                                                                      : GL_FLOAT_RGB16_NV));
}

TEST(FloatTextureFormat, NvFormatWithoutArbTextureFloat) {
  chooseFloatTextureFormat([](const char*) { return false; });
  EXPECT_EQ(floatTextureFormat, static_cast<GLenum>(GL_FLOAT_RGB16_NV));
  chooseFloatTextureFormat([](const char* name) { return std::string(name) == "ARB_texture_float"; });
  EXPECT_EQ(floatTextureFormat, static_cast<GLenum>(GL_RGB16F_ARB));
}

TEST(CheckExtensions, TheFirstMissingExtensionIsFatalByName) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  glCaps.maxTextureUnits = 8;
  EXPECT_EXIT(checkExtensions([](const char* name) { return std::string(name) != "ARB_shadow"; }),
              testing::ExitedWithCode(1),
              "^(src/)?launcher/DemoStartup\\.cpp:[0-9]+ Extension not supported: ARB_shadow\n$");
  EXPECT_EXIT(checkExtensions([](const char*) { return false; }), testing::ExitedWithCode(1),
              "^(src/)?launcher/DemoStartup\\.cpp:[0-9]+ Extension not supported: EXT_framebuffer_object\n$");
  // The window-system extensions are never asked for.
  EXPECT_EXIT(
      {
        checkExtensions([](const char* name) { return std::strncmp(name, "WGL_", 4) != 0; });
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST(CheckExtensions, FewerThanThreeTextureUnitsIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  glCaps.maxTextureUnits = 2;
  EXPECT_EXIT(checkExtensions([](const char*) { return true; }), testing::ExitedWithCode(1),
              "^(src/)?launcher/DemoStartup\\.cpp:[0-9]+ Minimum 3 texture units are required\n$");
}

class LoadingScreen : public LauncherWindow {
 protected:
  void SetUp() override {
    LauncherWindow::SetUp();
    previous = std::filesystem::current_path();
    directory = testimages::makeTempDir();
    std::filesystem::current_path(directory);
  }
  void TearDown() override {
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(directory);
    LauncherWindow::TearDown();
  }
  std::array<uint8_t, 3> pixel(int x, int y) {
    std::array<uint8_t, 3> p{};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, p.data());
    return p;
  }
  std::filesystem::path previous;
  std::string directory;
};

TEST_F(LoadingScreen, AMissingPictureLeavesAQuadInTheCurrentColour) {
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glColor3ub(51, 102, 153);
  drawLoadingScreen();
  EXPECT_EQ(pixel(80, 60), (std::array<uint8_t, 3>{51, 102, 153}));
  EXPECT_EQ(pixel(0, 0), (std::array<uint8_t, 3>{51, 102, 153}));
  EXPECT_EQ(pixel(159, 119), (std::array<uint8_t, 3>{51, 102, 153}));
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(LoadingScreen, ThePictureCoversTheWindowTopRowAtTheTop) {
  // 64 × 64: the upper half red, the lower half blue.
  testimages::Bytes rgb(64 * 64 * 3);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) {
      uint8_t* p = &rgb[(y * 64 + x) * 3];
      p[0] = y < 32 ? 255 : 0;
      p[2] = y < 32 ? 0 : 255;
    }
  std::filesystem::create_directories("data/images");
  testimages::writeFile("data/images/loading1024.jpg", testimages::encodeJpeg(64, 64, 3, rgb));
  glColor3ub(255, 255, 255);
  drawLoadingScreen();
  const auto top = pixel(80, 110);     // GL rows count from the bottom
  const auto bottom = pixel(80, 10);
  EXPECT_GT(top[0], 200);
  EXPECT_LT(top[2], 60);
  EXPECT_LT(bottom[0], 60);
  EXPECT_GT(bottom[2], 200);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

// [SECTION] capture

TEST(CaptureFrames, TimesAndCountFollowTheFrameRate) {
  EXPECT_EQ(captureFrameCount(0, 2000, 25), 51);
  EXPECT_EQ(captureFrameCount(0, 0, 60), 1);
  EXPECT_EQ(captureFrameCount(1000, 999, 60), 0);
  EXPECT_EQ(captureFrameCount(0, 1000, 60), 61);
  EXPECT_EQ(captureFrameTime(0, 60, 1), 16u);
  EXPECT_EQ(captureFrameTime(0, 60, 2), 33u);
  EXPECT_EQ(captureFrameTime(500, 25, 50), 2500u);
  EXPECT_EQ(captureFileName(0), "frame_000000.png");
  EXPECT_EQ(captureFileName(123456), "frame_123456.png");
}

struct PngInfo {
  bool ok = false;
  png_uint_32 width = 0, height = 0;
  int colourType = -1;
  std::vector<uint8_t> rgb;  // top row first
};

PngInfo readPng(const std::string& path) {
  PngInfo info;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return info;
  image.format = PNG_FORMAT_RGB;
  info.rgb.resize(PNG_IMAGE_SIZE(image));
  info.width = image.width;
  info.height = image.height;
  info.colourType = image.format;
  info.ok = png_image_finish_read(&image, nullptr, info.rgb.data(), 0, nullptr) != 0;
  return info;
}

TEST_F(LauncherWindow, CaptureWritesNumberedPngsOfTheBackBuffer) {
  const std::string directory = testimages::makeTempDir() + "frames";
  FrameCapture capture;
  std::string error;
  ASSERT_TRUE(capture.openDirectory(directory, &error)) << error;
  for (int i = 0; i < 3; ++i) {
    glClearColor(i / 2.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);  // a green top row tells the orientation
    glScissor(0, 119, 160, 1);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    ASSERT_TRUE(capture.writeFrame(160, 120, &error)) << error;
    window.swapBuffers();
  }
  // The frames are read a frame or two behind and written on another thread: all of them are
  // on disk once the capture is closed.
  ASSERT_TRUE(capture.close(&error)) << error;
  EXPECT_EQ(capture.framesWritten(), 3);
  for (int i = 0; i < 3; ++i) {
    const PngInfo png = readPng(directory + "/" + captureFileName(i));
    ASSERT_TRUE(png.ok) << i;
    EXPECT_EQ(png.width, 160u);
    EXPECT_EQ(png.height, 120u);
    EXPECT_EQ(png.rgb[1], 255);  // top-left is the green row
    const uint8_t* below = &png.rgb[(60 * 160 + 80) * 3];
    EXPECT_NEAR(below[0], i * 255 / 2, 1);
    EXPECT_EQ(below[1], 0);
    EXPECT_EQ(below[2], 255);
  }
  EXPECT_FALSE(std::filesystem::exists(directory + "/" + captureFileName(3)));
  std::filesystem::remove_all(std::filesystem::path(directory).parent_path());
}

TEST(FrameCaptureDirectory, AnUncreatableDirectoryIsRefusedWithAReason) {
  FrameCapture capture;
  std::string error;
  EXPECT_FALSE(capture.openDirectory("/proc/no-such-place/frames", &error));
  EXPECT_NE(error.find("/proc/no-such-place/frames"), std::string::npos);
}

}  // namespace
