#pragma once
// Deterministic noise for the recipes: an integer hash (no library random numbers, so the
// pictures are the same on every machine) and tileable gradient noise built on it.

#include <cmath>
#include <cstdint>

inline uint32_t hash32(uint32_t x) {
  // A well-mixed 32-bit integer hash (two multiply-xorshift rounds).
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

inline uint32_t hash2(int x, int y, uint32_t seed) {
  return hash32(uint32_t(x) * 0x8da6b343U ^ hash32(uint32_t(y) * 0xd8163841U ^ seed));
}

// Uniform in [0, 1).
inline float random01(int x, int y, uint32_t seed) {
  return float(hash2(x, y, seed) >> 8) * (1.0f / 16777216.0f);
}

// 256 unit gradient directions, evenly spread; a lattice point's hash picks one.
struct GradientTable {
  float x[256], y[256];
  GradientTable() {
    for (int i = 0; i < 256; ++i) {
      float angle = float(i) * (6.2831853f / 256.0f);
      x[i] = std::cos(angle);
      y[i] = std::sin(angle);
    }
  }
};

// Gradient noise in about [-1, 1]; the lattice wraps every `period` cells so textures tile.
inline float gradientNoise(float x, float y, int period, uint32_t seed) {
  static const GradientTable table;
  auto wrap = [period](int i) { return ((i % period) + period) % period; };
  int x0 = int(std::floor(x)), y0 = int(std::floor(y));
  float fx = x - float(x0), fy = y - float(y0);
  auto grad = [&](int ix, int iy, float dx, float dy) {
    uint32_t g = hash2(wrap(ix), wrap(iy), seed) >> 24;
    return table.x[g] * dx + table.y[g] * dy;
  };
  auto fade = [](float t) { return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f); };
  float n00 = grad(x0, y0, fx, fy), n10 = grad(x0 + 1, y0, fx - 1.0f, fy);
  float n01 = grad(x0, y0 + 1, fx, fy - 1.0f), n11 = grad(x0 + 1, y0 + 1, fx - 1.0f, fy - 1.0f);
  float u = fade(fx), v = fade(fy);
  float a = n00 + (n10 - n00) * u, b = n01 + (n11 - n01) * u;
  return (a + (b - a) * v) * 1.41421356f;
}

// Sum of octaves; u and v in [0, 1) map onto `period` cells of the first octave, so the
// result tiles over the unit square.
inline float fbm(float u, float v, int period, int octaves, uint32_t seed, float gain = 0.5f) {
  float sum = 0.0f, amplitude = 1.0f, norm = 0.0f;
  for (int o = 0; o < octaves; ++o) {
    int p = period << o;
    sum += amplitude * gradientNoise(u * float(p), v * float(p), p, seed + uint32_t(o) * 977U);
    norm += amplitude;
    amplitude *= gain;
  }
  return sum / norm;
}
