// The RAR 2.0 decoder on streams made symbol by symbol: every kind of match and its
// length bonuses, table changes, multimedia blocks, solid continuation, and the damage
// that must fail instead of giving bytes. unar decodes the same streams as a check on
// the test writer itself.

#include "archive/Rar20Unpack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "RarTestEncoder.h"
#include "VkdTestSupport.h"

namespace {

using namespace vkdtest;
using rar::Rar20Unpacker;

std::vector<uint8_t> padded(std::vector<uint8_t> packed) {
  packed.resize(packed.size() + Rar20Unpacker::kInputPadding, 0);
  return packed;
}

// Unpacks `size` bytes; an empty optional stands for a refusal.
bool unpack(Rar20Unpacker& unpacker, const std::vector<uint8_t>& packed, size_t size, std::vector<uint8_t>& out,
            bool solid = false) {
  const std::vector<uint8_t> input = padded(packed);
  out.assign(size, 0xCC);
  return unpacker.unpack(input.data(), packed.size(), out.data(), size, solid, solid);
}

std::vector<uint8_t> decodeWhole(Rar20Encoder& encoder) {
  const std::vector<uint8_t> expected = encoder.entryOutput();
  const std::vector<uint8_t> packed = encoder.finishEntry();
  Rar20Unpacker unpacker;
  std::vector<uint8_t> out;
  EXPECT_TRUE(unpack(unpacker, packed, expected.size(), out));
  return out;
}

void someLiterals(Rar20Encoder& encoder, size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  for (size_t i = 0; i < count; ++i) encoder.literal(uint8_t(random()));
}

std::vector<uint8_t> wave(size_t samples, int channels) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < samples; ++i)
    for (int c = 0; c < channels; ++c)
      bytes.push_back(uint8_t(128 + 90 * std::sin(double(i) * (0.05 + 0.03 * c)) + (i * 7 % 5)));
  return bytes;
}

// [SECTION] LZ blocks

TEST(Rar20Lz, LiteralsAndEveryKindOfMatch) {
  Rar20Encoder e;
  e.lzTablesForEverything();
  someLiterals(e, 400, 1);
  e.match(300, 3);
  e.match(1, 20);  // overlapping: a run of one byte
  e.match(7, 258);
  for (uint32_t d : {1u, 4u, 5u, 9u, 17u, 33u, 65u, 129u, 193u, 256u}) e.shortMatch(d);
  e.oldDistance(0, 2);
  e.oldDistance(3, 9);
  e.oldDistance(2, 40);
  e.oldDistance(1, 257);
  e.repeatLast();
  e.repeatLast();
  e.literal('x');
  EXPECT_EQ(decodeWhole(e), e.output());
}

TEST(Rar20Lz, LengthBonusesAtEveryDistanceThreshold) {
  Rar20Encoder e;
  e.lzTablesForEverything();
  someLiterals(e, 0x100000 + 50, 2);
  for (uint32_t d : {0x100u, 0x101u, 0x1FFFu, 0x2000u, 0x3FFFFu, 0x40000u, 0xFFFFFu, 0x100000u}) {
    const uint32_t far = (d >= 0x2000) + (d >= 0x40000);
    e.match(d, 3 + far);
    e.match(d, 258 + far);
    const uint32_t old = (d >= 0x101) + far;
    e.oldDistance(0, 2 + old);
    e.oldDistance(1, 257 + old);
    e.repeatLast();
  }
  EXPECT_EQ(decodeWhole(e), e.output());
}

TEST(Rar20Lz, CodesLongerThanTheLookupTable) {
  Rar20Encoder e;
  // A ladder of lengths 1..6 then up to 15 bits: most symbols need the slow path.
  e.lzTables(allSymbols(Rar20Encoder::kMain), allSymbols(Rar20Encoder::kDistance),
             allSymbols(Rar20Encoder::kLength), false, 6);
  someLiterals(e, 3000, 3);
  for (uint32_t d = 1; d < 2900; d = d * 3 + 1) e.match(d, 3 + d % 200);
  EXPECT_EQ(decodeWhole(e), e.output());
}

