#include "Canvas.h"

#include <algorithm>
#include <cmath>

float clamp01(float x) { return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x); }

float smoothstep(float edge0, float edge1, float x) {
  float t = clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3.0f - 2.0f * t);
}

float mix(float a, float b, float t) { return a + (b - a) * t; }

Rgba mix(Rgba a, Rgba b, float t) {
  return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t), mix(a.a, b.a, t)};
}

namespace {

// One box pass of radius r along a line of n values spaced `stride` apart, edges clamped.
void boxPass(float* line, int n, int stride, int r, std::vector<float>& scratch) {
  scratch.resize(size_t(n));
  for (int i = 0; i < n; ++i) scratch[size_t(i)] = line[size_t(i) * size_t(stride)];
  float norm = 1.0f / float(2 * r + 1);
  double sum = 0.0;
  for (int k = -r; k <= r; ++k) sum += scratch[size_t(std::clamp(k, 0, n - 1))];
  for (int i = 0; i < n; ++i) {
    line[size_t(i) * size_t(stride)] = float(sum) * norm;
    sum += scratch[size_t(std::clamp(i + r + 1, 0, n - 1))];
    sum -= scratch[size_t(std::clamp(i - r, 0, n - 1))];
  }
}

}  // namespace

void Mask::blur(float sigma) {
  if (sigma <= 0.0f) return;
  // Box width for three passes that give the requested variance: w = sqrt(12σ²/3 + 1).
  int r = std::max(1, int(std::lround((std::sqrt(4.0f * sigma * sigma + 1.0f) - 1.0f) / 2.0f)));
  std::vector<float> scratch;
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < height; ++y) boxPass(&at(0, y), width, 1, r, scratch);
    for (int x = 0; x < width; ++x) boxPass(&at(x, 0), height, width, r, scratch);
  }
}

void Mask::scale(float factor) {
  for (float& v : value) v *= factor;
}

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), pixels_(size_t(width) * size_t(height)) {}

void Canvas::blendOver(int x, int y, Rgba c, float coverage) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  float a = clamp01(c.a * coverage);
  if (a <= 0.0f) return;
  Rgba& d = at(x, y);
  d.r = c.r * a + d.r * (1.0f - a);
  d.g = c.g * a + d.g * (1.0f - a);
  d.b = c.b * a + d.b * (1.0f - a);
  d.a = a + d.a * (1.0f - a);
}

void Canvas::addLight(int x, int y, Rgba c, float coverage) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  float k = c.a * coverage;
  if (k <= 0.0f) return;
  Rgba& d = at(x, y);
  d.r += c.r * k;
  d.g += c.g * k;
  d.b += c.b * k;
  // Light on a transparent pixel needs enough alpha to carry it; the brightest channel
  // decides, so a glow over nothing stays a glow when premultiplied colour is divided out.
  d.a = std::max(d.a, std::min(1.0f, std::max({d.r, d.g, d.b})));
}

void Canvas::paint(const Mask& mask, Rgba colour, int offsetX, int offsetY) {
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x) {
      float m = mask.at(x, y);
      if (m > 0.0f) blendOver(x + offsetX, y + offsetY, colour, m);
    }
}

void Canvas::glow(const Mask& mask, Rgba colour, int offsetX, int offsetY) {
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x) {
      float m = mask.at(x, y);
      if (m > 0.0f) addLight(x + offsetX, y + offsetY, colour, m);
    }
}

void Canvas::drawOver(const Canvas& other, int offsetX, int offsetY) {
  for (int y = 0; y < other.height(); ++y)
    for (int x = 0; x < other.width(); ++x) {
      int tx = x + offsetX, ty = y + offsetY;
      if (tx < 0 || ty < 0 || tx >= width_ || ty >= height_) continue;
      const Rgba& s = other.at(x, y);
      Rgba& d = at(tx, ty);
      d.r = s.r + d.r * (1.0f - s.a);
      d.g = s.g + d.g * (1.0f - s.a);
      d.b = s.b + d.b * (1.0f - s.a);
      d.a = s.a + d.a * (1.0f - s.a);
    }
}

namespace {

// Weights of the source samples that make up one target sample along one axis.
struct Tap {
  int index;
  float weight;
};

std::vector<std::vector<Tap>> axisTaps(int from, int to) {
  std::vector<std::vector<Tap>> taps(static_cast<size_t>(to));
  float ratio = float(from) / float(to);
  for (int i = 0; i < to; ++i) {
    auto& t = taps[size_t(i)];
    if (ratio <= 1.0f) {
      float c = (float(i) + 0.5f) * ratio - 0.5f;
      int i0 = int(std::floor(c));
      float f = c - float(i0);
      t.push_back({std::clamp(i0, 0, from - 1), 1.0f - f});
      t.push_back({std::clamp(i0 + 1, 0, from - 1), f});
    } else {
      float lo = float(i) * ratio, hi = float(i + 1) * ratio;
      for (int k = int(std::floor(lo)); k < int(std::ceil(hi)); ++k) {
        float w = std::min(hi, float(k + 1)) - std::max(lo, float(k));
        if (w > 0.0f) t.push_back({std::clamp(k, 0, from - 1), w / ratio});
      }
    }
  }
  return taps;
}

}  // namespace

Canvas Canvas::resampled(int width, int height) const {
  auto xt = axisTaps(width_, width);
  auto yt = axisTaps(height_, height);
  Canvas rows(width, height_);
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width; ++x) {
      Rgba s;
      for (const Tap& t : xt[size_t(x)]) {
        const Rgba& p = at(t.index, y);
        s.r += p.r * t.weight, s.g += p.g * t.weight, s.b += p.b * t.weight, s.a += p.a * t.weight;
      }
      rows.at(x, y) = s;
    }
  Canvas out(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      Rgba s;
      for (const Tap& t : yt[size_t(y)]) {
        const Rgba& p = rows.at(x, t.index);
        s.r += p.r * t.weight, s.g += p.g * t.weight, s.b += p.b * t.weight, s.a += p.a * t.weight;
      }
      out.at(x, y) = s;
    }
  return out;
}
