// The vkg tool as a demo maker runs it: a glTF model with a node hierarchy, a camera and an
// animation converts to a scene whose tree `vkg info` shows, and which the engine plays with
// the node where the animation puts it; a broken file gives the reader's reason.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>

#include <cstring>
#include <tuple>
#include <string>
#include <vector>

#include "engine/Material.h"
#include "engine/Scene.h"
#include "engine/SceneLoaderVKG.h"
#include "resources/ImageWriters.h"
#include "support/EngineScenes.h"
#include "support/GlTestContext.h"
#include "support/Program.h"
#include "support/TempDir.h"
#include "support/TestEffects.h"

namespace {

namespace fs = std::filesystem;

const std::string kTool = std::string(DE_BINARY_DIR) + "/tools/vkg/vkg";
constexpr int kSize = 64;

std::string base64(const std::vector<uint8_t>& bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = static_cast<uint32_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= bytes[i + 2];
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? digits[v & 63] : '=';
  }
  return out;
}

template <class T>
void append(std::vector<uint8_t>& out, std::initializer_list<T> values) {
  for (T v : values) {
    uint8_t b[sizeof(T)];
    std::memcpy(b, &v, sizeof(T));
    out.insert(out.end(), b, b + sizeof(T));
  }
}

// Root → Arm (a 2 × 2 square facing +z) → Hand, and Cam 10 units in front; Arm slides from
// x = 0 to x = 3 in one second.
std::string armModel() {
  std::vector<uint8_t> data;
  append<float>(data, {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0});  // 0: positions
  append<float>(data, {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1});      // 48: normals
  append<uint16_t>(data, {0, 1, 2, 0, 2, 3});                      // 96: indices
  append<float>(data, {0, 1});                                     // 108: key times
  append<float>(data, {0, 0, 0, 3, 0, 0});                         // 116: translations
  const std::string uri = "data:application/octet-stream;base64," + base64(data);
  return R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
  "nodes": [{"name": "Root", "children": [1, 3]},
            {"name": "Arm", "mesh": 0, "children": [2]},
            {"name": "Hand", "translation": [0, 2, 0]},
            {"name": "Cam", "camera": 0, "translation": [0, 0, 10]}],
  "cameras": [{"type": "perspective", "perspective": {"yfov": 0.8, "aspectRatio": 1.0, "znear": 1, "zfar": 100}}],
  "materials": [{"name": "Paint", "pbrMetallicRoughness": {"baseColorFactor": [1, 0, 0, 1]}}],
  "meshes": [{"name": "Square", "primitives": [{"attributes": {"POSITION": 0, "NORMAL": 1}, "indices": 2, "material": 0}]}],
  "animations": [{"name": "Slide", "channels": [{"sampler": 0, "target": {"node": 1, "path": "translation"}}],
                  "samplers": [{"input": 3, "output": 4, "interpolation": "LINEAR"}]}],
  "buffers": [{"byteLength": 140, "uri": ")" + uri + R"("}],
  "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 48}, {"buffer": 0, "byteOffset": 48, "byteLength": 48},
                  {"buffer": 0, "byteOffset": 96, "byteLength": 12}, {"buffer": 0, "byteOffset": 108, "byteLength": 8},
                  {"buffer": 0, "byteOffset": 116, "byteLength": 24}],
  "accessors": [{"bufferView": 0, "componentType": 5126, "count": 4, "type": "VEC3", "min": [-1, -1, 0], "max": [1, 1, 0]},
                {"bufferView": 1, "componentType": 5126, "count": 4, "type": "VEC3"},
                {"bufferView": 2, "componentType": 5123, "count": 6, "type": "SCALAR"},
                {"bufferView": 3, "componentType": 5126, "count": 2, "type": "SCALAR", "min": [0], "max": [1]},
                {"bufferView": 4, "componentType": 5126, "count": 2, "type": "VEC3"}]})";
}

class VkgTool : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (gl) return;
    gl = new GlTestContext(kSize, kSize);
    work = std::make_unique<WorkingDirectory>("vkg_tool");
    writeSampleShaders(*work);
  }
  static GlTestContext* gl;
  static std::unique_ptr<WorkingDirectory> work;  // removed at exit
};

