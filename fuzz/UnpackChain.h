#pragma once
// The input layout of the decoder fuzz target: a solid chain of one to three raw RAR 2.0
// streams with their unpacked sizes, so that the fuzzer spends its time in the LZ and
// multimedia decoder instead of in archive headers. Shared by the target and the writer
// of its seeds.
//
//   byte 0          chain shape: 1 + (low two bits % 3) entries, and the Shape flags
//   5 bytes each    per entry: unpacked size (3 bytes, little-endian: below 64 KiB, or
//                   below 4 MiB with kLargeSizes) and packed size (2 bytes; the last
//                   entry takes the rest instead)
//   the rest        the packed streams, one after the other

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace unpackfuzz {

inline constexpr size_t kMaxEntries = 3;
inline constexpr size_t kEntryHeader = 5;
inline constexpr uint32_t kMaxUnpacked = (1u << 22) - 1;
inline constexpr uint32_t kMaxSmallUnpacked = 0xFFFF;

enum Shape : uint8_t {
  kSecondContinues = 0x04,  // else the second entry starts a new stream
  kThirdContinues = 0x08,
  kLastNotKept = 0x10,  // the last entry is unpacked as a non-solid archive's would be
  // Sizes up to 4 MiB, for chains longer than the window. Most inputs do without: every
  // output byte costs time, and small entries reach the same code.
  kLargeSizes = 0x20,
};

struct Entry {
  uint32_t unpacked = 0;
  const uint8_t* packed = nullptr;
  size_t packedSize = 0;
  bool continues = false;
  bool keep = true;
};

// False when the input is too short for its own headers.
inline bool parseChain(const uint8_t* data, size_t size, std::vector<Entry>& entries) {
  entries.clear();
  if (size < 1) return false;
  const uint8_t shape = data[0];
  const size_t count = 1 + (shape & 3) % kMaxEntries;
  size_t at = 1 + count * kEntryHeader;
  if (size < at) return false;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* h = data + 1 + i * kEntryHeader;
    Entry e;
    e.unpacked = (uint32_t(h[0]) | uint32_t(h[1]) << 8 | uint32_t(h[2]) << 16) &
                 (shape & kLargeSizes ? kMaxUnpacked : kMaxSmallUnpacked);
    const size_t left = size - at;
    e.packedSize = i + 1 == count ? left : std::min<size_t>(left, size_t(h[3]) | size_t(h[4]) << 8);
    e.packed = data + at;
    e.continues = (i == 1 && (shape & kSecondContinues)) || (i == 2 && (shape & kThirdContinues));
    e.keep = i + 1 < count || !(shape & kLastNotKept);
    at += e.packedSize;
    entries.push_back(e);
  }
  return true;
}

// The same layout from streams and sizes, for seeds. Every entry but the first continues
// the stream and all are kept, as in a solid archive.
inline std::vector<uint8_t> writeChain(const std::vector<std::vector<uint8_t>>& packed,
                                       const std::vector<uint32_t>& unpacked) {
  const size_t count = packed.size();
  std::vector<uint8_t> out;
  uint8_t shape = uint8_t((count - 1) | kSecondContinues | kThirdContinues);
  for (uint32_t size : unpacked)
    if (size > kMaxSmallUnpacked) shape |= kLargeSizes;
  out.push_back(shape);
  for (size_t i = 0; i < count; ++i) {
    if (i + 1 < count && packed[i].size() > 0xFFFF) std::abort();  // no room to say so
    out.push_back(uint8_t(unpacked[i]));
    out.push_back(uint8_t(unpacked[i] >> 8));
    out.push_back(uint8_t(unpacked[i] >> 16));
    out.push_back(uint8_t(packed[i].size()));
    out.push_back(uint8_t(packed[i].size() >> 8));
  }
  for (const auto& p : packed) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace unpackfuzz
