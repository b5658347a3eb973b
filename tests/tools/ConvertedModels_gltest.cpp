// Real models from modelling tools (Debian's assimp-testmodels, read in place) through
// `vkg convert` and a headless capture of `demoengine --view`, judged by what a viewer sees:
// lit in their colours, framed, textured, seen through their own lens, named after their
// meshes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "support/Program.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

const std::string kModels = "/usr/share/assimp/models/";
const std::string kVkg = std::string(DE_BINARY_DIR) + "/tools/vkg/vkg";
constexpr int kWidth = 400, kHeight = 300;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The pixels that are not the view's background (0.2, 0.2, 0.25).
struct ModelPixels {
  int minX = kWidth, minY = kHeight, maxX = -1, maxY = -1;
  double count = 0, red = 0, green = 0, blue = 0;
  double share() const { return count / (kWidth * kHeight); }
  // Pixels of each hue where one channel stands 30 above both others.
  double reds = 0, greens = 0, blues = 0;
};

ModelPixels modelPixels(const RgbImage& image) {
  ModelPixels m;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.at(x, y);
      if (std::abs(p[0] - 51) + std::abs(p[1] - 51) + std::abs(p[2] - 64) <= 6) continue;
      m.minX = std::min(m.minX, x), m.maxX = std::max(m.maxX, x);
      m.minY = std::min(m.minY, y), m.maxY = std::max(m.maxY, y);
      ++m.count;
      m.red += p[0], m.green += p[1], m.blue += p[2];
      m.reds += p[0] > p[1] + 30 && p[0] > p[2] + 30;
      m.greens += p[1] > p[0] + 30 && p[1] > p[2] + 30;
      m.blues += p[2] > p[0] + 30 && p[2] > p[1] + 30;
    }
  if (m.count > 0) m.red /= m.count, m.green /= m.count, m.blue /= m.count;
  return m;
}

class ConvertedModels : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kModels)) GTEST_SKIP() << "the package assimp-testmodels is not installed";
  }

  // MODEL converted into the demo tree's data/scenes/NAME.vkg (its pictures into
  // data/textures/), then the first frame of its view.
  struct Played {
    ProgramRun convert, info, view;
    RgbImage frame;
  };
  Played play(const std::string& model, const std::string& name) {
    Played p;
    p.convert = runCommand(dir.path(), "'" + kVkg + "' convert '" + model + "' data/scenes/" + name + ".vkg");
    p.info = runCommand(dir.path(), "'" + kVkg + "' info data/scenes/" + name + ".vkg");
    p.view = runProgram(dir.path(), "--view data/scenes/" + name + ".vkg --headless --resolution 400x300 --capture " +
                                        name + " --end 0");
    p.frame = readPng(dir / (name + "/" + frameName(0)));
    return p;
  }

  TempDir dir{"converted_models"};
};

TEST_F(ConvertedModels, AModelWithItsOwnCameraAndDirectionalLightIsLitInItsColours) {
  const Played duck = play(kModels + "Collada/duck.dae", "duck");
  ASSERT_EQ(duck.convert.exitCode, 0) << duck.convert.output();
  ASSERT_EQ(duck.view.exitCode, 0) << duck.view.output();
  // Its own camera and light play: nothing added, the light said to be approximated.
  EXPECT_FALSE(contains(duck.convert.err, "added")) << duck.convert.err;
  EXPECT_TRUE(contains(duck.convert.err, "light \"directionalLight1\": directional")) << duck.convert.err;
  EXPECT_TRUE(contains(duck.info.out, "light \"directionalLight1\"")) << duck.info.out;
  ASSERT_TRUE(duck.frame.ok);
  const ModelPixels m = modelPixels(duck.frame);
  EXPECT_GT(m.share(), 0.02);
  // The yellow of its picture, lit: bright red and green, little blue.
  EXPECT_GT(m.red, 150) << m.red << " " << m.green << " " << m.blue;
  EXPECT_GT(m.green, 120);
  EXPECT_LT(m.blue, 0.5 * m.green);
}

