// What one frame of each standalone part costs at 800 × 600 on the sample demo's data (the
// build's staging tree): the effect's render with the driver's work finished. The floor to
// compare with is one full-screen textured quad.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "demoSystem/Effect.h"
#include "effects/ScreenQuad.h"
#include "effects/StandaloneParts.h"
#include "support/GlTestContext.h"

namespace {

const std::filesystem::path kStaging = DE_BINARY_DIR "/demo-staging";

GlTestContext* context() {
  static GlTestContext* gl = [] {
    std::filesystem::current_path(kStaging);  // the parts read their pictures from there
    return new GlTestContext(800, 600);
  }();
  return gl;
}

TimelineEvent programEvent(int32_t code, const char* file) {
  TimelineEvent e;
  e.code = code;
  e.text = file;
  return e;
}

template <class Part>
void renderFrames(benchmark::State& state, Part& part) {
  uint32_t t = 100000;
  part.start(t);
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    part.update(t);
    part.render(t);
    glFinish();
    t += 33;
  }
}

bool ready(benchmark::State& state) {
  if (!std::filesystem::exists(kStaging / "data/grace_probe.hdr")) {
    state.SkipWithError("the sample demo is not staged in this build");
    return false;
  }
  if (!context()->ok()) {
    state.SkipWithError("no GL context");
    return false;
  }
  glViewport(0, 0, 800, 600);
  glEnable(GL_DEPTH_TEST);
  return true;
}

void BM_FullScreenQuad(benchmark::State& state) {
  if (!ready(state)) return;
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    setOrthoUnit();
    glDisable(GL_DEPTH_TEST);
    drawRect({0, 0, 1, 1});
    glEnable(GL_DEPTH_TEST);
    glFinish();
  }
}
BENCHMARK(BM_FullScreenQuad)->Unit(benchmark::kMillisecond);

void BM_Molecules(benchmark::State& state) {
  if (!ready(state)) return;
  Molecules part("molecules");
  renderFrames(state, part);
}
BENCHMARK(BM_Molecules)->Unit(benchmark::kMillisecond);

void BM_Spheres(benchmark::State& state) {
  if (!ready(state)) return;
  Spheres part("spheres");
  part.handleEvent(programEvent(EffectEvent::kVertexProgram, "data/shaders/vp_spheres.cg"));
  part.handleEvent(programEvent(EffectEvent::kFragmentProgram, "data/shaders/fp_spheres.cg"));
  renderFrames(state, part);
}
BENCHMARK(BM_Spheres)->Unit(benchmark::kMillisecond);

void BM_TestHdr(benchmark::State& state) {
  if (!ready(state)) return;
  TestHdr part("probe");
  part.handleEvent(programEvent(EffectEvent::kFragmentProgram, "data/shaders/fp_testhdr.cg"));
  part.Factor0.value = 3;
  renderFrames(state, part);
}
BENCHMARK(BM_TestHdr)->Unit(benchmark::kMillisecond);

void BM_SeriesFlowerOrbit(benchmark::State& state) {
  SeriesFlower part("flower");
  uint32_t t = 100000;
  for (auto _ : state) benchmark::DoNotOptimize(part.computePoints(t += 33));
}
BENCHMARK(BM_SeriesFlowerOrbit)->Unit(benchmark::kMillisecond);

void BM_SeriesFlower(benchmark::State& state) {
  if (!ready(state)) return;
  SeriesFlower part("flower");
  renderFrames(state, part);
}
BENCHMARK(BM_SeriesFlower)->Unit(benchmark::kMillisecond);

// The reference: the same orbit drawn point by point, as additive 6-pixel GL points.
void BM_SeriesFlowerAsGlPoints(benchmark::State& state) {
  if (!ready(state)) return;
  SeriesFlower part("flower");
  uint32_t t = 100000;
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const int count = part.computePoints(t);
    setOrthoUnit();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glColor4f(0.01f, 0.03f, 0.2f, 1);
    glPointSize(6);
    glTranslatef(0.5f, 0.5f, 0);
    glRotatef(0.01f * float(t), 0, 0, 1);
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, part.points.data());
    glDrawArrays(GL_POINTS, 0, count);
    glDisableClientState(GL_VERTEX_ARRAY);
    glPointSize(1);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glFinish();
    t += 33;
  }
}
BENCHMARK(BM_SeriesFlowerAsGlPoints)->Unit(benchmark::kMillisecond);

}  // namespace
