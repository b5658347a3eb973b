// The processor-heavy simulations, each fast path next to its straightforward loop in the
// same run: the metaballs' field and surface of one frame, one smoke step, and the per-frame
// cost of the boids and the grids.
#include <benchmark/benchmark.h>

#include <vector>

#include "effects/Boids.h"
#include "effects/Grids.h"
#include "effects/MarchingCubes.h"
#include "effects/Smoke.h"
#include "support/GlTestContext.h"

namespace {

// [SECTION] Metaballs: the field of six balls at 54,872 points, then the surface at 350.

struct MetaballsFrame {
  MetaballField field;
  std::vector<float> positions = std::vector<float>(3 * size_t(MarchingCubes::kVertexCapacity));
  std::vector<float> normals = std::vector<float>(3 * size_t(MarchingCubes::kVertexCapacity));
  marching::Polygoniser polygoniser{MetaballField::kSize, MetaballField::kSize, MetaballField::kSize};
  marching::Mesh mesh() { return {positions.data(), normals.data(), MarchingCubes::kVertexCapacity}; }
};

void BM_MetaballsPlain(benchmark::State& state) {
  MetaballsFrame frame;
  int t = 0, vertices = 0;
  for (auto _ : state) {
    frame.field.animate(float(t++ % 500));
    frame.field.moveBalls();
    frame.field.computeReference();
    vertices = marching::polygoniseReference(frame.field.volume(), MetaballField::kIsoLevel, frame.mesh());
    benchmark::DoNotOptimize(vertices);
  }
  state.counters["vertices"] = vertices;
}
BENCHMARK(BM_MetaballsPlain)->Unit(benchmark::kMillisecond);

void BM_MetaballsFast(benchmark::State& state) {
  MetaballsFrame frame;
  int t = 0, vertices = 0;
  for (auto _ : state) {
    frame.field.animate(float(t++ % 500));
    frame.field.moveBalls();
    frame.field.compute();
    vertices = frame.polygoniser.run(frame.field.volume(), MetaballField::kIsoLevel, frame.mesh());
    benchmark::DoNotOptimize(vertices);
  }
  state.counters["vertices"] = vertices;
}
BENCHMARK(BM_MetaballsFast)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {
void BM_MetaballFieldPlain(benchmark::State& state) {
  MetaballField field;
  field.animate(17);
  field.moveBalls();
  for (auto _ : state) field.computeReference();
}
BENCHMARK(BM_MetaballFieldPlain)->Unit(benchmark::kMicrosecond);
void BM_MetaballFieldFast(benchmark::State& state) {
  MetaballField field;
  field.animate(17);
  field.moveBalls();
  for (auto _ : state) field.compute();
}
BENCHMARK(BM_MetaballFieldFast)->Unit(benchmark::kMicrosecond);
}  // namespace

// [SECTION] Smoke: one step of the standalone smoke at N = 22 (velocity and density: six
// solves of twenty sweeps in the plain loops), the plate in the flow, the scene smoke's
// viscosity in the last pair.

namespace {

void smokeSteps(benchmark::State& state, bool plain, float viscosity) {
  FluidSolver solver(22, "bench");
  solver.plainLoops = plain;
  int frame = 0;
  for (auto _ : state) {
    std::fill(solver.densSrc.begin(), solver.densSrc.end(), -0.002f);
    for (int j = 5; j <= 16; ++j)
      for (int i = 5; i <= 16; ++i) solver.vSrc[size_t(solver.index(i, 1, j))] = 5;
    for (int z = 12; z < 14; ++z)
      for (int x = 12; x < 14; ++x) solver.densSrc[size_t(solver.index(x, 2, z))] = 30;
    std::fill(solver.solid.begin(), solver.solid.end(), 0);
    const int y0 = 11 + (frame++ % 5);
    for (int z = 8; z <= 23; ++z)
      for (int y = y0; y <= y0 + 5; ++y)
        for (int x = 5; x <= 17; ++x) solver.solid[size_t(solver.index(x, y, z))] = 1;
    solver.velocityStep(viscosity, 0.066f);
    solver.densityStep(0, 0.066f);
    benchmark::DoNotOptimize(solver.dens.data());
  }
}

void BM_SmokeStepPlain(benchmark::State& state) { smokeSteps(state, true, 0); }
BENCHMARK(BM_SmokeStepPlain)->Unit(benchmark::kMicrosecond);
void BM_SmokeStepFast(benchmark::State& state) { smokeSteps(state, false, 0); }
BENCHMARK(BM_SmokeStepFast)->Unit(benchmark::kMicrosecond);
void BM_SmokeViscousStepPlain(benchmark::State& state) { smokeSteps(state, true, 0.00001f); }
BENCHMARK(BM_SmokeViscousStepPlain)->Unit(benchmark::kMicrosecond);
void BM_SmokeViscousStepFast(benchmark::State& state) { smokeSteps(state, false, 0.00001f); }
BENCHMARK(BM_SmokeViscousStepFast)->Unit(benchmark::kMicrosecond);

}  // namespace

// [SECTION] Boids and grids: what one frame costs the processor (no drawing).

namespace {

void BM_BoidsStep(benchmark::State& state) {
  Boids boids("boids");
  uint32_t t = 0;
  for (auto _ : state) boids.step(t += 16);
}
BENCHMARK(BM_BoidsStep)->Unit(benchmark::kMicrosecond);

void BM_SceneFlockStep(benchmark::State& state) {
  BoidObject flock("Boids01");
  for (auto _ : state) flock.step();
}
BENCHMARK(BM_SceneFlockStep)->Unit(benchmark::kMicrosecond);

void BM_GridWaterDropAndMesh(benchmark::State& state) {
  GridWater::Shared& s = GridWater::shared();
  std::fill(s.field.begin(), s.field.end(), 0.0f);
  for (int i = 0; i < 2000; ++i) GridWater::dropUpdate();  // a few drops down already
  int vertices = 0;
  for (auto _ : state) {
    GridWater::dropUpdate();
    vertices = GridWater::polygonise();
  }
  state.counters["vertices"] = vertices;
}
BENCHMARK(BM_GridWaterDropAndMesh)->Unit(benchmark::kMicrosecond);

void BM_GridExpModes(benchmark::State& state) {
  static GlTestContext gl(64, 64);  // the grid's render target needs a context
  if (!gl.ok()) {
    state.SkipWithError("no GL context");
    return;
  }
  GridExp grid("grid");
  float a = 0;
  for (auto _ : state) grid.animate(static_cast<uint32_t>(state.range(0)), a += 0.8f);
}
BENCHMARK(BM_GridExpModes)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMicrosecond);

}  // namespace
