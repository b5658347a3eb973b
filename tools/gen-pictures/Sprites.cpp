// [SECTION] Backgrounds and sprites that the layer effects drift, spin, scale and pulse.

#include <cmath>

#include "Noise.h"
#include "Pictures.h"
#include "Writers.h"

namespace {

constexpr float kPi = 3.14159265f;

// Coverage of a band |d| < halfWidth with a one-pixel soft edge.
float band(float d, float halfWidth) { return clamp01(halfWidth - std::fabs(d) + 0.5f); }

void stars(Canvas& c, int count, uint32_t seed, float brightness) {
  for (int i = 0; i < count; ++i) {
    float x = random01(i, 1, seed) * float(c.width());
    float y = random01(i, 2, seed) * float(c.height());
    float b = random01(i, 3, seed);
    b = b * b * b * brightness;
    float hue = random01(i, 4, seed);
    Rgba col = rgb(0.8f + 0.2f * hue, 0.85f, 1.0f - 0.25f * hue, b);
    float radius = 0.6f + 1.8f * b;
    int r = int(std::ceil(radius * 3.0f));
    for (int dy = -r; dy <= r; ++dy)
      for (int dx = -r; dx <= r; ++dx) {
        float fx = float(int(x) + dx) + 0.5f - x, fy = float(int(y) + dy) + 0.5f - y;
        float d2 = (fx * fx + fy * fy) / (radius * radius);
        c.addLight(int(x) + dx, int(y) + dy, col, std::exp(-d2 * 2.0f));
      }
    if (b > 0.75f) {  // a few bright ones get a diffraction cross
      for (int k = -24; k <= 24; ++k) {
        float w = std::exp(-float(k * k) / 90.0f) * 0.5f;
        c.addLight(int(x) + k, int(y), col, w);
        c.addLight(int(x), int(y) + k, col, w);
      }
    }
  }
}

void writeScreen(const Canvas& design, const std::string& path) {
  writeJpeg(path, design.resampled(1024, 1024));
}

}  // namespace

void makeNebula(const PictureContext& ctx) {
  Canvas c(kDesignWidth, kDesignHeight);
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x) {
      float u = float(x) / float(c.width()) * 1.333f, v = float(y) / float(c.height());
      // Domain-warped clouds: one noise bends the coordinates of the next.
      float wx = fbm(u, v, 2, 4, 101), wy = fbm(u + 0.37f, v + 0.11f, 2, 4, 202);
      float n = fbm(u + 0.35f * wx, v + 0.35f * wy, 3, 6, 303) * 0.5f + 0.5f;
      float m = fbm(u * 1.7f + 0.2f * wy, v * 1.7f, 3, 5, 404) * 0.5f + 0.5f;
      float dust = smoothstep(0.52f, 0.75f, fbm(u * 3.0f, v * 3.0f, 3, 5, 505) * 0.5f + 0.5f);
      float band = std::exp(-std::pow((v - 0.55f + 0.25f * (u - 0.66f)) * 3.2f, 2.0f));
      float glow = smoothstep(0.35f, 0.85f, n) * (0.35f + 0.65f * band);
      float teal = smoothstep(0.45f, 0.9f, m) * band;
      Rgba col = rgb(0.008f, 0.01f, 0.03f);
      col.r += glow * 0.55f + teal * 0.05f;
      col.g += glow * 0.12f + teal * 0.35f;
      col.b += glow * 0.42f + teal * 0.45f;
      float hot = std::pow(glow * teal, 2.0f);
      col.r += hot * 1.2f, col.g += hot * 0.9f, col.b += hot * 0.8f;
      float shade = 1.0f - 0.75f * dust * band;
      c.at(x, y) = {col.r * shade, col.g * shade, col.b * shade, 1.0f};
    }
  stars(c, 1400, 77, 1.0f);
  writeScreen(c, ctx.file("data/images/nebula.jpg"));
}

