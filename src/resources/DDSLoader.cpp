#include "resources/DDSLoader.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "archive/vkd.h"
#include "base/Error.h"
#include "resources/Image.h"

namespace {

// Offsets into the 124-byte header that follows "DDS " (DirectDraw Surface layout).
constexpr size_t kHeaderSize = 124;
constexpr size_t kHeight = 8;
constexpr size_t kWidth = 12;
constexpr size_t kLinearSize = 16;
constexpr size_t kMipMapCount = 24;
constexpr size_t kFourCC = 80;  // inside the pixel format block at 72

// Larger than any texture a GL implementation accepts.
constexpr uint32_t kMaxSide = 32768;

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

Image* decodeDds(MemoryFile* file) {
  char magic[4];
  if (read(magic, 1, 4, file) != 4 || std::memcmp(magic, "DDS ", 4) != 0) return nullptr;
  uint8_t header[kHeaderSize];
  if (read(header, 1, kHeaderSize, file) != kHeaderSize) return nullptr;

  const uint32_t height = le32(header + kHeight);
  const uint32_t width = le32(header + kWidth);
  const uint32_t linearSize = le32(header + kLinearSize);
  const uint32_t mipCount = le32(header + kMipMapCount);
  const uint8_t* fourCC = header + kFourCC;

  // The mip chain of a square picture fits in twice its top level. Files hold only the
  // chain itself (about 4/3 of the top level), so what is there is read and the upload
  // takes the levels that fit.
  uint64_t dataSize = linearSize;
  if (mipCount > 1) dataSize *= 2;
  dataSize = std::min<uint64_t>(dataSize, file->size - file->position);

  if (width != height) reportError(DE_HERE, "Non-square compressed images not supported", true);

  GLenum format = 0;
  int bitsPerPixel = 0;
  if (std::memcmp(fourCC, "DXT1", 4) == 0) {
    format = GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
    bitsPerPixel = 24;
  } else if (std::memcmp(fourCC, "DXT3", 4) == 0) {
    format = GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
    bitsPerPixel = 32;
  } else if (std::memcmp(fourCC, "DXT5", 4) == 0) {
    format = GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
    bitsPerPixel = 32;
  } else {
    return nullptr;
  }
  if (width == 0 || width > kMaxSide || dataSize == 0) return nullptr;

  Image* image = new (std::nothrow) Image;
  if (!image) return nullptr;
  try {
    // One pass over the bytes (a resize and a read would touch them twice).
    const uint8_t* start = file->data + file->position;
    image->data.assign(start, start + dataSize);
  } catch (const std::bad_alloc&) {
    delete image;
    return nullptr;
  }
  file->position += static_cast<uint32_t>(dataSize);
  image->width = static_cast<int>(width);
  image->height = static_cast<int>(height);
  image->bitsPerPixel = bitsPerPixel;
  image->format = format;
  image->mipCount = static_cast<int>(std::min<uint32_t>(mipCount, 32));
  return image;
}

Image* loadDDS(const char* path) {
  MemoryFile* file = loadFile(path);
  if (!file) return nullptr;
  Image* image = decodeDds(file);
  closeFile(file);
  return image;
}
