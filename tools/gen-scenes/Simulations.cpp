// The swarm section's scenes, each with the named nodes its simulation hangs into:
//   swarm.vkg      a chrome globe "GeoSphere01", the bird "Box04" (a body and two wings
//                  whose span beats over 25 keys) and seven glowing moons "Sphere01"-
//                  "Sphere07" on the flock's sphere of radius 69.5; camera "Camera01"
//   metaballs.vkg  the node "Dummy01" placed so the blobs float over a tiled floor;
//                  camera "Camera01" circling them
//   smokecube.vkg  the node "smokebox00" in a frame of four posts on a floor; "Camera01"
//   smokejet.vkg   the box "Box01" the corner jet fills, on a floor; "Camera01" and
//                  "Camera02" (the one the jet smoke is seen from)
// All play 16 seconds at 25 keys a second (frame step 40).

#include <cmath>
#include <string>

#include "SceneKit.h"

namespace {

constexpr float kPi = 3.14159265358979f;

enum Material { kFloor = 1, kChrome, kBird, kMoon, kPost };

vkg::SceneFile sixteenSeconds() {
  vkg::SceneFile file;
  file.firstFrame = 0;
  file.lastFrame = 16000;
  file.frameStep = 40;
  return file;
}

vkg::MaterialRecord withMaps(vkg::MaterialRecord m, std::initializer_list<vkg::MapRecord> maps) {
  m.maps = maps;
  return m;
}

void commonMaterials(vkg::SceneFile& file) {
  auto& materials = file.addMaterialList();
  materials.push_back(withMaps(kit::material(kFloor, "Tiles", {0.75f, 0.75f, 0.8f}, 0.2f, 0.2f),
                               {{"fliser.jpg", vkg::kDiffuseMap}}));
  materials.push_back(withMaps(kit::material(kChrome, "Chrome", {0.8f, 0.85f, 1.0f}, 0.8f, 1.0f),
                               {{"metal24.jpg", vkg::kDiffuseMap}, {"envmap.jpg", vkg::kReflectionMap}}));
  materials.push_back(kit::material(kBird, "Bird", {1.0f, 0.85f, 0.4f}, 0.5f, 0.6f));
  materials.push_back(kit::material(kMoon, "Moon", {0.5f, 0.8f, 1.0f}, 0.6f, 0.8f));
  materials.push_back(withMaps(kit::material(kPost, "Post", {0.9f, 0.8f, 0.6f}, 0.5f, 0.7f),
                               {{"metal24.jpg", vkg::kDiffuseMap}}));
}

void flatFloor(vkg::SceneFile& file, int id, float y, float size) {
  kit::terrain(kit::mesh(file, id, "Floor", kFloor, {0, y, 0}), size, 24, [](float, float) { return 0.0f; }, size / 25);
}

void writeSwarm(SceneOutput& out) {
  vkg::SceneFile file = sixteenSeconds();
  commonMaterials(file);
  kit::ellipsoid(kit::mesh(file, 1, "GeoSphere01", kChrome, {0, 0, 0}), {0, 0, 0}, glm::vec3(34.0f), 40, 20);
  // The bird, nose along +x, wings along z; hidden by the flock, which draws its copies.
  vkg::MeshRecord& bird = kit::mesh(file, 2, "Box04", kBird, {0, 0, 0});
  kit::box(bird, {-0.6f, -0.15f, -0.15f}, {0.6f, 0.15f, 0.15f});
  kit::box(bird, {-0.25f, -0.04f, 0.15f}, {0.25f, 0.04f, 1.3f});
  kit::box(bird, {-0.25f, -0.04f, -1.3f}, {0.25f, 0.04f, -0.15f});
  for (int k = 0; k < 25; ++k) {
    const float beat = std::cos(2 * kPi * static_cast<float>(k) / 25);
    bird.object.scaleKeys.emplace_back(1.0f, 1.0f + 1.5f * std::fabs(beat), 0.45f + 0.55f * std::fabs(beat));
  }
  for (int k = 1; k <= 7; ++k) {
    // Spread over the sphere of the flock: a spiral from pole to pole.
    const float t = (static_cast<float>(k) - 0.5f) / 7.0f;
    const float polar = std::acos(1 - 2 * t), around = static_cast<float>(k) * 2.39996f;
    const glm::vec3 p = 69.5f * glm::vec3(std::sin(polar) * std::cos(around), std::cos(polar),
                                          std::sin(polar) * std::sin(around));
    kit::ellipsoid(kit::mesh(file, 10 + k, "Sphere0" + std::to_string(k), kMoon, p), {0, 0, 0}, glm::vec3(5.0f), 20, 10);
  }
  vkg::CameraRecord& wide = kit::camera(file, 40, "Camera01", {}, 1, 60.0f, 1000.0f);
  kit::keyPositions(wide.object, file, [](float t) {
    const float a = 0.3f + t * 0.0002f;
    return glm::vec3(190.0f * std::cos(a), 60.0f, 190.0f * std::sin(a));
  });
  kit::omni(file, 50, "Omni01", {150, 200, 120}, {1.0f, 0.95f, 0.85f}, 1.2f);
  kit::omni(file, 51, "Omni02", {-160, -60, -100}, {0.35f, 0.4f, 0.8f}, 0.8f);
  out.save("swarm.vkg", file);
}

void writeMetaballs(SceneOutput& out) {
  vkg::SceneFile file = sixteenSeconds();
  commonMaterials(file);
  flatFloor(file, 1, -52.0f, 400.0f);
  // The surface is built in the grid's space (x and y from −19, z from 0 down to −37) and
  // drawn twice its size: this puts its middle on the origin.
  kit::node(file, 2, "Dummy01", {1.0f, 1.0f, 37.0f});
  kit::node(file, 3, "Middle", {0, 0, 0});
  vkg::CameraRecord& cam = kit::camera(file, 40, "Camera01", {}, 3, 65.0f, 1000.0f);
  kit::keyPositions(cam.object, file, [](float t) {
    const float a = 0.6f + t * 0.00025f;
    return glm::vec3(120.0f * std::cos(a), 28.0f + 10.0f * std::sin(t * 0.0004f), 120.0f * std::sin(a));
  });
  kit::omni(file, 50, "Omni01", {80, 150, 60}, {1.0f, 0.95f, 0.9f}, 1.1f);
  out.save("metaballs.vkg", file);
}

void writeSmokeCube(SceneOutput& out) {
  vkg::SceneFile file = sixteenSeconds();
  commonMaterials(file);
  flatFloor(file, 1, -102.0f, 600.0f);
  // The smoke object turns its volume's up to −z and its slices' normal to +x; the box
  // turns up back to +y, and the camera keeps to the slices' side.
  kit::node(file, 2, "smokebox00", {0, 0, 0}).rotation = kit::rotationKey({1, 0, 0}, 90.0f);
  for (int i = 0; i < 4; ++i) {
    const float x = (i & 1) ? 104.0f : -104.0f, z = (i & 2) ? 104.0f : -104.0f;
    kit::box(kit::mesh(file, 10 + i, "Post0" + std::to_string(i + 1), kPost, {x, 0, z}), {-3, -102, -3}, {3, 102, 3});
  }
  vkg::CameraRecord& cam = kit::camera(file, 40, "Camera01", {}, 2, 60.0f, 1500.0f);
  kit::keyPositions(cam.object, file, [](float t) {
    const float a = -0.45f + t * 0.00005f;
    return glm::vec3(290.0f * std::cos(a), 60.0f, 290.0f * std::sin(a));
  });
  kit::omni(file, 50, "Omni01", {200, 300, 150}, {1.0f, 0.95f, 0.9f}, 1.0f);
  out.save("smokecube.vkg", file);
}

void writeSmokeJet(SceneOutput& out) {
  vkg::SceneFile file = sixteenSeconds();
  commonMaterials(file);
  flatFloor(file, 1, -44.0f, 400.0f);
  kit::box(kit::mesh(file, 2, "Box01", kPost, {0, 0, 0}), {-1, -1, -1}, {1, 1, 1});
  kit::node(file, 3, "Middle", {0, 0, 0});
  kit::camera(file, 40, "Camera01", {0, 40, 160}, 3, 60.0f, 1000.0f);
  vkg::CameraRecord& cam = kit::camera(file, 41, "Camera02", {}, 3, 62.0f, 1000.0f);
  kit::keyPositions(cam.object, file, [](float t) {
    // From above: the jet's slices lie flat.
    const float a = 0.9f - t * 0.00015f;
    return glm::vec3(70.0f * std::cos(a), 85.0f, 70.0f * std::sin(a));
  });
  kit::omni(file, 50, "Omni01", {100, 160, 80}, {1.0f, 0.95f, 0.9f}, 1.0f);
  out.save("smokejet.vkg", file);
}

}  // namespace

void writeSceneFamily_simulations(SceneOutput& out) {
  writeSwarm(out);
  writeMetaballs(out);
  writeSmokeCube(out);
  writeSmokeJet(out);
}