void makeHorizon(const PictureContext& ctx) {
  Canvas c(kDesignWidth, kDesignHeight);
  const float horizon = 470.0f, cx = 512.0f;
  const float sunY = horizon - 70.0f, sunR = 175.0f;
  for (int y = 0; y < c.height(); ++y)
    for (int x = 0; x < c.width(); ++x) {
      float fx = float(x) + 0.5f, fy = float(y) + 0.5f;
      Rgba col;
      if (fy < horizon) {
        float t = fy / horizon;
        col = mix(rgb(0.02f, 0.01f, 0.09f), rgb(0.22f, 0.04f, 0.28f), smoothstep(0.0f, 0.7f, t));
        col = mix(col, rgb(0.95f, 0.32f, 0.38f), smoothstep(0.62f, 1.0f, t) * 0.85f);
        float d = std::hypot(fx - cx, fy - sunY);
        float halo = std::exp(-std::pow(std::max(0.0f, d - sunR) / 150.0f, 2.0f));
        col.r += halo * 0.35f, col.g += halo * 0.1f, col.b += halo * 0.12f;
        if (d < sunR + 1.0f) {
          float s = (fy - (sunY - sunR)) / (2.0f * sunR);
          Rgba sun = mix(rgb(1.0f, 0.93f, 0.45f), rgb(1.0f, 0.2f, 0.55f), s);
          // The lower half of the sun is cut by bands that widen towards the horizon.
          float cut = 1.0f;
          if (s > 0.5f) {
            float k = (s - 0.5f) * 2.0f;
            float period = 34.0f, gap = 3.0f + 14.0f * k;
            float ph = std::fmod(fy - (sunY), period);
            cut = clamp01(std::fabs(ph - period * 0.5f) - gap * 0.5f);
          }
          float edge = clamp01(sunR - d + 0.5f) * cut;
          col = mix(col, sun, edge);
        }
        // Mountains in front of the sun, a darker ridge in front of a lighter one.
        float u = fx / float(c.width());
        float ridge1 = horizon - 60.0f - 55.0f * (fbm(u * 1.0f, 0.3f, 3, 5, 61) * 0.5f + 0.5f);
        float ridge2 = horizon - 18.0f - 40.0f * (fbm(u * 1.5f, 0.7f, 3, 5, 62) * 0.5f + 0.5f);
        if (fy > ridge1) col = mix(col, rgb(0.16f, 0.04f, 0.22f), clamp01(fy - ridge1) * 0.9f);
        if (fy > ridge2) col = mix(col, rgb(0.06f, 0.01f, 0.1f), clamp01(fy - ridge2));
      } else {
        // Ground: a grid seen from a camera 1 unit above a plane, lines every 1 unit.
        float dy = fy - horizon;
        const float focal = 520.0f, height = 1.0f;
        float z = focal * height / dy;
        float wx = (fx - cx) * z / focal + 0.5f;
        float dzPix = z * z / (focal * height);  // world z per pixel of screen y
        float dxPix = z / focal;                 // world x per pixel of screen x
        float lx = std::fabs(wx - std::round(wx)) / dxPix;
        float lz = std::fabs(z * 1.0f - std::round(z * 1.0f)) / dzPix;
        float line = std::max(band(lx, 1.1f), band(lz, 1.1f) * clamp01(1.5f / dzPix));
        float glowLine = std::max(std::exp(-lx * lx / 18.0f), std::exp(-lz * lz / 18.0f));
        float fog = std::exp(-z / 18.0f);
        Rgba grid = mix(rgb(1.0f, 0.25f, 0.75f), rgb(0.2f, 0.9f, 1.0f), clamp01(dy / 300.0f));
        col = rgb(0.02f, 0.0f, 0.05f);
        float k = (line * 0.9f + glowLine * 0.35f) * fog;
        col.r += grid.r * k, col.g += grid.g * k, col.b += grid.b * k;
        float haze = std::exp(-dy / 40.0f);
        col = mix(col, rgb(0.9f, 0.3f, 0.45f), haze * 0.6f);
      }
      col.a = 1.0f;
      c.at(x, y) = col;
    }
  // Stars only in the dark upper sky.
  Canvas sky(kDesignWidth, int(horizon * 0.6f));
  stars(sky, 260, 88, 0.8f);
  for (int y = 0; y < sky.height(); ++y)
    for (int x = 0; x < sky.width(); ++x) {
      const Rgba& s = sky.at(x, y);
      float fade = 1.0f - float(y) / float(sky.height());
      Rgba& d = c.at(x, y);
      d.r += s.r * fade, d.g += s.g * fade, d.b += s.b * fade;
    }
  writeScreen(c, ctx.file("data/images/horizon.jpg"));
}