TEST(Rar20Lz, NewTablesMidStreamWithAndWithoutChangeCoding) {
  Rar20Encoder e;
  e.lzTablesForEverything();
  someLiterals(e, 100, 4);
  std::vector<int> few = {'a', 'b', 'c', 256, 261, 269, 270, 271};
  e.lzTables(few, {0, 1, 2, 3}, {0, 1}, true);
  for (int i = 0; i < 50; ++i) e.literal(uint8_t('a' + i % 3));
  e.match(3, 3);
  e.shortMatch(2);
  e.lzTables(allSymbols(Rar20Encoder::kMain), allSymbols(Rar20Encoder::kDistance),
             allSymbols(Rar20Encoder::kLength), false, 3);
  someLiterals(e, 100, 5);
  e.match(120, 30);
  EXPECT_EQ(decodeWhole(e), e.output());
}

// [SECTION] Multimedia blocks

TEST(Rar20Audio, OneToFourChannels) {
  for (int channels = 1; channels <= 4; ++channels) {
    Rar20Encoder e;
    e.audioTables(channels);
    for (uint8_t b : wave(3000, channels)) e.audioByte(b);
    EXPECT_EQ(decodeWhole(e), e.output()) << channels << " channels";
  }
}

TEST(Rar20Audio, SwitchesToLzAndBackKeepingEveryState) {
  Rar20Encoder e;
  e.audioTables(2);
  const auto samples = wave(1001, 2);  // odd count: the next audio block starts on channel 1
  for (size_t i = 0; i < 1001; ++i) e.audioByte(samples[i]);
  e.lzTablesForEverything(true);
  e.match(500, 100);  // LZ matches see the multimedia output
  someLiterals(e, 10, 6);
  e.audioTables(3, true);
  for (uint8_t b : wave(700, 3)) e.audioByte(b);
  e.audioTables(1);
  for (uint8_t b : wave(300, 1)) e.audioByte(b);
  EXPECT_EQ(decodeWhole(e), e.output());
}

// [SECTION] Solid streams

TEST(Rar20Solid, EntriesContinueTablesWindowAndPredictors) {
  Rar20Encoder e;
  Rar20Unpacker unpacker;
  std::vector<uint8_t> out;

  e.lzTablesForEverything();
  someLiterals(e, 5000, 7);
  std::vector<uint8_t> expected = e.entryOutput();
  ASSERT_TRUE(unpack(unpacker, e.finishEntry(), expected.size(), out, true));
  EXPECT_EQ(out, expected);

  // No tables of its own, matches into the previous entry, then a multimedia block.
  e.match(4000, 200);
  e.oldDistance(0, 50);
  e.literal('!');
  e.audioTables(2, true);
  for (uint8_t b : wave(500, 2)) e.audioByte(b);
  expected = e.entryOutput();
  ASSERT_TRUE(unpack(unpacker, e.finishEntry(), expected.size(), out, true));
  EXPECT_EQ(out, expected);

  // Still in the multimedia block, on the channel the last entry stopped at.
  for (uint8_t b : wave(333, 2)) e.audioByte(b);
  expected = e.entryOutput();
  ASSERT_TRUE(unpack(unpacker, e.finishEntry(), expected.size(), out, true));
  EXPECT_EQ(out, expected);
}

TEST(Rar20Solid, TablesAfterTheLastSymbolBelongToTheNextEntry) {
  Rar20Encoder e;
  Rar20Unpacker unpacker;
  std::vector<uint8_t> out;
  e.lzTablesForEverything();
  someLiterals(e, 300, 8);
  std::vector<uint8_t> expected = e.entryOutput();
  e.lzTables({'q', 'r', 256, 270}, {0, 2}, {0}, false);  // trails the entry's bytes
  ASSERT_TRUE(unpack(unpacker, e.finishEntry(), expected.size(), out, true));
  EXPECT_EQ(out, expected);
  for (int i = 0; i < 20; ++i) e.literal(i % 2 ? 'q' : 'r');
  e.match(3, 3);
  expected = e.entryOutput();
  ASSERT_TRUE(unpack(unpacker, e.finishEntry(), expected.size(), out, true));
  EXPECT_EQ(out, expected);
}

