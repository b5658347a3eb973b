// [SECTION] Textures for the 3D and surface effects: environment, metal, floor tiles with
// their normal map, sphere sprites and the high-dynamic-range light probe pair.

#include <algorithm>
#include <cmath>
#include <vector>

#include "Noise.h"
#include "Pictures.h"
#include "Writers.h"

namespace {

constexpr float kPi = 3.14159265f;

struct Vec3 {
  float x, y, z;
};

Vec3 normalise(Vec3 v) {
  float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / l, v.y / l, v.z / l};
}

float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// The outdoor scene of the environment map, as radiance for a direction (y up).
// Wraps around in azimuth so that the picture tiles sideways.
Rgba outdoor(float azimuthTurns, float elevation, bool hdr) {
  const Vec3 sunDir = normalise({0.55f, 0.42f, -0.7f});
  float ce = std::cos(elevation);
  Vec3 d = {ce * std::cos(azimuthTurns * 2.0f * kPi), std::sin(elevation),
            ce * std::sin(azimuthTurns * 2.0f * kPi)};
  float e = elevation / (kPi * 0.5f);  // 1 zenith, 0 horizon, -1 nadir
  Rgba c;
  if (e >= 0.0f) {
    c = mix(rgb(0.78f, 0.86f, 0.95f), rgb(0.12f, 0.3f, 0.68f), std::pow(e, 0.55f));
    float cloud = fbm(azimuthTurns, e * 0.8f + 0.1f, 6, 5, 4242) * 0.5f + 0.5f;
    float cover = smoothstep(0.5f, 0.75f, cloud) * smoothstep(0.0f, 0.15f, e) * (1.0f - 0.4f * e);
    c = mix(c, rgb(0.97f, 0.97f, 1.0f), cover * 0.85f);
    float s = dot(d, sunDir);
    float halo = std::pow(clamp01(s), 60.0f) * 0.6f + std::pow(clamp01(s), 8.0f) * 0.15f;
    float disc = smoothstep(0.9985f, 0.9992f, s);
    float sunPower = hdr ? 60.0f : 1.0f;
    c.r += halo + disc * sunPower, c.g += halo * 0.9f + disc * sunPower * 0.95f,
        c.b += halo * 0.7f + disc * sunPower * 0.8f;
    // Blue hills on the horizon.
    float hill = 0.05f + 0.06f * (fbm(azimuthTurns * 3.0f, 0.5f, 3, 4, 777) * 0.5f + 0.5f);
    if (e < hill) c = mix(c, rgb(0.32f, 0.42f, 0.55f), clamp01((hill - e) * 400.0f));
  } else {
    float g = -e;
    float field = fbm(azimuthTurns * 6.0f, g * 3.0f, 6, 5, 999) * 0.5f + 0.5f;
    Rgba grass = mix(rgb(0.2f, 0.3f, 0.1f), rgb(0.36f, 0.42f, 0.16f), field);
    Rgba soil = rgb(0.3f, 0.22f, 0.14f);
    c = mix(grass, soil, smoothstep(0.55f, 0.7f, field) * 0.6f);
    c = mix(rgb(0.55f, 0.6f, 0.65f), c, smoothstep(0.0f, 0.12f, g));  // aerial haze
    float shade = 1.0f - 0.5f * g;
    c.r *= shade, c.g *= shade, c.b *= shade;
  }
  c.a = 1.0f;
  return c;
}

}  // namespace

void makeEnvironmentMap(const PictureContext& ctx) {
  // Longitude across, latitude down: sky in the upper half, the ground in the lower half.
  const int n = 512;
  Canvas c(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float az = (float(x) + 0.5f) / float(n);
      float el = (0.5f - (float(y) + 0.5f) / float(n)) * kPi;
      c.at(x, y) = outdoor(az, el, false);
    }
  writeJpeg(ctx.file("data/textures/envmap.jpg"), c);
}

void makeBrushedMetal(const PictureContext& ctx) {
  const int n = 512;
  Canvas c(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float u = (float(x) + 0.5f) / float(n), v = (float(y) + 0.5f) / float(n);
      // Streaks: noise that is long along x and very fine along y.
      float streak = gradientNoise(u * 3.0f, v * 220.0f, 3, 31) * 0.5f +
                     gradientNoise(u * 7.0f, v * 470.0f, 7, 32) * 0.35f +
                     gradientNoise(u * 16.0f, v * 900.0f, 16, 33) * 0.15f;
      float blotch = fbm(u, v, 2, 4, 34) * 0.5f + 0.5f;
      // A soft, wide highlight, as a brushed plate shows under a broad light.
      float hl = std::exp(-std::pow((u - 0.5f) * 2.2f, 2.0f) - std::pow((v - 0.45f) * 3.0f, 2.0f));
      float g = 0.42f + 0.07f * streak + 0.06f * (blotch - 0.5f) + 0.33f * hl;
      c.at(x, y) = {g * 0.97f, g * 0.99f, g * 1.04f, 1.0f};
    }
  writeJpeg(ctx.file("data/textures/metal24.jpg"), c);
}

