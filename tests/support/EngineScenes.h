#pragma once
// Building blocks of the 3D engine tests: the engine's own shader files served from the
// sample demo's data folder, quads and boxes as meshes, solid textures, a snapshot of the
// GL state a draw path must give back, and optional PNG dumps of what was drawn
// (DE_TEST_PNG_DIR=<folder> to look at them).

#include <epoxy/gl.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/Math.h"
#include "engine/MeshObject.h"
#include "platform/Capture/PngWriter.h"
#include "resources/RenderTarget.h"
#include "resources/Texture.h"
#include "resources/TextureTools.h"
#include "support/GlTestContext.h"

namespace enginetest {

using Rgb = std::array<int, 3>;

// The engine loads "data/shaders/..." through the data archive, which reads the disk
// before an archive is opened: the sample demo's folder holds them.
inline void serveEngineShaders() {
  if (::chdir(DE_SOURCE_DIR "/demo") != 0) std::abort();
}

// A fixture on one Size × Size context for the whole program (the death tests' suites
// included): the engine's shared targets, programs and textures belong to it. Each test
// starts on a cleared frame with the full viewport.
template <int Size>
class EngineTest : public testing::Test {
 protected:
  static constexpr int kSize = Size;
  static void SetUpTestSuite() {
    if (!gl) gl = new GlTestContext(kSize, kSize);
    serveEngineShaders();
  }
  void SetUp() override {
    ASSERT_TRUE(gl->ok());
    glViewport(0, 0, kSize, kSize);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  static inline GlTestContext* gl = nullptr;
};

inline int byteOf(double v) { return static_cast<int>(std::lround(std::fmin(std::fmax(v, 0.0), 1.0) * 255.0)); }
inline Rgb bytesOf(double r, double g, double b) { return {byteOf(r), byteOf(g), byteOf(b)}; }

inline Rgb readPixel(int x, int y) {
  uint8_t p[4] = {};
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
  return {p[0], p[1], p[2]};
}

// Writes the bound read framebuffer to <DE_TEST_PNG_DIR>/<name>.png when that is set.
inline void dumpPng(const std::string& name, int width, int height) {
  const char* dir = std::getenv("DE_TEST_PNG_DIR");
  if (!dir || !*dir) return;
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
  platform::writePngRgb(std::string(dir) + "/" + name + ".png", width, height, rgb.data());
}

// A quad from four corners given counter-clockwise as seen from its front, with one
// normal, texture coordinates (0,0) (1,0) (1,1) (0,1) in both sets when asked for.
inline std::unique_ptr<MeshObject> makeQuad(int id, const std::string& name, int materialId,
                                            const std::array<glm::vec3, 4>& corners, bool texCoords = true,
                                            bool secondSet = false) {
  auto mesh = std::make_unique<MeshObject>(id, name);
  const glm::vec3 normal = glm::normalize(glm::cross(corners[1] - corners[0], corners[2] - corners[0]));
  std::vector<glm::vec2> uv;
  if (texCoords) uv = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  mesh->setGeometry({corners.begin(), corners.end()}, std::vector<glm::vec3>(4, normal), uv,
                    secondSet ? uv : std::vector<glm::vec2>{}, {}, {{0, 1, 2}, {0, 2, 3}});
  mesh->setMaterialId(materialId);
  return mesh;
}

// The square (−h, −h)…(h, h) in the plane z = 0 facing +z.
inline std::unique_ptr<MeshObject> makeSquare(int id, const std::string& name, int materialId, float h,
                                              bool texCoords = true, bool secondSet = false) {
  return makeQuad(id, name, materialId, {glm::vec3(-h, -h, 0), glm::vec3(h, -h, 0), glm::vec3(h, h, 0), glm::vec3(-h, h, 0)},
                  texCoords, secondSet);
}

// The square (−h, −h)…(h, h) at z = 0 facing +z as n × n cells: fixed-function lighting is
// computed per vertex, so a probe needs vertices close to it.
inline std::unique_ptr<MeshObject> makeGrid(int id, const std::string& name, int materialId, float h, int n) {
  std::vector<glm::vec3> positions;
  std::vector<glm::vec2> uv;
  std::vector<std::array<int, 3>> faces;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      const float u = static_cast<float>(i) / n, v = static_cast<float>(j) / n;
      positions.emplace_back(-h + 2 * h * u, -h + 2 * h * v, 0.0f);
      uv.emplace_back(u, v);
    }
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
      faces.push_back({a, b, c});
      faces.push_back({a, c, d});
    }
  auto mesh = std::make_unique<MeshObject>(id, name);
  mesh->setGeometry(positions, std::vector<glm::vec3>(positions.size(), glm::vec3(0, 0, 1)), uv, {}, {}, faces);
  mesh->setMaterialId(materialId);
  return mesh;
}

