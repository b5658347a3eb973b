#include "base/VelkorWindow.h"

#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

int procCalls = 0;
MessageResult countingProc(VelkorWindow*, const platform::WindowMessage&) {
  ++procCalls;
  return MessageResult::Handled;
}

std::string renderer() {
  const auto* text = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  return text ? text : "";
}

class VelkorWindowTest : public testing::Test {
 protected:
  void TearDown() override { VelkorWindow::displayModeQuery = defaultQuery; }
  VelkorWindow::DisplayModeQuery defaultQuery = VelkorWindow::displayModeQuery;

  void SetUp() override {
    for (int i = 0; i < 4; ++i) {
      multisampleFormats[i] = -1;
      fsaaSupported[i] = false;
    }
    fsaaMode = 0;
  }
};

TEST_F(VelkorWindowTest, SlotsOfTheFsaaModes) {
  EXPECT_EQ(fsaaSlot(2), 0);
  EXPECT_EQ(fsaaSlot(4), 1);
  EXPECT_EQ(fsaaSlot(6), 2);
  EXPECT_EQ(fsaaSlot(8), 3);
  EXPECT_EQ(fsaaSlot(0), -1);
  EXPECT_EQ(fsaaSlot(3), -1);
}

TEST_F(VelkorWindowTest, ProbeFillsTheTablesAndTearsDown) {
  VelkorWindow probe;
  probe.createProbe(640, 480, 32, countingProc);
  EXPECT_TRUE(extensionsLoaded);
  EXPECT_EQ(probe.handle(), nullptr);
  EXPECT_EQ(probe.glContext(), nullptr);
  EXPECT_EQ(probe.className(), nullptr);
  EXPECT_TRUE(platform::isCurrent(nullptr));  // no context is left current
  EXPECT_FALSE(platform::videoStarted());
  const int samples[4] = {2, 4, 6, 8};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(multisampleFormats[i], fsaaSupported[i] ? samples[i] : -1) << samples[i];
}

TEST_F(VelkorWindowTest, ProbeOnLlvmpipeOffers2And4But6And8AreRefused) {
  VelkorWindow probe;
  probe.createProbe(640, 480, 32, countingProc);
  VelkorWindow window;
  ASSERT_TRUE(window.create("Drellwick - Ombra", 64, 64, 32, false, countingProc, 0, nullptr));
  if (renderer().find("llvmpipe") == std::string::npos) GTEST_SKIP() << "not llvmpipe: " << renderer();
  EXPECT_TRUE(fsaaSupported[0]);
  EXPECT_TRUE(fsaaSupported[1]);
  EXPECT_FALSE(fsaaSupported[2]);
  EXPECT_FALSE(fsaaSupported[3]);
}

