// Writes small compressed archives as seeds for the archive fuzzer, made with the tests'
// RAR 2.0 stream writer: LZ with every kind of match, four-channel multimedia, a solid
// chain, and an encrypted compressed entry. The real archives are large; these keep the
// fuzzer close to inputs it can mutate quickly.

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/Rar20Cipher.h"
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

std::vector<uint8_t> encrypted(std::vector<uint8_t> packed) {
  packed.resize((packed.size() + 15) / 16 * 16, 0);
  rar::Rar20Cipher cipher("password", 8);
  cipher.encrypt(packed.data(), packed.size());
  return packed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: archive_seeds DIR\n");
    return 2;
  }
  const fs::path dir = argv[1];
  {
    Rar20Encoder e;
    e.lzTablesForEverything();
    literals(e, 300, 1);
    e.match(200, 40);
    e.shortMatch(17);
    e.oldDistance(1, 9);
    e.repeatLast();
    e.lzTables({'a', 'b', 256, 269, 270}, {0, 1, 2}, {0, 1}, true);
    for (int i = 0; i < 30; ++i) e.literal(i % 3 ? 'a' : 'b');
    const auto original = e.entryOutput();
    ArchiveBuilder archive;
    archive.addPacked("data/scripts/lz.txt", e.finishEntry(), original);
    archive.addEnd();
    writeBytes(dir / "lz.rar", archive.bytes());
  }
  {
    Rar20Encoder e;
    e.audioTables(4);
    samples(e, 150, 4);
    e.lzTablesForEverything(true);
    e.match(300, 30);
    const auto original = e.entryOutput();
    ArchiveBuilder archive;
    archive.addPacked("audio.wav", e.finishEntry(), original);
    writeBytes(dir / "audio.rar", archive.bytes());
  }
  {
    Rar20Encoder e;
    ArchiveBuilder archive("", true);
    e.lzTablesForEverything();
    literals(e, 200, 2);
    auto original = e.entryOutput();
    archive.addPacked("a.txt", e.finishEntry(), original);
    e.match(150, 60);
    e.audioTables(2, true);
    samples(e, 50, 2);
    original = e.entryOutput();
    archive.addPacked("b.wav", e.finishEntry(), original, 20, rar::kFileSolid);
    archive.addFile("c.txt", bytesOf("stored"));
    samples(e, 20, 2);
    original = e.entryOutput();
    archive.addPacked("d.wav", e.finishEntry(), original, 20, rar::kFileSolid);
    writeBytes(dir / "solid.rar", archive.bytes());
  }
  {
    Rar20Encoder e;
    e.lzTablesForEverything();
    literals(e, 100, 3);
    e.match(50, 20);
    const auto original = e.entryOutput();
    ArchiveBuilder archive;
    archive.addPacked("secret.txt", encrypted(e.finishEntry()), original, 20, rar::kFileEncrypted);
    writeBytes(dir / "encrypted-lz.rar", archive.bytes());
  }
  return 0;
}
