#pragma once
// What the scene families share: where scenes go, records made in one call, procedural
// meshes and keyed animation. The engine's conventions: y is up, faces are counter-clockwise
// seen from their front, one key per animation frame, quaternions (x, y, z, w) in the
// exporter's form (the engine's matrix is the transpose of the usual one, so a key built
// here with rotationKey turns the way the angle says).

#include <filesystem>
#include <functional>
#include <string>

#include "sceneFile/VKGFile.h"

struct SceneOutput {
  std::filesystem::path directory;
  bool failed = false;
  // Writes directory/fileName; a failure is reported and remembered.
  void save(const std::string& fileName, const vkg::SceneFile& file);
};

namespace kit {

// [SECTION] Records

vkg::MaterialRecord material(int id, const std::string& name, glm::vec3 diffuse, float glossiness = 0.3f,
                             float specularLevel = 0.5f);
vkg::MeshRecord& mesh(vkg::SceneFile& file, int id, const std::string& name, int materialId, glm::vec3 position,
                      int parentId = -1);
vkg::ObjectRecord& node(vkg::SceneFile& file, int id, const std::string& name, glm::vec3 position, int parentId = -1);
vkg::CameraRecord& camera(vkg::SceneFile& file, int id, const std::string& name, glm::vec3 position, int targetId,
                          float horizontalFovDegrees, float farPlane = 1000.0f);
vkg::LightRecord& omni(vkg::SceneFile& file, int id, const std::string& name, glm::vec3 position, glm::vec3 colour,
                       float multiplier = 1.0f, float range = 0.0f);
vkg::LightRecord& spot(vkg::SceneFile& file, int id, const std::string& name, glm::vec3 position, int targetId,
                       glm::vec3 colour, float cutoffDegrees);

// The file's rotation of `degrees` about `axis`, in the engine's sense (counter-clockwise
// looking down the axis towards the origin, as glRotate turns).
glm::vec4 rotationKey(glm::vec3 axis, float degrees);
// Combines two file rotations: first `a`, then `b`.
glm::vec4 thenRotate(glm::vec4 a, glm::vec4 b);

// One key per frame of the file from `position(t)` (t = the frame's time in scene units),
// and from `rotation(t)` when given.
void keyPositions(vkg::ObjectRecord& object, const vkg::SceneFile& file, const std::function<glm::vec3(float)>& position);
void keyRotations(vkg::ObjectRecord& object, const vkg::SceneFile& file, const std::function<glm::vec4(float)>& rotation);

// [SECTION] Meshes (appended to what the mesh holds, in its object space)

// The square `size` × `size` on the xz plane around the origin, facing +y, `cells` per side,
// lifted by height(x, z); texture coordinates repeat `repeat` times across.
void terrain(vkg::MeshRecord& m, float size, int cells, const std::function<float(float, float)>& height, float repeat);
// An upright cylinder from y0 to y1, closed at both ends.
void column(vkg::MeshRecord& m, float radius, float y0, float y1, int segments, float repeat);
// A ring about the y axis: `major` to the middle of its tube of radius `minor`.
void torus(vkg::MeshRecord& m, float major, float minor, int majorSegments, int minorSegments);
// An ellipsoid with radii `r` about `centre`.
void ellipsoid(vkg::MeshRecord& m, glm::vec3 centre, glm::vec3 r, int slices, int stacks);
void box(vkg::MeshRecord& m, glm::vec3 lo, glm::vec3 hi, float repeat = 1.0f);

}  // namespace kit
