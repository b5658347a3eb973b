// What the post-processing effects cost per frame at 800 × 600 on the software renderer, next
// to the floor this machine sets: one full-screen textured pass. Every figure is wall time
// with the frame finished (glFinish), since the renderer's own threads do the drawing.
//
//   Floor                    one 800 × 600 quad textured from a 1024² picture
//   Source                   the sources of all of them alone: that picture into a 1024² target
//   BlurPasses               the four blur passes alone, one draw each or the literal draws
//   Blur/OneDraw, /Literal   Blur with BlurAmount 3 and glow (four passes), each pass one GLSL
//                            draw or twelve additive draws
//   ShaderRTT_HDR            float source, conversion, multiply/subtract, four blur rounds on
//                            the 128² pair (the default) or the 512² pair, glow, tone-mapped
//                            result
//   ShaderRTT, ShaderDOF, TargetTexture   for comparison
//   ShaderDOF_Blur/reduced:0, :1   the depth of field's source at 1024² or at 768²
//
// The machine is shared: LP_NUM_THREADS=0 makes the driver draw on the calling thread, so
// that the CPU column is the frame's whole work, whatever else runs.
#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "base/Display.h"
#include "demoSystem/Timeline.h"
#include "effects/Blur.h"
#include "effects/PostProcess.h"
#include "effects/ScreenQuad.h"
#include "resources/RenderTarget.h"
#include "support/GlTestContext.h"
#include "support/TempDir.h"
#include "support/TestEffects.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// The context, the programs' working directory and a 1024² picture with detail everywhere.
struct Setup {
  GlTestContext gl{kWidth, kHeight};
  WorkingDirectory work{"postprocess_bench"};
  GLuint picture = 0;

