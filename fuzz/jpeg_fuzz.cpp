// JPEG decoding of arbitrary bytes: never a crash, a leak or a read past the file.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "resources/ImageLibrary.h"
#include "resources/ImageWriters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  testimages::BorrowedFile file(data, size);
  std::unique_ptr<Image> image(decodeJpeg(file.get()));
  if (image) {
    // Rows are tightly packed: exactly width × height × channels bytes.
    if (image->data.size() != size_t(image->width) * image->height * (image->bitsPerPixel / 8))
      __builtin_trap();
  }
  return 0;
}
