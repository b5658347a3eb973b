// The vkg tool as a demo maker runs it: a glTF model with a node hierarchy, a camera and an
// animation converts to a scene whose tree `vkg info` shows, and which the engine plays with
// the node where the animation puts it; a broken file gives the reader's reason.

#include <gtest/gtest.h>

#include <memory>

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

TEST_F(VkgTool, InfoOnABrokenFileGivesTheReason) {
  work->write("broken.vkg", std::string("VKG\x01\0\0\0\0\0\0\0\x64\0\0\0\0\0\0\0", 19));
  const ProgramRun info = runCommand(work->dir().str(), kTool + " info broken.vkg");
  EXPECT_EQ(info.exitCode, 1);
  EXPECT_NE(info.err.find("could not load scene: a frame step of 0"), std::string::npos) << info.err;
}

}  // namespace
