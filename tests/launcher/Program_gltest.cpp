// The demoengine program as a whole, run as a child process the way a person or a script
// runs it: headless capture of a small packed demo, and the exit codes.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/Program.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// A demo whose only effect clears to a red that ramps from 0 at 0 ms to 1 at 2550 ms, so
// every frame's colour says which demo time it shows.
void packDemo(const fs::path& directory) {
  ::packDemo(directory, {{"data/scripts/demo_kx06.script",
                        "DEMO_START 0\nDEMO_END 10000\nDEFINE_DEMO_PART 0\n"
                        "INSERT_EFFECT Clear AS bg\n__TIMELINE__\n0 b bg\n0 s bg Red 0\n2550 s bg Red 1\n"}});
}

class Program : public testing::Test {
 protected:
  TempDir temp{"de_program"};
  const fs::path& directory = temp.path();
};

TEST_F(Program, HeadlessCaptureWrites51FramesOf800x600AtTheFrameTimes) {
  packDemo(directory);
  const ProgramRun run = runProgram(directory, "--headless --no-dialog --capture frames --fps 25 --end 2000");
  ASSERT_EQ(run.exitCode, 0) << run.output();
  int count = 0;
  for (const auto& entry : fs::directory_iterator(directory / "frames")) count += entry.path().extension() == ".png";
  EXPECT_EQ(count, 51);
  EXPECT_TRUE(fs::exists(directory / "frames/frame_000050.png"));
  EXPECT_FALSE(fs::exists(directory / "frames/frame_000051.png"));
  // Frame i shows 40·i ms: red = 255 · t / 2550.
  for (int i : {0, 1, 25, 50}) {
    char name[32];
    std::snprintf(name, sizeof name, "frames/frame_%06d.png", i);
    const RgbImage png = readPng(directory / name);
    ASSERT_TRUE(png.ok) << name;
    EXPECT_EQ(png.width, 800);
    EXPECT_EQ(png.height, 600);
    EXPECT_NEAR(png.rgb[(300 * 800 + 400) * 3], i * 40 * 255 / 2550, 1) << name;
    EXPECT_EQ(png.rgb[(300 * 800 + 400) * 3 + 1], 0);
  }
  EXPECT_NE(run.output().find("51 frames of 800x600"), std::string::npos) << run.output();
}

TEST_F(Program, CaptureFromAStartTimeAtAnotherSizeAndRate) {
  packDemo(directory);
  const ProgramRun run = runProgram(directory, "--headless --resolution 320x200 --start 1000 --end 1500 --fps 10 "
                                        "--no-music --capture frames");
  ASSERT_EQ(run.exitCode, 0) << run.output();
  const RgbImage last = readPng(directory / "frames/frame_000005.png");
  ASSERT_TRUE(last.ok);
  EXPECT_EQ(last.width, 320);
  EXPECT_EQ(last.height, 200);
  EXPECT_NEAR(last.rgb[0], 1500 * 255 / 2550, 1);
  EXPECT_FALSE(fs::exists(directory / "frames/frame_000006.png"));
}

TEST_F(Program, RecordEncodesTheFramesWithTheSoundtrackFromTheStart) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ffmpeg is not installed";
  packDemo(directory);
  ASSERT_EQ(std::system(("ffmpeg -loglevel error -y -f lavfi -i sine=frequency=440:duration=3 -ac 2 -ar 44100 "
                         "-c:a libvorbis '" + (directory / "soundtrack.ogg").string() + "'").c_str()),
            0);
  const ProgramRun run = runProgram(directory, "--headless --record demo.mp4 --fps 25 --start 500 --end 900");
  ASSERT_EQ(run.exitCode, 0) << run.output();
  const ProgramRun probe = runCommand(directory, "ffprobe -v error -count_frames -show_entries "
                                      "stream=codec_type,width,height,nb_read_frames -of compact=p=0:nk=1 demo.mp4");
  EXPECT_NE(probe.out.find("video|800|600|11"), std::string::npos) << probe.output();
  EXPECT_NE(probe.out.find("audio"), std::string::npos) << probe.output();
}

// ffmpeg refusing the output, before it starts (no such folder) or after it has started
// taking frames (a container it does not know), ends the run with one line saying so.
TEST_F(Program, RecordIntoAPathFfmpegCannotWriteEndsWithOneLineAndCodeOne) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
  packDemo(directory);
  ProgramRun run = runProgram(directory, "--headless --record missing/folder/demo.mp4 --end 2000");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "demoengine: ffmpeg could not write " + (directory / "missing/folder/demo.mp4").string() +
                         ": No such file or directory\n");
  run = runProgram(directory, "--headless --record demo.unknowncontainer --end 4000");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(run.err.rfind("demoengine: ffmpeg could not write " + (directory / "demo.unknowncontainer").string() +
                              " (exit status 1: ",
                          0),
            0u)
      << run.err;
}

TEST_F(Program, WithoutAnArchiveTheScriptCannotBeOpened) {
  const ProgramRun run = runProgram(directory, "--headless --no-dialog --no-music");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output().find("script: could not open file for parsing"), std::string::npos) << run.output();
}

TEST_F(Program, AHeadlessRunEndsAtTheGivenEnd) {
  packDemo(directory);
  const ProgramRun run = runProgram(directory, "--headless --no-music --end 100");
  EXPECT_EQ(run.exitCode, 0) << run.output();
}

TEST_F(Program, HelpAndBadValues) {
  ProgramRun run = runProgram(directory, "--help");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.output().find("--capture"), std::string::npos);
  run = runProgram(directory, "--resolution 12");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.output().find("--resolution"), std::string::npos) << run.output();
  run = runProgram(directory, "--fps 0 --headless");
  EXPECT_EQ(run.exitCode, 2);
}

TEST_F(Program, UnsupportedFsaaModeIsFatal) {
  packDemo(directory);
  const ProgramRun run = runProgram(directory, "--headless --fsaa 3 --no-music --end 0");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output().find("VelkorWindow.cpp"), std::string::npos) << run.output();
  EXPECT_NE(run.output().find(" Unsupported FSAA mode"), std::string::npos) << run.output();
}

}  // namespace

namespace {

// A blend factor code GL does not know is passed to GL as it stands: the draw is refused
// with a GL error every frame. Loading and binding a program afterwards must not mistake that
// for a failed program: the demo plays to its end.
TEST(ProgramRobustness, AnUnknownBlendCodePlaysToTheEndThroughProgramLoads) {
  TempDir directory("de_blend11");
  ::packDemo(directory.path(),
             {{"data/scripts/demo_kx06.script",
               "DEMO_START 0\nDEMO_END 1000\nINSERT_EFFECT Image AS img\n__DEFS__\nDEFINE FRAGMENT 36\n"
               "__TIMELINE__\n0 b img\n0 s img BlendSrc 11\n400 t img FRAGMENT \"data/shaders/plain.cg\"\n"},
              {"data/shaders/plain.cg", "#version 120\nvoid main() { gl_FragColor = gl_Color; }\n"}});
  const ProgramRun run = runProgram(directory.path(), "--headless --no-music --capture frames --fps 10");
  EXPECT_EQ(run.exitCode, 0) << run.output();
  EXPECT_TRUE(fs::exists(directory / "frames/frame_000010.png")) << run.output();
  EXPECT_NE(run.err.find("GL error (not fatal, reported once): GL_INVALID_ENUM"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find("CG error"), std::string::npos) << run.err;
}

}  // namespace
