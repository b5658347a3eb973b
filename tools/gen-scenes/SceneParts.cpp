// The scenes of the scene-based parts, each with the nodes its part looks up by name:
//   testarm.vkg   "ledd01"…"ledd06": one jointed arm on a turntable (ArmScene fans it out)
//   swimboid.vkg  "Box30", "Box40", "Box50": three fish heads in a deep blue sea (SwimBoid
//                 gives each a tail of five copies)
//   stativ.vkg    a gantry: the carriage "Box03" on its rail, the arm "Mesh01" in it and
//                 the head "Box08" on the arm (FontMachine slides them)
//   grogreie.vkg  a garden bed: stones "del1"…"del4", the branch seeds "del05", "del06",
//                 "del07" (GrowScene grows a branch from each)
//   skrap2.vkg    "ParticleBox", a room the camera looks into, the particles' bounds
//   threads.vkg   "Sphere01" and the dummies "Dummy01"…"Dummy12" circling it (ThreadObject
//                 hides them and trails a ribbon behind each dummy)
// The parts that draw their tree directly play the scene at their scaled time (the demo
// milliseconds × Speed × 0.2); ThreadObject plays it on the scene clock.

#include <cmath>
#include <cstdio>
#include <utility>

#include "SceneKit.h"

namespace {

constexpr float kPi = 3.14159265358979f;

vkg::SceneFile scene(int lastFrame, int frameStep) {
  vkg::SceneFile file;
  file.firstFrame = 0;
  file.lastFrame = lastFrame;
  file.frameStep = frameStep;
  return file;
}

// A link of the arm: a tapered beam along +x from 0 to `length`, with a knuckle at its root.
void link(vkg::MeshRecord& m, float length, float thickness) {
  kit::box(m, {0.0f, -thickness * 0.5f, -thickness * 0.5f}, {length, thickness * 0.5f, thickness * 0.5f});
  kit::ellipsoid(m, {0, 0, 0}, glm::vec3(thickness * 0.8f), 12, 8);
}

void writeTestArm(SceneOutput& out) {
  enum { kFloor = 1, kSteel, kOrange, kDark };
  vkg::SceneFile file = scene(8000, 40);
  auto& materials = file.addMaterialList();
  materials.push_back(kit::material(kFloor, "Floor", {0.25f, 0.27f, 0.32f}, 0.2f, 0.2f));
  materials.push_back(kit::material(kSteel, "Steel", {0.7f, 0.72f, 0.78f}, 0.6f, 0.8f));
  materials.push_back(kit::material(kOrange, "Enamel", {1.0f, 0.45f, 0.1f}, 0.7f, 0.9f));
  materials.push_back(kit::material(kDark, "Hub", {0.15f, 0.15f, 0.18f}, 0.5f, 0.5f));

  kit::node(file, 100, "Centre", {0, 10, 0});
  kit::box(kit::mesh(file, 1, "Floor", kFloor, {0, 0, 0}), {-260, -2, -260}, {260, 0, 260});
  vkg::MeshRecord& hub = kit::mesh(file, 2, "Hub", kDark, {0, 0, 0});
  kit::column(hub, 18.0f, 0.0f, 12.0f, 32, 1.0f);
  kit::torus(hub, 150.0f, 1.5f, 96, 6);  // a ring on the floor where the hands pass

  // The arm: its links are placed by the part (40 for the first, then 25 each).
  static constexpr float kLengths[6] = {40, 25, 25, 25, 25, 22};
  static constexpr float kThickness[6] = {9, 8, 7, 6, 5, 4};
  for (int i = 0; i < 6; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "ledd%02d", i + 1);
    vkg::MeshRecord& m = kit::mesh(file, 10 + i, name, i % 2 ? kSteel : kOrange, i == 0 ? glm::vec3(0, 10, 0) : glm::vec3(0),
                                   i == 0 ? -1 : 10 + i - 1);
    link(m, kLengths[i], kThickness[i]);
  }

  // The camera circles slowly, high over the fan.
  vkg::CameraRecord& cam = kit::camera(file, 40, "CamArm", {}, 100, 62.0f, 1500.0f);
  kit::keyPositions(cam.object, file, [](float t) {
    const float a = 0.9f + t * 0.0004f;
    return glm::vec3(215.0f * std::cos(a), 175.0f, 215.0f * std::sin(a));
  });
  kit::omni(file, 50, "Omni01", {80, 260, 120}, {1.0f, 0.95f, 0.9f}, 1.1f);
  kit::omni(file, 51, "Omni02", {-200, 80, -150}, {0.3f, 0.4f, 0.9f}, 0.8f);
  out.save("testarm.vkg", file);
}