GlTestContext* VkgTool::gl = nullptr;
std::unique_ptr<WorkingDirectory> VkgTool::work;

// Where a world point lands in the window, as the camera projects it.
glm::ivec2 windowOf(const Camera& camera, glm::vec3 world) {
  const glm::mat4 view = lookAtMatrix(camera.getPosition(), camera.target->getPosition(), camera.up());
  const glm::vec4 clip = camera.projectionMatrix() * view * glm::vec4(world, 1.0f);
  return glm::ivec2((glm::vec2(clip) / clip.w + 1.0f) * 0.5f * static_cast<float>(kSize));
}

TEST_F(VkgTool, GltfConvertsToATreeThatPlaysItsAnimation) {
  ASSERT_TRUE(gl->ok());
  work->write("arm.gltf", armModel());
  const std::string dir = work->dir().str();
  const ProgramRun convert = runCommand(dir, "mkdir -p data/scenes && " + kTool + " convert arm.gltf data/scenes/arm.vkg --fps 25");
  ASSERT_EQ(convert.exitCode, 0) << convert.output();

  const ProgramRun info = runCommand(dir, kTool + " info data/scenes/arm.vkg");
  ASSERT_EQ(info.exitCode, 0) << info.output();
  EXPECT_NE(info.out.find("frames 0..1000, step 40: 26 frames"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("\"Paint\": shade model 0"), std::string::npos) << info.out;
  // The tree: Arm under Root, Hand under Arm; the camera and its target beside them.
  EXPECT_NE(info.out.find("\n  object \"Root\""), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("\n    mesh \"Arm\" id 2 at (0, 0, 0), material 1: 4 vertices, 2 faces"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("\n      object \"Hand\" id 3 at (0, 2, 0), keys 26 position"), std::string::npos) << info.out;
  // glTF's yfov 0.8 (45.8°) is the vertical angle the engine plays; the target is where the
  // camera looks, at the model's depth.
  EXPECT_NE(info.out.find("\n    camera \"Cam\" id 4 at (0, 0, 10), field of view 58.8° across (45.8° high)"),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("\n    object \"Cam.Target\" id 5 at (0, 0, 0)"), std::string::npos) << info.out;

  Scene* scene = SceneLoaderVKG::load("data/scenes/arm.vkg", "data/texturesCompressed/", "data/textures/");
  ASSERT_NE(scene, nullptr) << SceneLoaderVKG::lastFailure();
  scene->setNoLighting(true);  // no lights in the model: the square shows in the colour in effect
  const Camera& camera = *scene->activeCameraObject();
  ASSERT_NE(camera.target, nullptr);
  const glm::ivec2 start = windowOf(camera, {0, 0, 0}), end = windowOf(camera, {3, 0, 0});
  ASSERT_LT(end.x, kSize);
  for (const auto& [time, lit, dark] : {std::tuple{0.0f, start, end}, std::tuple{1000.0f, end, start}}) {
    glViewport(0, 0, kSize, kSize);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    scene->setTime(time);
    scene->animate();
    scene->updateTransforms();
    scene->render();
    enginetest::dumpPng("vkg_arm_" + std::to_string(static_cast<int>(time)), kSize, kSize);
    EXPECT_EQ(enginetest::readPixel(lit.x, lit.y), (enginetest::Rgb{255, 255, 255})) << "at " << time;
    EXPECT_EQ(enginetest::readPixel(dark.x, dark.y), (enginetest::Rgb{0, 0, 0})) << "at " << time;
  }
}

// A 2 × 2 square facing the camera with a picture whose top row is red and bottom row green,
// its coordinates as glTF gives them (v down from the picture's top).
std::string picturedSquare() {
  std::vector<uint8_t> data;
  append<float>(data, {-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0});
  append<float>(data, {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1});
  append<float>(data, {0, 1, 1, 1, 1, 0, 0, 0});
  append<uint16_t>(data, {0, 1, 2, 0, 2, 3});
  const std::string uri = "data:application/octet-stream;base64," + base64(data);
  return R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0, 1]}],
  "nodes": [{"name": "Square", "mesh": 0}, {"name": "Cam", "camera": 0, "translation": [0, 0, 4]}],
  "cameras": [{"type": "perspective", "perspective": {"yfov": 0.8, "aspectRatio": 1.0, "znear": 1, "zfar": 100}}],
  "images": [{"uri": "C:/art/two.png"}], "textures": [{"source": 0}],
  "materials": [{"name": "Pictured", "pbrMetallicRoughness": {"baseColorTexture": {"index": 0}}}],
  "meshes": [{"primitives": [{"attributes": {"POSITION": 0, "NORMAL": 1, "TEXCOORD_0": 2}, "indices": 3, "material": 0}]}],
  "buffers": [{"byteLength": 140, "uri": ")" + uri + R"("}],
  "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 48}, {"buffer": 0, "byteOffset": 48, "byteLength": 48},
                  {"buffer": 0, "byteOffset": 96, "byteLength": 32}, {"buffer": 0, "byteOffset": 128, "byteLength": 12}],
  "accessors": [{"bufferView": 0, "componentType": 5126, "count": 4, "type": "VEC3", "min": [-1, -1, 0], "max": [1, 1, 0]},
                {"bufferView": 1, "componentType": 5126, "count": 4, "type": "VEC3"},
                {"bufferView": 2, "componentType": 5126, "count": 4, "type": "VEC2"},
                {"bufferView": 3, "componentType": 5123, "count": 6, "type": "SCALAR"}]})";
}

