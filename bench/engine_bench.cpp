// What a 3D scene costs per frame at 800 × 600 on this machine's renderer: 200 meshes of
// 1,000 triangles each under 4 lights, with fog and a spot shadow, split into the update
// (animation and world matrices), the shadow-map pass and the main pass (which darkens the
// receivers by the spot shadow as it draws them, or leaves them to the apply pass), against
// the floor this machine sets: the same triangles drawn from the same buffers with one
// fixed-function state and nothing else. Also the update of 1,000 keyed nodes alone, how
// many material switches a frame makes and how many meshes the main pass draws
// (main_draws: 200 when no receiver needs the apply pass, 400 when all do).
//
// Every pass ends with glFinish: the software renderer draws when it is flushed, and the
// time belongs to the pass that queued the work.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/FrameStats.h"
#include "engine/MeshObject.h"
#include "engine/Scene.h"
#include "support/EngineScenes.h"
#include "support/GlTestContext.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr int kMeshes = 200;
constexpr int kMaterials = 8;
constexpr int kFrames = 100;
constexpr int kFrameDuration = 40;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// An 800 × 600 window on SDL's offscreen driver, current for the whole run.
GlTestContext& benchWindow() {
  static GlTestContext* window = new GlTestContext(kWidth, kHeight);  // kept to the end of the process
  return *window;
}

// A sphere of radius 2 from 25 slices and 20 stacks: 1,000 triangles (those at the poles
// degenerate), closed, so that its far side is what the shadow map holds.
std::unique_ptr<MeshObject> makeBall(int id, int materialId) {
  constexpr int slices = 25, stacks = 20;
  std::vector<glm::vec3> positions, normals;
  std::vector<glm::vec2> uv;
  std::vector<std::array<int, 3>> faces;
  for (int j = 0; j <= stacks; ++j)
    for (int i = 0; i <= slices; ++i) {
      const float u = static_cast<float>(i) / slices, v = static_cast<float>(j) / stacks;
      const float theta = 6.2831853f * u, phi = 3.1415927f * v;
      const glm::vec3 n(std::sin(phi) * std::cos(theta), std::cos(phi), -std::sin(phi) * std::sin(theta));
      positions.push_back(2.0f * n);
      normals.push_back(n);
      uv.emplace_back(u, v);
    }
  for (int j = 0; j < stacks; ++j)
    for (int i = 0; i < slices; ++i) {
      const int a = j * (slices + 1) + i, b = a + 1, c = a + slices + 2, d = a + slices + 1;
      faces.push_back({a, d, c});
      faces.push_back({a, c, b});
    }
  auto mesh = std::make_unique<MeshObject>(id, "ball" + std::to_string(id));
  mesh->setGeometry(positions, normals, uv, {}, {}, faces);
  mesh->setMaterialId(materialId);
  return mesh;
}

// The ground: 25 × 20 cells (1,000 triangles) of 110 × 60 units at y = 0, facing up.
std::unique_ptr<MeshObject> makeGround(int id, int materialId) {
  constexpr int nx = 25, nz = 20;
  std::vector<glm::vec3> positions;
  std::vector<glm::vec2> uv;
  std::vector<std::array<int, 3>> faces;
  for (int j = 0; j <= nz; ++j)
    for (int i = 0; i <= nx; ++i) {
      positions.emplace_back(-55.0f + 110.0f * i / nx, 0.0f, 30.0f - 60.0f * j / nz);
      uv.emplace_back(8.0f * i / nx, 4.0f * j / nz);
    }
  for (int j = 0; j < nz; ++j)
    for (int i = 0; i < nx; ++i) {
      const int a = j * (nx + 1) + i, b = a + 1, c = a + nx + 2, d = a + nx + 1;
      faces.push_back({a, b, c});
      faces.push_back({a, c, d});
    }
  auto mesh = std::make_unique<MeshObject>(id, "ground");
  mesh->setGeometry(positions, std::vector<glm::vec3>(positions.size(), glm::vec3(0, 1, 0)), uv, {}, {}, faces);
  mesh->setMaterialId(materialId);
  return mesh;
}

// The benchmark scene: a ground and 199 balls over it in 10 rows of 20, each bobbing and
// turning on its own 100-frame keys; 8 materials (4 plain, 4 textured); 4 omni lights; a
// spot light aimed at the middle casting the shadow; exponential fog.
struct BenchScene {
  std::unique_ptr<Scene> scene;
  std::vector<MeshObject*> meshes;
};