// An axis-aligned box from `lo` to `hi` with outward faces and flat normals (as a MeshObject
// or a class derived from it).
template <class Mesh = MeshObject>
std::unique_ptr<Mesh> makeBox(int id, const std::string& name, int materialId, glm::vec3 lo, glm::vec3 hi) {
  std::vector<glm::vec3> positions;
  std::vector<glm::vec3> normals;
  std::vector<std::array<int, 3>> faces;
  const auto face = [&](glm::vec3 a, glm::vec3 b, glm::vec3 c, glm::vec3 d) {
    const int base = static_cast<int>(positions.size());
    const glm::vec3 n = glm::normalize(glm::cross(b - a, c - a));
    for (const glm::vec3& p : {a, b, c, d}) {
      positions.push_back(p);
      normals.push_back(n);
    }
    faces.push_back({base, base + 1, base + 2});
    faces.push_back({base, base + 2, base + 3});
  };
  const glm::vec3 l = lo, h = hi;
  face({l.x, l.y, h.z}, {h.x, l.y, h.z}, {h.x, h.y, h.z}, {l.x, h.y, h.z});  // +z
  face({h.x, l.y, l.z}, {l.x, l.y, l.z}, {l.x, h.y, l.z}, {h.x, h.y, l.z});  // −z
  face({h.x, l.y, h.z}, {h.x, l.y, l.z}, {h.x, h.y, l.z}, {h.x, h.y, h.z});  // +x
  face({l.x, l.y, l.z}, {l.x, l.y, h.z}, {l.x, h.y, h.z}, {l.x, h.y, l.z});  // −x
  face({l.x, h.y, h.z}, {h.x, h.y, h.z}, {h.x, h.y, l.z}, {l.x, h.y, l.z});  // +y
  face({l.x, l.y, l.z}, {h.x, l.y, l.z}, {h.x, l.y, h.z}, {l.x, l.y, h.z});  // −y
  auto mesh = std::make_unique<Mesh>(id, name);
  mesh->setGeometry(positions, normals, {}, {}, {}, faces);
  mesh->setMaterialId(materialId);
  return mesh;
}

// A w × h (1D when h is 0) texture of one colour, cached under `name`.
inline Texture* solidTexture(const std::string& name, Rgb colour, int w = 2, int h = 2) {
  const GLenum target = h == 0 ? GL_TEXTURE_1D : GL_TEXTURE_2D;
  Texture* texture = TextureManager::instance().createTexture(name, w, h == 0 ? 1 : h, target, GL_RGBA, 0);
  std::vector<uint8_t> pixels;
  for (int i = 0; i < w * (h == 0 ? 1 : h); ++i)
    pixels.insert(pixels.end(), {uint8_t(colour[0]), uint8_t(colour[1]), uint8_t(colour[2]), 255});
  uploadPixels(texture, pixels.data());
  return texture;
}

// A cube map whose six faces are all of one colour.
inline Texture* solidCubeMap(const std::string& name, Rgb colour, int size = 2) {
  Texture* texture = TextureManager::instance().createCubeMap(name, size);
  std::vector<uint8_t> pixels;
  for (int i = 0; i < size * size; ++i)
    pixels.insert(pixels.end(), {uint8_t(colour[0]), uint8_t(colour[1]), uint8_t(colour[2]), 255});
  texture->bind();
  for (int face = 0; face < 6; ++face)
    glTexSubImage2D(static_cast<GLenum>(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face), 0, 0, 0, size, size, GL_RGBA,
                    GL_UNSIGNED_BYTE, pixels.data());
  glBindTexture(GL_TEXTURE_CUBE_MAP, 0);
  return texture;
}

// What a draw path must give back as it found it.
struct GlState {
  std::array<GLint, 24> values{};
  bool operator==(const GlState&) const = default;
};

inline GlState captureGlState() {
  GlState s;
  size_t i = 0;
  const auto integer = [&](GLenum name) { glGetIntegerv(name, &s.values[i++]); };
  const auto enabled = [&](GLenum name) { s.values[i++] = glIsEnabled(name); };
  integer(GL_ATTRIB_STACK_DEPTH);
  integer(GL_CLIENT_ATTRIB_STACK_DEPTH);
  integer(GL_MODELVIEW_STACK_DEPTH);
  integer(GL_PROJECTION_STACK_DEPTH);
  integer(GL_TEXTURE_STACK_DEPTH);
  integer(GL_MATRIX_MODE);
  integer(GL_ACTIVE_TEXTURE);
  integer(GL_CLIENT_ACTIVE_TEXTURE);
  integer(GL_FRAMEBUFFER_BINDING);
  integer(GL_PROGRAM_PIPELINE_BINDING);
  integer(GL_ARRAY_BUFFER_BINDING);
  integer(GL_DEPTH_WRITEMASK);
  integer(GL_DEPTH_FUNC);
  integer(GL_BLEND_SRC);
  enabled(GL_BLEND);
  enabled(GL_DEPTH_TEST);
  enabled(GL_LIGHTING);
  enabled(GL_FOG);
  enabled(GL_CULL_FACE);
  enabled(GL_TEXTURE_2D);
  enabled(GL_TEXTURE_GEN_S);
  enabled(GL_VERTEX_ARRAY);
  enabled(GL_LIGHT0);
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  s.values[i++] = viewport[2] * 10000 + viewport[3];
  return s;
}

}  // namespace enginetest
