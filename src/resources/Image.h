#pragma once
// A decoded picture as the decoders (resources/ImageLibrary, resources/DDSLoader) hand it to
// the texture code (resources/Texture), which uploads and frees it.

#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

struct Image {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;          // 8 × channels (× 2 for 16-bit PNGs); 24 DXT1, 32 DXT3/5; 32 RGBE
  std::vector<uint8_t> data;     // rows top to bottom, tightly packed; S3TC blocks for DDS
  std::vector<float> floatData;  // RGBE pictures only: R, G, B per pixel
  GLenum format = 0;             // 0 bytes; GL_COMPRESSED_RGBA_S3TC_DXT*_EXT; floatTextureFormat
  int mipCount = 0;              // DDS only: the header's mipmap count
};