BenchScene buildScene() {
  enginetest::serveEngineShaders();
  BenchScene b;
  b.scene = std::make_unique<Scene>();
  Scene& scene = *b.scene;
  scene.setFrames(kFrames, kFrameDuration);
  scene.setLoop(true);
  Texture* checker = TextureManager::instance().createTexture("bench_checker", 64, 64, GL_TEXTURE_2D, GL_RGBA, 0);
  std::vector<uint8_t> pixels(64 * 64 * 4);
  for (int i = 0; i < 64 * 64; ++i) {
    const uint8_t v = ((i % 64) / 8 + (i / 64) / 8) % 2 ? 230 : 60;
    pixels[i * 4] = pixels[i * 4 + 1] = pixels[i * 4 + 2] = v;
    pixels[i * 4 + 3] = 255;
  }
  uploadPixels(checker, pixels.data());
  for (int m = 0; m < kMaterials; ++m) {
    auto material = std::make_unique<Material>(m + 1, "bench" + std::to_string(m));
    material->setDiffuse({0.3f + 0.08f * m, 0.8f - 0.07f * m, 0.5f, 1.0f});
    material->setSpecular({1, 1, 1, 1});
    material->setShininess(0.3f, 0.5f);
    if (m >= kMaterials / 2) material->setDiffuseMap(checker);
    material->chooseShadeModel();
    scene.addMaterial(std::move(material));
  }
  scene.addObject(std::make_unique<SceneObject>(1, "centre"), -1);
  b.meshes.push_back(scene.addObject(makeGround(99, kMaterials), -1));
  for (int t = 1; t < kMeshes; ++t) {
    auto ball = makeBall(100 + t, 1 + t % kMaterials);
    const glm::vec3 base(-47.5f + 5.0f * (t % 20), 3.0f, -22.5f + 5.0f * (t / 20));
    std::vector<glm::vec3> positions;
    std::vector<glm::quat> rotations;
    for (int f = 0; f < kFrames; ++f) {
      const float phase = 6.2831853f * f / kFrames + 0.1f * t;
      positions.push_back(base + glm::vec3(0, std::sin(phase), 0));
      rotations.push_back(glm::angleAxis(phase, glm::vec3(0, 1, 0)));
    }
    ball->setKeys(positions, rotations, {}, kFrameDuration);
    b.meshes.push_back(scene.addObject(std::move(ball), -1));
  }
  for (int l = 0; l < 4; ++l) {
    auto light = std::make_unique<Light>(10 + l, "Omni0" + std::to_string(l + 1));
    light->setPosition({-40.0f + 26.0f * l, 20.0f, 10.0f});
    light->setColour({0.6f, 0.6f, 0.55f, 1.0f});
    light->linearAttenuation = 0.01f;
    scene.addLight(std::move(light), -1);
  }
  auto spot = std::make_unique<Light>(20, "Spot01");
  spot->setPosition({5, 60, 20});
  spot->targetId = 1;
  scene.addLight(std::move(spot), -1);
  auto camera = std::make_unique<Camera>(30, "Camera01");
  camera->setPosition({0, 45, 60});
  camera->targetId = 1;
  camera->aspect = static_cast<float>(kWidth) / kHeight;
  camera->farPlane = 400;
  scene.addCamera(std::move(camera), -1);
  scene.finishLoading();
  scene.setFog(true);
  scene.setFogMode(GL_EXP2);
  scene.setFogDensity(0.008f);
  scene.setFogColour({0.5f, 0.55f, 0.6f, 1.0f});
  scene.setShadows(true);
  scene.setShadowLight("Spot01");
  return b;
}

// Material switches of one main pass: the draw list changes material this many times.
int materialSwitches(const Scene& scene) {
  int switches = 0;
  const Material* current = nullptr;
  for (const SceneObject* object : scene.getDrawList()) {
    const Material* m = object->getMaterial();
    if (m && m != current) ++switches;
    if (m) current = m;
  }
  return switches;
}