TEST_F(VelkorWindowTest, CreateOpensTheTitledWindowWithACurrentContext) {
  VelkorWindow window;
  ASSERT_TRUE(window.create("Drellwick - Ombra", 800, 600, 32, false, countingProc, 0, nullptr));
  ASSERT_NE(window.handle(), nullptr);
  const platform::WindowState state = platform::windowState(window.handle());
  EXPECT_EQ(state.title, "Drellwick - Ombra");
  EXPECT_EQ(state.width, 800);
  EXPECT_EQ(state.height, 600);
  EXPECT_FALSE(window.isFullscreen());
  EXPECT_TRUE(platform::isCurrent(window.glContext()));
  EXPECT_TRUE(state.shown);

  GLint depth = 0, stencil = 0, samples = -1;
  glGetIntegerv(GL_DEPTH_BITS, &depth);
  glGetIntegerv(GL_STENCIL_BITS, &stencil);
  glGetIntegerv(GL_SAMPLES, &samples);
  EXPECT_GE(depth, 24);
  EXPECT_GE(stencil, 8);
  EXPECT_EQ(samples, 0);
  EXPECT_EQ(fsaaMode, 0);
  // A compatibility context: fixed-function state is there to be used.
  EXPECT_TRUE(epoxy_is_desktop_gl());
  EXPECT_GE(epoxy_gl_version(), 20);
  glMatrixMode(GL_PROJECTION);
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  glClearColor(1.0f, 0.5f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  unsigned char pixel[4] = {};
  glReadPixels(400, 300, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  EXPECT_EQ(pixel[0], 255);
  EXPECT_NEAR(pixel[1], 128, 1);
  EXPECT_EQ(pixel[2], 0);
  window.swapBuffers();
}

TEST_F(VelkorWindowTest, DestroyReleasesEverythingAndMayBeRepeated) {
  VelkorWindow window;
  ASSERT_TRUE(window.create("Drellwick - Ombra", 320, 200, 32, false, countingProc, 0, nullptr));
  window.destroy();
  EXPECT_EQ(window.handle(), nullptr);
  EXPECT_EQ(window.glContext(), nullptr);
  EXPECT_EQ(window.className(), nullptr);
  EXPECT_TRUE(platform::isCurrent(nullptr));  // no context is left current
  EXPECT_FALSE(platform::videoStarted());
  window.destroy();
  VelkorWindow never;
  never.destroy();
  EXPECT_EQ(never.handle(), nullptr);
}

TEST_F(VelkorWindowTest, DispatchHandsMessagesToTheWindowProcedure) {
  VelkorWindow window;
  ASSERT_TRUE(window.create("Drellwick - Ombra", 64, 64, 32, false, countingProc, 0, nullptr));
  procCalls = 0;
  EXPECT_EQ(window.dispatch({platform::MessageType::KeyDown, platform::Key::Escape}), MessageResult::Handled);
  EXPECT_EQ(procCalls, 1);
}

TEST_F(VelkorWindowTest, ASupportedFsaaModeGivesAMultisampledContext) {
  VelkorWindow probe;
  probe.createProbe(640, 480, 32, countingProc);
  if (!fsaaSupported[1]) GTEST_SKIP() << "driver offers no 4x multisampling";
  VelkorWindow window;
  ASSERT_TRUE(window.create("Drellwick - Ombra", 128, 128, 32, false, countingProc, 4, nullptr));
  GLint samples = 0;
  glGetIntegerv(GL_SAMPLES, &samples);
  EXPECT_GE(samples, 4);
  EXPECT_EQ(fsaaMode, 4);
}

TEST_F(VelkorWindowTest, AModeTheProbeDidNotFindFallsBackToAnOrdinaryFormat) {
  VelkorWindow window;  // tables all -1, as on a driver without multisampling
  ASSERT_TRUE(window.create("Drellwick - Ombra", 128, 128, 32, false, countingProc, 8, nullptr));
  GLint samples = -1;
  glGetIntegerv(GL_SAMPLES, &samples);
  EXPECT_EQ(samples, 0);
  EXPECT_EQ(fsaaMode, 8);
}

TEST_F(VelkorWindowTest, FullscreenAtAnOfferedModeIsFullscreen) {
  ASSERT_TRUE(platform::startVideo());
  const platform::DisplayMode desktop = platform::desktopDisplayMode();
  {
    VelkorWindow window;
    ASSERT_TRUE(window.create("Drellwick - Ombra", desktop.width, desktop.height, 32, true, countingProc, 0, nullptr));
    EXPECT_TRUE(window.isFullscreen());
    EXPECT_TRUE(platform::windowState(window.handle()).fullscreen);
    window.destroy();
  }
  const platform::DisplayMode after = platform::currentDisplayMode();
  EXPECT_EQ(after.width, desktop.width);
  EXPECT_EQ(after.height, desktop.height);
  platform::stopVideo();
}

TEST_F(VelkorWindowTest, RefusedFullscreenRunsBorderlessAtTheOriginWithoutModeChange) {
  // The offscreen driver takes any size, so the screen here offers no mode at all; headless,
  // the question answers itself with "run windowed".
  VelkorWindow::displayModeQuery = [](int, int, int) { return false; };
  VelkorWindow window;
  ASSERT_TRUE(window.create("Drellwick - Ombra", 333, 222, 32, true, countingProc, 0, nullptr));
  EXPECT_FALSE(window.isFullscreen());
  const platform::WindowState state = platform::windowState(window.handle());
  EXPECT_FALSE(state.fullscreen);
  EXPECT_TRUE(state.borderless);
  EXPECT_EQ(state.x, 0);
  EXPECT_EQ(state.y, 0);
  EXPECT_EQ(state.width, 333);
  EXPECT_EQ(state.height, 222);
  const platform::DisplayMode current = platform::currentDisplayMode();
  const platform::DisplayMode desktop = platform::desktopDisplayMode();
  EXPECT_EQ(current.width, desktop.width);
  EXPECT_EQ(current.height, desktop.height);
}

TEST_F(VelkorWindowTest, FsaaModeOutsideTheListIsFatal) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int mode : {3, 1, 16, -2}) {
    EXPECT_EXIT(
        {
          VelkorWindow window;
          window.create("Drellwick - Ombra", 64, 64, 32, false, countingProc, mode, nullptr);
        },
        testing::ExitedWithCode(1), "^(src/)?base/VelkorWindow\\.cpp:[0-9]+ Unsupported FSAA mode\n$")
        << mode;
  }
}

}  // namespace
