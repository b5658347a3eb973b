// Reads every entry of an in-memory archive the way the player does, and checks that a
// reader keeping state between requests (the index, the solid decoder, entries decoded
// ahead) answers exactly as a fresh reader does for each request alone.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "archive/RarArchive.h"

namespace {

constexpr size_t kMaxRequests = 16;
constexpr size_t kMaxComparedRequests = 6;

bool sameResult(rar::Status a, const rar::Block& x, rar::Status b, const rar::Block& y) {
  if (a != b) return false;
  if (a != rar::Status::Ok) return true;
  return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() + rar::Block::kZeroTail) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  rar::MemorySource source(data, size);
  rar::ArchiveReader shared(rar::readIndex(source));
  const auto& entries = shared.index().entries;
  const size_t count = entries.size();
  if (count == 0) {
    rar::Block block;
    if (shared.get(source, "data/scripts/demo.txt", "password", block) == rar::Status::Ok) __builtin_trap();
    return 0;
  }

  // The request order comes from the input's last byte: forwards, backwards or strided,
  // so the solid decoder is moved forwards, rewound and served from what it kept. Each
  // answer must equal a fresh reader's (for solid archives, where state carries over,
  // on every compared request; otherwise on the first, and on a repeat of it).
  const uint8_t choice = data[size - 1];
  const char* password = (choice & 0x80) ? "" : "password";
  const unsigned step = 1 + (choice % 7);
  const size_t compared = shared.index().isSolid() ? kMaxComparedRequests : 1;
  const size_t requests = std::min(kMaxRequests, count + 1);
  for (size_t n = 0; n < requests; ++n) {
    const size_t i = n == count ? (n * step) % count : (n * step + n / count) % count;
    rar::Block kept;
    const rar::Status keptStatus = shared.get(source, entries[i].name, password, kept);
    if (n < compared || n == count) {
      rar::ArchiveReader fresh(rar::readIndex(source));
      rar::Block alone;
      const rar::Status aloneStatus = fresh.get(source, entries[i].name, password, alone);
      if (!sameResult(keptStatus, kept, aloneStatus, alone)) __builtin_trap();
    }
  }
  return 0;
}
