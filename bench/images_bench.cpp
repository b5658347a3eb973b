// Decode time of typical demo pictures through the project's loaders, next to the bare
// libraries decoding the same bytes in the same run, and the marble generator per frame.
//
//   bench_images --benchmark_filter=Jpeg     (compare .../project with .../libjpeg)

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cmath>
#include <cstdio>
#include <memory>

#include "support/GlTestContext.h"
#include "resources/DDSLoader.h"
#include "resources/ImageLibrary.h"
#include "resources/ImageWriters.h"
#include "resources/Texture.h"
#include "resources/TextureTools.h"

namespace {

using namespace testimages;

// A 1024 × 1024 picture with smooth gradients and some grain, like a photographed texture.
const Bytes& photo() {
  static const Bytes pixels = [] {
    Bytes p(1024 * 1024 * 3);
    uint32_t seed = 12345;
    for (int y = 0; y < 1024; ++y)
      for (int x = 0; x < 1024; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int grain = int(seed >> 28) - 8;
        uint8_t* px = &p[(size_t(y) * 1024 + x) * 3];
        px[0] = uint8_t(std::clamp(int(128 + 100 * std::sin(x * 0.01)) + grain, 0, 255));
        px[1] = uint8_t(std::clamp(int(128 + 100 * std::cos(y * 0.013)) + grain, 0, 255));
        px[2] = uint8_t(std::clamp((x + y) / 8 + grain, 0, 255));
      }
    return p;
  }();
  return pixels;
}

const Bytes& jpegFile() {
  static const Bytes bytes = encodeJpeg(1024, 1024, 3, photo(), 90);
  return bytes;
}

const Bytes& pngFile() {
  static const Bytes bytes = encodePng(1024, 1024, PNG_COLOR_TYPE_RGB, 8, photo());
  return bytes;
}

const Bytes& ddsFile() {
  static const Bytes bytes = [] {
    Bytes chain;
    for (int size = 1024; size >= 1; size /= 2) {
      const size_t blocks = size_t((size + 3) / 4) * ((size + 3) / 4);
      for (size_t b = 0; b < blocks; ++b) {
        const Bytes block = dxt5SolidBlock(uint16_t(b * 2654435761u), uint8_t(b));
        chain.insert(chain.end(), block.begin(), block.end());
      }
    }
    return makeDds(1024, 1024, "DXT5", 11, chain);
  }();
  return bytes;
}

const std::string& rgbeFile() {
  static const std::string text = [] {
    std::string t = rgbeHeader(512, 256);
    for (int y = 0; y < 256; ++y) {
      std::vector<std::array<uint8_t, 4>> row;
      for (int x = 0; x < 512; ++x)
        row.push_back({uint8_t(x / 2), uint8_t(y), uint8_t((x * y) >> 8), uint8_t(128 + (x / 64))});
      const Bytes line = rgbeRleScanline(row);
      t.append(line.begin(), line.end());
    }
    return t;
  }();
  return text;
}

// [SECTION] JPEG

void Jpeg1024Project(benchmark::State& state) {
  const Bytes& file = jpegFile();
  for (auto _ : state) {
    BorrowedFile memory(file);
    std::unique_ptr<Image> image(decodeJpeg(memory.get()));
    benchmark::DoNotOptimize(image->data.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 1024 * 1024 * 3);
}
BENCHMARK(Jpeg1024Project)->Name("Jpeg1024/project")->Unit(benchmark::kMillisecond);

void Jpeg1024Bare(benchmark::State& state) {
  const Bytes& file = jpegFile();
  Bytes out(1024 * 1024 * 3);
  for (auto _ : state) {
    jpeg_decompress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), file.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = out.data() + size_t(info.output_scanline) * 1024 * 3;
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 1024 * 1024 * 3);
}
BENCHMARK(Jpeg1024Bare)->Name("Jpeg1024/libjpeg")->Unit(benchmark::kMillisecond);

// [SECTION] PNG

void Png1024Project(benchmark::State& state) {
  const Bytes& file = pngFile();
  for (auto _ : state) {
    BorrowedFile memory(file);
    std::unique_ptr<Image> image(decodePng(memory.get()));
    benchmark::DoNotOptimize(image->data.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 1024 * 1024 * 3);
}
BENCHMARK(Png1024Project)->Name("Png1024/project")->Unit(benchmark::kMillisecond);

struct PngSource {
  const Bytes* bytes;
  size_t position;
};

void Png1024Bare(benchmark::State& state) {
  const Bytes& file = pngFile();
  Bytes out(1024 * 1024 * 3);
  std::vector<png_bytep> rows(1024);
  for (int y = 0; y < 1024; ++y) rows[y] = out.data() + size_t(y) * 1024 * 3;
  for (auto _ : state) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngSource source{&file, 0};
    png_set_read_fn(png, &source, [](png_structp p, png_bytep data, png_size_t length) {
      auto* s = static_cast<PngSource*>(png_get_io_ptr(p));
      std::memcpy(data, s->bytes->data() + s->position, length);
      s->position += length;
    });
    png_read_info(png, info);
    png_read_update_info(png, info);
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 1024 * 1024 * 3);
}
BENCHMARK(Png1024Bare)->Name("Png1024/libpng")->Unit(benchmark::kMillisecond);

// [SECTION] DDS and RGBE (no outside decoder: a plain copy of the bytes is the floor)

void Dds1024Project(benchmark::State& state) {
  const Bytes& file = ddsFile();
  for (auto _ : state) {
    BorrowedFile memory(file);
    std::unique_ptr<Image> image(decodeDds(memory.get()));
    benchmark::DoNotOptimize(image->data.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(Dds1024Project)->Name("DdsDxt5Mips1024/project")->Unit(benchmark::kMicrosecond);

void Dds1024Copy(benchmark::State& state) {
  const Bytes& file = ddsFile();
  for (auto _ : state) {
    Bytes copy(file.begin() + 128, file.end());
    benchmark::DoNotOptimize(copy.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(Dds1024Copy)->Name("DdsDxt5Mips1024/copy")->Unit(benchmark::kMicrosecond);

void Rgbe512x256Project(benchmark::State& state) {
  std::string text = rgbeFile();
  for (auto _ : state) {
    FILE* stream = fmemopen(text.data(), text.size(), "rb");
    std::unique_ptr<Image> image(readRgbe(stream));
    std::fclose(stream);
    benchmark::DoNotOptimize(image->floatData.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 512 * 256);
}
BENCHMARK(Rgbe512x256Project)->Name("Rgbe512x256/project")->Unit(benchmark::kMillisecond);

// [SECTION] Marble per frame (includes the upload of 256 × 256 × 4 bytes)

using GlWindow = GlTestContext;

void Marble256(benchmark::State& state) {
  static GlWindow window;
  if (!window.ok()) {
    state.SkipWithError("no GL context");
    return;
  }
  Texture* texture =
      TextureManager::instance().createTexture("bench_marble", 256, 256, GL_TEXTURE_2D, GL_RGBA, 0);
  float z = 0;
  for (auto _ : state) {
    z += 0.1f;
    marbleTexture(texture, 20, 20, z, 0, 0, int(state.range(0)));
  }
  glFinish();
}
BENCHMARK(Marble256)->Name("Marble256/octaves")->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

// The fill alone, without the upload: the straightforward loop against the fast fill, which
// gives the same bytes (tested) in a fraction of the time. The goal is at least 4x at 8 octaves.
// Time is wall-clock (the fast fill shares rows with a second thread); CPU is the whole
// process's, so the ratio of the CPU columns is the gain on one core alone.
void MarbleFill(benchmark::State& state, bool fast) {
  std::vector<uint8_t> pixels(256 * 256 * 4);
  float z = 0;
  for (auto _ : state) {
    z += 0.1f;
    if (fast) marblePixels(pixels.data(), 256, 256, 20, 20, z, 0, 0, int(state.range(0)));
    else marblePixelsReference(pixels.data(), 256, 256, 20, 20, z, 0, 0, int(state.range(0)));
    benchmark::DoNotOptimize(pixels.data());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 256 * 256);
}
BENCHMARK_CAPTURE(MarbleFill, reference, false)->Name("MarbleFill256/reference")->Arg(1)->Arg(8)
    ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK_CAPTURE(MarbleFill, fast, true)->Name("MarbleFill256/fast")->Arg(1)->Arg(8)
    ->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
