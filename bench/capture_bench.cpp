// What one captured frame costs on the way to disk: the PNG encoding of an 800 × 600 frame
// (the GL read-back is the driver's and is not measured here).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "launcher/FrameCapture.h"
#include "platform/Capture/PngWriter.h"

namespace {

std::vector<uint8_t> demoLikeFrame(int width, int height) {
  // Smooth gradients with a little noise: closer to a rendered frame than a flat colour.
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  uint32_t seed = 12345;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      seed = seed * 1664525u + 1013904223u;
      uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>(x * 255 / width);
      p[1] = static_cast<uint8_t>(y * 255 / height);
      p[2] = static_cast<uint8_t>((seed >> 24) & 15);
    }
  return rgb;
}

void BM_WritePngFrame800x600(benchmark::State& state) {
  const std::vector<uint8_t> frame = demoLikeFrame(800, 600);
  const char* base = std::getenv("TMPDIR");
  std::string dir = std::string(base && *base ? base : "/tmp") + "/de_capture_bench_XXXXXX";
  if (!mkdtemp(dir.data())) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const std::string path = dir + "/" + captureFileName(0);
  for (auto _ : state) {
    if (!platform::writePngRgb(path, 800, 600, frame.data())) state.SkipWithError("write failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
  unlink(path.c_str());
  rmdir(dir.c_str());
}
BENCHMARK(BM_WritePngFrame800x600)->Unit(benchmark::kMillisecond);

}  // namespace
