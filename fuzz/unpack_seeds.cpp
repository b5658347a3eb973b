// Writes seeds for the decoder fuzz target with the tests' RAR 2.0 stream writer: LZ with
// every kind of match, a solid chain whose matches run from one entry into the next, a
// multimedia chain, and a chain of more than the 1 MiB window whose last match reaches a
// whole window back.

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "UnpackChain.h"
#include "archive/RarTestEncoder.h"
#include "archive/VkdTestSupport.h"

using namespace vkdtest;

namespace {

void literals(Rar20Encoder& e, int count, unsigned seed) {
  for (int i = 0; i < count; ++i) e.literal(uint8_t((seed = seed * 1103515245u + 12345u) >> 16));
}

void samples(Rar20Encoder& e, int count, int channels) {
  for (int i = 0; i < count; ++i)
    for (int c = 0; c < channels; ++c) e.audioByte(uint8_t(128 + 100 * std::sin(i * (0.1 + 0.05 * c))));
}

// Collects the entries of one chain as the encoder ends them.
struct Chain {
  std::vector<std::vector<uint8_t>> packed;
  std::vector<uint32_t> unpacked;
  void end(Rar20Encoder& e) {
    unpacked.push_back(uint32_t(e.entryOutput().size()));
    packed.push_back(e.finishEntry());
  }
  void write(const fs::path& path) const { writeBytes(path, unpackfuzz::writeChain(packed, unpacked)); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: unpack_seeds DIR\n");
    return 2;
  }
  const fs::path dir = argv[1];
  {
    Rar20Encoder e;
    Chain chain;
    e.lzTablesForEverything();
    literals(e, 300, 1);
    e.match(200, 40);
    e.shortMatch(17);
    e.oldDistance(1, 9);
    e.repeatLast();
    e.lzTables({'a', 'b', 256, 269, 270}, {0, 1, 2}, {0, 1}, true);
    for (int i = 0; i < 30; ++i) e.literal(i % 3 ? 'a' : 'b');
    chain.end(e);
    chain.write(dir / "lz");
  }
  {
    Rar20Encoder e;
    Chain chain;
    e.lzTablesForEverything();
    literals(e, 200, 2);
    chain.end(e);
    literals(e, 102, 3);
    e.match(150, 60);
    e.lzTables({'x', 'y', 256, 258, 263, 275}, {5, 6, 7}, {2, 3}, true);  // trails the entry
    chain.end(e);
    for (int i = 0; i < 5; ++i) e.literal(i % 2 ? 'x' : 'y');
    e.match(10, 8);
    e.oldDistance(1, 5);
    e.shortMatch(12);
    chain.end(e);
    chain.write(dir / "solid-crossing");
  }
  {
    Rar20Encoder e;
    Chain chain;
    e.audioTables(4);
    samples(e, 150, 4);
    chain.end(e);
    e.lzTablesForEverything(true);
    literals(e, 3, 4);
    e.match(300, 30);
    e.audioTables(2, true);
    samples(e, 50, 2);
    chain.end(e);
    samples(e, 21, 2);
    chain.end(e);
    chain.write(dir / "audio");
  }
  {
    // A handful of symbols with short codes: a megabyte costs about a kilobyte.
    Rar20Encoder e;
    Chain chain;
    e.lzTables({'a', 'b', 256, 297}, {0, 47}, {0}, false);
    e.literal('a');
    e.literal('b');
    e.match(1, 258);
    for (int i = 0; i < 4100; ++i) e.repeatLast();
    chain.end(e);
    e.literal('b');
    e.match(1, 258);
    for (int i = 0; i < 4063; ++i) e.repeatLast();
    e.match(0x100000, 258);  // starts in the first entry, ends in this one
    chain.end(e);
    chain.write(dir / "window");
  }
  return 0;
}
