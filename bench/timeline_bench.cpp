// Timeline costs: loading a large script with includes, and the per-frame walk of
// renderFrame (events, active tests, updates that evaluate every keyed variable) without
// drawing, as the number of keys per variable grows.

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/GlTestContext.h"
#include "demoSystem/Effect.h"
#include "demoSystem/ScriptLoader.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "demos/EffectList.h"
#include "launcher/LauncherState.h"

namespace {

// [SECTION] Script load

// 20,000 statements: a main file with definitions that includes 20 files of 1,000
// statements each (effects, keys, events, switches and comments).
std::filesystem::path writeLargeScript() {
  char pattern[] = "/tmp/timeline_bench_XXXXXX";
  const std::filesystem::path dir = mkdtemp(pattern);
  std::ofstream main(dir / "main.script");
  main << "DEMO_START 0\nDEMO_END 600000\nDEMO_BEAT 125\nDEFINE FADE_OUT 27\nDEFINE STEP 250\n";
  for (int file = 0; file < 20; ++file) {
    const std::string name = "part" + std::to_string(file) + ".script";
    main << "INCLUDE \"" << (dir / name).string() << "\"\n";
    std::ofstream part(dir / name);
    part << "// part " << file << "\n";
    for (int e = 0; e < 10; ++e) part << "INSERT_EFFECT Fade AS f" << file << "_" << e << "\n";
    part << "__TIMELINE__\nTIMEOFFSET " << file * 30000 << "\n";
    int written = 12;
    for (int i = 0; written < 999; ++i, ++written) {
      const int e = i % 10;
      const int t = (i / 10) * 250;
      switch (i % 5) {
        case 0: part << t << " s f" << file << "_" << e << " Red 0." << i % 10 << "\n"; break;
        case 1: part << "STEP * " << i / 10 << " s f" << file << "_" << e << " Green 0.5\n"; break;
        case 2: part << t << " t f" << file << "_" << e << " FADE_OUT 1 2 3\n"; break;
        case 3: part << t << " b f" << file << "_" << e << " /* on */\n"; break;
        default: part << t + 100 << " e f" << file << "_" << e << "\n"; break;
      }
    }
    part << "__LINETIME__\n";
  }
  return dir;
}

void BM_LoadScript20000Statements(benchmark::State& state) {
  const std::filesystem::path dir = writeLargeScript();
  EffectList effects;
  EventList events;
  ScriptLoader loader;
  const std::string path = (dir / "main.script").string();
  for (auto _ : state) {
    loader.load(path.c_str(), effects, events);
    benchmark::DoNotOptimize(events.events().size());
  }
  state.counters["effects"] = static_cast<double>(effects.effects().size());
  state.counters["events"] = static_cast<double>(events.events().size());
  state.counters["statements/s"] = benchmark::Counter(20000.0 * static_cast<double>(state.iterations()),
                                                      benchmark::Counter::kIsRate);
  std::filesystem::remove_all(dir);
  demoEndTime = 0;
}
BENCHMARK(BM_LoadScript20000Statements)->Unit(benchmark::kMillisecond);

// [SECTION] Frame walk

// Twenty keyed parameters, all evaluated in every update; nothing is drawn.
class KeyedEffect : public Effect {
 public:
  explicit KeyedEffect(const std::string& name) : Effect(name) {
    for (size_t i = 0; i < values.size(); ++i)
      registerVariable(&values[i], "V" + std::to_string(i), Variable::kNoStringTable, Variable::kFloat);
  }
  void update(uint32_t time) override {
    Effect::update(time);
    float sum = 0;
    for (FloatVariable& v : values) sum += v.evaluate(time);
    benchmark::DoNotOptimize(sum);
  }
  void render(uint32_t) override {}

  std::array<FloatVariable, 20> values;
};

const EffectType kKeyedTypes[] = {
    {"Keyed", [](const std::string& n) -> Effect* { return new KeyedEffect(n); }},
};

constexpr uint32_t kDemoLength = 600000;

using GlWindow = GlTestContext;

// 300 effects, all active for the whole demo, each variable with `keys` keys spread over
// it, and one INIT per effect every ten seconds.
void buildTimeline(EffectList& effects, EventList& events, int keys) {
  demoEndTime = kDemoLength;
  std::mt19937 random(1);
  for (int e = 0; e < 300; ++e) {
    const std::string name = "k" + std::to_string(e);
    effects.insertEffect(name, "Keyed");
    Effect* effect = effects.findEffect(name);
    effect->active.setKey(1, 0);
    for (Variable* variable : effect->getVariables()) {
      if (variable->name[0] != 'V') continue;
      std::vector<NumericKey> list;
      for (int k = 0; k < keys; ++k)
        list.push_back({static_cast<uint32_t>(uint64_t(kDemoLength) * k / (keys - 1)),
                        static_cast<float>(random() % 1000)});
      variable->setKeys(list);
    }
    for (uint32_t t = 0; t < kDemoLength; t += 10000) {
      TimelineEvent event;
      event.time = t;
      event.effectName = name;
      events.append(event);
    }
  }
  events.sortByTime();
}

// The GL context, the 300-effect timeline and the published containers of one run.
struct FrameBench {
  explicit FrameBench(int keys) : effects(kKeyedTypes) {
    buildTimeline(effects, events, keys);
    effectRegistry = &effects;
    eventList = &events;
    screenWidth = screenHeight = 64;
  }
  ~FrameBench() {
    effectRegistry = nullptr;
    eventList = nullptr;
    demoEndTime = 0;
  }
  GlWindow gl;
  EffectList effects;
  EventList events;
};

// Playback: time moves forward one 60 Hz frame at a time and wraps to the start.
void BM_RenderFrameForward(benchmark::State& state) {
  FrameBench bench(static_cast<int>(state.range(0)));
  if (!bench.gl.ok()) {
    state.SkipWithError("no GL context");
    return;
  }
  uint32_t t = 0;
  for (auto _ : state) {
    renderFrame(t);
    t += 17;
    if (t >= kDemoLength) {
      t = 0;
      bench.events.sortByTime();  // rewind the events as a reload would
    }
  }
}
BENCHMARK(BM_RenderFrameForward)->Arg(2)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)
    ->Unit(benchmark::kMicrosecond);

// Seeking: every frame jumps to a random time, the worst case for the per-variable cursor.
void BM_RenderFrameRandomSeek(benchmark::State& state) {
  FrameBench bench(static_cast<int>(state.range(0)));
  if (!bench.gl.ok()) {
    state.SkipWithError("no GL context");
    return;
  }
  std::mt19937 random(2);
  for (auto _ : state) renderFrame(random() % kDemoLength);
}
BENCHMARK(BM_RenderFrameRandomSeek)->Arg(2)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
