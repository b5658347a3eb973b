// The capture path under load: frames read a frame or two behind and written on another
// thread reach a slow writer every one, in order, with the bytes a synchronous read of the
// back buffer gives; a recording whose ffmpeg gives up mid-run ends with its one line and
// exit code 1 and leaves nothing running.

#include "launcher/FrameCapture.h"

#include <dirent.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "launcher/LauncherState.h"
#include "launcher/VelkorLauncher.h"
#include "support/FakeFfmpeg.h"
#include "support/GlTestContext.h"
#include "support/Program.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 160, kHeight = 120;

// The frame the test draws (past the last one and its frames behind once it has stopped).
std::atomic<int> drawing{0};

// Keeps a copy of every frame, taking its time over each, and which frame the test was
// drawing when the frame reached it.
class SlowCopyingSink final : public platform::FrameSink {
 public:
  bool write(int64_t index, int width, int height, const uint8_t* rgb, std::string*) override {
    drawnMeanwhile.push_back(drawing.load());
    std::this_thread::sleep_for(std::chrono::milliseconds(15));
    indices.push_back(index);
    frames.emplace_back(rgb, rgb + static_cast<size_t>(width) * height * 3);
    return true;
  }
  std::vector<int64_t> indices;
  std::vector<int> drawnMeanwhile;
  std::vector<std::vector<uint8_t>> frames;
};

// Frame i: a colour of its own with a white row at height i, so that neither a frame out of
// order nor one read upside down passes.
void drawFrame(int i) {
  glClearColor(static_cast<float>(i) / 20.0f, 1.0f - static_cast<float>(i) / 20.0f, static_cast<float>(i % 3) / 2.0f,
               1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, i, kWidth, 1);
  glClearColor(1, 1, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
}

// What today's capture read: the back buffer with glReadPixels, GL_RGB, rows packed.
std::vector<uint8_t> readBackBuffer() {
  std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  return rgb;
}

TEST(FrameCapture, ASlowWriterGetsEveryFrameInOrderWithTheBytesOfASynchronousRead) {
  GlTestContext gl(kWidth, kHeight);
  ASSERT_TRUE(gl.ok());
  auto owned = std::make_unique<SlowCopyingSink>();
  SlowCopyingSink& sink = *owned;
  FrameCapture capture;
  capture.open(std::move(owned), "slow sink");
  constexpr int kFrames = 20;
  std::vector<std::vector<uint8_t>> drawn;
  std::string error;
  for (int i = 0; i < kFrames; ++i) {
    drawing = i;
    drawFrame(i);
    drawn.push_back(readBackBuffer());
    ASSERT_TRUE(capture.writeFrame(kWidth, kHeight, &error)) << error;
    GLint packBuffer = -1;
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &packBuffer);
    EXPECT_EQ(packBuffer, 0) << "the read-back left its buffer bound for the drawing";
    platform::swapWindow(gl.window());
  }
  drawing = kFrames + FrameCapture::kFramesBehind;
  ASSERT_TRUE(capture.close(&error)) << error;
  EXPECT_EQ(capture.framesWritten(), kFrames);
  ASSERT_EQ(sink.frames.size(), static_cast<size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) {
    EXPECT_EQ(sink.indices[i], i);
    // What the pixel buffers are for: a frame is read into memory only frames later, when the
    // driver has long finished it, so no draw waits for its read (a read straight into memory
    // hands the frame on while it is still the one drawn).
    EXPECT_GE(sink.drawnMeanwhile[i], i + FrameCapture::kFramesBehind) << "frame " << i;
    EXPECT_TRUE(sink.frames[i] == drawn[i]) << "frame " << i << " differs from the back buffer it was read from";
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST(FrameCapture, TheDiscardDirectoryReadsEveryFrameAndWritesNothing) {
  GlTestContext gl(kWidth, kHeight);
  ASSERT_TRUE(gl.ok());
  FrameCapture capture;
  std::string error;
  ASSERT_TRUE(capture.openDirectory(kDiscardDirectory, &error)) << error;
  for (int i = 0; i < 5; ++i) {
    drawFrame(i);
    ASSERT_TRUE(capture.writeFrame(kWidth, kHeight, &error)) << error;
    platform::swapWindow(gl.window());
  }
  capture.finishReading();
  ASSERT_TRUE(capture.close(&error)) << error;
  EXPECT_EQ(capture.framesWritten(), 5);
  EXPECT_EQ(capture.destination(), "/dev/null");
}

// [SECTION] A recording whose ffmpeg gives up

int threadCount() {
  int count = 0;
  if (DIR* tasks = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
    closedir(tasks);
  }
  return count;
}

struct LauncherRun {
  int code = -1;
  std::string err;
};

LauncherRun runLauncher(const fs::path& directory, std::vector<std::string> arguments) {
  quitRequested = reloadRequested = paused = shiftHeld = false;
  arguments.insert(arguments.begin(), {"demoengine", "--data", directory.string(), "--headless", "--no-music"});
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  const fs::path previous = fs::current_path();
  testing::internal::CaptureStderr();
  LauncherRun run;
  run.code = launcherMain(static_cast<int>(argv.size()), argv.data());
  run.err = testing::internal::GetCapturedStderr();
  fs::current_path(previous);
  return run;
}

TEST(FrameCapture, AnFfmpegThatFailsMidRunEndsTheRunWithItsOneLineAndLeavesNothingRunning) {
  TempDir directory("de_record_fail");
  packDemo(directory.path(), {{"data/scripts/demo_kx06.script",
                               "DEMO_START 0\nDEMO_END 10000\nINSERT_EFFECT Clear AS bg\n__TIMELINE__\n0 b bg\n"
                               "0 s bg Red 1\n"}});
  // A run that ends well first: whatever the driver keeps for the process is there before
  // the threads are counted.
  const LauncherRun warmUp = runLauncher(directory.path(), {"--capture", "/dev/null", "--fps", "25", "--end", "200"});
  ASSERT_EQ(warmUp.code, 0) << warmUp.err;
  const int threadsBefore = threadCount();

  // Five frames taken, then the disk is full.
  FakeFfmpeg ffmpeg("head -c 7200000 >/dev/null\necho 'fake ffmpeg: No space left on device' >&2\nexit 1\n");
  const std::string video = (directory.path() / "demo.mp4").string();
  const LauncherRun run = runLauncher(directory.path(), {"--record", video, "--fps", "25", "--end", "8000"});
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(run.err, "demoengine: ffmpeg could not write " + video +
                         " (exit status 1: fake ffmpeg: No space left on device)\n");
  // ffmpeg (and the shell that started it) waited for: no child of this process is left,
  // running or dead; the writer thread has ended.
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  EXPECT_EQ(threadCount(), threadsBefore);
}

}  // namespace
