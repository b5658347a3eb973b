#include "resources/TextureTools.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/Error.h"
#include "base/Parallel.h"
#include "resources/Texture.h"

namespace {

// Ken Perlin's reference permutation (improved noise, 2002), repeated to 512 entries so
// that p[X + 1] and p[A + 1] never need a wrap.
constexpr uint8_t kPermutation[256] = {
    151, 160, 137, 91,  90,  15,  131, 13,  201, 95,  96,  53,  194, 233, 7,   225, 140, 36,
    103, 30,  69,  142, 8,   99,  37,  240, 21,  10,  23,  190, 6,   148, 247, 120, 234, 75,
    0,   26,  197, 62,  94,  252, 219, 203, 117, 35,  11,  32,  57,  177, 33,  88,  237, 149,
    56,  87,  174, 20,  125, 136, 171, 168, 68,  175, 74,  165, 71,  134, 139, 48,  27,  166,
    77,  146, 158, 231, 83,  111, 229, 122, 60,  211, 133, 230, 220, 105, 92,  41,  55,  46,
    245, 40,  244, 102, 143, 54,  65,  25,  63,  161, 1,   216, 80,  73,  209, 76,  132, 187,
    208, 89,  18,  169, 200, 196, 135, 130, 116, 188, 159, 86,  164, 100, 109, 198, 173, 186,
    3,   64,  52,  217, 226, 250, 124, 123, 5,   202, 38,  147, 118, 126, 255, 82,  85,  212,
    207, 206, 59,  227, 47,  16,  58,  17,  182, 189, 28,  42,  223, 183, 170, 213, 119, 248,
    152, 2,   44,  154, 163, 70,  221, 153, 101, 155, 167, 43,  172, 9,   129, 22,  39,  253,
    19,  98,  108, 110, 79,  113, 224, 232, 178, 185, 112, 104, 218, 246, 97,  228, 251, 34,
    242, 193, 238, 210, 144, 12,  191, 179, 162, 241, 81,  51,  145, 235, 249, 14,  239, 107,
    49,  192, 214, 31,  181, 199, 106, 157, 184, 84,  204, 176, 115, 121, 50,  45,  127, 4,
    150, 254, 138, 236, 205, 93,  222, 114, 67,  29,  24,  72,  243, 141, 128, 195, 78,  66,
    215, 61,  156, 180};

const int* permutation() {
  static const auto table = [] {
    static int p[512];
    for (int i = 0; i < 256; ++i) p[i] = p[256 + i] = kPermutation[i];
    return p;
  }();
  return table;
}

double fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }
double lerp(double t, double a, double b) { return a + t * (b - a); }

// The low four bits of the hash pick one of twelve edge directions of a cube (four of them
// twice, so the choice is a plain bit test).
double grad(int hash, double x, double y, double z) {
  const int h = hash & 15;
  const double u = h < 8 ? x : y;
  const double v = h < 4 ? y : (h == 12 || h == 14 ? x : z);
  return ((h & 1) == 0 ? u : -u) + ((h & 2) == 0 ? v : -v);
}

// The pixel format that goes with a texture's internal format for glTexSubImage.
GLenum pixelFormatOf(GLenum internalFormat) {
  switch (internalFormat) {
    case GL_RGB:
    case GL_RGB8:
    case GL_RGB16:
    case GL_RGB16F_ARB:
    case GL_RGB32F_ARB:
    case GL_FLOAT_RGB16_NV:
    case GL_FLOAT_RGB32_NV:
      return GL_RGB;
    case GL_LUMINANCE:
    case GL_ALPHA:
    case GL_LUMINANCE_ALPHA:
    case GL_RED:
      return internalFormat;
    case GL_INTENSITY:
      return GL_LUMINANCE;
    default:
      return GL_RGBA;
  }
}

}  // namespace

void uploadPixels(Texture* texture, const void* pixels) {
  assertNotNull(texture, DE_HERE);
  texture->bind();
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  const GLenum format = pixelFormatOf(texture->getInternalFormat());
  if (texture->getTarget() == GL_TEXTURE_1D)
    glTexSubImage1D(GL_TEXTURE_1D, 0, 0, texture->getWidth(), format, GL_UNSIGNED_BYTE, pixels);
  else
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, texture->getWidth(), texture->getHeight(), format,
                    GL_UNSIGNED_BYTE, pixels);
}