void makeGlow(const PictureContext& ctx) {
  Canvas c(256, 256);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) {
      float dx = (float(x) + 0.5f - 128.0f) / 128.0f, dy = (float(y) + 0.5f - 128.0f) / 128.0f;
      float r2 = dx * dx + dy * dy;
      float a = 0.75f * std::exp(-r2 * 9.0f) + 0.25f * std::exp(-r2 * 60.0f);
      a *= clamp01((1.0f - r2) * 4.0f);  // reaches exactly zero before the border
      c.at(x, y) = {a, a, a, a};
    }
  writePng(ctx.file("data/images/glow.png"), c, true);
}

void makeLogo(const PictureContext& ctx) {
  // An emblem: a segmented outer ring with ticks, a thin inner ring and an eight-pointed star.
  const int n = 512;
  Mask m(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float dx = float(x) + 0.5f - 256.0f, dy = float(y) + 0.5f - 256.0f;
      float r = std::hypot(dx, dy), a = std::atan2(dy, dx);
      float seg = std::fmod(a / (2.0f * kPi) * 12.0f + 12.0f, 1.0f);
      float segEdge = std::min(seg, 1.0f - seg) * r * 2.0f * kPi / 12.0f;  // px to the gap
      float outer = band(r - 205.0f, 14.0f) * clamp01(segEdge - 5.0f);
      float tick = std::fmod(a / (2.0f * kPi) * 72.0f + 72.0f, 1.0f);
      float ticks = band(r - 180.0f, 6.0f) * clamp01(2.0f - std::fabs(tick - 0.5f) * r * 2.0f * kPi / 72.0f);
      float inner = band(r - 160.0f, 2.0f);
      // Star: radius limit oscillates with the angle, sharp points.
      float k = std::fabs(std::cos(a * 4.0f));
      float starR = 40.0f + 100.0f * std::pow(k, 6.0f);
      float star = clamp01(starR - r + 0.5f) * clamp01(r - 22.0f + 0.5f);
      float core = clamp01(14.0f - r + 0.5f);
      m.at(x, y) = std::min(1.0f, outer + ticks + inner + star + core);
    }
  Canvas c(n, n);
  Mask glow = m;
  glow.blur(10.0f);
  c.glow(glow, rgb(0.3f, 0.7f, 1.0f, 1.1f));
  // A gradient fill: warm at the top, cool at the bottom.
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x)
      if (m.at(x, y) > 0.0f)
        c.blendOver(x, y, mix(rgb(1.0f, 0.95f, 0.8f), rgb(0.7f, 0.9f, 1.0f), float(y) / float(n)),
                    m.at(x, y));
  writePng(ctx.file("data/images/logo.png"), c, true);
}

void makeRays(const PictureContext& ctx) {
  const int n = 512;
  Canvas c(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float dx = float(x) + 0.5f - 256.0f, dy = float(y) + 0.5f - 256.0f;
      float r = std::hypot(dx, dy) / 256.0f, a = std::atan2(dy, dx);
      float rays = std::pow(0.5f + 0.5f * std::cos(a * 9.0f), 8.0f);
      float thin = std::pow(0.5f + 0.5f * std::cos(a * 23.0f + 1.0f), 30.0f) * 0.6f;
      float falloff = clamp01(1.0f - r) * clamp01(1.0f - r);
      float v = (rays + thin) * falloff * smoothstep(0.0f, 0.12f, r);
      v += std::exp(-r * r * 40.0f) * 0.8f;
      c.at(x, y) = {v, v * 0.92f, v * 0.8f, clamp01(v)};
    }
  writePng(ctx.file("data/images/rays.png"), c, true);
}