TEST(Rar20Solid, ANonSolidEntryForgetsTheWindow) {
  Rar20Encoder e;
  Rar20Unpacker unpacker;
  std::vector<uint8_t> out;
  e.lzTablesForEverything();
  someLiterals(e, 100, 9);
  ASSERT_TRUE(unpack(unpacker, e.finishEntry(), 100, out, true));
  e.lzTablesForEverything();
  e.allowBrokenMatches();
  e.match(50, 10);  // reaches into the previous entry, which a new stream does not have
  EXPECT_FALSE(unpack(unpacker, e.finishEntry(), 10, out, false));
}

// [SECTION] Matches across entries
//
// A match of a solid entry may begin in the window of the entries before it and run on
// into this entry's own output, at any position of the entry.

using Chain = std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>>;  // packed, unpacked

void endEntry(Rar20Encoder& e, Chain& chain) {
  std::vector<uint8_t> expected = e.entryOutput();
  chain.push_back({e.finishEntry(), std::move(expected)});
}

struct Crossing {
  const char* name;
  void (*write)(Rar20Encoder&, Chain&);
};

const Crossing kCrossings[] = {
    {"at the entry's first byte",
     [](Rar20Encoder& e, Chain& c) {
       e.lzTablesForEverything();
       someLiterals(e, 200, 30);
       endEntry(e, c);
       e.match(150, 60);
       endEntry(e, c);
     }},
    {"48 of 60 bytes back, after 102 bytes of the entry",
     [](Rar20Encoder& e, Chain& c) {
       e.lzTablesForEverything();
       someLiterals(e, 200, 31);
       endEntry(e, c);
       someLiterals(e, 102, 32);
       e.match(150, 60);
       someLiterals(e, 5, 33);
       endEntry(e, c);
     }},
    {"one byte back, then a run of 257 from the entry",
     [](Rar20Encoder& e, Chain& c) {
       e.lzTablesForEverything();
       someLiterals(e, 50, 34);
       endEntry(e, c);
       e.literal('x');
       e.match(2, 258);
       endEntry(e, c);
     }},
    {"a short match, half back and half in the entry",
     [](Rar20Encoder& e, Chain& c) {
       e.lzTablesForEverything();
       someLiterals(e, 50, 35);
       endEntry(e, c);
       someLiterals(e, 5, 36);
       e.shortMatch(6);
       endEntry(e, c);
     }},
    {"an old distance with a new length",
     [](Rar20Encoder& e, Chain& c) {
       e.lzTablesForEverything();
       someLiterals(e, 300, 37);
       e.match(40, 5);
       endEntry(e, c);
       someLiterals(e, 30, 38);
       e.oldDistance(0, 100);
       endEntry(e, c);
     }},
    {"the last match repeated",
     [](Rar20Encoder& e, Chain& c) {
       e.lzTablesForEverything();
       someLiterals(e, 300, 39);
       e.match(100, 120);
       endEntry(e, c);
       someLiterals(e, 50, 40);
       e.repeatLast();
       endEntry(e, c);
     }},
    {"through a small middle entry",
     [](Rar20Encoder& e, Chain& c) {
       e.lzTablesForEverything();
       someLiterals(e, 300, 41);
       endEntry(e, c);
       someLiterals(e, 10, 42);
       endEntry(e, c);
       someLiterals(e, 5, 43);
       e.match(100, 200);
       endEntry(e, c);
     }},
    {"back into a multimedia entry",
     [](Rar20Encoder& e, Chain& c) {
       e.audioTables(2);
       for (uint8_t b : wave(200, 2)) e.audioByte(b);
       endEntry(e, c);
       e.lzTablesForEverything(true);
       someLiterals(e, 7, 44);
       e.match(300, 250);
       endEntry(e, c);
     }},
    {"a whole window back, after the window has wrapped",
     [](Rar20Encoder& e, Chain& c) {
       e.lzTablesForEverything();
       someLiterals(e, 0x100000 + 3000, 45);
       endEntry(e, c);
       someLiterals(e, 1000, 46);
       e.match(0x100000, 258);
       endEntry(e, c);
     }},
    {"from both ends of the kept window, then into the entry",
     [](Rar20Encoder& e, Chain& c) {
       e.lzTablesForEverything();
       someLiterals(e, 0x100000, 47);
       endEntry(e, c);
       someLiterals(e, 100, 48);  // the kept window now ends 100 bytes into its ring
       endEntry(e, c);
       someLiterals(e, 10, 49);
       e.match(130, 258);  // 20 bytes of the first entry, 100 of the second, then this one's
       endEntry(e, c);
     }},
};

