#pragma once
// Small scene files for the loader, effect and tool tests, written through the engine's own
// writer: materials of one colour, flat squares and boxes, cameras and lights.

#include <cmath>
#include <string>

#include "sceneFile/VKGFile.h"
#include "support/TempDir.h"

namespace vkgtest {

inline vkg::MaterialRecord colourMaterial(int id, const std::string& name, glm::vec3 diffuse) {
  vkg::MaterialRecord m;
  m.id = id;
  m.name = name;
  m.diffuse = diffuse;
  m.ambient = diffuse;
  m.specular = glm::vec3(0.0f);
  return m;
}

// The square (−h, −h)…(h, h) in the plane z = 0 facing +z, as n × n cells (lighting and fog
// are computed per vertex); rotated with the record's quaternion, placed at `position`.
inline vkg::MeshRecord& addSquare(vkg::SceneFile& file, int id, const std::string& name, int materialId, float h,
                                  glm::vec3 position, int n = 8, int parentId = -1) {
  vkg::MeshRecord& mesh = file.addMesh();
  mesh.object.name = name;
  mesh.object.id = id;
  mesh.object.parentId = parentId;
  mesh.object.materialId = materialId;
  mesh.object.position = position;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      const float u = static_cast<float>(i) / n, v = static_cast<float>(j) / n;
      mesh.positions.emplace_back(-h + 2 * h * u, -h + 2 * h * v, 0.0f);
      mesh.normals.emplace_back(0.0f, 0.0f, 1.0f);
      mesh.texCoords[0].emplace_back(u, v);
    }
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
      mesh.faces.push_back({a, b, c});
      mesh.faces.push_back({a, c, d});
    }
  return mesh;
}

// An axis-aligned box from `lo` to `hi` with outward faces and flat normals (closed, so it
// has back faces for the shadow map).
inline vkg::MeshRecord& addBox(vkg::SceneFile& file, int id, const std::string& name, int materialId, glm::vec3 lo,
                               glm::vec3 hi) {
  vkg::MeshRecord& mesh = file.addMesh();
  mesh.object.name = name;
  mesh.object.id = id;
  mesh.object.materialId = materialId;
  const auto face = [&](glm::vec3 a, glm::vec3 b, glm::vec3 c, glm::vec3 d) {
    const int base = static_cast<int>(mesh.positions.size());
    const glm::vec3 n = glm::normalize(glm::cross(b - a, c - a));
    for (const glm::vec3& p : {a, b, c, d}) {
      mesh.positions.push_back(p);
      mesh.normals.push_back(n);
    }
    mesh.faces.push_back({base, base + 1, base + 2});
    mesh.faces.push_back({base, base + 2, base + 3});
  };
  const glm::vec3 l = lo, h = hi;
  face({l.x, l.y, h.z}, {h.x, l.y, h.z}, {h.x, h.y, h.z}, {l.x, h.y, h.z});
  face({h.x, l.y, l.z}, {l.x, l.y, l.z}, {l.x, h.y, l.z}, {h.x, h.y, l.z});
  face({h.x, l.y, h.z}, {h.x, l.y, l.z}, {h.x, h.y, l.z}, {h.x, h.y, h.z});
  face({l.x, l.y, l.z}, {l.x, l.y, h.z}, {l.x, h.y, h.z}, {l.x, h.y, l.z});
  face({l.x, h.y, h.z}, {h.x, h.y, h.z}, {h.x, h.y, l.z}, {l.x, h.y, l.z});
  face({l.x, l.y, l.z}, {h.x, l.y, l.z}, {h.x, l.y, h.z}, {l.x, l.y, h.z});
  return mesh;
}

// A quaternion (x, y, z, w) of `degrees` about the y axis, as the file stores rotations.
// The engine's matrix is the transpose of the usual one: this turns the +z facing square
// by −degrees as seen from above.
inline glm::vec4 aboutY(float degrees) {
  const float half = degrees * 3.14159265f / 360.0f;
  return {0.0f, std::sin(half), 0.0f, std::cos(half)};
}

inline vkg::CameraRecord& addCamera(vkg::SceneFile& file, int id, const std::string& name, glm::vec3 position,
                                    int targetId, float horizontalFovRadians = 1.0f) {
  vkg::CameraRecord& camera = file.addCamera();
  camera.object.name = name;
  camera.object.id = id;
  camera.object.position = position;
  camera.fov = horizontalFovRadians;
  camera.nearPlane = 1.0f;
  camera.farPlane = 1000.0f;
  camera.targetId = targetId;
  return camera;
}

inline vkg::ObjectRecord& addNode(vkg::SceneFile& file, int id, const std::string& name, glm::vec3 position,
                                  int parentId = -1) {
  vkg::ObjectRecord& object = file.addObject();
  object.name = name;
  object.id = id;
  object.parentId = parentId;
  object.position = position;
  return object;
}

inline vkg::LightRecord& addOmni(vkg::SceneFile& file, int id, const std::string& name, glm::vec3 position,
                                 glm::vec3 colour = glm::vec3(1.0f)) {
  vkg::LightRecord& light = file.addLight();
  light.object.name = name;
  light.object.id = id;
  light.object.position = position;
  light.lightType = vkg::kOmniLight;
  light.colour = colour;
  return light;
}

inline void save(const vkg::SceneFile& file, const WorkingDirectory& dir, const std::string& path) {
  const std::vector<uint8_t> bytes = vkg::writeSceneFile(file);
  dir.write(path, std::string(bytes.begin(), bytes.end()));
}

// Two coloured walls 10 units either side of the origin along z, each facing it: "CamFront"
// (no target: looks down −z) sees the red one, "CamBack" (aimed at "Behind") the green one
// and "Cam03" (aimed at "Left") neither. Unlit materials have the colour as their ambient too, and there is one
// white omni light at the origin.
inline vkg::SceneFile twoWalls() {
  vkg::SceneFile file;
  file.lastFrame = 16000;  // 101 frames of 160
  auto& materials = file.addMaterialList();
  materials.push_back(colourMaterial(1, "red", {1.0f, 0.0f, 0.0f}));
  materials.push_back(colourMaterial(2, "green", {0.0f, 1.0f, 0.0f}));
  addSquare(file, 10, "RedWall", 1, 3.0f, {0.0f, 0.0f, -10.0f});
  vkg::MeshRecord& green = addSquare(file, 11, "GreenWall", 2, 3.0f, {0.0f, 0.0f, 10.0f});
  green.object.rotation = aboutY(180.0f);
  addNode(file, 12, "Behind", {0.0f, 0.0f, 10.0f});
  addNode(file, 13, "Left", {-10.0f, 0.0f, 0.0f});
  addCamera(file, 20, "CamFront", {0.0f, 0.0f, 0.0f}, -1);
  addCamera(file, 21, "CamBack", {0.0f, 0.0f, 0.0f}, 12);
  addCamera(file, 22, "Cam03", {0.0f, 0.0f, 0.0f}, 13);
  addOmni(file, 30, "Omni01", {0.0f, 0.0f, 0.0f});
  return file;
}

}  // namespace vkgtest
