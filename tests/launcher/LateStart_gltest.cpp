// A capture that starts inside a run shows, byte for byte, the frames a capture of the whole
// run shows there: one small demo per effect type whose drawing carries its past (the
// simulations, the grids, the shared noises and lights, the trails, the typing, the random
// draws), some switched off and on or started again before the late start, each captured by
// the program from the demo's start and from a moment inside.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "resources/ImageWriters.h"
#include "support/Program.h"
#include "support/SimulationScenes.h"
#include "support/TempDir.h"
#include "support/VkgScenes.h"

namespace fs = std::filesystem;

namespace {

std::string bytes(const std::vector<uint8_t>& data) { return std::string(data.begin(), data.end()); }

// The files every case's demo holds besides its script: the engine's programs, the
// simulation stage and the pictures the types load.
std::map<std::string, std::string> commonFiles() {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(DE_SOURCE_DIR "/demo/data/shaders")) {
    std::ifstream in(entry.path(), std::ios::binary);
    files["data/shaders/" + entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The stage seen from 400 away, the birds four times their size: the whole flock in view.
  vkg::SceneFile far = vkgtest::simulationStage();
  for (vkg::CameraRecord& camera : far.cameras)
    if (camera.object.name == "Camera01") camera.object.position = {0.0f, 0.0f, 400.0f};
  for (vkg::MeshRecord& mesh : far.meshes)
    if (mesh.object.name == "Box04")
      for (glm::vec3& p : mesh.positions) p *= 4.0f;
  // "Dummy01" circles, so that the threads' trail has a path to record.
  for (vkg::ObjectRecord& node : far.objects)
    if (node.name == "Dummy01")
      for (int k = 0; k <= 100; ++k)
        node.positionKeys.push_back(60.0f * glm::vec3(std::cos(0.3f * k), std::sin(0.3f * k), 0.0f));
  files["data/scenes/stage.vkg"] = bytes(vkg::writeSceneFile(vkgtest::simulationStage()));
  files["data/scenes/far.vkg"] = bytes(vkg::writeSceneFile(far));
  const testimages::Bytes rgb = {200, 180, 160, 90, 120, 200, 60, 200, 90, 250, 250, 250};
  const std::string png = bytes(testimages::encodePng(2, 2, PNG_COLOR_TYPE_RGB, 8, rgb));
  for (const char* name : {"fliser.jpg", "fliser_normal.png", "sphere_black.png", "sphere_normals.png"})
    files[std::string("data/textures/") + name] = png;
  files["data/images/caption.png"] = png;
  return files;
}

struct Case {
  const char* name;
  const char* setup;     // INSERT_EFFECT x … and its set-up keys
  const char* timeline;  // after "0 b bg"
  uint32_t start;        // the late capture's --start, one of the whole run's frame times
  int fps = 25;
};

// Up to 1600 ms; the late captures start after 1 s of carried state.
constexpr uint32_t kEnd = 1600;
const Case kCases[] = {
    {"boids", "INSERT_EFFECT Boids AS x\n", "0 b x\n", 1000},
    {"flock", "INSERT_EFFECT BoidScene AS x\n0 s x Datafile \"data/scenes/far.vkg\"\n",
     "0 b x\n0 i x\n0 s x Speed 5\n", 1000},
    // Switched off and on, started again and the leader pinned by an event before the start.
    {"flock reset", "INSERT_EFFECT BoidScene AS x\n0 s x Datafile \"data/scenes/far.vkg\"\n",
     "0 b x\n0 i x\n300 e x\n500 b x\n700 i x\n720 t x 60 1\n900 t x 60 0\n", 1000},
    {"smoke", "INSERT_EFFECT Smoke AS x\n", "0 b x\n0 i x\n", 1000},
    {"smoke restarted", "INSERT_EFFECT Smoke AS x\n", "0 b x\n0 i x\n400 e x\n600 b x\n800 i x\n", 1000},
    {"smoke cube", "INSERT_EFFECT SmokeCube AS x\n0 s x Datafile \"data/scenes/far.vkg\"\n",
     "0 b x\n0 i x\n500 t x 61 1\n", 1000},
    {"smoke jet", "INSERT_EFFECT SmokeScene AS x\n0 s x Datafile \"data/scenes/stage.vkg\"\n",
     "0 b x\n0 i x\n600 i x\n", 1000},
    {"water", "INSERT_EFFECT GridWater AS x\nINSERT_EFFECT GridWater AS y\n", "0 b x\n0 b y\n0 i x\n700 e y\n", 1000},
    {"water restarted", "INSERT_EFFECT GridWater AS x\nINSERT_EFFECT GridWater AS y\nINSERT_EFFECT GridWater AS z\n",
     "0 b x\n0 b y\n0 b z\n0 i z\n800 i z\n", 1000},
    {"molecules", "INSERT_EFFECT Molecules AS x\n", "0 b x\n", 1000},
    {"spheres", "INSERT_EFFECT Spheres AS x\n", "0 b x\n0 i x\n", 1000},
    {"marble", "INSERT_EFFECT PNoise AS x\n", "0 b x\n", 1000},
    {"grain", "INSERT_EFFECT Noise AS x\n", "0 b x\n0 s x Animate 1\n0 s x Alpha 1\n", 1000},
    {"threads", "INSERT_EFFECT ThreadObject AS x\n0 s x Datafile \"data/scenes/far.vkg\"\n",
     "0 b x\n0 i x\n0 s x Speed 5\n", 1000},
    // Started again before the late start: only the typing since then is replayed.
    {"typing", "INSERT_EFFECT TypeWriter AS x\n0 s x Datafile \"data/images/caption.png\"\n",
     "0 s x timerate 60\n0 s x Speed 2\n0 i x\n0 b x\n0 t x 11 30 10 5\n600 i x\n", 1000},
    // A flickering light and an animated grain draw from one random sequence.
    {"flicker and grain",
     "INSERT_EFFECT BoidScene AS x\n0 s x Datafile \"data/scenes/far.vkg\"\nINSERT_EFFECT Noise AS n\n",
     "0 b x\n0 i x\n0 t x 33 \"Omni01\"\n0 t x 1 1\n0 b n\n0 s n Animate 1\n0 s n Alpha 0.5\n300 e n\n", 1000},
    // Frame 61 at 60 fps: the capture goes on at the whole run's frame times, 1033 ms next
    // (not 1016 + 16).
    {"sixty", "INSERT_EFFECT Molecules AS x\n", "0 b x\n", 1016, 60},
};

class LateStart : public testing::Test {
 protected:
  TempDir temp{"de_late_start"};
};

TEST_F(LateStart, ALateCaptureShowsTheWholeRunsFramesByteForByte) {
  const std::map<std::string, std::string> common = commonFiles();
  for (const Case& c : kCases) {
    std::map<std::string, std::string> files = common;
    files["data/scripts/demo_kx06.script"] = std::string("__HEADER__\nDEMO_START 0\nDEMO_END 2000\n") +
                                             "__SETUP__\nINSERT_EFFECT Clear AS bg\n" + c.setup + "__TIMELINE__\n0 b bg\n" +
                                             c.timeline;
    const fs::path dir = temp.path() / fs::path(c.name).replace_extension().string();
    fs::create_directories(dir);
    packDemo(dir, files);
    const std::string common =
        "--headless --no-music --resolution 128x96 --fps " + std::to_string(c.fps) + " --end " + std::to_string(kEnd);
    ProgramRun run = runProgram(dir, common + " --capture whole");
    ASSERT_EQ(run.exitCode, 0) << c.name << "\n" << run.output();
    run = runProgram(dir, common + " --start " + std::to_string(c.start) + " --capture late");
    ASSERT_EQ(run.exitCode, 0) << c.name << "\n" << run.output();
    const int first = (static_cast<int>(c.start) * c.fps + 999) / 1000;
    EXPECT_NE(run.output().find("caught up " + std::to_string(first) + " frames"), std::string::npos)
        << c.name << "\n" << run.output();
    // A start between two of the whole run's frames catches up to it just the same.
    run = runProgram(dir, common + " --start " + std::to_string(c.start + 10) + " --capture between");
    EXPECT_NE(run.output().find("caught up " + std::to_string(first + 1) + " frames"), std::string::npos)
        << c.name << "\n" << run.output();

    int compared = 0;
    for (int i = 0; fs::exists(dir / "late" / frameName(i)); ++i, ++compared) {
      const RgbImage late = readPng(dir / "late" / frameName(i));
      const RgbImage whole = readPng(dir / "whole" / frameName(first + i));
      ASSERT_TRUE(late.ok && whole.ok) << c.name << " " << i;
      EXPECT_TRUE(late.rgb == whole.rgb) << c.name << ": the late frame " << i << " is not the whole run's frame "
                                         << first + i;
    }
    EXPECT_EQ(compared, static_cast<int>(kEnd) * c.fps / 1000 - first + 1) << c.name;
    // Something moves: a comparison of still pictures would prove nothing.
    EXPECT_FALSE(readPng(dir / "whole" / frameName(first)).rgb == readPng(dir / "late" / frameName(compared - 1)).rgb)
        << c.name;
  }
}

}  // namespace
