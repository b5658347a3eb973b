// RGBE (.hdr) decoding of arbitrary bytes through a memory stream: never a crash, a leak or
// a read past the data. Diagnostic lines go to stderr as they do for real files.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "resources/ImageLibrary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> copy(data, data + size);
  FILE* stream = fmemopen(copy.data(), copy.size(), "rb");
  if (!stream) return 0;
  std::unique_ptr<Image> image(readRgbe(stream));
  std::fclose(stream);
  if (image && image->floatData.size() != size_t(image->width) * image->height * 3) __builtin_trap();
  return 0;
}
