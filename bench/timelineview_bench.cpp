// The timeline view's cost a frame, next to the frame it is drawn over: the same demo (a
// full-screen clear and 30 instances, a switch every 2 s and a Red key every 500 ms each, 8 parts, a 125 ms beat)
// rendered at 1280 × 720 without the view (what --dev pays with it off: nothing more) and
// with it, one row selected so its curve is drawn too. glFinish closes every frame, so the
// GL work is counted; the view's own cost is the difference of the two. The view is run
// both ways: its unchanging part kept in a texture and copied (what --dev does), and the
// whole panel drawn afresh every frame (before the texture), and with the texture redrawn
// every frame (a zoom or scroll in progress).

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <string>

#include "base/Display.h"
#include "demoSystem/DemoValues.h"
#include "imgui.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "demos/EffectList.h"
#include "launcher/TimelineView.h"
#include "support/GlTestContext.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720;

std::string script() {
  std::string text = "DEMO_END 60000\nDEMO_BEAT 125\n";
  for (int p = 0; p < 8; ++p) text += "DEFINE_DEMO_PART " + std::to_string(p * 7500) + "\n";
  text += "INSERT_EFFECT Clear AS clear\n";
  for (int e = 0; e < 30; ++e) text += "INSERT_EFFECT Fade AS fade" + std::to_string(e) + "\n";
  text += "__TIMELINE__\n0 b clear\n";
  for (int e = 0; e < 30; ++e) {
    const std::string name = " fade" + std::to_string(e);
    for (int t = 0; t < 60000; t += 2000) text += std::to_string(t + 50 * e) + (t % 4000 ? " e" : " b") + name + "\n";
    for (int t = 0; t < 60000; t += 500) text += std::to_string(t) + " s" + name + " Red 0." + std::to_string(t % 7) + "\n";
  }
  return text;
}

struct Fixture {
  GlTestContext gl{kWidth, kHeight};
  EffectList effects;
  EventList events;
  ScriptLoader loader;
  Fixture() {
    screenWidth = kWidth;
    screenHeight = kHeight;
    effectRegistry = &effects;
    eventList = &events;
    loader.loadText(script(), effects, events);
  }
  TimelineScene scene() const {
    return {effects.effects(), loader.inserts(), loader.activeSwitches(), partTimes, playbackEndTime, patternStepLength};
  }
};

Fixture& fixture() {
  static Fixture* f = new Fixture;
  return *f;
}

enum class View { Off, Cached, Uncached, Scrolling };

void frames(benchmark::State& state, View mode) {
  Fixture& f = fixture();
  TimelineView view;
  const bool withView = mode != View::Off;
  view.setCached(mode != View::Uncached);
  const auto noSeek = [](uint32_t) {};
  if (withView) {  // a click on the first row selects it
    platform::PointerState press;
    press.x = 40;
    press.y = static_cast<int>(kHeight - 1);
    const TimelineScene scene = f.scene();
    view.draw(kWidth, kHeight, 0, scene, press, noSeek);
    press.y = static_cast<int>(kHeight * 2 / 3 + 1);
    for (int y = kHeight * 2 / 3 / 2; y < kHeight && view.selected().empty(); y += 4) {
      press.y = y;
      press.leftDown = true;
      view.draw(kWidth, kHeight, 0, scene, press, noSeek);
      press.leftDown = false;
      view.draw(kWidth, kHeight, 0, scene, press, noSeek);
    }
  }
  uint32_t t = 0;
  platform::PointerState idle;
  const uint64_t drawsBefore = view.staticDraws();
  for (auto _ : state) {
    renderFrame(t);
    if (mode == View::Scrolling) {  // a sideways wheel over the panel, back and forth
      idle.x = kWidth / 2, idle.y = kHeight - 1;
      idle.wheelX = (t / 17) % 2 ? 0.05f : -0.05f;
    }
    if (withView) view.draw(kWidth, kHeight, t, f.scene(), idle, noSeek);
    glFinish();
    t = (t + 17) % 60000;
  }
  state.counters["selected"] = view.selected().empty() ? 0 : 1;
  state.counters["textureDraws"] = static_cast<double>(view.staticDraws() - drawsBefore);
  if (const ImDrawData* data = withView ? ImGui::GetDrawData() : nullptr) {
    int commands = 0;
    for (int i = 0; i < data->CmdListsCount; ++i) commands += data->CmdLists[i]->CmdBuffer.Size;
    state.counters["vertices"] = data->TotalVtxCount;
    state.counters["drawCalls"] = commands;
  }
}

// The view's own work on the processor: the draw lists built, no GL drawing (all of them:
// without render() no texture takes the unchanging part on, so it is drawn every time).
void BM_ViewBuildOnly(benchmark::State& state) {
  Fixture& f = fixture();
  TimelineView view;
  const platform::PointerState idle;
  uint32_t t = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(view.build(kWidth, kHeight, t, f.scene(), idle, [](uint32_t) {}));
    t = (t + 17) % 60000;
  }
}

void BM_FrameViewOff(benchmark::State& state) { frames(state, View::Off); }
void BM_FrameViewOn(benchmark::State& state) { frames(state, View::Cached); }
void BM_FrameViewOnUncached(benchmark::State& state) { frames(state, View::Uncached); }
void BM_FrameViewOnScrolling(benchmark::State& state) { frames(state, View::Scrolling); }

BENCHMARK(BM_FrameViewOff)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_ViewBuildOnly)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_FrameViewOnUncached)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_FrameViewOn)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_FrameViewOnScrolling)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