  Setup() {
    writeSampleShaders(work);
    screenWidth = kWidth;
    screenHeight = kHeight;
    demoEndTime = 1000000;
    std::vector<uint8_t> texels(1024 * 1024 * 4);
    for (int y = 0; y < 1024; ++y)
      for (int x = 0; x < 1024; ++x) {
        uint8_t* p = &texels[(size_t(y) * 1024 + x) * 4];
        p[0] = uint8_t(x ^ y);
        p[1] = uint8_t(x * 3 + y);
        p[2] = uint8_t((x / 32 + y / 32) % 2 * 255);
        p[3] = 255;
      }
    glGenTextures(1, &picture);
    glBindTexture(GL_TEXTURE_2D, picture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1024, 1024, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  }

  // The picture over the unit square of the current matrices.
  void drawPicture() const {
    glBindTexture(GL_TEXTURE_2D, picture);
    glEnable(GL_TEXTURE_2D);
    drawRectTex({0, 0, 1, 1}, {0, 0, 1, 1});
    glDisable(GL_TEXTURE_2D);
  }
};

Setup& setup() {
  static Setup* s = new Setup;  // kept to the end: the caches hold its GL objects
  return *s;
}

// The source every effect here post-processes: the picture over the whole target.
DrawSource& source() {
  static DrawSource s([] {
    setOrthoUnitFlipped();
    setup().drawPicture();
  });
  return s;
}

void finishFrame() { glFinish(); }

// One frame of `effect` as the timeline runs it: update, then render over the window.
void runFrames(benchmark::State& state, Effect& effect) {
  if (!setup().gl.ok()) {
    state.SkipWithError("no GL context");
    return;
  }
  effect.sourceEffect = &source();
  uint32_t t = 0;
  // The driver compiles every new shader variant on first use: not part of a frame's cost.
  for (int warmUp = 0; warmUp < 3; ++warmUp) {
    effect.update(t);
    glViewport(0, 0, kWidth, kHeight);
    effect.render(t);
    finishFrame();
  }
  for (auto _ : state) {
    effect.update(t);
    glViewport(0, 0, kWidth, kHeight);
    effect.render(t);
    finishFrame();
    t += 40;
  }
  if (glGetError() != GL_NO_ERROR) state.SkipWithError("GL error");
}

// [SECTION] The floor and the source

void BM_Floor_FullScreenTexturedPass(benchmark::State& state) {
  Setup& s = setup();
  glViewport(0, 0, kWidth, kHeight);
  for (int warmUp = 0; warmUp < 3; ++warmUp) {
    setOrthoUnitFlipped();
    s.drawPicture();
    finishFrame();
  }
  for (auto _ : state) {
    setOrthoUnitFlipped();
    s.drawPicture();
    finishFrame();
  }
}
BENCHMARK(BM_Floor_FullScreenTexturedPass)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Source_PictureInto1024Target(benchmark::State& state) {
  setup();
  static RenderTarget target;
  if (!target.isInited()) target.init("bench_source", 1024, 1024, RenderTarget::kDepth);
  for (int frame = -3; frame < 0; ++frame) {
    target.bind();
    glViewport(0, 0, 1024, 1024);
    source().render(0);
    target.unbind();
    finishFrame();
  }
  for (auto _ : state) {
    target.bind();
    glViewport(0, 0, 1024, 1024);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    source().render(0);
    target.unbind();
    finishFrame();
  }
}
BENCHMARK(BM_Source_PictureInto1024Target)->Unit(benchmark::kMillisecond)->UseRealTime();

// [SECTION] Blur

void blurFrames(benchmark::State& state, bool singleDraw) {
  setup();
  static Blur* blur = nullptr;
  if (!blur) {
    blur = new Blur("bench_blur");
    blur->DoBlur.value = true;
    blur->DoGlow.value = true;
    blur->BlurAmount.value = 3;
  }
  setBlurSingleDraw(singleDraw);
  runFrames(state, *blur);
  setBlurSingleDraw(true);
}

// The four passes of BlurAmount 3 alone, from the source already in T1: what the one-draw
// passes change.
void blurPasses(benchmark::State& state, bool singleDraw) {
  setup();
  static Blur* blur = nullptr;
  if (!blur) blur = new Blur("bench_blur_passes");
  RenderTarget* t[] = {&Blur::target(1), &Blur::target(2), &Blur::target(3), &Blur::target(4)};
  setBlurSingleDraw(singleDraw);
  glViewport(0, 0, 512, 512);
  const float weight = 1.0f / 12;
  const auto passes = [&] {
    blurPass(t[0], t[1], 6, 1, 2.5f, weight, false, false);
    blurPass(t[1], t[2], 6, 3, 6.5f, weight, false, false);
    blurPass(t[2], t[3], 6, 5, 12.5f, weight, false, false);
    blurPass(t[3], t[1], 6, 7, 17.5f, weight, false, false);
    finishFrame();
  };
  for (int warmUp = 0; warmUp < 3; ++warmUp) passes();
  for (auto _ : state) passes();
  setBlurSingleDraw(true);
}

void BM_BlurPasses_OneDraw(benchmark::State& state) { blurPasses(state, true); }
BENCHMARK(BM_BlurPasses_OneDraw)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_BlurPasses_Literal(benchmark::State& state) { blurPasses(state, false); }
BENCHMARK(BM_BlurPasses_Literal)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Blur_Amount3Glow_OneDraw(benchmark::State& state) { blurFrames(state, true); }
BENCHMARK(BM_Blur_Amount3Glow_OneDraw)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Blur_Amount3Glow_Literal(benchmark::State& state) { blurFrames(state, false); }
BENCHMARK(BM_Blur_Amount3Glow_Literal)->Unit(benchmark::kMillisecond)->UseRealTime();

// [SECTION] Render-to-texture

// Every switch on; `pair` is the value of event 39: 128 keeps the small pair (the default),
// 512 selects the large one.
template <class T>
void renderToTextureFrames(benchmark::State& state, const char* name) {
  setup();
  static T* effect = nullptr;
  if (!effect) {
    effect = new T(name);
    effect->DoMulSub.value = effect->DoBlur.value = effect->DoGlow.value = true;
  }
  TimelineEvent pair;
  pair.code = ShaderRTT::kSelectPair;
  pair.value = static_cast<float>(state.range(0));
  effect->handleEvent(pair);
  runFrames(state, *effect);
}

void BM_ShaderRTT_HDR_AllPasses(benchmark::State& state) {
  renderToTextureFrames<ShaderRTT_HDR>(state, "bench_hdr");
}
BENCHMARK(BM_ShaderRTT_HDR_AllPasses)->ArgName("pair")->Arg(128)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ShaderRTT_AllPasses(benchmark::State& state) { renderToTextureFrames<ShaderRTT>(state, "bench_rtt"); }
BENCHMARK(BM_ShaderRTT_AllPasses)->ArgName("pair")->Arg(128)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ShaderDOF_BlurGlow(benchmark::State& state) {
  setup();
  static ShaderDOF* dof = nullptr;
  if (!dof) {
    dof = new ShaderDOF("bench_dof");
    dof->DoBlur.value = dof->DoGlow.value = true;
  }
  runFrames(state, *dof);
}
BENCHMARK(BM_ShaderDOF_BlurGlow)->Unit(benchmark::kMillisecond)->UseRealTime();

// The depth of field without the glow, its source drawn at 1024² (arg 0, as it was) or at
// the reduced 768² (arg 1). The source here is the picture drawn four times over, blended,
// standing in for a scene's overdraw: the source's fill is what the reduced size saves.
void BM_ShaderDOF_Blur(benchmark::State& state) {
  setup();
  static ShaderDOF* dof = nullptr;
  static DrawSource* layered = nullptr;
  if (!dof) {
    dof = new ShaderDOF("bench_dof_blur");
    dof->DoBlur.value = true;
    layered = new DrawSource([] {
      setOrthoUnitFlipped();
      glEnable(GL_BLEND);
      glBlendFunc(GL_ONE, GL_ONE);
      for (int i = 0; i < 4; ++i) setup().drawPicture();
      glDisable(GL_BLEND);
    });
  }
  setDofReducedSource(state.range(0) != 0);
  if (!setup().gl.ok()) {
    state.SkipWithError("no GL context");
    return;
  }
  dof->sourceEffect = layered;
  uint32_t t = 0;
  for (int warmUp = 0; warmUp < 3; ++warmUp) {
    dof->update(t);
    dof->render(t);
    finishFrame();
  }
  for (auto _ : state) {
    dof->update(t);
    glViewport(0, 0, kWidth, kHeight);
    dof->render(t);
    finishFrame();
    t += 40;
  }
  setDofReducedSource(true);
}
BENCHMARK(BM_ShaderDOF_Blur)->ArgName("reduced")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TargetTexture(benchmark::State& state) {
  setup();
  static TargetTexture* texture = nullptr;
  if (!texture) texture = new TargetTexture("bench_texture");
  runFrames(state, *texture);
}
BENCHMARK(BM_TargetTexture)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
