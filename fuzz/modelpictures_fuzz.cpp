// Picture bytes as a model brings them (embedded or beside it): the format check and the
// conversion never crash or read past the input, and what the conversion gives the engine's
// readers take as it is.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "modelImport/ModelPictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  (void)modelimport::pictureFormatOf(bytes);
  if (modelimport::engineReads(bytes)) return 0;
  const std::vector<uint8_t> png = modelimport::convertToPng(bytes);
  if (!png.empty() && !modelimport::engineReads(png)) __builtin_trap();
  return 0;
}
