#include "resources/TextureTools.h"

#include <epoxy/gl.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/Error.h"
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

void marbleTexture(Texture* texture, float scaleX, float scaleY, float z, float offsetX,
                   float offsetY, int octaves) {
  assertNotNull(texture, DE_HERE);
  const int w = texture->getWidth();
  const int h = texture->getHeight();
  std::vector<uint8_t> pixels(size_t(w) * h * 4);
  uint8_t* out = pixels.data();
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
  uploadPixels(texture, pixels.data());
}
