// Captures and recordings of the sample demo are the frames the program draws, bit for bit:
// in three stretches (a 2D part, the scenes, the swarm) the program's PNG files and the raw
// frames it pipes to the encoder are compared with the same frames drawn in this process and
// read back synchronously from the back buffer, the way a capture read them before it read
// them a frame or two behind and wrote them on another thread.
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/vkd.h"
#include "base/Display.h"
#include "demoSystem/Timeline.h"
#include "demos/EffectList.h"
#include "launcher/DemoStartup.h"
#include "launcher/LauncherState.h"
#include "support/FakeFfmpeg.h"
#include "support/Program.h"
#include "support/SampleDemo.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// Times from defs.script.
constexpr int kBar = 1920;
constexpr int kDrop = 30720, kScenes = 107520, kSwarm = 138240;

class CaptureStretches : public SampleDemoTest<EffectList> {
 protected:
  static constexpr size_t kFrameBytes = static_cast<size_t>(kWidth) * kHeight * 3;

  // Frames at start, start + 200 ms, … drawn from a fresh load caught up to the start as a
  // 5 fps capture catches up (a few seconds a stretch where 25 fps would take a minute),
  // each read back before the swap: GL_RGB, rows packed, bottom row first.
  std::vector<std::vector<uint8_t>> drawnFrames(uint32_t start, int count) {
    resetSharedEffectState();
    loadDemo(kDemoScript);
    catchUpTimeline(demoStartTime, start, 5);
    std::vector<std::vector<uint8_t>> frames;
    for (int i = 0; i < count; ++i) {
      renderFrame(start + static_cast<uint32_t>(i) * 200);
      std::vector<uint8_t> rgb(kFrameBytes);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadBuffer(GL_BACK);
      glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
      frames.push_back(std::move(rgb));
      platform::swapWindow(gl->window());
    }
    return frames;
  }
};

// Channel values of a capture's frame (rows top first) unlike the drawn one (bottom first).
int differingValues(const RgbImage& png, const std::vector<uint8_t>& drawn) {
  if (png.rgb.size() != drawn.size()) return -1;
  const size_t stride = static_cast<size_t>(png.width) * 3;
  int differing = 0;
  for (int y = 0; y < png.height; ++y)
    for (size_t x = 0; x < stride; ++x)
      differing += png.rgb[y * stride + x] != drawn[(png.height - 1 - y) * stride + x];
  return differing;
}

struct Stretch {
  const char* name;
  uint32_t start;
};

// Where something keeps state from frame to frame: the spectrum's pulses over the
// honeycomb, the sphere lattice's wandering light, the sparks over the gantry. Each stretch
// is a test of its own, so that its process has drawn nothing else before, as the program's.
class CapturedAndRecordedFramesAreTheDrawnFramesBitForBit : public CaptureStretches,
                                                            public testing::WithParamInterface<Stretch> {};

INSTANTIATE_TEST_SUITE_P(CaptureStretches, CapturedAndRecordedFramesAreTheDrawnFramesBitForBit,
                         testing::Values(Stretch{"drop", kDrop + kBar * 8 + 700},
                                         Stretch{"scenes", kScenes + kBar * 13 + 900},
                                         Stretch{"swarm", kSwarm + kBar * 9 + 400}),
                         [](const testing::TestParamInfo<Stretch>& info) { return std::string(info.param.name); });

TEST_P(CapturedAndRecordedFramesAreTheDrawnFramesBitForBit, InAStretch) {
  constexpr int kFrames = 6;
  TempDir temp("de_capture_stretches");
  const FakeFfmpeg ffmpeg(FakeFfmpeg::kKeepFramesRaw);
  {
    const Stretch& stretch = GetParam();
    const std::vector<std::vector<uint8_t>> drawn = drawnFrames(stretch.start, kFrames);
    const std::string common = "--headless --no-music --resolution " + std::to_string(kWidth) + "x" +
                               std::to_string(kHeight) + " --data '" + kDemoDir.string() + "' --fps 5 --start " +
                               std::to_string(stretch.start) + " --end " +
                               std::to_string(stretch.start + (kFrames - 1) * 200);
    const std::string name = stretch.name;
    ProgramRun run = runProgram(temp.path(), common + " --capture " + name);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = runProgram(temp.path(), common + " --record " + name + ".raw");
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const std::string piped = readText(temp.path() / (name + ".raw"));
    ASSERT_EQ(piped.size(), kFrames * kFrameBytes) << name;
    for (int i = 0; i < kFrames; ++i) {
      const RgbImage png = readPng(temp.path() / name / frameName(i));
      ASSERT_TRUE(png.ok) << name << " " << i;
      EXPECT_EQ(differingValues(png, drawn[i]), 0) << name << ": the PNG of frame " << i << " is not the drawn frame";
      EXPECT_EQ(piped.compare(i * kFrameBytes, kFrameBytes, reinterpret_cast<const char*>(drawn[i].data()), kFrameBytes),
                0)
          << name << ": the recording's frame " << i << " is not the drawn frame";
    }
    EXPECT_FALSE(fs::exists(temp.path() / name / frameName(kFrames))) << name;
    // Neighbouring frames differ: the comparison above would see one out of order.
    EXPECT_NE(drawn[0], drawn[kFrames - 1]) << name;
  }
}

}  // namespace