Chain crossingChain(const Crossing& crossing) {
  Rar20Encoder e;
  Chain chain;
  crossing.write(e, chain);
  return chain;
}

TEST(Rar20Solid, MatchesRunFromEarlierEntriesIntoTheNextAtAnyPosition) {
  for (const Crossing& crossing : kCrossings) {
    const Chain chain = crossingChain(crossing);
    Rar20Unpacker unpacker;
    for (size_t i = 0; i < chain.size(); ++i) {
      std::vector<uint8_t> out;
      ASSERT_TRUE(unpack(unpacker, chain[i].first, chain[i].second.size(), out, true))
          << crossing.name << ", entry " << i;
      EXPECT_TRUE(out == chain[i].second) << crossing.name << ", entry " << i;
    }
  }
}

// [SECTION] Damage

TEST(Rar20Damage, AMatchBeforeTheFirstByteIsAnError) {
  Rar20Encoder e;
  e.lzTablesForEverything();
  someLiterals(e, 10, 10);
  e.allowBrokenMatches();
  e.match(11, 5);
  Rar20Unpacker unpacker;
  std::vector<uint8_t> out;
  EXPECT_FALSE(unpack(unpacker, e.finishEntry(), 15, out));
}

TEST(Rar20Damage, TheFirstOldDistanceIsNothing) {
  Rar20Encoder e;
  e.lzTablesForEverything();
  someLiterals(e, 10, 11);
  e.allowBrokenMatches();
  e.oldDistance(0, 2);  // no match came before: distance 0, nothing to copy from
  Rar20Unpacker unpacker;
  std::vector<uint8_t> out;
  EXPECT_FALSE(unpack(unpacker, e.finishEntry(), 12, out));
}

TEST(Rar20Damage, RunningOutOfInputIsAnError) {
  Rar20Encoder e;
  e.lzTablesForEverything();
  someLiterals(e, 2000, 12);
  std::vector<uint8_t> packed = e.finishEntry();
  Rar20Unpacker unpacker;
  std::vector<uint8_t> out;
  for (size_t cut : {size_t(0), size_t(1), size_t(30), packed.size() / 2, packed.size() - 1}) {
    std::vector<uint8_t> truncated(packed.begin(), packed.begin() + long(cut));
    EXPECT_FALSE(unpack(unpacker, truncated, 2000, out)) << cut;
  }
}

TEST(Rar20Damage, AnOverfullTableIsAnError) {
  Rar20Encoder e;
  e.rawBits(0, 2);  // LZ, no change coding
  for (int i = 0; i < 19; ++i) e.rawBits(1, 4);  // nineteen 1-bit codes cannot exist
  e.rawBits(0, 32);
  Rar20Unpacker unpacker;
  std::vector<uint8_t> out;
  EXPECT_FALSE(unpack(unpacker, e.finishEntry(), 1, out));
}

TEST(Rar20Damage, ABitPatternWithoutASymbolIsAnError) {
  Rar20Encoder e;
  e.lzTables({'a'}, {0}, {0}, false);  // one symbol: code "0"; "1" means nothing
  e.literal('a');
  e.rawBits(0xFFFF, 16);
  Rar20Unpacker unpacker;
  std::vector<uint8_t> out;
  EXPECT_FALSE(unpack(unpacker, e.finishEntry(), 2, out));
}

TEST(Rar20Damage, ARepeatBeforeAnyLengthIsAnError) {
  Rar20Encoder e;
  e.rawBits(0, 2);
  const std::vector<uint8_t> pre = codeLengths(19, allSymbols(19));
  for (uint8_t l : pre) e.rawBits(l, 4);
  const auto codes = canonicalCodes(pre);
  e.rawBits(codes[16], pre[16]);  // "repeat the previous length" with none before it
  e.rawBits(0, 32);
  Rar20Unpacker unpacker;
  std::vector<uint8_t> out;
  EXPECT_FALSE(unpack(unpacker, e.finishEntry(), 1, out));
}

