#pragma once
// Floating-point pictures the recipes paint into before they are quantised and written.
// Colours are premultiplied by alpha so that glows, text and shapes composite with one
// rule ("over") and resampling never bleeds the colour of transparent pixels.

#include <cstddef>
#include <cstdint>
#include <vector>

struct Rgba {
  float r = 0, g = 0, b = 0, a = 0;
};

// Straight (not premultiplied) colour, the way recipes think about colours.
inline Rgba rgb(float r, float g, float b, float a = 1.0f) { return {r, g, b, a}; }

// One coverage value per pixel: text, shapes, blurred glows.
struct Mask {
  int width = 0, height = 0;
  std::vector<float> value;

  Mask(int w, int h) : width(w), height(h), value(size_t(w) * size_t(h), 0.0f) {}
  float& at(int x, int y) { return value[size_t(y) * size_t(width) + size_t(x)]; }
  float at(int x, int y) const { return value[size_t(y) * size_t(width) + size_t(x)]; }

  // Three box passes per axis approximate a Gaussian of the given standard deviation.
  void blur(float sigma);
  void scale(float factor);
};

class Canvas {
 public:
  Canvas(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }

  // Premultiplied pixel access.
  Rgba& at(int x, int y) { return pixels_[size_t(y) * size_t(width_) + size_t(x)]; }
  const Rgba& at(int x, int y) const { return pixels_[size_t(y) * size_t(width_) + size_t(x)]; }

  // Paints `colour` (straight) over the pixel with the given extra coverage.
  void blendOver(int x, int y, Rgba colour, float coverage = 1.0f);
  // Adds light: colour × coverage into RGB without touching alpha more than needed.
  void addLight(int x, int y, Rgba colour, float coverage = 1.0f);
  // Paints `colour` through every pixel of a same-sized mask.
  void paint(const Mask& mask, Rgba colour, int offsetX = 0, int offsetY = 0);
  void glow(const Mask& mask, Rgba colour, int offsetX = 0, int offsetY = 0);
  void drawOver(const Canvas& other, int offsetX, int offsetY);

  // Bilinear when enlarging, area average when shrinking; used to stretch pictures that
  // are designed for a 4:3 screen onto power-of-two textures.
  Canvas resampled(int width, int height) const;

 private:
  int width_, height_;
  std::vector<Rgba> pixels_;
};

// Smooth step and friends that every recipe uses.
float clamp01(float x);
float smoothstep(float edge0, float edge1, float x);
float mix(float a, float b, float t);
Rgba mix(Rgba a, Rgba b, float t);