void clearFrame() {
  glViewport(0, 0, kWidth, kHeight);
  glClearColor(0.5f, 0.55f, 0.6f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

// The floor: the same 200 × 1,000 triangles from the same buffers, through the same camera,
// with one fixed-function state (depth test, back-face culling, a colour, no lighting).
double bareDraw(const BenchScene& b) {
  const auto start = Clock::now();
  clearFrame();
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glColor4f(0.7f, 0.7f, 0.7f, 1.0f);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  b.scene->activeCameraObject()->apply();
  glEnableClientState(GL_VERTEX_ARRAY);
  for (MeshObject* mesh : b.meshes) mesh->drawDepth();
  glDisableClientState(GL_VERTEX_ARRAY);
  glPopAttrib();
  glFinish();
  return millisecondsSince(start);
}

// One frame of the scene and, next to it, the floor: both see the same load on the machine,
// so their ratio holds even when other work slows both down.
void BM_SceneFrame(benchmark::State& state) {
  if (!benchWindow().ok()) {
    state.SkipWithError("no GL context");
    return;
  }
  BenchScene b = buildScene();
  Scene& scene = *b.scene;
  double update = 0, shadow = 0, main = 0, bare = 0;
  uint32_t draws = 0;
  float sceneTime = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    scene.setTime(sceneTime += 33.0f);
    scene.animate();
    scene.updateWorldMatrices();
    update += millisecondsSince(start);

    start = Clock::now();
    scene.spotShadowMapPass();
    glFinish();
    shadow += millisecondsSince(start);

    start = Clock::now();
    clearFrame();
    RenderStats::reset();
    scene.render();
    glFinish();
    main += millisecondsSince(start);
    draws = RenderStats::count;

    state.PauseTiming();
    bare += bareDraw(b);
    state.ResumeTiming();
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["update_ms"] = update / n;
  state.counters["shadow_ms"] = shadow / n;
  state.counters["main_ms"] = main / n;
  state.counters["frame_ms"] = (update + shadow + main) / n;
  state.counters["floor_ms"] = bare / n;
  state.counters["x_floor"] = (update + shadow + main) / bare;
  state.counters["material_switches"] = materialSwitches(scene);
  state.counters["main_draws"] = draws;
  if (const char* dir = std::getenv("DE_TEST_PNG_DIR")) {
    if (*dir) {
      clearFrame();
      scene.render();
      enginetest::dumpPng("engine_bench_frame", kWidth, kHeight);
    }
  }
}
BENCHMARK(BM_SceneFrame)->Unit(benchmark::kMillisecond)->MinTime(5.0);

// 1,000 keyed nodes, ten trees of a root, nine children and ninety grandchildren, passing their
// matrices down: sampling the keys and composing the world matrices.
void BM_Update1000Nodes(benchmark::State& state) {
  if (!benchWindow().ok()) {
    state.SkipWithError("no GL context");
    return;
  }
  enginetest::serveEngineShaders();
  Scene scene;
  scene.setFrames(kFrames, kFrameDuration);
  scene.setLoop(true);
  int id = 1;
  const auto keyed = [&](int parentId) {
    auto node = std::make_unique<SceneObject>(id, "node" + std::to_string(id));
    std::vector<glm::vec3> positions, scales;
    std::vector<glm::quat> rotations;
    for (int f = 0; f < kFrames; ++f) {
      const float phase = 6.2831853f * f / kFrames + 0.01f * id;
      positions.emplace_back(std::sin(phase), std::cos(phase), 0.5f * phase);
      rotations.push_back(glm::angleAxis(phase, glm::normalize(glm::vec3(1, 2, 3))));
      scales.emplace_back(1.0f + 0.1f * std::sin(phase));
    }
    node->setKeys(positions, rotations, scales, kFrameDuration);
    node->childrenInherit = true;
    scene.addObject(std::move(node), parentId);
    return id++;
  };
  for (int a = 0; a < 10; ++a) {
    const int root = keyed(-1);
    for (int b = 0; b < 9; ++b) {
      const int child = keyed(root);
      for (int c = 0; c < 10; ++c) keyed(child);
    }
  }
  scene.finishLoading();
  float sceneTime = 0;
  for (auto _ : state) {
    scene.setTime(sceneTime += 33.0f);
    scene.animate();
    scene.updateWorldMatrices();
    benchmark::ClobberMemory();
  }
  state.counters["nodes"] = id - 1;
}
BENCHMARK(BM_Update1000Nodes)->Unit(benchmark::kMicrosecond);

}  // namespace
