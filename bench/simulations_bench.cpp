// The processor-heavy simulations, each fast path next to its straightforward loop in the
// same run: the metaballs' field and surface of one frame, one smoke step, and the per-frame
// cost of the boids and the grids.
#include <benchmark/benchmark.h>

#include <vector>

#include "effects/MarchingCubes.h"

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
