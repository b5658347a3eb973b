// glTF cameras from arbitrary bytes (a .gltf text or a .glb container): never a crash, a
// read past the input or a runaway recursion; what is read is a list of finite lenses.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "modelImport/GltfCameras.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto cameras = modelimport::readGltfCameras(data, size);
  if (!cameras) return 0;
  for (const modelimport::GltfCamera& c : *cameras)
    if (!std::isfinite(c.yfov) || !std::isfinite(c.aspectRatio) || !std::isfinite(c.xmag) || !std::isfinite(c.ymag) ||
        !std::isfinite(c.znear) || !std::isfinite(c.zfar))
      __builtin_trap();
  return 0;
}
