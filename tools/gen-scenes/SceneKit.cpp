#include "SceneKit.h"

#include <cmath>
#include <cstdio>

#include <glm/gtc/quaternion.hpp>

void SceneOutput::save(const std::string& fileName, const vkg::SceneFile& file) {
  const std::filesystem::path path = directory / fileName;
  if (!vkg::saveSceneFile(file, path.string())) {
    std::fprintf(stderr, "gen-scenes: cannot write %s\n", path.c_str());
    failed = true;
  }
}

namespace kit {

namespace {

constexpr float kPi = 3.14159265358979f;

// Appends a triangle turned so that its front faces along `outward`.
void triangle(vkg::MeshRecord& m, int a, int b, int c, glm::vec3 outward) {
  const glm::vec3 n = glm::cross(m.positions[b] - m.positions[a], m.positions[c] - m.positions[a]);
  if (glm::dot(n, outward) >= 0) m.faces.push_back({a, b, c});
  else m.faces.push_back({a, c, b});
}

int vertex(vkg::MeshRecord& m, glm::vec3 p, glm::vec3 n, glm::vec2 uv) {
  m.positions.push_back(p);
  m.normals.push_back(glm::normalize(n));
  m.texCoords[0].push_back(uv);
  return static_cast<int>(m.positions.size()) - 1;
}

// A (rows + 1) × (columns + 1) lattice from `at(i, j)` giving position and normal; each cell
// two triangles facing along the normals.
template <class F>
void lattice(vkg::MeshRecord& m, int columns, int rows, glm::vec2 repeat, F&& at) {
  const int base = static_cast<int>(m.positions.size());
  for (int j = 0; j <= rows; ++j)
    for (int i = 0; i <= columns; ++i) {
      const auto [p, n] = at(i, j);
      vertex(m, p, n, {repeat.x * static_cast<float>(i) / columns, repeat.y * static_cast<float>(j) / rows});
    }
  for (int j = 0; j < rows; ++j)
    for (int i = 0; i < columns; ++i) {
      const int a = base + j * (columns + 1) + i, b = a + 1, c = a + columns + 2, d = a + columns + 1;
      const glm::vec3 outward = m.normals[a] + m.normals[b] + m.normals[c] + m.normals[d];
      triangle(m, a, b, c, outward);
      triangle(m, a, c, d, outward);
    }
}

glm::quat toQuat(glm::vec4 q) { return glm::quat(q.w, q.x, q.y, q.z); }
glm::vec4 fromQuat(glm::quat q) { return {q.x, q.y, q.z, q.w}; }

}  // namespace

// [SECTION] Records

vkg::MaterialRecord material(int id, const std::string& name, glm::vec3 diffuse, float glossiness, float specularLevel) {
  vkg::MaterialRecord m;
  m.id = id;
  m.name = name;
  m.diffuse = diffuse;
  m.ambient = diffuse * 0.5f;
  m.specular = glm::vec3(1.0f);
  m.glossiness = glossiness;
  m.specularLevel = specularLevel;
  return m;
}

vkg::MeshRecord& mesh(vkg::SceneFile& file, int id, const std::string& name, int materialId, glm::vec3 position,
                      int parentId) {
  vkg::MeshRecord& m = file.addMesh();
  m.object.name = name;
  m.object.id = id;
  m.object.parentId = parentId;
  m.object.materialId = materialId;
  m.object.position = position;
  return m;
}

vkg::ObjectRecord& node(vkg::SceneFile& file, int id, const std::string& name, glm::vec3 position, int parentId) {
  vkg::ObjectRecord& o = file.addObject();
  o.name = name;
  o.id = id;
  o.parentId = parentId;
  o.position = position;
  return o;
}

vkg::CameraRecord& camera(vkg::SceneFile& file, int id, const std::string& name, glm::vec3 position, int targetId,
                          float horizontalFovDegrees, float farPlane) {
  vkg::CameraRecord& c = file.addCamera();
  c.object.name = name;
  c.object.id = id;
  c.object.position = position;
  c.fov = horizontalFovDegrees * kPi / 180.0f;
  c.nearPlane = 1.0f;
  c.farPlane = farPlane;
  c.targetId = targetId;
  return c;
}

vkg::LightRecord& omni(vkg::SceneFile& file, int id, const std::string& name, glm::vec3 position, glm::vec3 colour,
                       float multiplier, float range) {
  vkg::LightRecord& l = file.addLight();
  l.object.name = name;
  l.object.id = id;
  l.object.position = position;
  l.lightType = vkg::kOmniLight;
  l.colour = colour;
  l.multiplier = multiplier;
  l.range = range;
  return l;
}

vkg::LightRecord& spot(vkg::SceneFile& file, int id, const std::string& name, glm::vec3 position, int targetId,
                       glm::vec3 colour, float cutoffDegrees) {
  vkg::LightRecord& l = file.addLight();
  l.object.name = name;
  l.object.id = id;
  l.object.position = position;
  l.lightType = vkg::kTargetSpotLight;
  l.colour = colour;
  l.cutoff = cutoffDegrees;
  l.targetId = targetId;
  return l;
}

glm::vec4 rotationKey(glm::vec3 axis, float degrees) {
  // The engine turns by the inverse of the usual quaternion matrix: store the opposite angle.
  return fromQuat(glm::angleAxis(-degrees * kPi / 180.0f, glm::normalize(axis)));
}

glm::vec4 thenRotate(glm::vec4 a, glm::vec4 b) {
  // Matrices of the inverse quaternions compose in the opposite order.
  return fromQuat(toQuat(a) * toQuat(b));
}

void keyPositions(vkg::ObjectRecord& object, const vkg::SceneFile& file, const std::function<glm::vec3(float)>& position) {
  object.positionKeys.clear();
  for (int64_t f = 0; f < file.frameCount(); ++f) object.positionKeys.push_back(position(static_cast<float>(f * file.frameStep)));
  object.position = object.positionKeys.front();
}

void keyRotations(vkg::ObjectRecord& object, const vkg::SceneFile& file, const std::function<glm::vec4(float)>& rotation) {
  object.rotationKeys.clear();
  for (int64_t f = 0; f < file.frameCount(); ++f) object.rotationKeys.push_back(rotation(static_cast<float>(f * file.frameStep)));
  object.rotation = object.rotationKeys.front();
}

// [SECTION] Meshes

void terrain(vkg::MeshRecord& m, float size, int cells, const std::function<float(float, float)>& height, float repeat) {
  const float step = size / static_cast<float>(cells);
  const auto at = [&](int i, int j) {
    const float x = -size / 2 + step * static_cast<float>(i), z = -size / 2 + step * static_cast<float>(j);
    const float e = step * 0.5f;
    const glm::vec3 n(height(x - e, z) - height(x + e, z), 2 * e, height(x, z - e) - height(x, z + e));
    return std::pair{glm::vec3(x, height(x, z), z), n};
  };
  lattice(m, cells, cells, {repeat, repeat}, at);
}

void column(vkg::MeshRecord& m, float radius, float y0, float y1, int segments, float repeat) {
  lattice(m, segments, 1, {repeat, 1.0f}, [&](int i, int j) {
    const float a = 2 * kPi * static_cast<float>(i) / segments;
    const glm::vec3 n(std::cos(a), 0, std::sin(a));
    return std::pair{glm::vec3(n.x * radius, j == 0 ? y0 : y1, n.z * radius), n};
  });
  for (const float y : {y0, y1}) {
    const glm::vec3 up(0, y == y0 ? -1.0f : 1.0f, 0);
    const int centre = vertex(m, {0, y, 0}, up, {0.5f, 0.5f});
    for (int i = 0; i < segments; ++i) {
      const float a = 2 * kPi * static_cast<float>(i) / segments, b = 2 * kPi * static_cast<float>(i + 1) / segments;
      const int p = vertex(m, {std::cos(a) * radius, y, std::sin(a) * radius}, up, {0.5f + 0.5f * std::cos(a), 0.5f + 0.5f * std::sin(a)});
      const int q = vertex(m, {std::cos(b) * radius, y, std::sin(b) * radius}, up, {0.5f + 0.5f * std::cos(b), 0.5f + 0.5f * std::sin(b)});
      triangle(m, centre, p, q, up);
    }
  }
}

void torus(vkg::MeshRecord& m, float major, float minor, int majorSegments, int minorSegments) {
  lattice(m, majorSegments, minorSegments, {4.0f, 1.0f}, [&](int i, int j) {
    const float a = 2 * kPi * static_cast<float>(i) / majorSegments, b = 2 * kPi * static_cast<float>(j) / minorSegments;
    const glm::vec3 radial(std::cos(a), 0, std::sin(a));
    const glm::vec3 n = radial * std::cos(b) + glm::vec3(0, std::sin(b), 0);
    return std::pair{radial * major + n * minor, n};
  });
}

void ellipsoid(vkg::MeshRecord& m, glm::vec3 centre, glm::vec3 r, int slices, int stacks) {
  lattice(m, slices, stacks, {1.0f, 1.0f}, [&](int i, int j) {
    const float a = 2 * kPi * static_cast<float>(i) / slices;
    const float b = kPi * (static_cast<float>(j) / stacks - 0.5f);
    const glm::vec3 unit(std::cos(b) * std::cos(a), std::sin(b), std::cos(b) * std::sin(a));
    return std::pair{centre + unit * r, unit / r};
  });
}

void box(vkg::MeshRecord& m, glm::vec3 lo, glm::vec3 hi, float repeat) {
  for (int axis = 0; axis < 3; ++axis)
    for (const float side : {-1.0f, 1.0f}) {
      glm::vec3 n(0.0f);
      n[axis] = side;
      const int u = (axis + 1) % 3, v = (axis + 2) % 3;
      const int base = static_cast<int>(m.positions.size());
      for (int k = 0; k < 4; ++k) {
        glm::vec3 p;
        p[axis] = side < 0 ? lo[axis] : hi[axis];
        p[u] = (k == 1 || k == 2) ? hi[u] : lo[u];
        p[v] = (k >= 2) ? hi[v] : lo[v];
        vertex(m, p, n, {(k == 1 || k == 2) ? repeat : 0.0f, k >= 2 ? repeat : 0.0f});
      }
      triangle(m, base, base + 1, base + 2, n);
      triangle(m, base, base + 2, base + 3, n);
    }
}

}  // namespace kit
