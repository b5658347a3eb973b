// What scenes cost: loading the sample demo's largest scene from its archive (read, parse,
// build with buffers and textures) next to reading the same bytes alone, the same for a
// 100,000-triangle model converted by vkg, and a frame of the sample demo's 3D opening at
// 800 × 600 (compare with bench_engine's floor on the same machine).
//
// Needs the built sample demo (build/demo) and the vkg tool.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "archive/vkd.h"
#include "base/Display.h"
#include "demoSystem/Timeline.h"
#include "demos/EffectList.h"
#include "engine/Scene.h"
#include "engine/SceneLoaderVKG.h"
#include "support/GlTestContext.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

const fs::path kDemoDir = fs::path(DE_BINARY_DIR) / "demo";
constexpr int kWidth = 800, kHeight = 600;
constexpr uint32_t kScenes = 107520, kBar = 1920;

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// An 800 × 600 window for the whole run.
bool window() {
  static GlTestContext* context = new GlTestContext(kWidth, kHeight);
  return context->ok();
}

// The demo's folder with its archive open: every later file is read from the archive.
bool openDemo() {
  static const bool ok = [] {
    if (!fs::exists(kDemoDir / "data.vkd") || !window()) return false;
    fs::current_path(kDemoDir);
    openArchive("data.vkd", "lynxa42");
    return true;
  }();
  return ok;
}

// Loads `name` afresh each round (the cache lets go of it first) against reading its bytes.
void loadAgainstRead(benchmark::State& state, const std::string& name) {
  double load = 0, read = 0;
  int n = 0;
  for (auto _ : state) {
    for (auto& old : SceneManager::instance().releaseScenes({name}, {})) old.reset();
    Clock::time_point start = Clock::now();
    MemoryFile* file = loadFile(name.c_str());
    read += millisecondsSince(start);
    if (!file) {
      state.SkipWithError("the scene file is missing");
      return;
    }
    closeFile(file);
    start = Clock::now();
    Scene* scene = SceneLoaderVKG::load(name, "data/texturesCompressed/", "data/textures/");
    glFinish();
    load += millisecondsSince(start);
    if (!scene) {
      state.SkipWithError(("could not load scene: " + SceneLoaderVKG::lastFailure()).c_str());
      return;
    }
    ++n;
  }
  state.counters["load_ms"] = load / n;
  state.counters["read_ms"] = read / n;
  state.counters["x_read"] = load / read;
}

// A 224 × 224 grid of quads (100,352 triangles) as OBJ, converted once by vkg, read from the
// disk: this runs first, before the archive is opened (the engine's shaders come from the
// sample demo's sources).
void BM_LoadConvertedModel(benchmark::State& state) {
  if (!window()) return state.SkipWithError("no GL window");
  fs::current_path(DE_SOURCE_DIR "/demo");
  const fs::path dir = fs::temp_directory_path() / "de_bench_scenes";
  const std::string name = (dir / "grid.vkg").string();
  if (!fs::exists(name)) {
    fs::create_directories(dir);
    std::ofstream obj(dir / "grid.obj");
    constexpr int n = 224;
    for (int j = 0; j <= n; ++j)
      for (int i = 0; i <= n; ++i) obj << "v " << i << " " << std::sin(i * 0.1) * std::cos(j * 0.1) << " " << j << "\n";
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const int a = j * (n + 1) + i + 1;
        obj << "f " << a << " " << a + n + 1 << " " << a + n + 2 << " " << a + 1 << "\n";
      }
    obj.close();
    const std::string command = "'" DE_BINARY_DIR "/tools/vkg/vkg' convert '" + (dir / "grid.obj").string() + "' '" +
                                name + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return state.SkipWithError("vkg convert failed");
  }
  loadAgainstRead(state, name);
}
BENCHMARK(BM_LoadConvertedModel)->Unit(benchmark::kMillisecond);

void BM_LoadLargestDemoScene(benchmark::State& state) {
  if (!openDemo()) return state.SkipWithError("the sample demo is not built here");
  loadAgainstRead(state, "data/scenes/temple.vkg");
}
BENCHMARK(BM_LoadLargestDemoScene)->Unit(benchmark::kMillisecond);


// Frames of the 3D opening (temple, depth of field, cage) as the timeline draws them.
void BM_ScenesPartFrame(benchmark::State& state) {
  if (!openDemo()) return state.SkipWithError("the sample demo is not built here");
  static EffectList effects{builtInEffectTypes()};
  effectRegistry = &effects;
  screenWidth = kWidth;
  screenHeight = kHeight;
  loadScript("data/scripts/demo_kx06.script");
  uint32_t t = kScenes;
  double total = 0;
  int n = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    renderFrame(t);
    glFinish();
    total += millisecondsSince(start);
    ++n;
    t += 40;
    if (t >= kScenes + 6 * kBar) {
      // Round again from the start of the part: a fresh load replays its events.
      loadScript("data/scripts/demo_kx06.script");
      t = kScenes;
    }
  }
  state.counters["frame_ms"] = total / n;
}
BENCHMARK(BM_ScenesPartFrame)->Unit(benchmark::kMillisecond)->MinTime(5.0);

}  // namespace
