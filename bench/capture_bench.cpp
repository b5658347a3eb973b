// What one captured frame costs on the way to disk: the PNG encoding of an 800 × 600 frame
// by the capture's encoder (the "up" filter, ISA-L's fastest deflate) beside the
// straightforward one it replaced (libpng with zlib's fastest level and libpng's adaptive
// filters), on frames like those the sample demo draws, with the file sizes as counters. The
// GL read-back is the driver's and is not measured here; scripts/bench-capture measures the
// whole capture against drawing alone.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdint>
#include <vector>

#include "platform/Capture/PngWriter.h"

namespace {

constexpr int kWidth = 800, kHeight = 600;

// Smooth gradients under a soft noise and a few hard-edged shapes: closer to a rendered frame
// than a flat colour or pure noise (an 800 × 600 frame of the demo takes 0.3–0.9 MB as PNG).
std::vector<uint8_t> demoLikeFrame() {
  std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
  uint32_t seed = 12345;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      seed = seed * 1664525u + 1013904223u;
      uint8_t* p = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
      const bool inShape = ((x / 100) + (y / 75)) % 3 == 0;
      p[0] = static_cast<uint8_t>(inShape ? 230 : x * 255 / kWidth);
      p[1] = static_cast<uint8_t>(inShape ? 40 : y * 255 / kHeight);
      p[2] = static_cast<uint8_t>(((x + y) & 63) + ((seed >> 24) & 15));
    }
  return rgb;
}

struct Memory {
  std::vector<uint8_t> bytes;
};

void appendToMemory(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<Memory*>(png_get_io_ptr(png));
  out->bytes.insert(out->bytes.end(), data, data + size);
}

void noFlush(png_structp) {}

// The encoder captures used before: libpng, zlib level 1, libpng's filter choice.
size_t encodeWithLibpng(const std::vector<uint8_t>& rgb, Memory* out) {
  out->bytes.clear();
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, out, appendToMemory, noFlush);
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_bytep> rows(kHeight);
  for (int y = 0; y < kHeight; ++y)
    rows[y] = const_cast<png_bytep>(&rgb[static_cast<size_t>(kHeight - 1 - y) * kWidth * 3]);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out->bytes.size();
}

void BM_PngFrameLibpngZlibLevel1(benchmark::State& state) {
  const std::vector<uint8_t> frame = demoLikeFrame();
  Memory out;
  size_t size = 0;
  for (auto _ : state) size = encodeWithLibpng(frame, &out);
  state.counters["bytes"] = static_cast<double>(size);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_PngFrameLibpngZlibLevel1)->Unit(benchmark::kMillisecond);

void BM_PngFrameCaptureEncoder(benchmark::State& state) {
  const std::vector<uint8_t> frame = demoLikeFrame();
  platform::PngEncoder encoder;
  for (auto _ : state)
    if (!encoder.encode(kWidth, kHeight, frame.data())) state.SkipWithError("encode failed");
  state.counters["bytes"] = static_cast<double>(encoder.size());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_PngFrameCaptureEncoder)->Unit(benchmark::kMillisecond);

}  // namespace