TEST(Rar20Damage, SizesNoStreamCouldProduceAreRefusedUpFront) {
  const std::vector<uint8_t> input(16 + Rar20Unpacker::kInputPadding, 0);
  Rar20Unpacker unpacker;
  // 16 packed bytes cannot stand for more than 16 * 8 * 260 bytes; the output buffer is
  // never touched (a null one would crash otherwise).
  EXPECT_FALSE(unpacker.unpack(input.data(), 16, nullptr, 16 * 8 * 260 + 300, false, false));
}

// [SECTION] Solid archives through the reader

struct SolidArchive {
  std::vector<uint8_t> bytes;
  std::vector<std::vector<uint8_t>> contents;
};

// Five entries, each reaching back into the ones before it, one of them a multimedia
// block, and a stored entry in the middle that leaves the stream alone.
SolidArchive solidArchive() {
  Rar20Encoder e;
  SolidArchive archive;
  ArchiveBuilder builder("", true);
  auto add = [&](const std::string& name) {
    archive.contents.push_back(e.entryOutput());
    builder.addPacked(name, e.finishEntry(), archive.contents.back(), 20, archive.contents.size() > 1 ? 0x10 : 0);
  };
  e.lzTablesForEverything();
  someLiterals(e, 2000, 20);
  add("a.txt");
  e.match(1500, 250);
  someLiterals(e, 100, 21);
  add("b.txt");
  archive.contents.push_back(bytesOf("stored in between"));
  builder.addFile("c.txt", archive.contents.back());
  e.audioTables(2, true);
  for (uint8_t b : wave(400, 2)) e.audioByte(b);
  add("d.wav");
  e.lzTablesForEverything(true);
  e.match(2700, 200);
  e.oldDistance(0, 20);
  add("e.txt");
  archive.bytes = builder.bytes();
  return archive;
}

TEST(RarSolidArchive, AnyRequestOrderGivesTheSameBytes) {
  const SolidArchive archive = solidArchive();
  const char* names[] = {"a.txt", "b.txt", "c.txt", "d.wav", "e.txt"};
  const std::vector<std::vector<int>> orders = {{0, 1, 2, 3, 4}, {4, 3, 2, 1, 0}, {2, 4, 0, 3, 1}, {4, 4, 0, 0, 3}};
  for (const auto& order : orders) {
    rar::MemorySource source(archive.bytes.data(), archive.bytes.size());
    rar::ArchiveReader reader(rar::readIndex(source));
    for (int i : order) {
      rar::Block block;
      ASSERT_EQ(reader.get(source, names[i], "", block), rar::Status::Ok) << names[i];
      EXPECT_TRUE(std::vector<uint8_t>(block.data(), block.data() + block.size()) == archive.contents[size_t(i)])
          << names[i];
    }
  }
}

TEST(RarSolidArchive, AFailedEntryFailsEveryLaterOne) {
  SolidArchive archive = solidArchive();
  rar::MemorySource probe(archive.bytes.data(), archive.bytes.size());
  const rar::ArchiveIndex index = rar::readIndex(probe);
  archive.bytes[index.entries[1].dataOffset + 5] ^= 0x40;  // b.txt
  std::vector<uint8_t> out;
  EXPECT_EQ(getFromMemory(archive.bytes, "a.txt", "", out), rar::Status::Ok);
  const rar::Status b = getFromMemory(archive.bytes, "b.txt", "", out);
  EXPECT_TRUE(b == rar::Status::BadData || b == rar::Status::CrcMismatch);
  EXPECT_EQ(getFromMemory(archive.bytes, "c.txt", "", out), rar::Status::EarlierFailed);
  EXPECT_EQ(getFromMemory(archive.bytes, "e.txt", "", out), rar::Status::EarlierFailed);
}

// [SECTION] The test writer against unar

std::vector<uint8_t> archiveOf(const std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>>& entries,
                               bool solid) {
  ArchiveBuilder archive("", solid);
  for (size_t n = 0; n < entries.size(); ++n) {
    // Every entry after the first of a solid archive carries the "uses earlier data" flag.
    const uint16_t flags = n > 0 && solid ? 0x10 : 0;
    archive.addPacked("entry" + std::to_string(n) + ".bin", entries[n].first, entries[n].second, 20, flags);
  }
  archive.addEnd();
  return archive.bytes();
}