void writeSwimBoid(SceneOutput& out) {
  enum { kSand = 1, kScale, kScale2, kScale3 };
  vkg::SceneFile file = scene(8000, 40);
  auto& materials = file.addMaterialList();
  materials.push_back(kit::material(kSand, "Sand", {0.55f, 0.5f, 0.4f}, 0.1f, 0.1f));
  materials.push_back(kit::material(kScale, "Silver", {0.75f, 0.85f, 0.95f}, 0.8f, 1.0f));
  materials.push_back(kit::material(kScale2, "Gold", {1.0f, 0.75f, 0.3f}, 0.8f, 1.0f));
  materials.push_back(kit::material(kScale3, "Coral", {1.0f, 0.4f, 0.45f}, 0.8f, 1.0f));

  kit::node(file, 100, "School", {0, 10, -90});
  kit::terrain(kit::mesh(file, 1, "SeaFloor", kSand, {0, -60, -90}), 900.0f, 40,
               [](float x, float z) { return 8.0f * std::sin(x * 0.02f) * std::cos(z * 0.025f); }, 8.0f);
  // The water all round, facing in: far enough to take the fog's colour.
  vkg::MeshRecord& water = kit::mesh(file, 2, "Water", kSand, {0, 0, -90});
  kit::box(water, {-1200, -80, -1200}, {1200, 900, 1200});
  for (auto& face : water.faces) std::swap(face[1], face[2]);
  for (glm::vec3& n : water.normals) n = -n;
  // Each body is one segment; its five copies follow it 40 units behind (along −z).
  static constexpr const char* kNames[3] = {"Box30", "Box40", "Box50"};
  static constexpr glm::vec3 kAt[3] = {{0, 20, 0}, {-70, -10, 30}, {75, 0, -20}};
  for (int i = 0; i < 3; ++i) {
    vkg::MeshRecord& body = kit::mesh(file, 30 + 10 * i, kNames[i], kScale + i, kAt[i]);
    kit::ellipsoid(body, {0, 0, 0}, {9.0f - i, 11.0f - i, 26.0f}, 16, 10);
    kit::ellipsoid(body, {0, 13.0f - i, -6}, {1.5f, 6.0f, 8.0f}, 8, 6);  // a dorsal fin
  }
  vkg::CameraRecord& cam = kit::camera(file, 40, "CamSea", {}, 100, 65.0f, 4000.0f);
  kit::keyPositions(cam.object, file, [](float t) {
    const float a = 0.55f + t * 0.0003f;
    return glm::vec3(230.0f * std::cos(a), 70.0f, -90.0f + 230.0f * std::sin(a));
  });
  kit::omni(file, 50, "Omni01", {0, 300, 0}, {0.7f, 0.9f, 1.0f}, 1.2f);
  kit::omni(file, 51, "Omni02", {150, -20, 200}, {0.2f, 0.5f, 0.7f}, 0.7f);
  out.save("swimboid.vkg", file);
}

