#pragma once
// CRC32 as zlib computes it (reflected polynomial 0xEDB88320). RAR uses it for the data
// of every entry, the low 16 bits of it for every block header, and its table for the
// RAR 2.0 cipher's key schedule.

#include <array>
#include <cstddef>
#include <cstdint>

namespace rar {

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

inline constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

// Continues `crc` (0 to start) over `size` bytes.
uint32_t crc32(uint32_t crc, const uint8_t* data, size_t size);

// The header check value: the low 16 bits of the CRC32 of the header from its type byte on.
inline uint16_t headerCrc(const uint8_t* fromTypeByte, size_t size) {
  return static_cast<uint16_t>(crc32(0, fromTypeByte, size) & 0xFFFF);
}

}  // namespace rar
