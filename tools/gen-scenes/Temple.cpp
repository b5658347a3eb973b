// The 3D section's opening scenes:
//   temple.vkg  a tiled valley with a circle of columns, three chrome rings turning above
//               it and a craft flying between the columns; cameras "CamWide" (a slow
//               orbit), "CamLow" (under the rings) and "CamChase" (behind the craft); the
//               spot light "Spot01" casts the shadows, "Omni01" and "Omni02" light it.
//   cage.vkg    a floor with a grid of pillars and the omni light "Lamp" wandering
//               between them (omnidirectional shadows); camera "CamCage".
// Both play 12 seconds at 25 keys a second (frame step 40: one scene unit is a millisecond
// when the effect's Speed is 5).

#include <cmath>

#include "SceneKit.h"

namespace {

constexpr float kPi = 3.14159265358979f;

enum Material { kGround = 1, kStone, kChrome, kCraft, kPillar };

vkg::SceneFile twelveSeconds() {
  vkg::SceneFile file;
  file.firstFrame = 0;
  file.lastFrame = 12000;
  file.frameStep = 40;
  return file;
}

vkg::MaterialRecord withMaps(vkg::MaterialRecord m, std::initializer_list<vkg::MapRecord> maps) {
  m.maps = maps;
  return m;
}

// Rolling hills that leave the temple's floor flat.
float valley(float x, float z) {
  const float r = std::sqrt(x * x + z * z);
  const float rise = std::fmax(0.0f, r - 55.0f) / 60.0f;
  const float hills = 6.0f * std::sin(x * 0.045f) * std::cos(z * 0.05f) + 3.0f * std::sin((x + z) * 0.11f);
  return rise * rise * 22.0f + rise * hills;
}

glm::vec3 craftPath(float t) {
  const float a = t * 0.00045f;
  return {28.0f * std::cos(a), 11.0f + 2.5f * std::sin(t * 0.0013f), 28.0f * std::sin(a)};
}

void writeTemple(SceneOutput& out) {
  vkg::SceneFile file = twelveSeconds();
  auto& materials = file.addMaterialList();
  materials.push_back(withMaps(kit::material(kGround, "Tiles", {0.7f, 0.66f, 0.62f}, 0.2f, 0.2f),
                               {{"C:\\scenes\\maps\\fliser.jpg", vkg::kDiffuseMap}}));
  materials.push_back(withMaps(kit::material(kStone, "Stone", {0.9f, 0.88f, 0.8f}, 0.4f, 0.6f),
                               {{"metal24.jpg", vkg::kDiffuseMap}}));
  materials.push_back(withMaps(kit::material(kChrome, "Chrome", {1.0f, 0.9f, 0.7f}, 0.8f, 1.0f),
                               {{"metal24.jpg", vkg::kDiffuseMap}, {"envmap.jpg", vkg::kReflectionMap}}));
  materials.push_back(withMaps(kit::material(kCraft, "Hull", {0.6f, 0.75f, 1.0f}, 0.9f, 1.0f),
                               {{"metal24.jpg", vkg::kDiffuseMap}, {"envmap.jpg", vkg::kReflectionMap}}));

  kit::node(file, 100, "Centre", {0, 10, 0});
  kit::node(file, 101, "RingsCentre", {0, 22, 0});
  kit::terrain(kit::mesh(file, 1, "Ground", kGround, {0, 0, 0}), 320.0f, 64, valley, 28.0f);

  for (int i = 0; i < 8; ++i) {
    const float a = 2 * kPi * static_cast<float>(i) / 8 + kPi / 8;
    vkg::MeshRecord& c = kit::mesh(file, 10 + i, "Column0" + std::to_string(i + 1), kStone,
                                   {40.0f * std::cos(a), 0, 40.0f * std::sin(a)});
    kit::column(c, 2.5f, 0.0f, 26.0f, 20, 2.0f);
    kit::box(c, {-3.5f, 26.0f, -3.5f}, {3.5f, 28.0f, 3.5f});
    kit::box(c, {-3.5f, 0.0f, -3.5f}, {3.5f, 1.0f, 3.5f});
  }

  // Three rings turning like a gyroscope around the point above the floor.
  const float majors[] = {14.0f, 10.5f, 7.0f};
  for (int i = 0; i < 3; ++i) {
    vkg::MeshRecord& ring = kit::mesh(file, 20 + i, "Ring0" + std::to_string(i + 1), kChrome, {0, 22, 0});
    kit::torus(ring, majors[i], 0.9f, 48, 10);
    const float tilt = 70.0f - 25.0f * static_cast<float>(i);
    const float rate = 0.012f * static_cast<float>(i % 2 == 0 ? i + 1 : -(i + 1));
    kit::keyRotations(ring.object, file, [=](float t) {
      return kit::thenRotate(kit::rotationKey({1, 0, 0}, tilt), kit::rotationKey({0, 1, 0}, t * rate));
    });
  }

  // The craft: a flattened hull with a rim, banking into its circle.
  vkg::MeshRecord& craft = kit::mesh(file, 30, "Craft", kCraft, craftPath(0));
  kit::ellipsoid(craft, {0, 0, 0}, {3.0f, 0.9f, 3.0f}, 24, 12);
  kit::torus(craft, 3.4f, 0.35f, 32, 6);
  kit::ellipsoid(craft, {0, 0.7f, 0}, {1.2f, 0.8f, 1.2f}, 16, 8);
  kit::keyPositions(craft.object, file, craftPath);
  kit::keyRotations(craft.object, file, [](float t) {
    const float heading = -t * 0.00045f * 180.0f / kPi;
    return kit::thenRotate(kit::rotationKey({0, 0, 1}, 18.0f), kit::rotationKey({0, 1, 0}, heading));
  });

  vkg::CameraRecord& wide = kit::camera(file, 40, "CamWide", {}, 100, 60.0f, 700.0f);
  kit::keyPositions(wide.object, file, [](float t) {
    const float a = 0.35f + t * 0.00009f;
    return glm::vec3(95.0f * std::cos(a), 42.0f - t * 0.0012f, 95.0f * std::sin(a));
  });
  kit::camera(file, 41, "CamLow", {22.0f, 3.0f, 30.0f}, 101, 75.0f, 700.0f);
  vkg::CameraRecord& chase = kit::camera(file, 42, "CamChase", {}, 30, 55.0f, 700.0f);
  kit::keyPositions(chase.object, file, [](float t) {
    const glm::vec3 behind = craftPath(t - 900.0f);
    return glm::vec3(behind.x * 1.35f, behind.y + 6.0f, behind.z * 1.35f);
  });

  kit::spot(file, 50, "Spot01", {60.0f, 95.0f, 40.0f}, 100, {1.0f, 0.95f, 0.85f}, 45.0f);
  kit::omni(file, 51, "Omni01", {30.0f, 70.0f, 60.0f}, {1.0f, 0.92f, 0.8f}, 1.0f);
  kit::omni(file, 52, "Omni02", {-70.0f, 25.0f, -50.0f}, {0.35f, 0.45f, 0.8f}, 0.8f);
  out.save("temple.vkg", file);
}

void writeCage(SceneOutput& out) {
  vkg::SceneFile file = twelveSeconds();
  auto& materials = file.addMaterialList();
  materials.push_back(withMaps(kit::material(kGround, "Floor", {0.9f, 0.9f, 0.95f}, 0.2f, 0.3f),
                               {{"fliser.jpg", vkg::kDiffuseMap}}));
  materials.push_back(withMaps(kit::material(kPillar, "Pillar", {0.95f, 0.75f, 0.5f}, 0.5f, 0.8f),
                               {{"metal24.jpg", vkg::kDiffuseMap}}));

  kit::node(file, 100, "Middle", {0, 4, 0});
  // Fine cells: the lamp lights the floor vertex by vertex.
  kit::terrain(kit::mesh(file, 1, "Floor", kGround, {0, 0, 0}), 120.0f, 60, [](float, float) { return 0.0f; }, 10.0f);
  int id = 10;
  for (int i = -2; i <= 2; ++i)
    for (int j = -2; j <= 2; ++j) {
      if (i == 0 && j == 0) continue;
      const float h = 6.0f + 4.0f * static_cast<float>((i * 7 + j * 3 + 10) % 3);
      kit::box(kit::mesh(file, id, "Pillar" + std::to_string(id), kPillar, {i * 16.0f, 0, j * 16.0f}),
               {-2.0f, 0.0f, -2.0f}, {2.0f, h, 2.0f});
      ++id;
    }
  vkg::LightRecord& lamp = kit::omni(file, 50, "Lamp", {}, {1.0f, 0.9f, 0.75f}, 1.6f, 90.0f);
  kit::keyPositions(lamp.object, file, [](float t) {
    const float a = t * 0.0006f;
    return glm::vec3(9.0f * std::cos(a), 5.0f + 1.5f * std::sin(t * 0.002f), 13.0f * std::sin(a * 1.3f));
  });
  vkg::CameraRecord& cam = kit::camera(file, 40, "CamCage", {}, 100, 70.0f, 400.0f);
  kit::keyPositions(cam.object, file, [](float t) {
    const float a = 0.8f + t * 0.00012f;
    return glm::vec3(62.0f * std::cos(a), 38.0f, 62.0f * std::sin(a));
  });
  out.save("cage.vkg", file);
}

}  // namespace

void writeSceneFamily_temple(SceneOutput& out) {
  writeTemple(out);
  writeCage(out);
}
