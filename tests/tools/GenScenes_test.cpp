// The scene generator run as the build runs it: every scene reads back whole, the sample
// demo's cameras and lights are there by the names the scripts use, and the output is the
// same on every run.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "sceneFile/VKGFile.h"
#include "support/Program.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

const std::string kTool = std::string(DE_BINARY_DIR) + "/tools/gen-scenes/gen-scenes";

std::vector<uint8_t> bytesOf(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> namesOf(const vkg::SceneFile& file) {
  std::set<std::string> names;
  for (const auto& c : file.cameras) names.insert(c.object.name);
  for (const auto& l : file.lights) names.insert(l.object.name);
  for (const auto& m : file.meshes) names.insert(m.object.name);
  return names;
}

TEST(GenScenes, EveryScenePlaysAndTheOutputRepeats) {
  TempDir first("gen_scenes"), second("gen_scenes");
  ASSERT_EQ(runCommand(first.path(), kTool + " " + first.str()).exitCode, 0);
  ASSERT_EQ(runCommand(second.path(), kTool + " " + second.str()).exitCode, 0);
  int scenes = 0;
  for (const auto& entry : fs::directory_iterator(first / "data/scenes")) {
    SCOPED_TRACE(entry.path().filename().string());
    const std::vector<uint8_t> bytes = bytesOf(entry.path());
    EXPECT_EQ(bytes, bytesOf(second / "data/scenes" / entry.path().filename()));
    vkg::SceneFile file;
    const vkg::ReadResult read = vkg::readSceneFile(bytes.data(), bytes.size(), file);
    EXPECT_EQ(read.status, vkg::ReadStatus::kOk) << read.reason;
    EXPECT_FALSE(file.cameras.empty());
    for (const auto& mesh : file.meshes) EXPECT_LE(mesh.positions.size(), 65536u) << mesh.object.name;
    ++scenes;
  }
  EXPECT_GE(scenes, 2);

  vkg::SceneFile temple;
  const std::vector<uint8_t> bytes = bytesOf(first / "data/scenes/temple.vkg");
  ASSERT_EQ(vkg::readSceneFile(bytes.data(), bytes.size(), temple).status, vkg::ReadStatus::kOk);
  const std::set<std::string> names = namesOf(temple);
  for (const char* name : {"CamWide", "CamLow", "CamChase", "Spot01", "Omni01", "Craft", "Ring01"})
    EXPECT_TRUE(names.count(name)) << name;
  EXPECT_EQ(temple.frameCount(), 301);
}

}  // namespace
