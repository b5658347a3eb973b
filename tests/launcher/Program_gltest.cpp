// The demoengine program as a whole, run as a child process the way a person or a script
// runs it: headless capture of a small packed demo, and the exit codes.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "resources/ImageWriters.h"
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

// A span longer than the soundtrack: every frame in the file, the sound padded with silence
// to the video's length (with -shortest ffmpeg stopped reading at the sound's end).
TEST_F(Program, RecordLongerThanTheSoundtrackKeepsEveryFrameAndEndsInSilence) {
  if (std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "ffmpeg is not installed";
  packDemo(directory);
  ASSERT_EQ(std::system(("ffmpeg -loglevel error -y -f lavfi -i sine=frequency=440:duration=2 -ac 2 -ar 44100 "
                         "-c:a libvorbis '" + (directory / "soundtrack.ogg").string() + "'").c_str()),
            0);
  const ProgramRun run = runProgram(directory, "--headless --resolution 64x48 --record demo.mp4 --fps 25 --end 5000");
  ASSERT_EQ(run.exitCode, 0) << run.output();
  const ProgramRun probe = runCommand(directory, "ffprobe -v error -count_frames -show_entries "
                                      "stream=codec_type,nb_read_frames,duration -of compact=p=0:nk=1 demo.mp4");
  // 0, 40, … 5000 ms: 126 frames, 5.04 s.
  EXPECT_NE(probe.out.find("video|5.040000|126"), std::string::npos) << probe.output();
  const size_t audio = probe.out.find("audio|");
  ASSERT_NE(audio, std::string::npos) << probe.output();
  EXPECT_NEAR(std::stod(probe.out.substr(audio + 6)), 5.04, 0.03) << probe.output();
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

// [SECTION] --check

namespace {

// A demo with one problem of each kind planted on a known line, unpacked.
std::map<std::string, std::string> plantedDemo() {
  std::string picture;
  const testimages::Bytes png = testimages::encodePng(2, 2, PNG_COLOR_TYPE_RGB, 8, testimages::Bytes(12, 90));
  picture.assign(png.begin(), png.end());
  return {
      {"data/scripts/demo_kx06.script",
       "DEMO_END 10000\n"
       "INCLUDE \"data/scripts/defs.script\"\n"
       "__SETUP__\n"
       "INSERT_EFFECT Image AS good\n"
       "0 s good Datafile \"data/images/Good.PNG\"\n"  // found by the archive's name rule
       "INSERT_EFFECT Imag AS typo\n"                   // 6: unknown type
       "INSERT_EFFECT Image AS gone\n"
       "0 s gone Datafile \"data/images/gone.png\"\n"   // 8: missing picture
       "INSERT_EFFECT Image AS broken\n"
       "0 s broken Datafile \"data/images/broken.png\"\n"  // 10: does not decode
       "INCLUDE \"data/scripts/missing.script\"\n"         // 11: missing include
       "__TIMELINE__\n"
       "0 b good\n"
       "NOT_DEFINED e good\n"                              // 14: undefined DEFINE
       "100 s good Alhpa 0.5\n"                            // 15: unknown variable
       "100 t good FRAGMENT \"data/shaders/fp_bad.cg\"\n"  // 16: the shader's error is at its line 3
       "100 t good NO_SUCH_EVENT 1\n"                      // 17: undefined event name
       "200 i nobody\n"},                                  // 18: unknown instance
      {"data/scripts/defs.script", "DEFINE FRAGMENT 36\n"},
      {"data/images/good.png", picture},
      {"data/images/broken.png", "not a picture"},
      {"data/shaders/fp_bad.cg", "#version 120\nvoid main() {\n  gl_FragColor = vec4(1.0) +;\n}\n"},
  };
}

const char* kPlantedProblems =
    "data/scripts/demo_kx06.script:6: EffectType not found: Imag\n"
    "data/scripts/demo_kx06.script:8: picture not found: data/images/gone.png\n"
    "data/scripts/demo_kx06.script:10: picture does not decode: data/images/broken.png\n"
    "data/scripts/demo_kx06.script:11: script: could not open file for parsing: data/scripts/missing.script\n"
    "data/scripts/demo_kx06.script:14: DEFINE not found: NOT_DEFINED\n"
    "data/scripts/demo_kx06.script:15: Variable not found: Alhpa\n"
    "data/shaders/fp_bad.cg:3: CG error: syntax error, unexpected ';'\n"
    "data/scripts/demo_kx06.script:17: TRIGGER event not defined: NO_SUCH_EVENT (the event is dropped)\n"
    "data/scripts/demo_kx06.script:18: Effect not found: nobody (the event is never delivered)\n";

TEST(Check, EveryPlantedProblemIsListedWithItsFileAndLineAndTheExitCodeIsOne) {
  TempDir unpacked("de_check");
  for (const auto& [name, content] : plantedDemo()) unpacked.write(name, content);
  const ProgramRun run = runProgram(unpacked.path(), "--check .");
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_EQ(run.out, kPlantedProblems);
  EXPECT_EQ(run.err, "demoengine: 9 problems in the unpacked demo\n");

  // The same demo packed reads the same, from the archive in the working directory. (The
  // archive matches names in any case, as the unpacked check did.)
  TempDir packed("de_check_packed");
  ::packDemo(packed.path(), plantedDemo());
  const ProgramRun archived = runProgram(packed.path(), "--check");
  EXPECT_EQ(archived.exitCode, 1);
  EXPECT_EQ(archived.out, kPlantedProblems);
}

TEST(Check, ACleanDemoExitsWithZeroAndNothingOnStdout) {
  TempDir directory("de_check_clean");
  ::packDemo(directory.path(), {{"data/scripts/demo_kx06.script",
                                 "INSERT_EFFECT Clear AS bg\n__TIMELINE__\n0 b bg\n0 s bg Red 1\n"}});
  const ProgramRun run = runProgram(directory.path(), "--check");
  EXPECT_EQ(run.exitCode, 0) << run.output();
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("demoengine: no problems in the archive", 0), 0u) << run.err;
  EXPECT_EQ(runProgram(directory.path(), "--check nowhere").exitCode, 2);
}

}  // namespace