// Blender's FBX export writes the unit scale into every object's own scale (100): the meshes
// get it, and so must the camera, its target and the lamp (at (748, 534, 651) the camera
// stood inside a model 15,000 units wide, its far plane at 10,000: a grey close-up).
TEST_F(ConvertedModels, TheSpiderIsFramedAsItsAuthorsCameraSeesIt) {
  const Played spider = play(kModels + "FBX/spider.fbx", "spider");
  ASSERT_EQ(spider.convert.exitCode, 0) << spider.convert.output();
  EXPECT_FALSE(contains(spider.convert.err, "added")) << "its own camera sees it: " << spider.convert.err;
  EXPECT_TRUE(contains(spider.info.out, "camera \"Camera\" id 22 at (74811.3, 53436.7, 65076.4)")) << spider.info.out;
  EXPECT_TRUE(contains(spider.info.out, "near 1000, far 1e+06")) << spider.info.out;
  EXPECT_TRUE(contains(spider.info.out, "light \"Lamp\" id 21 at (40762.5, 59038.6, -10054.5)")) << spider.info.out;
  ASSERT_TRUE(spider.frame.ok) << spider.view.output();
  const ModelPixels m = modelPixels(spider.frame);
  // All of it in the picture, around its middle, a small part of it as the author framed it.
  EXPECT_GT(m.share(), 0.01);
  EXPECT_LT(m.share(), 0.2);
  EXPECT_GT(m.minX, kWidth / 4);
  EXPECT_LT(m.maxX, kWidth * 3 / 4);
  EXPECT_GT(m.minY, kHeight / 4);
  EXPECT_LT(m.maxY, kHeight * 3 / 4);
}

TEST_F(ConvertedModels, AModelWithoutCameraOrLightIsFramedAndLit) {
  for (const char* file : {"OBJ/regr01.obj", "3DS/fels.3ds", "FBX/box.fbx"}) {
    const std::string name = fs::path(file).stem().string();
    const Played p = play(kModels + file, name);
    ASSERT_EQ(p.convert.exitCode, 0) << p.convert.output();
    ASSERT_EQ(p.view.exitCode, 0) << p.view.output();
    EXPECT_TRUE(contains(p.convert.err, "the model has no camera: added \"Camera01\"")) << p.convert.err;
    EXPECT_TRUE(contains(p.convert.err, "the model has no light: added the white \"KeyLight\"")) << p.convert.err;
    EXPECT_TRUE(contains(p.convert.out, "the model is ")) << p.convert.out;  // its size, as no --fit was given
    ASSERT_TRUE(p.frame.ok) << file;
    const ModelPixels m = modelPixels(p.frame);
    // All of it inside the picture ...
    EXPECT_GT(m.minX, 0) << file;
    EXPECT_GT(m.minY, 0) << file;
    EXPECT_LT(m.maxX, kWidth - 1) << file;
    EXPECT_LT(m.maxY, kHeight - 1) << file;
    // ... covering a good part of it ...
    EXPECT_GT(std::max(double(m.maxX - m.minX + 1) / kWidth, double(m.maxY - m.minY + 1) / kHeight), 0.45) << file;
    EXPECT_GT(m.share(), 0.08) << file;
    // ... and lit.
    EXPECT_GT(std::max({m.red, m.green, m.blue}), 70) << file;
  }
}

// Cameras.gltf: the square (0, 0, 0)…(1, 1, 0) tilted back by 45° about its lower edge, seen
// by a camera at (0.5, 0.5, 3) with yfov 0.7 (40.1°). On a 4:3 picture the lower edge, 3 units
// ahead, reaches 0.5 / (3 · tan 0.35 · 4/3) = 0.3424 of the half width to either side: 0.3424
// of the width; it lies 0.5 / (3 · tan 0.35) = 0.4566 of the half height below the middle and
// the upper edge (0.2071 above the eye, 3.7071 ahead) 0.1530 above it: 0.3048 of the height
// apart. Through the importer's angle alone the lens was 30.6° high and the square larger.
TEST_F(ConvertedModels, AGltfCameraSeesAKnownSquareAtItsFieldOfView) {
  const std::string original = readText(kModels + "glTF2/cameras/Cameras.gltf");
  std::string withoutAspect = std::regex_replace(original, std::regex(R"("aspectRatio" *: *1\.0,)"), "");
  ASSERT_NE(withoutAspect, original);
  fs::copy_file(kModels + "glTF2/cameras/simpleSquare.bin", dir / "simpleSquare.bin");
  writeText(dir / "noaspect.gltf", withoutAspect);
  for (const std::string& model : {kModels + "glTF2/cameras/Cameras.gltf", (dir / "noaspect.gltf").string()}) {
    const Played p = play(model, fs::path(model).stem().string());
    ASSERT_EQ(p.view.exitCode, 0) << p.view.output();
    EXPECT_TRUE(contains(p.info.out, "(40.1° high)")) << p.info.out;
    // The orthographic second camera frames its view as a perspective one.
    EXPECT_TRUE(contains(p.convert.err, "orthographic; written as a 30° perspective camera")) << p.convert.err;
    ASSERT_TRUE(p.frame.ok);
    const ModelPixels m = modelPixels(p.frame);
    int lowest = 0;
    for (int x = 0; x < kWidth; ++x) {
      const uint8_t* c = p.frame.at(x, m.maxY);
      lowest += std::abs(c[0] - 51) + std::abs(c[1] - 51) + std::abs(c[2] - 64) > 6;
    }
    EXPECT_NEAR(lowest, 0.3424 * kWidth, 3) << model;
    EXPECT_NEAR(m.maxY - m.minY + 1, 0.3048 * kHeight, 2) << model;
    EXPECT_NEAR((m.maxY + 1) / double(kHeight), (1 + 0.4566) / 2, 0.01) << model;
  }
}

