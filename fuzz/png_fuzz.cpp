// PNG decoding of arbitrary bytes: never a crash, a leak or a read past the file.
//
// libpng refuses a chunk whose CRC does not match, so nearly every mutation would end at
// the first chunk it touches. The CRCs are made right again before decoding: mutated
// header values (sizes, depths, colour types, interlacing) and image data then reach
// the loader's size checks, its row table and its error paths.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "resources/ImageLibrary.h"
#include "resources/ImageWriters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  testimages::fixPngChunkCrcs(bytes);
  testimages::BorrowedFile file(bytes.data(), bytes.size());
  std::unique_ptr<Image> image(decodePng(file.get()));
  if (image) {
    volatile uint8_t sink = 0;
    for (uint8_t b : image->data) sink = sink ^ b;  // every delivered byte is readable
  }
  return 0;
}
