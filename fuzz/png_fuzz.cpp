// PNG decoding of arbitrary bytes: never a crash, a leak or a read past the file.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "resources/ImageLibrary.h"
#include "resources/ImageWriters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testimages::BorrowedFile file(data, size);
  std::unique_ptr<Image> image(decodePng(file.get()));
  if (image) {
    volatile uint8_t sink = 0;
    for (uint8_t b : image->data) sink = sink ^ b;  // every delivered byte is readable
  }
  return 0;
}
