// Scene files (.vkg) from arbitrary bytes: never a crash, a read past the input, a huge
// allocation or a loop; a refused file always says why; and what is read writes back as the
// very bytes it was read from.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "sceneFile/VKGFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vkg::SceneFile file;
  const vkg::ReadResult read = vkg::readSceneFile(data, size, file);
  if (read.status != vkg::ReadStatus::kOk) {
    if (read.reason.empty()) __builtin_trap();
    return 0;
  }
  const std::vector<uint8_t> written = vkg::writeSceneFile(file);
  if (written.size() > size || std::memcmp(written.data(), data, written.size()) != 0) __builtin_trap();
  return 0;
}