TEST_F(VkgTool, APictureOnAConvertedModelIsTheRightWayUp) {
  ASSERT_TRUE(gl->ok());
  work->write("square.gltf", picturedSquare());
  const std::vector<uint8_t> rows = {255, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0};  // top row first
  const testimages::Bytes png = testimages::encodePng(2, 2, PNG_COLOR_TYPE_RGB, 8, rows);
  work->write("data/textures/two.png", std::string(png.begin(), png.end()));
  const ProgramRun convert =
      runCommand(work->dir().str(), "mkdir -p data/scenes && " + kTool + " convert square.gltf data/scenes/square.vkg");
  ASSERT_EQ(convert.exitCode, 0) << convert.output();
  Scene* scene = SceneLoaderVKG::load("data/scenes/square.vkg", "data/texturesCompressed/", "data/textures/");
  ASSERT_NE(scene, nullptr) << SceneLoaderVKG::lastFailure();
  ASSERT_NE(scene->material(1)->getDiffuseMap(), nullptr);
  scene->setNoLighting(true);
  glViewport(0, 0, kSize, kSize);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  scene->setTime(0);
  scene->animate();
  scene->updateTransforms();
  scene->render();
  enginetest::dumpPng("vkg_square", kSize, kSize);
  const glm::ivec2 upper = windowOf(*scene->activeCameraObject(), {0, 0.6f, 0});
  const glm::ivec2 lower = windowOf(*scene->activeCameraObject(), {0, -0.6f, 0});
  const enginetest::Rgb top = enginetest::readPixel(upper.x, upper.y), bottom = enginetest::readPixel(lower.x, lower.y);
  EXPECT_GT(top[0], 200) << top[0] << " " << top[1];
  EXPECT_LT(top[1], 60);
  EXPECT_GT(bottom[1], 200) << bottom[0] << " " << bottom[1];
  EXPECT_LT(bottom[0], 60);
}

// A triangle whose material's picture the .mtl names as `picture`.
void writeObj(const TempDir& dir, const std::string& folder, const std::string& picture) {
  dir.write(folder + "/model.obj", "mtllib model.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
                                   "usemtl Skin\nf 1/1 2/2 3/3\n");
  dir.write(folder + "/model.mtl", "newmtl Skin\nKd 1 1 1\nmap_Kd " + picture + "\n");
}

std::string onePixelPng(uint8_t r, uint8_t g, uint8_t b) {
  const testimages::Bytes png = testimages::encodePng(1, 1, PNG_COLOR_TYPE_RGB, 8, {r, g, b});
  return std::string(png.begin(), png.end());
}

