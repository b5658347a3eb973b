// The RAR 2.0 decoder on raw LZ and multimedia streams, chained as the entries of a solid
// archive (UnpackChain.h gives the layout). Beyond never crashing, never leaking and never
// touching memory outside its input (with exactly the padding it asks for) and output:
// - an entry that unpacks writes every byte of its output: the chain is run twice, into
//   buffers filled with 0x00 and with 0xFF, and must give the same bytes;
// - starting afresh forgets everything: the second run reuses the decoder of the first,
//   whose stream it restarts, and must answer exactly as the first did.
// As in the archive reader, an entry that carries on a stream that failed is not tried.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "UnpackChain.h"
#include "archive/Rar20Unpack.h"

namespace {

struct Result {
  bool tried = false;
  bool ok = false;
  std::vector<uint8_t> bytes;
};

void runChain(rar::Rar20Unpacker& unpacker, const std::vector<unpackfuzz::Entry>& entries,
              uint8_t fill, std::vector<Result>& results) {
  results.assign(entries.size(), Result{});
  bool streamBroken = true;  // the first entry always starts a stream
  for (size_t i = 0; i < entries.size(); ++i) {
    const unpackfuzz::Entry& e = entries[i];
    if (e.continues && streamBroken) continue;
    // Exactly the promised padding after the packed bytes, so that a read beyond it shows.
    std::vector<uint8_t> input(e.packedSize + rar::Rar20Unpacker::kInputPadding, 0x5A);
    if (e.packedSize > 0) std::memcpy(input.data(), e.packed, e.packedSize);
    Result& r = results[i];
    r.tried = true;
    r.bytes.assign(e.unpacked, fill);
    r.ok = unpacker.unpack(input.data(), e.packedSize, r.bytes.data(), r.bytes.size(),
                           e.continues, e.keep);
    streamBroken = !r.ok || !e.keep;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<unpackfuzz::Entry> entries;
  if (!unpackfuzz::parseChain(data, size, entries)) return 0;

  rar::Rar20Unpacker unpacker;
  std::vector<Result> zeros, ones;
  runChain(unpacker, entries, 0x00, zeros);
  runChain(unpacker, entries, 0xFF, ones);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (zeros[i].tried != ones[i].tried || zeros[i].ok != ones[i].ok) __builtin_trap();
    if (zeros[i].ok && zeros[i].bytes != ones[i].bytes) __builtin_trap();
  }
  return 0;
}