void makeFloorTiles(const PictureContext& ctx) {
  // 4 × 4 glazed tiles with grout; the height field drives both the shading of the colour
  // picture and the normal map, so that the two match texel for texel. Tiles repeat.
  const int n = 512, tiles = 4, cell = n / tiles;
  const float grout = 5.0f, bevel = 7.0f;
  std::vector<float> height(size_t(n) * size_t(n));
  auto H = [&](int x, int y) -> float& {
    return height[size_t((y + n) % n) * size_t(n) + size_t((x + n) % n)];
  };
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float lx = float(x % cell) + 0.5f, ly = float(y % cell) + 0.5f;
      float edge = std::min({lx, ly, float(cell) - lx, float(cell) - ly}) - grout * 0.5f;
      float h = edge <= 0.0f ? 0.0f : 0.4f + 0.6f * smoothstep(0.0f, bevel, edge);
      float u = float(x) / float(n), v = float(y) / float(n);
      h += (edge > 0.0f ? 0.015f : 0.04f) * gradientNoise(u * 64.0f, v * 64.0f, 64, 71);
      H(x, y) = h;
    }
  Canvas colour(n, n), normals(n, n);
  const Vec3 light = normalise({-0.5f, -0.6f, 0.8f});
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float dx = (H(x + 1, y) - H(x - 1, y)) * 0.5f, dy = (H(x, y + 1) - H(x, y - 1)) * 0.5f;
      const float strength = 6.0f;
      Vec3 nrm = normalise({-dx * strength, -dy * strength, 1.0f});
      normals.at(x, y) = {nrm.x * 0.5f + 0.5f, nrm.y * 0.5f + 0.5f, nrm.z * 0.5f + 0.5f, 1.0f};
      int tx = x / cell, ty = y / cell;
      float u = float(x) / float(n), v = float(y) / float(n);
      bool isGrout = H(x, y) < 0.2f;
      Rgba base;
      if (isGrout) {
        float g = 0.32f + 0.05f * gradientNoise(u * 128.0f, v * 128.0f, 128, 72);
        base = rgb(g, g * 0.97f, g * 0.92f);
      } else {
        // Two glazes in a checker, each tile a little different.
        float tint = random01(tx, ty, 73) - 0.5f;
        base = ((tx + ty) % 2 == 0) ? rgb(0.86f, 0.88f, 0.86f) : rgb(0.32f, 0.5f, 0.62f);
        base.r += tint * 0.05f, base.g += tint * 0.05f, base.b += tint * 0.04f;
        float cloud = fbm(u * 2.0f, v * 2.0f, 8, 4, 74) * 0.04f;
        base.r += cloud, base.g += cloud, base.b += cloud;
      }
      float lambert = 0.75f + 0.25f * std::max(0.0f, dot(nrm, light)) / light.z;
      // A glint on the upper-left bevels, where the glaze catches the light.
      float spec = std::pow(std::max(0.0f, dot(nrm, light)), 40.0f) * (isGrout ? 0.0f : 0.25f);
      colour.at(x, y) = {base.r * lambert + spec, base.g * lambert + spec, base.b * lambert + spec,
                         1.0f};
    }
  writeJpeg(ctx.file("data/textures/fliser.jpg"), colour);
  writePng(ctx.file("data/textures/fliser_normal.png"), normals, false);
}

void makeSphereSprites(const PictureContext& ctx) {
  const int n = 128;
  Canvas black(n, n), normals(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float dx = (float(x) + 0.5f - 64.0f) / 62.0f, dy = (float(y) + 0.5f - 64.0f) / 62.0f;
      float r2 = dx * dx + dy * dy;
      float cover = clamp01((1.0f - std::sqrt(r2)) * 62.0f + 0.5f);
      float nz = std::sqrt(std::max(0.0f, 1.0f - r2));
      // Nearly black with a faint rim, so the sprite reads as a ball even unlit.
      float rim = std::pow(1.0f - nz, 3.0f) * 0.12f;
      black.at(x, y) = {rim * cover, rim * cover, rim * 1.2f * cover, cover};
      Rgba nc = {dx * 0.5f + 0.5f, dy * 0.5f + 0.5f, nz * 0.5f + 0.5f, 1.0f};
      if (r2 > 1.0f) {
        float l = std::sqrt(r2);
        nc = {dx / l * 0.5f + 0.5f, dy / l * 0.5f + 0.5f, 0.5f, 1.0f};
      }
      normals.at(x, y) = {nc.r * cover, nc.g * cover, nc.b * cover, cover};
    }
  writePng(ctx.file("data/textures/sphere_black.png"), black, true);
  writePng(ctx.file("data/textures/sphere_normals.png"), normals, true);
}

