#pragma once
// The smallest scenes the scene-based parts accept: the fixed files they load, with the
// nodes they look up, plain boxes and a camera looking at the origin. Written into a test's
// working directory under the names the parts load.

#include <string>
#include <utility>

#include "support/VkgScenes.h"

namespace partscenes {

inline vkg::MeshRecord& box(vkg::SceneFile& file, int id, const std::string& name, glm::vec3 lo, glm::vec3 hi,
                            int parentId = -1, int materialId = 1) {
  vkg::MeshRecord& mesh = vkgtest::addBox(file, id, name, materialId, lo, hi);
  mesh.object.parentId = parentId;
  return mesh;
}

// A white material, a camera at `eye` aimed at a node at the origin, a light beside it.
inline vkg::SceneFile stage(glm::vec3 eye) {
  vkg::SceneFile file;
  file.lastFrame = 16000;
  file.addMaterialList().push_back(vkgtest::colourMaterial(1, "white", glm::vec3(1.0f)));
  vkgtest::addNode(file, 900, "Target", glm::vec3(0.0f));
  vkgtest::addCamera(file, 901, "Camera01", eye, 900, 1.2f);
  vkgtest::addOmni(file, 902, "Omni01", eye);
  return file;
}

// An arm "ledd01" of six links, each a child of the one before.
inline vkg::SceneFile testArm() {
  vkg::SceneFile file = stage({0, 300, 1});
  for (int i = 1; i <= 6; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "ledd%02d", i);
    box(file, i, name, {0, -6, -6}, {24, 6, 6}, i == 1 ? -1 : i - 1);
  }
  return file;
}

inline vkg::SceneFile swimBoid() {
  vkg::SceneFile file = stage({300, 100, 300});
  box(file, 30, "Box30", {-8, -8, -20}, {8, 8, 20});
  box(file, 40, "Box40", {-8, -8, -20}, {8, 8, 20}).object.position = {60, 0, 0};
  box(file, 50, "Box50", {-8, -8, -20}, {8, 8, 20}).object.position = {-60, 0, 0};
  return file;
}

inline vkg::SceneFile stativ() {
  vkg::SceneFile file = stage({0, 60, 300});
  box(file, 3, "Box03", {-10, -10, -10}, {10, 10, 10});
  box(file, 4, "Mesh01", {-5, -5, -30}, {5, 5, 30}, 3);
  box(file, 8, "Box08", {-10, -10, -10}, {10, 10, 10});
  return file;
}

inline vkg::SceneFile grogreie() {
  vkg::SceneFile file = stage({0, 0, 2500});
  int id = 1;
  for (const char* name : {"del1", "del2", "del3", "del4"}) box(file, id++, name, {-5, -5, -5}, {5, 5, 5});
  for (const char* name : {"del05", "del06", "del07"}) box(file, id++, name, {0, -6, -6}, {120, 6, 6});
  return file;
}

// "ParticleBox", a room from (−100, −75, −400) to (100, 75, −200) whose walls face inwards,
// in front of a camera whose view is the identity (where the particles are drawn): the
// camera sees into it through its culled front wall.
inline vkg::SceneFile skrap2() {
  vkg::SceneFile file;
  file.lastFrame = 16000;
  file.addMaterialList().push_back(vkgtest::colourMaterial(1, "blue", {0.1f, 0.1f, 0.4f}));
  vkgtest::addCamera(file, 901, "Camera01", glm::vec3(0.0f), -1, 1.2f);
  vkgtest::addOmni(file, 902, "Omni01", glm::vec3(0.0f));
  vkg::MeshRecord& room = box(file, 1, "ParticleBox", {-100, -75, -400}, {100, 75, -200});
  for (auto& face : room.faces) std::swap(face[1], face[2]);
  for (glm::vec3& n : room.normals) n = -n;
  return file;
}

// "Sphere01", and the dummies "Dummy01" and "Dummy02" moving along x (no "Dummy03", and a
// "Dummy04" that the trails never reach).
inline vkg::SceneFile threads() {
  vkg::SceneFile file = stage({0, 0, 200});
  box(file, 1, "Sphere01", {-10, -10, -10}, {10, 10, 10});
  for (int i : {1, 2, 4}) {
    vkg::ObjectRecord& dummy = vkgtest::addNode(file, 10 + i, "Dummy0" + std::to_string(i), {0, 10.0f * i, 0});
    for (int k = 0; k <= 100; ++k) dummy.positionKeys.push_back({-50.0f + k, 10.0f * i, 0});
  }
  return file;
}

inline void writeAll(const WorkingDirectory& dir) {
  vkgtest::save(testArm(), dir, "data/scenes/testarm.vkg");
  vkgtest::save(swimBoid(), dir, "data/scenes/swimboid.vkg");
  vkgtest::save(stativ(), dir, "data/scenes/stativ.vkg");
  vkgtest::save(grogreie(), dir, "data/scenes/grogreie.vkg");
  vkgtest::save(skrap2(), dir, "data/scenes/skrap2.vkg");
  vkgtest::save(threads(), dir, "data/scenes/threads.vkg");
}

}  // namespace partscenes
