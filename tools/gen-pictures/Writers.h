#pragma once
// Quantising and writing pictures in the formats the engine reads. Every writer is
// deterministic: no timestamps, fixed encoder settings, a fixed dither pattern.

#include <string>
#include <vector>

#include "Canvas.h"

// 8-bit RGB or RGBA PNG (never grey or palette: the engine only uploads 24 and 32 bits).
void writePng(const std::string& path, const Canvas& canvas, bool withAlpha);
// Baseline JPEG, RGB, quality 92.
void writeJpeg(const std::string& path, const Canvas& canvas);

// Floating-point RGB, rows top to bottom.
struct HdrImage {
  int width = 0, height = 0;
  std::vector<float> rgb;
  HdrImage(int w, int h) : width(w), height(h), rgb(size_t(w) * size_t(h) * 3, 0.0f) {}
  float* at(int x, int y) { return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

// Radiance RGBE with run-length encoded scanlines.
void writeRgbe(const std::string& path, const HdrImage& image);

// Encodes one float colour as the four RGBE bytes (exposed for the tests of the format).
void floatToRgbe(const float rgb[3], unsigned char out[4]);
// Run-length encodes one channel plane of a scanline the way RGBE readers expect.
void encodeRgbePlane(const unsigned char* data, int count, std::vector<unsigned char>& out);

// Makes every parent directory of `path`.
void makeParentDirectories(const std::string& path);