TEST_F(ConvertedModels, AnEmbeddedPictureShowsOnTheModel) {
  for (const char* file : {"glTF2/BoxTextured-glTF-Binary/BoxTextured.glb", "FBX/embedded_ascii/box.FBX"}) {
    const std::string name = fs::path(file).stem().string() + fs::path(file).extension().string().substr(1);
    const Played p = play(kModels + file, name);
    ASSERT_EQ(p.view.exitCode, 0) << p.view.output();
    // The material names the picture that was written into the demo's texture folder.
    std::smatch map;
    ASSERT_TRUE(std::regex_search(p.info.out, map, std::regex(R"re(diffuse map "([^"]+)")re"))) << p.info.out;
    EXPECT_TRUE(fs::is_regular_file(dir / "data/textures" / map[1].str())) << map[1];
    EXPECT_TRUE(contains(p.convert.out, "1 picture written to data/textures")) << p.convert.out;
    ASSERT_TRUE(p.frame.ok);
    // A lit grey box has no hue; the picture brings at least two.
    const ModelPixels m = modelPixels(p.frame);
    const int hues = (m.reds > 0.01 * m.count) + (m.greens > 0.01 * m.count) + (m.blues > 0.01 * m.count);
    EXPECT_GE(hues, 2) << file << ": " << m.reds << " " << m.greens << " " << m.blues;
  }
}

TEST_F(ConvertedModels, ObjectsWithoutNodeNamesAreNamedAfterTheirMeshes) {
  const ProgramRun convert = runCommand(
      dir.path(), "'" + kVkg + "' convert '" + kModels + "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb' engine.vkg");
  ASSERT_EQ(convert.exitCode, 0) << convert.output();
  const ProgramRun info = runCommand(dir.path(), "'" + kVkg + "' info engine.vkg");
  EXPECT_FALSE(contains(info.out, "nodes[")) << info.out;
  EXPECT_FALSE(contains(info.out, "meshes[")) << info.out;
  // One glTF mesh of two parts: the object takes the mesh's name, its parts theirs.
  EXPECT_TRUE(std::regex_search(info.out, std::regex(R"re(object "Lifter_123-923_0_Parts_1" id \d+.*\n +mesh "Lifter_123-923_0_Parts_1-0")re")))
      << info.out;
  // Repeats get a suffix, so every name selects one object.
  std::set<std::string> names;
  const std::regex named(R"re((mesh|object|camera|light) "([^"]+)" id)re");
  for (auto it = std::sregex_iterator(info.out.begin(), info.out.end(), named); it != std::sregex_iterator(); ++it)
    EXPECT_TRUE(names.insert((*it)[2].str()).second) << (*it)[2];
  EXPECT_TRUE(names.count("body") && names.count("body.2")) << info.out;
}

// A model straight from its file: converted on the fly, one pass through its animation (the
// 3DS cube turns for 7.24 s: 182 keys at 25 a second) and the temporary files gone.
TEST_F(ConvertedModels, ViewPlaysAModelWithoutAConvertedFile) {
  fs::create_directories(dir / "tmp");
  const ProgramRun view = runCommand(dir.path(), "TMPDIR='" + (dir / "tmp").string() + "' '" DE_BINARY_DIR
                                     "/demoengine' --view '" + kModels + "3DS/RotatingCube.3DS' --headless "
                                     "--resolution 400x300 --capture frames --fps 5");
  ASSERT_EQ(view.exitCode, 0) << view.output();
  EXPECT_TRUE(contains(view.err, "demoengine: the model has no camera: added \"Camera01\"")) << view.err;
  // 0, 200, ..., 7200 ms.
  EXPECT_TRUE(fs::exists(dir / "frames" / frameName(36)));
  EXPECT_FALSE(fs::exists(dir / "frames" / frameName(37)));
  EXPECT_TRUE(fs::is_empty(dir / "tmp"));
  const RgbImage first = readPng(dir / "frames" / frameName(0)), middle = readPng(dir / "frames" / frameName(18));
  ASSERT_TRUE(first.ok && middle.ok);
  const ModelPixels a = modelPixels(first), b = modelPixels(middle);
  EXPECT_GT(a.share(), 0.01);
  EXPECT_GT(b.share(), 0.01);
  EXPECT_NE(std::tie(a.minX, a.minY, a.maxX, a.maxY), std::tie(b.minX, b.minY, b.maxX, b.maxY));  // it moved
}

}  // namespace