TEST(Rar20Oracle, UnarDecodesTheWrittenStreamsToTheSameBytes) {
  if (!haveCommand("unar")) GTEST_SKIP() << "unar not installed";
  std::vector<std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> plain, solid;
  {
    Rar20Encoder e;
    e.lzTables(allSymbols(Rar20Encoder::kMain), allSymbols(Rar20Encoder::kDistance),
               allSymbols(Rar20Encoder::kLength), false, 6);
    someLiterals(e, 9000, 13);
    for (uint32_t d : {1u, 0x101u, 0x1FFFu, 0x2000u}) e.match(d, 40);
    e.oldDistance(2, 77);
    e.repeatLast();
    e.shortMatch(200);
    const auto expected = e.entryOutput();
    plain.push_back({e.finishEntry(), expected});
  }
  {
    Rar20Encoder e;
    e.audioTables(4);
    for (uint8_t b : wave(2000, 4)) e.audioByte(b);
    e.lzTablesForEverything(true);
    e.match(4000, 100);
    e.audioTables(2, true);
    for (uint8_t b : wave(999, 2)) e.audioByte(b);
    const auto expected = e.entryOutput();
    plain.push_back({e.finishEntry(), expected});
  }
  {
    Rar20Encoder e;
    e.lzTablesForEverything();
    someLiterals(e, 3000, 14);
    auto expected = e.entryOutput();
    solid.push_back({e.finishEntry(), expected});
    e.match(2500, 250);
    e.audioTables(1, true);
    for (uint8_t b : wave(800, 1)) e.audioByte(b);
    expected = e.entryOutput();
    solid.push_back({e.finishEntry(), expected});
    for (uint8_t b : wave(100, 1)) e.audioByte(b);
    expected = e.entryOutput();
    solid.push_back({e.finishEntry(), expected});
  }

  ScratchDir dir;
  for (const auto& [name, entries, isSolid] :
       {std::tuple{"plain.rar", plain, false}, std::tuple{"solid.rar", solid, true}}) {
    const std::vector<uint8_t> bytes = archiveOf(entries, isSolid);
    writeBytes(dir / name, bytes);
    const fs::path out = dir / (std::string(name) + ".out");
    const CommandResult unar = run("unar -q -nr -D -f -o " + shellQuoted(out) + " " + shellQuoted(dir / name));
    ASSERT_EQ(unar.exitCode, 0) << unar.output;
    for (size_t i = 0; i < entries.size(); ++i) {
      const std::string entry = "entry" + std::to_string(i) + ".bin";
      EXPECT_TRUE(readBytes(out / entry) == entries[i].second) << name << " " << entry << " by unar";
      std::vector<uint8_t> ours;
      EXPECT_EQ(getFromMemory(bytes, entry, "", ours), rar::Status::Ok) << name << " " << entry;
      EXPECT_TRUE(ours == entries[i].second) << name << " " << entry << " by the reader";
    }
  }
}

TEST(Rar20Oracle, UnarDecodesMatchesAcrossEntriesToTheSameBytes) {
  if (!haveCommand("unar")) GTEST_SKIP() << "unar not installed";
  ScratchDir dir;
  for (const Crossing& crossing : kCrossings) {
    const Chain chain = crossingChain(crossing);
    const std::vector<uint8_t> bytes = archiveOf(chain, true);
    writeBytes(dir / "crossing.rar", bytes);
    const fs::path out = dir / "out";
    fs::remove_all(out);
    const CommandResult unar = run("unar -q -nr -D -f -o " + shellQuoted(out) + " " + shellQuoted(dir / "crossing.rar"));
    ASSERT_EQ(unar.exitCode, 0) << crossing.name << ": " << unar.output;
    for (size_t i = 0; i < chain.size(); ++i) {
      const std::string entry = "entry" + std::to_string(i) + ".bin";
      EXPECT_TRUE(readBytes(out / entry) == chain[i].second) << crossing.name << ", " << entry << " by unar";
      std::vector<uint8_t> ours;
      EXPECT_EQ(getFromMemory(bytes, entry, "", ours), rar::Status::Ok) << crossing.name << ", " << entry;
      EXPECT_TRUE(ours == chain[i].second) << crossing.name << ", " << entry << " by the reader";
    }
  }
}

}  // namespace
