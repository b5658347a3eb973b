// Music figures: the device callback's cost per mixed block, the decoder's cost per block (the
// feeder thread's share), the spectrum's cost per call, and the largest drift between the
// music position and the demo clock over a long simulated run with seeks, pauses and jumps.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <random>
#include <thread>

#include "demoSystem/DemoClock.h"
#include "demoSystem/MusicTestTone.h"
#include "demoSystem/VelkorMusic.h"
#include "platform/AudioDevice.h"

namespace {

constexpr int kBlock = platform::kAudioBufferFrames;

const std::string& trackPath() {
  static testtone::TempDir* dir = new testtone::TempDir;
  static const std::string path = [] {
    const std::string p = dir->file("soundtrack.ogg");
    testtone::encodeOgg(p, testtone::sines(20.0, 440, 554, 0.5, 0.4));
    return p;
  }();
  return path;
}

void waitForBuffered(int frames) {
  while (musicBufferedFrames() < frames) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

// Opens the track on a manual device and starts playing; the device is driven by hand.
struct Session {
  platform::ManualAudioDevice device;
  explicit Session(bool offline = false) {
    closeSound();
    setOfflineAudio(offline);
    setAudioDevice(&device);
    initSound();
    openMusic(trackPath().c_str());
    playMusic();
  }
  ~Session() {
    stopCapture();
    setSpectrumActive(false);
    closeSound();
    setOfflineAudio(false);
    setAudioDevice(nullptr);
  }
};

void BM_MixCallbackPerBlock(benchmark::State& state) {
  Session session;
  startCapture();
  std::vector<int16_t> buffer(2 * kBlock);
  if (state.range(0)) duckMusic();  // with the volume scaling
  for (auto _ : state) {
    // The decoder runs ahead on its own thread; only the callback itself is timed.
    waitForBuffered(kBlock);
    const auto start = std::chrono::steady_clock::now();
    session.device.mix(buffer.data(), kBlock);
    const auto end = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(buffer.data());
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
  }
  state.counters["underrun_frames"] = static_cast<double>(musicUnderrunFrames());
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_MixCallbackPerBlock)->Arg(0)->Arg(1)->ArgName("ducked")->UseManualTime()->Iterations(5000);

void BM_DecodePerBlock(benchmark::State& state) {
  Session session(true);
  uint32_t ms = 0;
  for (auto _ : state) {
    // One block's worth of stream, decoded and pushed through capture and spectrum history.
    const uint32_t next = ms + 23;
    renderOfflineAudio(ms, next);
    ms = next < 19000 ? next : 0;
  }
  state.SetItemsProcessed(state.iterations() * 1014);
}
BENCHMARK(BM_DecodePerBlock);

void BM_SpectrumPerCall(benchmark::State& state) {
  Session session(true);
  setSpectrumActive(true);
  renderOfflineAudio(1000, 1100);
  for (auto _ : state) benchmark::DoNotOptimize(getSpectrum());
}
BENCHMARK(BM_SpectrumPerCall);

// The launcher's protocol on simulated time: the device pulls one buffer whenever a buffer's
// worth of time has passed; frames run at 60 fps; the viewer seeks, pauses and jumps. The
// drift is the stream time being heard at the frame (the last pulled buffer plays until the
// next pull is due) minus the clock, in ms; after a seek the buffer already in play finishes
// first, so the largest drift is bounded by one device buffer.
void BM_DriftOverLongRunWithSeeks(benchmark::State& state) {
  const int seconds = static_cast<int>(state.range(0));
  double maxDrift = 0, sumDrift = 0;
  int64_t samples = 0, seeks = 0;
  for (auto _ : state) {
    Session session;
    ManualCounter ticks(1000000);
    DemoClock clock(&ticks);
    std::mt19937 random(42);
    setMusicTime(0);
    clock.setBaseOffset(0);
    clock.restart();
    int64_t deviceDueUs = 0;  // simulated time of the next device pull
    std::vector<int16_t> buffer(2 * kBlock);
    bool paused = false;
    const int64_t frameUs = 1000000 / 60;
    for (int64_t nowUs = 0; nowUs < int64_t{seconds} * 1000000; nowUs += frameUs) {
      ticks.set(nowUs);
      while (deviceDueUs <= nowUs) {
        waitForBuffered(kBlock);
        session.device.mix(buffer.data(), kBlock);
        deviceDueUs += int64_t{kBlock} * 1000000 / 44100;
      }
      const int event = static_cast<int>(random() % 240);  // about one event in four seconds
      if (event == 0) {  // an arrow-key seek
        // Never below the start: a seek that clamps at 0 keeps its offset and holds the clock
        // at 0 while the music runs on, which is the clock's rule, not a drift of the music.
        const int step = std::max(static_cast<int>(random() % 20000) - 8000, -static_cast<int>(clock.now()));
        clock.seekBy(step);
        if (!paused) {
          duckMusic();
          setMusicTime(clock.now());
        }
        ++seeks;
      } else if (event == 1) {  // F1
        paused = !paused;
        clock.setPaused(paused);
        if (paused) {
          pauseMusic();
        } else {
          playMusic();
          setMusicTime(clock.now());
        }
      } else if (event == 2) {  // a part jump
        const uint32_t target = static_cast<uint32_t>(random() % 15000);
        if (!paused) setMusicTime(target);
        clock.clearSeek();
        clock.setTime(target);
      } else if (event == 3 && !paused) {
        restoreMusicVolume();
      }
      if (!paused) {
        const double heardMs =
            static_cast<double>(musicPosition()) * 1000.0 / 44100 - static_cast<double>(deviceDueUs - nowUs) / 1000;
        const double drift = heardMs - clock.now();
        maxDrift = std::max(maxDrift, std::abs(drift));
        sumDrift += std::abs(drift);
        ++samples;
      }
    }
  }
  state.counters["max_drift_ms"] = maxDrift;
  state.counters["mean_drift_ms"] = samples ? sumDrift / static_cast<double>(samples) : 0;
  state.counters["device_buffer_ms"] = kBlock * 1000.0 / 44100;
  state.counters["seeks"] = static_cast<double>(seeks);
  state.counters["underrun_frames"] = static_cast<double>(musicUnderrunFrames());
}
BENCHMARK(BM_DriftOverLongRunWithSeeks)->Arg(600)->ArgName("simulated_s")->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