void writeStativ(SceneOutput& out) {
  enum { kBase = 1, kFrame, kYellow, kRed, kPaper };
  vkg::SceneFile file = scene(8000, 40);
  auto& materials = file.addMaterialList();
  materials.push_back(kit::material(kBase, "Base", {0.2f, 0.2f, 0.24f}, 0.3f, 0.3f));
  materials.push_back(kit::material(kFrame, "Frame", {0.65f, 0.68f, 0.72f}, 0.7f, 0.9f));
  materials.push_back(kit::material(kYellow, "Carriage", {1.0f, 0.8f, 0.15f}, 0.6f, 0.8f));
  materials.push_back(kit::material(kRed, "Head", {0.9f, 0.15f, 0.12f}, 0.7f, 0.9f));
  materials.push_back(kit::material(kPaper, "Paper", {0.95f, 0.93f, 0.85f}, 0.1f, 0.1f));

  kit::node(file, 100, "Middle", {0, 30, 0});
  kit::box(kit::mesh(file, 1, "Table", kBase, {0, 0, 0}), {-110, -6, -50}, {110, 0, 50});
  kit::box(kit::mesh(file, 2, "Sheet", kPaper, {0, 0, 0}), {-70, 0, -30}, {70, 0.5f, 30});
  vkg::MeshRecord& frame = kit::mesh(file, 3, "Gantry", kFrame, {0, 0, 0});
  kit::column(frame, 3.0f, 0.0f, 56.0f, 16, 1.0f);  // the left post, moved below
  for (glm::vec3& p : frame.positions) p.x -= 80.0f;
  const size_t firstRight = frame.positions.size();
  kit::column(frame, 3.0f, 0.0f, 56.0f, 16, 1.0f);
  for (size_t i = firstRight; i < frame.positions.size(); ++i) frame.positions[i].x += 80.0f;
  kit::box(frame, {-84, 52, -3}, {84, 58, 3});  // the rail the carriage runs on

  // The carriage rides the rail at y = 50; the arm slides through it along z; the head
  // hangs from the arm's front end and moves up and down.
  kit::box(kit::mesh(file, 10, "Box03", kYellow, {0, 50, 0}), {-10, -4, -8}, {10, 12, 8});
  vkg::MeshRecord& arm = kit::mesh(file, 11, "Mesh01", kFrame, {0, 0, 0}, 10);
  kit::box(arm, {-3, -2, -20}, {3, 2, 45});
  vkg::MeshRecord& head = kit::mesh(file, 12, "Box08", kRed, {10, -10, 0}, 11);
  kit::box(head, {-16, -28, 36}, {-4, 0, 48});
  const size_t pen = head.positions.size();
  kit::column(head, 2.0f, -40.0f, -28.0f, 12, 1.0f);  // the pen, under the head's middle
  for (size_t i = pen; i < head.positions.size(); ++i) head.positions[i] += glm::vec3(-10.0f, 0.0f, 42.0f);

  vkg::CameraRecord& cam = kit::camera(file, 40, "CamStand", {}, 100, 60.0f, 1000.0f);
  kit::keyPositions(cam.object, file, [](float t) {
    const float a = 1.1f + t * 0.00025f;
    return glm::vec3(190.0f * std::cos(a), 110.0f, 190.0f * std::sin(a));
  });
  kit::omni(file, 50, "Omni01", {60, 200, 150}, {1.0f, 0.97f, 0.9f}, 1.1f);
  kit::omni(file, 51, "Omni02", {-150, 60, -100}, {0.5f, 0.55f, 0.8f}, 0.7f);
  out.save("stativ.vkg", file);
}

void writeGrogreie(SceneOutput& out) {
  enum { kSoil = 1, kStone, kBark, kBark2, kBark3 };
  vkg::SceneFile file = scene(8000, 40);
  auto& materials = file.addMaterialList();
  materials.push_back(kit::material(kSoil, "Soil", {0.3f, 0.22f, 0.15f}, 0.1f, 0.1f));
  materials.push_back(kit::material(kStone, "Stone", {0.6f, 0.6f, 0.58f}, 0.3f, 0.4f));
  materials.push_back(kit::material(kBark, "Green", {0.35f, 0.8f, 0.3f}, 0.5f, 0.6f));
  materials.push_back(kit::material(kBark2, "Teal", {0.2f, 0.75f, 0.7f}, 0.5f, 0.6f));
  materials.push_back(kit::material(kBark3, "Lime", {0.75f, 0.9f, 0.25f}, 0.5f, 0.6f));

  kit::node(file, 100, "Crown", {0, 200, 0});
  kit::terrain(kit::mesh(file, 1, "Bed", kSoil, {0, 0, 0}), 2400.0f, 48,
               [](float x, float z) { return 25.0f * std::sin(x * 0.004f + 1.0f) * std::sin(z * 0.005f); }, 6.0f);
  static constexpr glm::vec3 kStones[4] = {{-260, 10, 120}, {240, 10, 180}, {-150, 10, -240}, {200, 10, -160}};
  for (int i = 0; i < 4; ++i) {
    vkg::MeshRecord& stone = kit::mesh(file, 2 + i, "del" + std::to_string(i + 1), kStone, kStones[i]);
    kit::ellipsoid(stone, {0, 0, 0}, {55.0f + 10 * i, 35.0f, 45.0f}, 16, 10);
  }
  // The seeds: one segment each along +x (every segment is 120 long), turned to rise.
  static constexpr glm::vec3 kSeeds[3] = {{-120, 0, 0}, {40, 0, 90}, {110, 0, -70}};
  for (int i = 0; i < 3; ++i) {
    vkg::MeshRecord& seed = kit::mesh(file, 10 + i, "del0" + std::to_string(5 + i), kBark + i, kSeeds[i]);
    kit::box(seed, {0, -11, -11}, {124, 11, 11});
    kit::ellipsoid(seed, {0, 0, 0}, glm::vec3(14.0f), 10, 8);
    seed.object.rotation = kit::thenRotate(kit::rotationKey({0, 0, 1}, 80.0f), kit::rotationKey({0, 1, 0}, 120.0f * i));
  }
  vkg::CameraRecord& cam = kit::camera(file, 40, "CamGarden", {}, 100, 70.0f, 6000.0f);
  kit::keyPositions(cam.object, file, [](float t) {
    const float a = 0.3f + t * 0.0006f;
    return glm::vec3(1100.0f * std::cos(a), 950.0f, 1100.0f * std::sin(a));
  });
  kit::omni(file, 50, "Omni01", {500, 1500, 800}, {1.0f, 0.95f, 0.85f}, 1.2f);
  kit::omni(file, 51, "Omni02", {-900, 300, -600}, {0.4f, 0.5f, 0.9f}, 0.8f);
  out.save("grogreie.vkg", file);
}

