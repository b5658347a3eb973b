#pragma once
// A stage for the scene-based simulations: every node they look up by name ("Dummy01",
// "GeoSphere01", the bird "Box04", the obstacles "Sphere01"–"Sphere07", "smokebox00",
// "Box01"), the cameras "Camera01" (on +z, looking down −z at the origin from 150) and
// "Camera02", and one white light.

#include <string>

#include "support/VkgScenes.h"

namespace vkgtest {

inline vkg::SceneFile simulationStage() {
  vkg::SceneFile file;
  file.lastFrame = 16000;
  auto& materials = file.addMaterialList();
  materials.push_back(colourMaterial(1, "grey", {0.5f, 0.5f, 0.5f}));
  materials.push_back(colourMaterial(2, "blue", {0.2f, 0.3f, 1.0f}));
  addNode(file, 10, "Dummy01", {0.0f, 0.0f, 0.0f});
  addNode(file, 11, "GeoSphere01", {0.0f, 0.0f, 0.0f});
  addBox(file, 12, "Box04", 2, {-1.5f, -0.3f, -1.0f}, {1.5f, 0.3f, 1.0f});
  for (int k = 1; k <= 7; ++k) {
    const float a = static_cast<float>(k) * 0.9f;
    addNode(file, 20 + k, "Sphere0" + std::to_string(k), {69.5f * std::cos(a), 69.5f * std::sin(a), 0.0f});
  }
  addNode(file, 30, "smokebox00", {0.0f, 0.0f, 0.0f});
  addBox(file, 31, "Box01", 1, {-1.0f, -1.0f, -1.0f}, {1.0f, 1.0f, 1.0f});
  addCamera(file, 40, "Camera01", {0.0f, 0.0f, 150.0f}, 10);
  addCamera(file, 41, "Camera02", {0.0f, 40.0f, 150.0f}, 10);
  addOmni(file, 50, "Omni01", {0.0f, 100.0f, 100.0f});
  return file;
}

}  // namespace vkgtest