namespace {

// Radiance inside a tall hall: dark stone, a row of bright coloured windows, a skylight.
Rgba hall(Vec3 d) {
  float az = std::atan2(d.z, d.x) / (2.0f * kPi) + 0.5f;
  float el = std::asin(std::max(-1.0f, std::min(1.0f, d.y)));
  Rgba c;
  if (d.y < -0.05f) {
    // Floor: large stone slabs, lit warmly from the windows.
    float t = -d.y;
    float fx = d.x / t, fz = d.z / t;
    bool odd = (int(std::floor(fx * 1.5f)) + int(std::floor(fz * 1.5f))) % 2 != 0;
    float g = odd ? 0.09f : 0.13f;
    c = rgb(g * 1.2f, g, g * 0.8f);
  } else {
    float wall = 0.06f + 0.04f * (fbm(az * 8.0f, el, 8, 4, 606) * 0.5f + 0.5f);
    c = rgb(wall * 1.25f, wall, wall * 0.75f);
    // Columns between the windows.
    float col = std::fabs(std::fmod(az * 12.0f + 12.0f, 1.0f) - 0.5f);
    // Arched windows: 12 around, from slightly above the horizon upwards.
    float wx = col / 0.18f, wy = (el - 0.15f) / 0.55f;
    bool inWindow = wx < 1.0f && wy > 0.0f && (wy < 0.75f || wx * wx + std::pow((wy - 0.75f) / 0.25f, 2.0f) < 1.0f);
    if (inWindow) {
      int w = int(std::floor(az * 12.0f));
      const Rgba glass[4] = {rgb(9.0f, 6.5f, 2.5f), rgb(2.0f, 4.0f, 12.0f), rgb(10.0f, 2.0f, 1.5f),
                             rgb(6.0f, 9.0f, 7.0f)};
      c = glass[(w % 4 + 4) % 4];
      // Lead cames divide the glass into panes.
      float pane = std::min(std::fabs(std::fmod(wy * 6.0f, 1.0f) - 0.5f),
                            std::fabs(std::fmod(wx * 2.0f, 1.0f) - 0.5f));
      if (pane > 0.45f) c = rgb(0.05f, 0.04f, 0.03f);
    }
    // The skylight straight up, the brightest thing in the room.
    if (d.y > 0.93f) c = rgb(40.0f, 38.0f, 34.0f);
    else if (d.y > 0.85f) c = rgb(0.3f, 0.28f, 0.25f);
  }
  c.a = 1.0f;
  return c;
}

}  // namespace

void makeLightProbe(const PictureContext& ctx) {
  // A mirrored ball photographed from the front: the classic light-probe layout.
  const int n = 512;
  HdrImage hdr(n, n);
  Canvas ldr(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float u = (float(x) + 0.5f) / float(n) * 2.0f - 1.0f;
      float v = 1.0f - (float(y) + 0.5f) / float(n) * 2.0f;
      float r2 = u * u + v * v;
      Rgba c = {0, 0, 0, 1};
      if (r2 < 1.0f) {
        Vec3 nrm = {u, v, std::sqrt(1.0f - r2)};
        // Reflect the view ray (0, 0, -1) about the ball's normal.
        Vec3 refl = {2.0f * nrm.z * nrm.x, 2.0f * nrm.z * nrm.y, 2.0f * nrm.z * nrm.z - 1.0f};
        c = hall(refl);
        // Slight darkening towards the rim, as a real chrome ball has.
        float fres = 0.75f + 0.25f * nrm.z;
        c.r *= fres, c.g *= fres, c.b *= fres;
      }
      float* p = hdr.at(x, y);
      p[0] = c.r, p[1] = c.g, p[2] = c.b;
      // The low-dynamic-range twin: exposure, Reinhard tone curve and display gamma.
      auto tone = [](float value) {
        float e = value * 1.6f;
        return std::pow(e / (1.0f + e), 1.0f / 2.2f);
      };
      ldr.at(x, y) = {tone(c.r), tone(c.g), tone(c.b), 1.0f};
    }
  writeRgbe(ctx.file("data/grace_probe.hdr"), hdr);
  writePng(ctx.file("data/grace_probe.png"), ldr, false);
}