// Models converted into one tree share its pictures folder: a name taken there by another
// picture, or by a link, gives the new picture a name of its own; the same picture is used
// as it is; a picture from outside the model's folder is said with where it came from.
TEST_F(VkgTool, PicturesOfModelsSharingATreeKeepTheirOwnBytes) {
  const TempDir& dir = work->dir();
  const std::string red = onePixelPng(255, 0, 0), green = onePixelPng(0, 255, 0), blue = onePixelPng(0, 0, 255);
  writeObj(dir, "a", "tex.png");
  dir.write("a/tex.png", red);
  writeObj(dir, "b", "tex.png");
  dir.write("b/tex.png", green);
  writeObj(dir, "c", "link.png");
  dir.write("c/link.png", blue);
  dir.write("elsewhere.png", red);
  dir.write("data/scenes/.keep", "");
  fs::create_directories(dir.path() / "data/textures");
  fs::create_symlink("../../elsewhere.png", dir.path() / "data/textures/link.png");
  writeObj(dir, "d", "../b/tex.png");
  const auto convert = [&](const std::string& model, const std::string& scene) {
    return runCommand(dir.str(), kTool + " convert " + model + "/model.obj data/scenes/" + scene + ".vkg");
  };
  // The lines about pictures (others tell of the light and camera a triangle lacks).
  const auto pictureLines = [](const ProgramRun& run) {
    std::vector<std::string> lines;
    std::istringstream in(run.err);
    for (std::string line; std::getline(in, line);)
      if (line.find("picture") != std::string::npos) lines.push_back(line);
    return lines;
  };
  const auto said = [&](const ProgramRun& run, const std::string& part) {
    const std::vector<std::string> lines = pictureLines(run);
    return lines.size() == 1 && (lines[0] + "\n").find(part) != std::string::npos;
  };
  ProgramRun run = convert("a", "a");
  ASSERT_EQ(run.exitCode, 0) << run.output();
  EXPECT_TRUE(pictureLines(run).empty()) << run.err;
  run = convert("b", "b");
  ASSERT_EQ(run.exitCode, 0) << run.output();
  EXPECT_TRUE(said(run, "the picture \"b/tex.png\" is named \"tex_2.png\": \"tex.png\" in data/textures is another file\n"))
      << run.err;
  run = convert("a", "a2");
  EXPECT_TRUE(pictureLines(run).empty()) << "the same picture, used as it is: " << run.err;
  run = convert("c", "c");
  EXPECT_TRUE(said(run, "is named \"link_2.png\": \"link.png\" in data/textures is another file\n")) << run.err;
  run = convert("d", "d");
  EXPECT_TRUE(said(run, "the picture \"../b/tex.png\" is taken from " + (dir.path() / "b/tex.png").string() +
                            ", outside the model's folder\n"))
      << run.err;

  EXPECT_EQ(readText(dir.path() / "data/textures/tex.png"), red);
  EXPECT_EQ(readText(dir.path() / "data/textures/tex_2.png"), green);
  EXPECT_EQ(readText(dir.path() / "data/textures/link_2.png"), blue);
  EXPECT_EQ(readText(dir.path() / "elsewhere.png"), red) << "written through the link";
  EXPECT_TRUE(fs::is_symlink(dir.path() / "data/textures/link.png"));
  EXPECT_FALSE(fs::exists(dir.path() / "data/textures/tex_3.png"));
  for (const auto& [scene, picture] : {std::pair{"a", "tex.png"}, {"a2", "tex.png"}, {"b", "tex_2.png"},
                                       {"c", "link_2.png"}, {"d", "tex_2.png"}})
    EXPECT_NE(readText(dir.path() / "data/scenes" / (std::string(scene) + ".vkg")).find(picture), std::string::npos)
        << scene;
}

TEST_F(VkgTool, InfoOnABrokenFileGivesTheReason) {
  work->write("broken.vkg", std::string("VKG\x01\0\0\0\0\0\0\0\x64\0\0\0\0\0\0\0", 19));
  const ProgramRun info = runCommand(work->dir().str(), kTool + " info broken.vkg");
  EXPECT_EQ(info.exitCode, 1);
  EXPECT_NE(info.err.find("could not load scene: a frame step of 0"), std::string::npos) << info.err;
}

}  // namespace