void clearTexture(Texture* texture) {
  assertNotNull(texture, DE_HERE);
  const std::vector<uint8_t> zeros(size_t(texture->getWidth()) * texture->getHeight() * 4, 0);
  uploadPixels(texture, zeros.data());
}

void randomTexture(Texture* texture) {
  assertNotNull(texture, DE_HERE);
  const size_t count = size_t(texture->getWidth()) * texture->getHeight();
  std::vector<uint8_t> pixels(count * 4);
  for (size_t p = 0; p < count; ++p) {
    const auto value = static_cast<uint8_t>(std::rand() & 0xff);
    pixels[4 * p] = pixels[4 * p + 1] = pixels[4 * p + 2] = pixels[4 * p + 3] = value;
  }
  uploadPixels(texture, pixels.data());
}

double noise3(double x, double y, double z) {
  const int* p = permutation();
  const double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
  const int X = static_cast<int>(fx) & 255;
  const int Y = static_cast<int>(fy) & 255;
  const int Z = static_cast<int>(fz) & 255;
  x -= fx;
  y -= fy;
  z -= fz;
  const double u = fade(x), v = fade(y), w = fade(z);
  const int A = p[X] + Y, AA = p[A] + Z, AB = p[A + 1] + Z;
  const int B = p[X + 1] + Y, BA = p[B] + Z, BB = p[B + 1] + Z;
  return lerp(w,
              lerp(v, lerp(u, grad(p[AA], x, y, z), grad(p[BA], x - 1, y, z)),
                   lerp(u, grad(p[AB], x, y - 1, z), grad(p[BB], x - 1, y - 1, z))),
              lerp(v, lerp(u, grad(p[AA + 1], x, y, z - 1), grad(p[BA + 1], x - 1, y, z - 1)),
                   lerp(u, grad(p[AB + 1], x, y - 1, z - 1), grad(p[BB + 1], x - 1, y - 1, z - 1))));
}

// [SECTION] Marble: the straightforward loop

void marblePixelsReference(uint8_t* out, int w, int h, float scaleX, float scaleY, float z,
                           float offsetX, float offsetY, int octaves) {
  for (int i = 0; i < h; ++i) {
    const double y = offsetY + double(i) * scaleY / h;
    for (int j = 0; j < w; ++j, out += 4) {
      const double x = offsetX + double(j) * scaleX / w;
      double sum = 0.0;
      for (int r = 1; r <= octaves; r *= 2) sum += noise3(x * r, y * r, double(z) * r) / r;
      // 8-bit wrap on purpose: the brightest crest (exactly 256) turns black.
      const auto value =
          static_cast<uint8_t>(static_cast<int>((std::sin(0.5 * (x + y + z) + sum) + 1.0) * 128.0));
      out[0] = out[1] = out[2] = out[3] = value;
    }
  }
}

// [SECTION] Marble: the fast fill
//
// The same arithmetic as noise3, operation for operation, rearranged so that little of it
// is repeated and most of it runs two pixels at a time:
//   - everything that depends only on the column (lattice cell, fraction, fade) is computed
//     once per frame and octave, everything that depends only on the row once per row;
//   - a hash picks a gradient that is ±x ± (a row constant), or a row constant alone, so each
//     corner's grad becomes m·x + c with m in {1, -1, 0}: exact, as ±x is (0·x only loses the
//     sign of a zero, which no later step can turn into a different byte);
//   - the corner gradients, lerps and the octave sum then run on two-lane vectors in the
//     reference's order, and the rows are shared between both cores.
// Built with floating-point contraction off (CMakeLists.txt), so no fused multiply-add can
// round differently from the reference loop.