void makeRings(const PictureContext& ctx) {
  // Broken arcs of different radii and widths, the kind of shape that reads well spinning.
  const int n = 512;
  Mask m(n, n);
  struct Arc {
    float radius, halfWidth, start, length;  // angles in turns
  };
  const Arc arcs[] = {{230, 6, 0.00f, 0.30f}, {230, 6, 0.40f, 0.45f}, {212, 2, 0.05f, 0.80f},
                      {190, 12, 0.55f, 0.20f}, {190, 12, 0.10f, 0.15f}, {165, 3, 0.0f, 1.0f},
                      {145, 8, 0.30f, 0.55f},  {120, 2, 0.70f, 0.60f},  {100, 16, 0.15f, 0.10f},
                      {100, 16, 0.48f, 0.10f}, {100, 16, 0.81f, 0.10f}};
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float dx = float(x) + 0.5f - 256.0f, dy = float(y) + 0.5f - 256.0f;
      float r = std::hypot(dx, dy);
      float turn = std::atan2(dy, dx) / (2.0f * kPi) + 0.5f;
      float cover = 0.0f;
      for (const Arc& arc : arcs) {
        float rel = std::fmod(turn - arc.start + 2.0f, 1.0f);
        float along = arc.length >= 1.0f ? 1e6f
                                         : std::min(rel, arc.length - rel) * 2.0f * kPi * r;
        if (rel > arc.length && arc.length < 1.0f) continue;
        cover = std::max(cover, band(r - arc.radius, arc.halfWidth) * clamp01(along + 0.5f));
      }
      m.at(x, y) = cover;
    }
  Canvas c(n, n);
  Mask glow = m;
  glow.blur(6.0f);
  c.glow(glow, rgb(0.4f, 0.8f, 1.0f, 0.9f));
  c.paint(m, rgb(0.85f, 0.95f, 1.0f));
  writePng(ctx.file("data/images/rings.png"), c, true);
}

void makeHexGrid(const PictureContext& ctx) {
  const int n = 512;
  Canvas c(n, n);
  const float size = 30.0f;  // hexagon radius in pixels
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      float px = float(x) + 0.5f - 256.0f, py = float(y) + 0.5f - 256.0f;
      // Axial coordinates of a pointy-top hexagon grid, rounded to the nearest cell.
      float q = (std::sqrt(3.0f) / 3.0f * px - py / 3.0f) / size;
      float rr = (2.0f / 3.0f * py) / size;
      float cxq = q, cz = rr, cy = -q - rr;
      float rx = std::round(cxq), ry = std::round(cy), rz = std::round(cz);
      float ex = std::fabs(rx - cxq), ey = std::fabs(ry - cy), ez = std::fabs(rz - cz);
      if (ex > ey && ex > ez)
        rx = -ry - rz;
      else if (ey > ez)
        ry = -rx - rz;
      else
        rz = -rx - ry;
      float hx = size * std::sqrt(3.0f) * (rx + rz / 2.0f), hy = size * 1.5f * rz;
      float lx = std::fabs(px - hx), ly = std::fabs(py - hy);
      // Distance to the hexagon's edge along its three edge normals.
      float edge = std::max(lx, lx * 0.5f + ly * 0.8660254f);
      float inner = size * 0.8660254f;
      float line = clamp01(1.6f - std::fabs(edge - inner));
      float lit = random01(int(rx), int(rz), 909);
      float fill = lit > 0.82f ? 0.18f * clamp01(inner - edge) / inner : 0.0f;
      float r = std::hypot(px, py) / 256.0f;
      float fade = clamp01(1.0f - r * r);
      float a = (line * 0.8f + fill) * fade;
      Rgba col = mix(rgb(0.3f, 0.9f, 1.0f), rgb(1.0f, 0.4f, 0.9f), lit);
      c.at(x, y) = {col.r * a, col.g * a, col.b * a, a};
    }
  writePng(ctx.file("data/images/hexgrid.png"), c, true);
}
