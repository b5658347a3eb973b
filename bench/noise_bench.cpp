// What TechnoNoise costs per frame at 800 × 600 with ScaleAlpha 0 (the scan-line copy adds
// nothing), drawing the copy as before (skip:0) or leaving it out (skip:1), in one run. Wall
// time with the frame finished (glFinish); LP_NUM_THREADS=0 makes the CPU column the frame's
// whole work.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include "base/Display.h"
#include "demoSystem/Timeline.h"
#include "effects/NoiseTextures.h"
#include "effects/ScreenQuad.h"
#include "support/GlTestContext.h"
#include "support/TestEffects.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

GlTestContext& window() {
  static GlTestContext* context = new GlTestContext(kWidth, kHeight);  // kept to the end
  return *context;
}

// A source with something everywhere: two colour gradients.
DrawSource& source() {
  static DrawSource s([] {
    glBegin(GL_QUADS);
    glColor3f(0.1f, 0.2f, 0.9f);
    glVertex2f(-1, -1);
    glColor3f(0.9f, 0.5f, 0.1f);
    glVertex2f(1, -1);
    glColor3f(0.3f, 0.9f, 0.3f);
    glVertex2f(1, 1);
    glColor3f(0.7f, 0.1f, 0.6f);
    glVertex2f(-1, 1);
    glEnd();
    glColor3f(1, 1, 1);
  });
  return s;
}

void BM_TechnoNoise_ScaleAlpha0(benchmark::State& state) {
  if (!window().ok()) {
    state.SkipWithError("no GL context");
    return;
  }
  screenWidth = kWidth;
  screenHeight = kHeight;
  static TechnoNoiseEffect* techno = nullptr;
  if (!techno) {
    techno = new TechnoNoiseEffect("bench_techno");
    techno->sourceEffect = &source();
    techno->BlendSrc.value = 1;
    techno->ScaleAlpha.value = 0;
  }
  TechnoNoiseEffect::setSkipUnseenScanLines(state.range(0) != 0);
  uint32_t t = 0;
  const auto frame = [&] {
    techno->update(t);
    glViewport(0, 0, kWidth, kHeight);
    techno->render(t);
    glFinish();
    t += 40;
  };
  for (int warmUp = 0; warmUp < 3; ++warmUp) frame();
  for (auto _ : state) frame();
  state.counters["skipped"] = techno->scanLinesSkipped();
  TechnoNoiseEffect::setSkipUnseenScanLines(true);
}
BENCHMARK(BM_TechnoNoise_ScaleAlpha0)->ArgName("skip")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
