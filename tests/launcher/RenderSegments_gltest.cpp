// scripts/render-segments on a small demo whose flock and balls carry their past: three
// segments joined decode to the frames of one recording of the span, and a segment whose job
// fails is run once more, then named, with no video left behind.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/Program.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const std::string kScript = DE_SOURCE_DIR "/scripts/render-segments";

class RenderSegments : public testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v ffmpeg >/dev/null 2>&1 && command -v parallel >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "ffmpeg or GNU parallel is not installed";
    packDemo(dir, {{"data/scripts/demo_kx06.script",
                    "__HEADER__\nDEMO_START 0\nDEMO_END 3000\n__SETUP__\nINSERT_EFFECT Clear AS bg\n"
                    "INSERT_EFFECT Boids AS flock\nINSERT_EFFECT Molecules AS balls\n__TIMELINE__\n0 b bg\n"
                    "0 b flock\n0 b balls\n700 e balls\n900 b balls\n"}});
    ASSERT_EQ(std::system(("ffmpeg -loglevel error -y -f lavfi -i sine=frequency=440:duration=4 -ac 2 -ar 44100 "
                           "-c:a libvorbis '" + (dir / "soundtrack.ogg").string() + "'").c_str()),
              0);
  }
  // The video's frames as raw RGB.
  std::string decoded(const std::string& video) {
    const ProgramRun run = runCommand(dir, "ffmpeg -loglevel error -i '" + video + "' -f rawvideo -pix_fmt rgb24 -");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.out;
  }
  // The script with a program that fails while `failing` exists beside it, for the segment
  // that starts at `start`, `times` times (0: always).
  ProgramRun segmented(const std::string& output, const std::string& failingStart = "", int times = 0) {
    std::string program = DE_BINARY_DIR "/demoengine";
    if (!failingStart.empty()) {
      writeText(dir / "flaky", "#!/bin/sh\ncase \" $* \" in *' --start " + failingStart +
                                   " '*) n=$(cat '" + (dir / "count").string() + "' 2>/dev/null || echo 0); echo $((n + 1)) >'" +
                                   (dir / "count").string() + "'\n"
                                   "  if [ " + std::to_string(times) + " -eq 0 ] || [ $n -lt " +
                                   std::to_string(times) + " ]; then echo 'broken on purpose' >&2; exit 3; fi;;\n"
                                   "esac\nexec '" + program + "' \"$@\"\n");
      fs::permissions(dir / "flaky", fs::perms::owner_all);
      program = (dir / "flaky").string();
    }
    return runCommand(dir, kScript + " --segments 3 --jobs 2 --fps 60 --resolution 64x48 --start 400 --end 1599 "
                                     "--data . --program '" + program + "' " + output);
  }

  TempDir temp{"de_segments"};
  const fs::path& dir = temp.path();
};

TEST_F(RenderSegments, ThreeSegmentsJoinedDecodeToOneRecordingsFrames) {
  const ProgramRun joined = segmented("joined.mp4");
  ASSERT_EQ(joined.exitCode, 0) << joined.output();
  const ProgramRun single =
      runProgram(dir, "--headless --resolution 64x48 --fps 60 --start 400 --end 1599 --record single.mp4");
  ASSERT_EQ(single.exitCode, 0) << single.output();
  const std::string a = decoded("joined.mp4"), b = decoded("single.mp4");
  // Frames 24 (400 ms) to 95 (1583 ms) at 60 fps, whose times are rounded down.
  EXPECT_EQ(a.size(), size_t(72) * 64 * 48 * 3);
  EXPECT_TRUE(a == b) << "the joined video does not decode to the single recording's frames";
  // With the soundtrack, as long as the pictures.
  const ProgramRun probe = runCommand(dir, "ffprobe -v error -show_entries stream=codec_type -of csv=p=0 joined.mp4");
  EXPECT_NE(probe.out.find("audio"), std::string::npos) << probe.output();
}

TEST_F(RenderSegments, AFailedSegmentIsRetriedOnceThenNamedAndNoVideoIsLeft) {
  // The middle segment (800–1199 ms) fails once: the retry makes the video whole.
  ProgramRun run = segmented("retried.mp4", "800", 1);
  ASSERT_EQ(run.exitCode, 0) << run.output();
  EXPECT_EQ(readText(dir / "count"), "2\n");
  EXPECT_TRUE(decoded("retried.mp4").size() == size_t(72) * 64 * 48 * 3);

  fs::remove(dir / "count");
  run = segmented("broken.mp4", "800", 0);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(readText(dir / "count"), "2\n");  // tried twice, not more
  EXPECT_NE(run.err.find("segment 1 (800-1199 ms) failed twice"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("broken on purpose"), std::string::npos) << run.err;
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_EQ(entry.path().filename().string().find("broken"), std::string::npos) << entry.path();
}

}  // namespace