namespace {

using Lanes = double __attribute__((vector_size(16)));  // SSE2, present on every x86-64
constexpr int kLanes = 2;
constexpr int kBlock = 64;        // columns per pass: the scratch stays in L1, on the stack
constexpr int kMaxOctaves = 31;   // r = 1 … 2^30, as far as an int doubles
static_assert(kBlock % kLanes == 0);

Lanes loadLanes(const double* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void storeLanes(double* p, Lanes v) { std::memcpy(p, &v, sizeof v); }
Lanes broadcast(double x) { return Lanes{x, x}; }
Lanes lerpLanes(Lanes t, Lanes a, Lanes b) { return a + t * (b - a); }

// One corner's gradient as m·x + c, for hash h and the corner's y and z offsets.
struct Gradient {
  double m, c;  // together, so one two-lane load takes both
};

Gradient gradientOf(int hash, double y, double z) {
  const int h = hash & 15;
  const double su = (h & 1) == 0 ? 1.0 : -1.0, sv = (h & 2) == 0 ? 1.0 : -1.0;
  if (h < 8) return {su, sv * (h < 4 ? y : z)};   // (±x) + (±y or ±z)
  if (h == 12 || h == 14) return {sv, su * y};     // (±y) + (±x)
  return {0.0, su * y + sv * z};                   // (±y) + (±z)
}

// A lattice coordinate split as noise3 splits it.
struct Axis {
  int cell;       // floor, & 255
  double f, f1;   // fraction and fraction − 1
  double fade;
};

Axis axisOf(double v) {
  const double fv = std::floor(v);
  const double f = v - fv;
  return {static_cast<int>(fv) & 255, f, f - 1, fade(f)};
}

// What a frame shares between its rows: the octaves and the column tables.
struct MarbleFrame {
  int w = 0, h = 0, padded = 0, octaves = 0;
  float scaleY = 0, offsetY = 0, z = 0;
  double r[kMaxOctaves] = {};
  Axis depth[kMaxOctaves] = {};
  // Octave-major column tables ([k * padded + j]) and the columns' x.
  std::vector<int> cellX;
  std::vector<double> fx, fx1, fadeX, x;

  void setUp(int width, int height, float scaleX, float scaleY_, float z_, float offsetX,
             float offsetY_, int octaveLimit) {
    w = width;
    h = height;
    scaleY = scaleY_;
    offsetY = offsetY_;
    z = z_;
    octaves = 0;
    for (long long step = 1; step <= octaveLimit && octaves < kMaxOctaves; step *= 2) {
      r[octaves] = double(step);
      depth[octaves] = axisOf(double(z) * r[octaves]);
      ++octaves;
    }
    padded = (w + kLanes - 1) / kLanes * kLanes;
    // Grows only: the same size again allocates nothing.
    const size_t cells = size_t(std::max(octaves, 1)) * padded;
    if (cellX.size() < cells) {
      cellX.resize(cells);
      fx.resize(cells);
      fx1.resize(cells);
      fadeX.resize(cells);
    }
    if (x.size() < size_t(padded)) x.resize(padded);
    for (int j = 0; j < padded; ++j) x[j] = offsetX + double(j) * scaleX / w;
    for (int k = 0; k < octaves; ++k)
      for (int j = 0; j < padded; ++j) {
        const Axis a = axisOf(x[j] * r[k]);
        const size_t at = size_t(k) * padded + j;
        cellX[at] = a.cell;
        fx[at] = a.f;
        fx1[at] = a.f1;
        fadeX[at] = a.fade;
      }
  }

  void rows(uint8_t* pixels, int first, int last) const;
  void block(uint8_t* out, double y, const Axis* rowAxes, const Gradient (*gradients)[4][16],
             int j0, int count) const;
};

MarbleFrame& marbleFrame() {
  static MarbleFrame frame;
  return frame;
}

void MarbleFrame::rows(uint8_t* pixels, int first, int last) const {
  Axis rowAxes[kMaxOctaves];
  Gradient gradients[kMaxOctaves][4][16];
  for (int i = first; i < last; ++i) {
    const double y = offsetY + double(i) * scaleY / h;
    for (int k = 0; k < octaves; ++k) {
      rowAxes[k] = axisOf(y * r[k]);
      // Corners by their y side (bit 0) and z side (bit 1).
      for (int yz = 0; yz < 4; ++yz) {
        const double cy = (yz & 1) ? rowAxes[k].f1 : rowAxes[k].f;
        const double cz = (yz & 2) ? depth[k].f1 : depth[k].f;
        for (int hash = 0; hash < 16; ++hash) gradients[k][yz][hash] = gradientOf(hash, cy, cz);
      }
    }
    uint8_t* row = pixels + size_t(i) * w * 4;
    for (int j0 = 0; j0 < w; j0 += kBlock)
      block(row + size_t(j0) * 4, y, rowAxes, gradients, j0, std::min(kBlock, w - j0));
  }
}

void MarbleFrame::block(uint8_t* out, double y, const Axis* rowAxes,
                        const Gradient (*gradients)[4][16], int j0, int count) const {
  const int lanesEnd = (count + kLanes - 1) / kLanes * kLanes;  // within `padded`
  // The eight corner gradients of each lattice cell the block's columns fall in.
  struct Cell {
    const Gradient* corner[8];
  };
  Cell cells[kBlock];
  int cellOf[kBlock];
  alignas(16) double sum[kBlock] = {};
  const int* p = permutation();
  for (int k = 0; k < octaves; ++k) {
    const Axis& ya = rowAxes[k];
    const int Y = ya.cell, Z = depth[k].cell;
    const size_t base = size_t(k) * padded + j0;
    // Neighbouring columns often share a cell: hash each cell once.
    int lastX = -1, cellCount = 0;
    for (int jj = 0; jj < lanesEnd; ++jj) {
      const int X = cellX[base + jj];
      if (X != lastX) {
        lastX = X;
        const int A = p[X] + Y, AA = p[A] + Z, AB = p[A + 1] + Z;
        const int B = p[X + 1] + Y, BA = p[B] + Z, BB = p[B + 1] + Z;
        // Corners by x side (bit 0), y side (bit 1), z side (bit 2), as noise3 lists them.
        const int hashes[8] = {p[AA],     p[BA],     p[AB],     p[BB],
                               p[AA + 1], p[BA + 1], p[AB + 1], p[BB + 1]};
        Cell& cell = cells[cellCount++];
        for (int corner = 0; corner < 8; ++corner)
          cell.corner[corner] = &gradients[k][corner >> 1][hashes[corner] & 15];
      }
      cellOf[jj] = cellCount - 1;
    }
    // The noise of every column, two at a time, in noise3's order of operations.
    // Dividing by r, a power of two, and multiplying by 1/r round the same exact product.
    const Lanes v = broadcast(ya.fade), wf = broadcast(depth[k].fade), rInverse = broadcast(1 / r[k]);
    for (int jj = 0; jj < lanesEnd; jj += kLanes) {
      const Cell& a = cells[cellOf[jj]];
      const Cell& b = cells[cellOf[jj + 1]];
      const Lanes x0 = loadLanes(&fx[base + jj]), x1 = loadLanes(&fx1[base + jj]);
      const Lanes u = loadLanes(&fadeX[base + jj]);
      const auto grad = [&](int corner, Lanes x) {
        const Lanes ga = loadLanes(&a.corner[corner]->m), gb = loadLanes(&b.corner[corner]->m);
        return __builtin_shufflevector(ga, gb, 0, 2) * x + __builtin_shufflevector(ga, gb, 1, 3);
      };
      const Lanes n =
          lerpLanes(wf, lerpLanes(v, lerpLanes(u, grad(0, x0), grad(1, x1)), lerpLanes(u, grad(2, x0), grad(3, x1))),
                    lerpLanes(v, lerpLanes(u, grad(4, x0), grad(5, x1)), lerpLanes(u, grad(6, x0), grad(7, x1))));
      storeLanes(&sum[jj], loadLanes(&sum[jj]) + n * rInverse);
    }
  }
  for (int jj = 0; jj < count; ++jj, out += 4) {
    const double x = this->x[j0 + jj];
    const auto value = static_cast<uint8_t>(
        static_cast<int>((std::sin(0.5 * (x + y + z) + sum[jj]) + 1.0) * 128.0));
    out[0] = out[1] = out[2] = out[3] = value;
  }
}

}  // namespace

void marblePixels(uint8_t* out, int w, int h, float scaleX, float scaleY, float z, float offsetX,
                  float offsetY, int octaves) {
  if (w <= 0 || h <= 0) return;
  MarbleFrame& frame = marbleFrame();
  frame.setUp(w, h, scaleX, scaleY, z, offsetX, offsetY, octaves);
  parallelFor(h, 4, [&](int first, int last) { frame.rows(out, first, last); });
}

void marbleTexture(Texture* texture, float scaleX, float scaleY, float z, float offsetX,
                   float offsetY, int octaves) {
  assertNotNull(texture, DE_HERE);
  const int w = texture->getWidth();
  const int h = texture->getHeight();
  // Kept between calls: a texture regenerated every frame allocates nothing.
  static std::vector<uint8_t> pixels;
  if (pixels.size() < size_t(w) * h * 4) pixels.resize(size_t(w) * h * 4);
  marblePixels(pixels.data(), w, h, scaleX, scaleY, z, offsetX, offsetY, octaves);
  uploadPixels(texture, pixels.data());
}
