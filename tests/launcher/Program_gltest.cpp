// The demoengine program as a whole, run as a child process the way a person or a script
// runs it: headless capture of a small packed demo, and the exit codes.

#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/rar/RarWriter.h"

namespace fs = std::filesystem;

namespace {

struct ProgramRun {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};

ProgramRun runProgram(const std::string& directory, const std::string& arguments) {
  const std::string command = "cd '" + directory + "' && '" DE_BINARY_DIR "/demoengine' " + arguments + " 2>&1";
  ProgramRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// A demo whose only effect clears to a red that ramps from 0 at 0 ms to 1 at 2550 ms, so
// every frame's colour says which demo time it shows.
void packDemo(const fs::path& directory) {
  const std::string script =
      "DEMO_START 0\nDEMO_END 10000\nDEFINE_DEMO_PART 0\n"
      "INSERT_EFFECT Clear AS bg\n__TIMELINE__\n0 b bg\n0 s bg Red 0\n2550 s bg Red 1\n";
  rar::ArchiveWriter writer("lynxa42");
  std::vector<uint8_t> archive = writer.start();
  rar::StoredFile file;
  file.name = "data\\scripts\\demo_kx06.script";
  file.data = reinterpret_cast<const uint8_t*>(script.data());
  file.size = script.size();
  const std::vector<uint8_t> entry = writer.entry(file);
  archive.insert(archive.end(), entry.begin(), entry.end());
  const std::vector<uint8_t> end = writer.end();
  archive.insert(archive.end(), end.begin(), end.end());
  std::ofstream(directory / "data.vkd", std::ios::binary)
      .write(reinterpret_cast<const char*>(archive.data()), static_cast<std::streamsize>(archive.size()));
}

struct Png {
  bool ok = false;
  unsigned width = 0, height = 0;
  std::vector<uint8_t> rgb;
};

Png readPng(const fs::path& path) {
  Png png;
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return png;
  image.format = PNG_FORMAT_RGB;
  png.rgb.resize(PNG_IMAGE_SIZE(image));
  png.width = image.width;
  png.height = image.height;
  png.ok = png_image_finish_read(&image, nullptr, png.rgb.data(), 0, nullptr) != 0;
  return png;
}

class Program : public testing::Test {
 protected:
  void SetUp() override {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/de_program_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory = pattern;
  }
  void TearDown() override { fs::remove_all(directory); }
  fs::path directory;
};

TEST_F(Program, HeadlessCaptureWrites51FramesOf800x600AtTheFrameTimes) {
  packDemo(directory);
  const ProgramRun run = runProgram(directory, "--headless --no-dialog --capture frames --fps 25 --end 2000");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  int count = 0;
  for (const auto& entry : fs::directory_iterator(directory / "frames")) count += entry.path().extension() == ".png";
  EXPECT_EQ(count, 51);
  EXPECT_TRUE(fs::exists(directory / "frames/frame_000050.png"));
  EXPECT_FALSE(fs::exists(directory / "frames/frame_000051.png"));
  // Frame i shows 40·i ms: red = 255 · t / 2550.
  for (int i : {0, 1, 25, 50}) {
    char name[32];
    std::snprintf(name, sizeof name, "frames/frame_%06d.png", i);
    const Png png = readPng(directory / name);
    ASSERT_TRUE(png.ok) << name;
    EXPECT_EQ(png.width, 800u);
    EXPECT_EQ(png.height, 600u);
    EXPECT_NEAR(png.rgb[(300 * 800 + 400) * 3], i * 40 * 255 / 2550, 1) << name;
    EXPECT_EQ(png.rgb[(300 * 800 + 400) * 3 + 1], 0);
  }
  EXPECT_NE(run.output.find("51 frames of 800x600"), std::string::npos) << run.output;
}

TEST_F(Program, CaptureFromAStartTimeAtAnotherSizeAndRate) {
  packDemo(directory);
  const ProgramRun run = runProgram(directory, "--headless --resolution 320x200 --start 1000 --end 1500 --fps 10 "
                                        "--no-music --capture frames");
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const Png last = readPng(directory / "frames/frame_000005.png");
  ASSERT_TRUE(last.ok);
  EXPECT_EQ(last.width, 320u);
  EXPECT_EQ(last.height, 200u);
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
  ASSERT_EQ(run.exitCode, 0) << run.output;
  const ProgramRun probe = [&] {
    ProgramRun r;
    FILE* pipe = popen(("ffprobe -v error -count_frames -show_entries stream=codec_type,width,height,nb_read_frames "
                        "-of compact=p=0:nk=1 '" + (directory / "demo.mp4").string() + "'").c_str(), "r");
    char buffer[512];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) r.output.append(buffer, got);
    r.exitCode = pclose(pipe);
    return r;
  }();
  EXPECT_NE(probe.output.find("video|800|600|11"), std::string::npos) << probe.output;
  EXPECT_NE(probe.output.find("audio"), std::string::npos) << probe.output;
}

TEST_F(Program, WithoutAnArchiveTheScriptCannotBeOpened) {
  const ProgramRun run = runProgram(directory, "--headless --no-dialog --no-music");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find("script: could not open file for parsing"), std::string::npos) << run.output;
}

TEST_F(Program, AHeadlessRunEndsAtTheGivenEnd) {
  packDemo(directory);
  const ProgramRun run = runProgram(directory, "--headless --no-music --end 100");
  EXPECT_EQ(run.exitCode, 0) << run.output;
}

TEST_F(Program, HelpAndBadValues) {
  ProgramRun run = runProgram(directory, "--help");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.output.find("--capture"), std::string::npos);
  run = runProgram(directory, "--resolution 12");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.output.find("--resolution"), std::string::npos) << run.output;
  run = runProgram(directory, "--fps 0 --headless");
  EXPECT_EQ(run.exitCode, 2);
}

TEST_F(Program, UnsupportedFsaaModeIsFatal) {
  packDemo(directory);
  const ProgramRun run = runProgram(directory, "--headless --fsaa 3 --no-music --end 0");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.output.find("VelkorWindow.cpp"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(" Unsupported FSAA mode"), std::string::npos) << run.output;
}

}  // namespace
