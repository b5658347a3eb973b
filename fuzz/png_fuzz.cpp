// PNG decoding of arbitrary bytes: never a crash, a leak or a read past the file.
//
// libpng refuses a chunk whose CRC does not match, so nearly every mutation would end at
// the first chunk it touches. The CRCs are made right again before decoding: mutated
// header values (sizes, depths, colour types, interlacing) and image data then reach
// the loader's size checks, its row table and its error paths.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "resources/ImageLibrary.h"
#include "resources/ImageWriters.h"

namespace {

void fixChunkCrcs(std::vector<uint8_t>& png) {
  size_t at = 8;  // after the signature
  while (at + 12 <= png.size()) {
    const uint8_t* p = png.data() + at;
    const size_t length = size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3];
    if (length > png.size() - at - 12) break;
    const uLong crc = crc32(0, p + 4, static_cast<uInt>(length + 4));
    uint8_t* out = png.data() + at + 8 + length;
    out[0] = uint8_t(crc >> 24);
    out[1] = uint8_t(crc >> 16);
    out[2] = uint8_t(crc >> 8);
    out[3] = uint8_t(crc);
    at += 12 + length;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  fixChunkCrcs(bytes);
  testimages::BorrowedFile file(bytes.data(), bytes.size());
  std::unique_ptr<Image> image(decodePng(file.get()));
  if (image) {
    volatile uint8_t sink = 0;
    for (uint8_t b : image->data) sink = sink ^ b;  // every delivered byte is readable
  }
  return 0;
}