void writeSkrap2(SceneOutput& out) {
  enum { kWall = 1 };
  vkg::SceneFile file = scene(8000, 40);
  file.addMaterialList().push_back(kit::material(kWall, "Ice", {0.05f, 0.09f, 0.2f}, 0.4f, 0.5f));
  // The particles are drawn in the camera's own space, which is the scene's when the camera
  // has no target: the room sits straight ahead of it, its walls facing inwards.
  kit::camera(file, 40, "CamBox", {0, 0, 0}, -1, 70.0f, 2000.0f);
  vkg::MeshRecord& room = kit::mesh(file, 1, "ParticleBox", kWall, {0, 0, 0});
  kit::box(room, {-260, -190, -700}, {260, 190, -260});
  for (auto& face : room.faces) std::swap(face[1], face[2]);
  for (glm::vec3& n : room.normals) n = -n;
  kit::omni(file, 50, "Omni01", {0, 120, -480}, {0.6f, 0.8f, 1.0f}, 0.8f);
  out.save("skrap2.vkg", file);
}

void writeThreads(SceneOutput& out) {
  enum { kGlass = 1, kFloor };
  vkg::SceneFile file = scene(12000, 40);
  auto& materials = file.addMaterialList();
  materials.push_back(kit::material(kGlass, "Glass", {0.5f, 0.9f, 0.6f}, 0.9f, 1.0f));
  materials.push_back(kit::material(kFloor, "Floor", {0.05f, 0.08f, 0.06f}, 0.2f, 0.2f));

  kit::node(file, 100, "Core", {0, 0, 0});
  vkg::MeshRecord& sphere = kit::mesh(file, 1, "Sphere01", kGlass, {0, 0, 0});
  kit::ellipsoid(sphere, {0, 0, 0}, glm::vec3(6.0f), 24, 16);
  kit::box(kit::mesh(file, 2, "Floor", kFloor, {0, 0, 0}), {-120, -32, -200}, {120, -30, 120});
  // Twelve dummies on knotted orbits round the core, each on its own phase.
  for (int i = 0; i < 12; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "Dummy%02d", i + 1);
    vkg::ObjectRecord& dummy = kit::node(file, 10 + i, name, {});
    const float phase = 2 * kPi * static_cast<float>(i) / 12;
    const float radius = 14.0f + 4.0f * static_cast<float>(i % 3);
    kit::keyPositions(dummy, file, [=](float t) {
      const float a = phase + t * 0.0011f;
      return glm::vec3(radius * std::cos(a), 9.0f * std::sin(2.0f * a + phase), radius * std::sin(3.0f * a) * 0.6f);
    });
  }
  kit::camera(file, 40, "CamThreads", {0, 30, 50}, 100, 60.0f, 1000.0f);
  kit::omni(file, 50, "Omni01", {30, 60, 60}, {1.0f, 1.0f, 1.0f}, 1.0f);
  out.save("threads.vkg", file);
}

}  // namespace

void writeSceneFamily_sceneparts(SceneOutput& out) {
  writeTestArm(out);
  writeSwimBoid(out);
  writeStativ(out);
  writeGrogreie(out);
  writeSkrap2(out);
  writeThreads(out);
}
