#include "Writers.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "Noise.h"

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path) {
  std::fprintf(stderr, "gen-pictures: %s: %s\n", what.c_str(), path.c_str());
  std::exit(1);
}

// Straight 8-bit colour with a fixed ±0.5 LSB dither so dark gradients do not band.
void quantise(const Canvas& c, bool withAlpha, std::vector<unsigned char>& out) {
  int channels = withAlpha ? 4 : 3;
  out.resize(size_t(c.width()) * size_t(c.height()) * size_t(channels));
  size_t i = 0;
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x) {
      const Rgba& p = c.at(x, y);
      float a = clamp01(p.a);
      float r = p.r, g = p.g, b = p.b;
      if (withAlpha && a > 0.0f) r /= a, g /= a, b /= a;
      float dither = random01(x, y, 0x5eed) - 0.5f;
      auto q = [dither](float v) {
        float s = std::floor(clamp01(v) * 255.0f + 0.5f + dither);
        return static_cast<unsigned char>(s < 0.0f ? 0.0f : (s > 255.0f ? 255.0f : s));
      };
      out[i++] = q(r);
      out[i++] = q(g);
      out[i++] = q(b);
      if (withAlpha) out[i++] = static_cast<unsigned char>(std::lround(a * 255.0f));
    }
}

}  // namespace

void makeParentDirectories(const std::string& path) {
  std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (parent.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(parent, ec);
  if (ec) fail("cannot create directory", parent.string());
}

void writePng(const std::string& path, const Canvas& canvas, bool withAlpha) {
  std::vector<unsigned char> bytes;
  quantise(canvas, withAlpha, bytes);
  makeParentDirectories(path);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) fail("cannot write", path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (!png || !info || setjmp(png_jmpbuf(png))) fail("libpng failed on", path);
  png_init_io(png, f);
  png_set_compression_level(png, 6);
  png_set_IHDR(png, info, png_uint_32(canvas.width()), png_uint_32(canvas.height()), 8,
               withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  size_t stride = size_t(canvas.width()) * (withAlpha ? 4 : 3);
  for (int y = 0; y < canvas.height(); ++y) png_write_row(png, &bytes[size_t(y) * stride]);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

void writeJpeg(const std::string& path, const Canvas& canvas) {
  std::vector<unsigned char> bytes;
  quantise(canvas, false, bytes);
  makeParentDirectories(path);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) fail("cannot write", path);
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = JDIMENSION(canvas.width());
  cinfo.image_height = JDIMENSION(canvas.height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 92, TRUE);
  cinfo.optimize_coding = TRUE;
  jpeg_start_compress(&cinfo, TRUE);
  size_t stride = size_t(canvas.width()) * 3;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = &bytes[size_t(cinfo.next_scanline) * stride];
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::fclose(f);
}

void floatToRgbe(const float rgb[3], unsigned char out[4]) {
  float v = std::max({rgb[0], rgb[1], rgb[2]});
  if (v < 1e-32f) {
    out[0] = out[1] = out[2] = out[3] = 0;
    return;
  }
  int e;
  float scale = std::frexp(v, &e) * 256.0f / v;
  for (int i = 0; i < 3; ++i) out[i] = static_cast<unsigned char>(std::max(0.0f, rgb[i]) * scale);
  out[3] = static_cast<unsigned char>(e + 128);
}

void encodeRgbePlane(const unsigned char* data, int count, std::vector<unsigned char>& out) {
  // Runs of four or more equal bytes become (128 + length, value); everything between
  // them goes out as literal blocks. Both are kept below 128 bytes so that no reader has
  // to decide what a count of exactly 128 means.
  constexpr int kMinRun = 4, kMax = 127;
  int cur = 0;
  while (cur < count) {
    int begRun = cur, runCount = 0, oldRunCount = 0;
    while (runCount < kMinRun && begRun < count) {
      begRun += runCount;
      oldRunCount = runCount;
      runCount = 1;
      while (begRun + runCount < count && runCount < kMax &&
             data[begRun] == data[begRun + runCount])
        ++runCount;
    }
    // A short run just before the long one is cheaper as a run too.
    if (oldRunCount > 1 && oldRunCount == begRun - cur) {
      out.push_back(static_cast<unsigned char>(128 + oldRunCount));
      out.push_back(data[cur]);
      cur = begRun;
    }
    while (cur < begRun) {
      int n = std::min(begRun - cur, kMax);
      out.push_back(static_cast<unsigned char>(n));
      out.insert(out.end(), data + cur, data + cur + n);
      cur += n;
    }
    if (runCount >= kMinRun) {
      out.push_back(static_cast<unsigned char>(128 + runCount));
      out.push_back(data[begRun]);
      cur += runCount;
    }
  }
}

void writeRgbe(const std::string& path, const HdrImage& image) {
  makeParentDirectories(path);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) fail("cannot write", path);
  std::fprintf(f, "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y %d +X %d\n", image.height, image.width);
  int w = image.width;
  bool rle = w >= 8 && w <= 0x7FFF;
  std::vector<unsigned char> planes(size_t(w) * 4), out;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < w; ++x) {
      unsigned char e[4];
      floatToRgbe(&image.rgb[(size_t(y) * size_t(w) + size_t(x)) * 3], e);
      for (int c = 0; c < 4; ++c) planes[size_t(c) * size_t(w) + size_t(x)] = e[c];
    }
    out.clear();
    if (rle) {
      out = {2, 2, static_cast<unsigned char>(w >> 8), static_cast<unsigned char>(w & 0xFF)};
      for (int c = 0; c < 4; ++c) encodeRgbePlane(&planes[size_t(c) * size_t(w)], w, out);
    } else {
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 4; ++c) out.push_back(planes[size_t(c) * size_t(w) + size_t(x)]);
    }
    std::fwrite(out.data(), 1, out.size(), f);
  }
  if (std::fclose(f) != 0) fail("cannot finish", path);
}
