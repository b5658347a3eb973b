#include "archive/RarCrc.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace rar {

uint32_t crc32(uint32_t crc, const uint8_t* data, size_t size) {
  uLong value = crc;
  while (size > 0) {
    const size_t chunk = std::min<size_t>(size, UINT_MAX);
    value = ::crc32(value, data, static_cast<uInt>(chunk));
    data += chunk;
    size -= chunk;
  }
  return static_cast<uint32_t>(value);
}

}  // namespace rar
