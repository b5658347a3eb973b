#include "archive/vkd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "VkdTestSupport.h"
#include "archive/FileRequests.h"

namespace {

using namespace vkdtest;

struct Loaded {
  int result = 0;
  std::vector<uint8_t> bytes;
  bool zeroTail = false;
};

Loaded get(const std::string& archive, const std::string& path, const char* password) {
  Loaded loaded;
  uint8_t* data = reinterpret_cast<uint8_t*>(1);
  uint32_t size = 77;
  loaded.result = archiveGet(path.c_str(), archive.c_str(), password, &data, &size);
  if (loaded.result == 1 && data != nullptr) {
    loaded.bytes.assign(data, data + size);
    loaded.zeroTail = true;
    for (uint32_t i = 0; i < 10; ++i) loaded.zeroTail = loaded.zeroTail && data[size + i] == 0;
    std::free(data);
  } else {
    EXPECT_EQ(data, nullptr) << "a failed read hands out no block";
  }
  return loaded;
}

uint32_t crcOf(const std::vector<uint8_t>& bytes) { return rar::crc32(0, bytes.data(), bytes.size()); }

// [SECTION] The real archives

TEST(RealArchives, StoredEncryptedEntryHasThePublishedDigest) {
  const Loaded secret = get(kRealArchives + "junrar-rar20-password-stored.rar", "SECRET.TXT", "password");
  ASSERT_EQ(secret.result, 1);
  EXPECT_EQ(secret.bytes.size(), 87u);
  EXPECT_EQ(crcOf(secret.bytes), 0x967e05a2u);
  EXPECT_EQ(sha256Hex(secret.bytes.data(), secret.bytes.size()),
            "5f512316b5a4d27c6563b83299c5dd7061fc0c4ee6969a4483363b836c2d6951");
  EXPECT_TRUE(secret.zeroTail);
}

TEST(RealArchives, CompressedEncryptedEntryDecryptsThenUnpacks) {
  const Loaded secret = get(kRealArchives + "junrar-rar20-password-compressed.rar", "SECRET.TXT", "password");
  ASSERT_EQ(secret.result, 1);
  EXPECT_EQ(sha256Hex(secret.bytes.data(), secret.bytes.size()),
            "5f512316b5a4d27c6563b83299c5dd7061fc0c4ee6969a4483363b836c2d6951");
}

TEST(RealArchives, WrongOrMissingPasswordReadsAsMissing) {
  for (const char* archive : {"junrar-rar20-password-stored.rar", "junrar-rar20-password-compressed.rar",
                              "rarfile-rar202-comment-psw.rar"}) {
    const std::string path = kRealArchives + archive;
    const char* name = std::strstr(archive, "rarfile") ? "FILE1.TXT" : "SECRET.TXT";
    EXPECT_EQ(get(path, name, "Password").result, 0) << archive;
    EXPECT_EQ(get(path, name, "").result, 0) << archive;
    EXPECT_EQ(get(path, name, nullptr).result, 0) << archive;
  }
}

TEST(RealArchives, CommentsInMainAndFileHeadersAreSkipped) {
  for (const char* archive : {"rarfile-rar202-comment-nopsw.rar", "rarfile-rar202-comment-psw.rar"}) {
    const std::string path = kRealArchives + archive;
    const Loaded one = get(path, "FILE1.TXT", "password");
    const Loaded two = get(path, "FILE2.TXT", "password");
    ASSERT_EQ(one.result, 1) << archive;
    ASSERT_EQ(two.result, 1) << archive;
    EXPECT_EQ(one.bytes.size(), 7u);
    EXPECT_EQ(crcOf(one.bytes), 0x7a197dbau);
    EXPECT_EQ(crcOf(two.bytes), 0x785fc3e3u);
  }
}

TEST(RealArchives, LzAndMultimediaArchivesGiveTheWaveFile) {
  const std::vector<uint8_t> wave = readBytes(kRealArchives + "BoatModernEnglish.wav");
  ASSERT_EQ(wave.size(), 56464u);
  for (const char* archive : {"junrar-BoatModernEnglish-regular-unpack20.rar",
                              "junrar-BoatModernEnglish-audio-text-unpack20.rar"}) {
    const std::string path = kRealArchives + archive;
    const Loaded loaded = get(path, "BoatModernEnglish.wav", nullptr);
    ASSERT_EQ(loaded.result, 1) << archive;
    EXPECT_EQ(loaded.bytes, wave) << archive;
    EXPECT_EQ(crcOf(loaded.bytes), 0x82d2ed89u);
    const Loaded license = get(path, "LICENSE.txt", nullptr);
    ASSERT_EQ(license.result, 1);
    EXPECT_EQ(license.bytes.size(), 107u);
    EXPECT_EQ(crcOf(license.bytes), 0x8eaf20c4u);
  }
}

TEST(RealArchives, UnencryptedEntriesIgnoreAGivenPassword) {
  EXPECT_EQ(get(kRealArchives + "rarfile-rar202-comment-nopsw.rar", "FILE1.TXT", "anything").result, 1);
}

// [SECTION] The name rule

TEST(NameRule, CaseAndSeparatorsDoNotMatter) {
  ScratchDir dir;
  ArchiveBuilder archive("pw");
  archive.addFile("data\\scripts\\Main.txt", bytesOf("script"));
  archive.addEnd();
  writeBytes(dir / "a.vkd", archive.bytes());
  const std::string path = (dir / "a.vkd").string();
  for (const char* name : {"data/scripts/Main.txt", "DATA\\SCRIPTS\\MAIN.TXT", "data\\scripts/main.txt",
                           "Data/Scripts/mAIN.tXT"})
    EXPECT_EQ(get(path, name, "pw").bytes, bytesOf("script")) << name;
  EXPECT_EQ(get(path, "data/scripts/Main.tx", "pw").result, 0);
  EXPECT_EQ(get(path, "data/scripts", "pw").result, 0);
  EXPECT_EQ(get(kRealArchives + "junrar-rar20-password-stored.rar", "secret.txt", "password").result, 1);
}

TEST(NameRule, SeparatorsAndUnderscoresAreTheSameCharacter) {
  EXPECT_EQ(rar::nameKey("data/a_b\\c.txt"), "DATA_A_B_C.TXT");
  EXPECT_EQ(rar::nameKey(std::string(600, 'x')).size(), 512u);
}

TEST(NameRule, TheFirstOfTwoEqualNamesWins) {
  ArchiveBuilder archive;
  archive.addFile("A.TXT", bytesOf("first"));
  archive.addFile("a.txt", bytesOf("second"));
  std::vector<uint8_t> out;
  ASSERT_EQ(getFromMemory(archive.bytes(), "a.txt", "", out), rar::Status::Ok);
  EXPECT_EQ(out, bytesOf("first"));
}

TEST(NameRule, LongStoredNamesAreComparedByTheir259FirstBytes) {
  const std::string longName(300, 'n');
  ArchiveBuilder archive;
  archive.addFile(longName, bytesOf("long"));
  archive.addFile("after.txt", bytesOf("after"));
  std::vector<uint8_t> out;
  EXPECT_EQ(getFromMemory(archive.bytes(), longName.substr(0, 259), "", out), rar::Status::Ok);
  EXPECT_EQ(getFromMemory(archive.bytes(), longName, "", out), rar::Status::NotFound);
  EXPECT_EQ(getFromMemory(archive.bytes(), "after.txt", "", out), rar::Status::Ok);
}

// [SECTION] Block walk

TEST(BlockWalk, OldStyleSubBlockAfterAFileIsSkippedNotTheEnd) {
  ArchiveBuilder archive;
  archive.addFile("one.txt", bytesOf("1"));
  archive.addBlock(rar::kOldSubBlock, 0, {0x00, 0x01, 0x00}, bytesOf("unix owner: root"));
  archive.addFile("two.txt", bytesOf("2"));
  archive.addEnd();
  std::vector<uint8_t> out;
  ASSERT_EQ(getFromMemory(archive.bytes(), "two.txt", "", out), rar::Status::Ok);
  EXPECT_EQ(out, bytesOf("2"));
}

TEST(BlockWalk, OtherBlocksAreSkippedByTheirSizes) {
  ArchiveBuilder archive;
  archive.addBlock(rar::kCommentBlock, 0, bytesOf("an old comment inside the header"));
  archive.addBlock(0x78, 0, {}, std::vector<uint8_t>(300, 0xEE));  // recovery data
  archive.addBlock(0x7A, 0, {1, 2, 3, 4, 5}, std::vector<uint8_t>(20, 0x55));
  archive.addFile("x.txt", bytesOf("x"));
  std::vector<uint8_t> out;
  ASSERT_EQ(getFromMemory(archive.bytes(), "x.txt", "", out), rar::Status::Ok);
}

TEST(BlockWalk, TheEndBlockEndsTheArchive) {
  ArchiveBuilder archive;
  archive.addFile("before.txt", bytesOf("b"));
  archive.addEnd();
  archive.addFile("after.txt", bytesOf("a"));
  std::vector<uint8_t> out;
  EXPECT_EQ(getFromMemory(archive.bytes(), "before.txt", "", out), rar::Status::Ok);
  EXPECT_EQ(getFromMemory(archive.bytes(), "after.txt", "", out), rar::Status::NotFound);
}

TEST(BlockWalk, AHeaderSizeBelowSevenEndsTheArchive) {
  ArchiveBuilder archive;
  archive.addFile("before.txt", bytesOf("b"));
  archive.bytes().insert(archive.bytes().end(), {0, 0, 0x7A, 0, 0, 6, 0});
  archive.addFile("after.txt", bytesOf("a"));
  std::vector<uint8_t> out;
  EXPECT_EQ(getFromMemory(archive.bytes(), "before.txt", "", out), rar::Status::Ok);
  EXPECT_EQ(getFromMemory(archive.bytes(), "after.txt", "", out), rar::Status::NotFound);
}

TEST(BlockWalk, TheOldMarkerIsAcceptedAndOthersAreNot) {
  ArchiveBuilder archive;
  archive.addFile("x.txt", bytesOf("x"));
  std::vector<uint8_t> bytes = archive.bytes();
  std::memcpy(bytes.data(), "UniquE!", 7);
  std::vector<uint8_t> out;
  EXPECT_EQ(getFromMemory(bytes, "x.txt", "", out), rar::Status::Ok);
  bytes[0] = 'r';
  EXPECT_EQ(getFromMemory(bytes, "x.txt", "", out), rar::Status::BadArchive);
}

TEST(BlockWalk, ComputesTheSameHeaderChecksAsRar) {
  for (const char* name : {"rarfile-rar202-comment-psw.rar", "junrar-BoatModernEnglish-audio-text-unpack20.rar"}) {
    const std::vector<uint8_t> bytes = readBytes(kRealArchives + name);
    rar::MemorySource source(bytes.data(), bytes.size());
    const rar::ArchiveIndex index = rar::readIndex(source);
    ASSERT_TRUE(index.valid);
    EXPECT_TRUE(index.mainHeaderCrcOk) << name;
    for (const rar::Entry& entry : index.entries) EXPECT_TRUE(entry.headerCrcOk) << name << " " << entry.name;
  }
}

// [SECTION] Versions

TEST(Versions, AnEntryNeedingVersion29IsRefusedAndTheRestStillRead) {
  ArchiveBuilder archive("pw");
  const size_t first = archive.addFile("new.txt", bytesOf("rar 3"));
  archive.addFile("old.txt", bytesOf("rar 2"));
  archive.patchByte(first, 24, 29);
  std::vector<uint8_t> out;
  EXPECT_EQ(getFromMemory(archive.bytes(), "new.txt", "pw", out), rar::Status::Unsupported);
  EXPECT_EQ(getFromMemory(archive.bytes(), "old.txt", "pw", out), rar::Status::Ok);
}

TEST(Versions, OnlyThirteenToTwentyAreRead) {
  for (int version : {12, 13, 15, 20, 21, 26}) {
    ArchiveBuilder archive;
    const size_t at = archive.addFile("f", bytesOf("plain"));
    archive.patchByte(at, 24, uint8_t(version));
    std::vector<uint8_t> out;
    const rar::Status expected = version >= 13 && version <= 20 ? rar::Status::Ok : rar::Status::Unsupported;
    EXPECT_EQ(getFromMemory(archive.bytes(), "f", "", out), expected) << version;
  }
}

TEST(Versions, Rar15CompressedOrEncryptedEntriesAreRefused) {
  ArchiveBuilder encrypted("pw");
  const size_t at = encrypted.addFile("f", bytesOf("secret"));
  encrypted.patchByte(at, 24, 15);
  std::vector<uint8_t> out;
  EXPECT_EQ(getFromMemory(encrypted.bytes(), "f", "pw", out), rar::Status::Unsupported);

  ArchiveBuilder packed;
  packed.addPacked("g", {0x12, 0x34, 0x56, 0x78}, bytesOf("whatever"), 15);
  EXPECT_EQ(getFromMemory(packed.bytes(), "g", "", out), rar::Status::Unsupported);
}

// [SECTION] Memory files

TEST(MemoryFileRead, ThreeElementsOfFourBytesFromTenReturnTwo) {
  ScratchDir dir;
  writeBytes(dir / "ten.bin", bytesOf("0123456789"));
  MemoryFile* file = loadFile((dir / "ten.bin").string().c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->size, 10u);
  uint32_t elements[3] = {};
  EXPECT_EQ(read(elements, 4, 3, file), 2u);
  EXPECT_EQ(file->position, 8u);
  EXPECT_EQ(std::memcmp(elements, "01234567", 8), 0);
  EXPECT_EQ(read(elements, 4, 1, file), 0u);
  EXPECT_EQ(file->position, 8u);
  char rest[2];
  EXPECT_EQ(read(rest, 1, 5, file), 2u);
  EXPECT_EQ(file->position, 10u);
  closeFile(file);
}

TEST(MemoryFileRead, DataIsFollowedByTenZeroBytes) {
  ScratchDir dir;
  writeBytes(dir / "text.txt", bytesOf("abc"));
  MemoryFile file((dir / "text.txt").string().c_str());
  ASSERT_TRUE(file.ok);
  EXPECT_STREQ(reinterpret_cast<const char*>(file.data), "abc");
  for (int i = 0; i < 10; ++i) EXPECT_EQ(file.data[3 + i], 0);
}

TEST(MemoryFileRead, EmptyFilesLoadWithAZeroTail) {
  ScratchDir dir;
  writeBytes(dir / "empty", {});
  MemoryFile* file = loadFile((dir / "empty").string().c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->size, 0u);
  ASSERT_NE(file->data, nullptr);
  EXPECT_EQ(file->data[0], 0);
  closeFile(file);
}

TEST(MemoryFileRead, MissingFilesAndDirectoriesDoNotLoad) {
  ScratchDir dir;
  EXPECT_EQ(loadFile((dir / "missing").string().c_str()), nullptr);
  EXPECT_EQ(loadFile(dir.path().string().c_str()), nullptr);
  MemoryFile file((dir / "missing").string().c_str());
  EXPECT_FALSE(file.ok);
  closeFile(nullptr);
}

TEST(MemoryFileRead, AuthoringReadsAnUnpackedTreeByTheArchivesNameRuleAndRecordsRequests) {
  ScratchDir dir;
  std::filesystem::create_directories(dir / "Data" / "Images");
  writeBytes(dir / "Data" / "Images" / "Logo.png", bytesOf("logo"));
  const std::string asWritten = (dir / "data\\images\\LOGO.PNG").string();
  EXPECT_EQ(loadFile(asWritten.c_str()), nullptr) << "a plain run reads the path as written";

  setDiskNamesLikeArchive(true);
  takeRecordedFiles();
  setFileRecording(true);
  MemoryFile* file = loadFile(asWritten.c_str());
  closeFile(loadFile((dir / "data/images/none.png").string().c_str()));
  setFileRecording(false);
  setDiskNamesLikeArchive(false);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(file->data), file->size), "logo");
  closeFile(file);
  // What was read, under its name on disk, and what was missing, to be watched for.
  EXPECT_EQ(takeRecordedFiles(), (std::vector<std::string>{(dir / "Data/Images/Logo.png").string(),
                                                           (dir / "data/images/none.png").string()}));
  EXPECT_EQ(dataFileKey("./Data\\Images/Logo.PNG"), "data/images/logo.png");
}

using MemoryFileReadDeathTest = testing::Test;

TEST_F(MemoryFileReadDeathTest, NullArgumentsAreFatal) {
  ScratchDir dir;
  writeBytes(dir / "f", bytesOf("x"));
  MemoryFile* file = loadFile((dir / "f").string().c_str());
  ASSERT_NE(file, nullptr);
  char byte;
  // The module is named as the sources are laid out; with some compilers' prefix maps the
  // "src/" folder stays in front of it.
  const char* report = "^(src/)?archive/vkd\\.cpp:[0-9]+ assertion failed\n$";
  EXPECT_EXIT(read(&byte, 1, 1, nullptr), testing::ExitedWithCode(1), report);
  EXPECT_EXIT(read(nullptr, 1, 1, file), testing::ExitedWithCode(1), report);
  closeFile(file);
}

// [SECTION] Archive mode

// Must run after every disk test when the whole program runs in one process: once the
// archive is open, files come only from it.
TEST(ArchiveMode, AfterOpenArchiveFilesComeOnlyFromTheArchive) {
  ScratchDir dir;
  writeBytes(dir / "disk.txt", bytesOf("on disk"));
  MemoryFile* before = loadFile((dir / "disk.txt").string().c_str());
  ASSERT_NE(before, nullptr) << "before openArchive the disk is read";
  closeFile(before);

  ArchiveBuilder archive("lynxa42");
  archive.addFile("data\\scripts\\demo.txt", bytesOf("from the archive"));
  archive.addEnd();
  writeBytes(dir / "data.vkd", archive.bytes());
  openArchive((dir / "data.vkd").string().c_str(), "lynxa42");

  EXPECT_EQ(loadFile((dir / "disk.txt").string().c_str()), nullptr) << "no fall-back to disk";
  MemoryFile* file = loadFile("data/scripts/demo.txt");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(file->data), file->size), "from the archive");
  EXPECT_EQ(file->position, 0u);
  closeFile(file);
}

TEST(ArchiveMode, AReplacedArchiveIsReadAgain) {
  ScratchDir dir;
  const std::string path = (dir / "data.vkd").string();
  for (const char* content : {"first version", "second, longer version"}) {
    ArchiveBuilder archive("pw");
    archive.addFile("f.txt", bytesOf(content));
    writeBytes(path, archive.bytes());
    EXPECT_EQ(get(path, "f.txt", "pw").bytes, bytesOf(content));
  }
}

TEST(ArchiveMode, BadArgumentsFailWithoutABlock) {
  uint8_t* data = nullptr;
  uint32_t size = 0;
  EXPECT_EQ(archiveGet(nullptr, "x.vkd", "pw", &data, &size), 0);
  EXPECT_EQ(archiveGet("a", nullptr, "pw", &data, &size), 0);
  EXPECT_EQ(archiveGet("a", "x.vkd", "pw", nullptr, &size), 0);
  EXPECT_EQ(archiveGet("a", "/nonexistent/x.vkd", "pw", &data, &size), 0);
  EXPECT_EQ(data, nullptr);
}

}  // namespace

namespace {

// [SECTION] Damaged input
//
// Whatever a byte of an archive is changed to, or wherever it ends, reading gives either
// the right bytes or a failure: never other bytes, a crash or a read out of bounds (the
// sanitizer build checks the last two).

struct Expected {
  std::string name;
  std::vector<uint8_t> bytes;
};

std::vector<Expected> everyEntry(const std::vector<uint8_t>& archive, const std::string& password) {
  rar::MemorySource source(archive.data(), archive.size());
  rar::ArchiveReader reader(rar::readIndex(source));
  std::vector<Expected> entries;
  for (size_t i = 0; i < reader.index().entries.size(); ++i) {
    rar::Block block;
    if (reader.extract(source, i, password, block) == rar::Status::Ok)
      entries.push_back({reader.index().entries[i].name, std::vector<uint8_t>(block.data(), block.data() + block.size())});
  }
  return entries;
}

void expectRightBytesOrFailure(const std::vector<uint8_t>& damaged, const std::vector<Expected>& expected,
                               const std::string& password, const std::string& what) {
  rar::MemorySource source(damaged.data(), damaged.size());
  rar::ArchiveReader reader(rar::readIndex(source));
  for (const Expected& entry : expected) {
    rar::Block block;
    if (reader.get(source, entry.name, password, block) != rar::Status::Ok) continue;
    EXPECT_TRUE(std::vector<uint8_t>(block.data(), block.data() + block.size()) == entry.bytes)
        << what << ": " << entry.name << " read as success with other bytes";
  }
}

// The real archives with what their makers published of every entry: its size and CRC-32.
struct Published {
  const char* name;
  size_t size;
  uint32_t crc;
};
struct RealArchive {
  const char* file;
  std::vector<Published> entries;
};
const Published kSecret{"SECRET.TXT", 87, 0x967e05a2u};
const Published kFile1{"FILE1.TXT", 7, 0x7a197dbau}, kFile2{"FILE2.TXT", 7, 0x785fc3e3u};
const Published kBoat{"BoatModernEnglish.wav", 56464, 0x82d2ed89u}, kLicense{"LICENSE.txt", 107, 0x8eaf20c4u};
const RealArchive kDamaged[] = {{"junrar-rar20-password-stored.rar", {kSecret}},
                                {"junrar-rar20-password-compressed.rar", {kSecret}},
                                {"rarfile-rar202-comment-psw.rar", {kFile1, kFile2}},
                                {"junrar-BoatModernEnglish-regular-unpack20.rar", {kBoat, kLicense}},
                                {"junrar-BoatModernEnglish-audio-text-unpack20.rar", {kBoat, kLicense}}};

// The bytes a damaged copy must give when it gives any: every entry of the intact archive,
// each held to its published size and CRC-32, so that the comparisons below never run
// against nothing or against what a broken reader made of the intact file.
std::vector<Expected> publishedEntries(const RealArchive& archive, const std::vector<uint8_t>& original) {
  std::vector<Expected> entries = everyEntry(original, "password");
  EXPECT_EQ(entries.size(), archive.entries.size()) << archive.file;
  for (const Published& published : archive.entries) {
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const Expected& e) { return e.name == published.name; });
    if (found == entries.end()) {
      ADD_FAILURE() << archive.file << ": " << published.name << " not read from the intact archive";
      continue;
    }
    EXPECT_EQ(found->bytes.size(), published.size) << archive.file << ": " << published.name;
    EXPECT_EQ(crcOf(found->bytes), published.crc) << archive.file << ": " << published.name;
  }
  return entries;
}

TEST(DamagedArchives, FlippedBitsGiveTheRightBytesOrAFailure) {
  for (const RealArchive& archive : kDamaged) {
    const char* name = archive.file;
    const std::vector<uint8_t> original = readBytes(kRealArchives + name);
    const std::vector<Expected> expected = publishedEntries(archive, original);
    ASSERT_FALSE(HasFailure()) << name << ": the intact archive does not read as published";
    const size_t stride = original.size() > 1000 ? original.size() / 400 : 1;
    for (size_t at = 0; at < original.size(); at += stride) {
      std::vector<uint8_t> damaged = original;
      damaged[at] ^= uint8_t(1u << (at % 8));
      expectRightBytesOrFailure(damaged, expected, "password", std::string(name) + " byte " + std::to_string(at));
    }
  }
}

TEST(DamagedArchives, TruncationGivesTheRightBytesOrAFailure) {
  for (const RealArchive& archive : kDamaged) {
    const char* name = archive.file;
    const std::vector<uint8_t> original = readBytes(kRealArchives + name);
    const std::vector<Expected> expected = publishedEntries(archive, original);
    ASSERT_FALSE(HasFailure()) << name << ": the intact archive does not read as published";
    const size_t stride = original.size() > 1000 ? original.size() / 300 : 1;
    for (size_t size = 0; size < original.size(); size += stride) {
      const std::vector<uint8_t> cut(original.begin(), original.begin() + long(size));
      expectRightBytesOrFailure(cut, expected, "password", std::string(name) + " cut at " + std::to_string(size));
    }
  }
}

TEST(DamagedArchives, HeaderSizesAndCountsOutOfRangeFailCleanly) {
  ArchiveBuilder archive("pw");
  const size_t at = archive.addFile("f.txt", bytesOf("some content"));
  archive.addEnd();
  std::vector<uint8_t> out;
  const std::vector<std::pair<size_t, uint8_t>> patches = {
      {5, 0x00},  {6, 0xFF},   // header size: below the fixed part, past the end
      {7, 0xFF},  {10, 0x7F},  // packed size past the end of the archive
      {11, 0xFF}, {14, 0xFF},  // unpacked size: more than packed, or absurd
      {26, 0xFF}, {27, 0x01},  // name longer than the header
      {4, 0x01},               // flags: the 64-bit size form without room for it
  };
  for (const auto& [offset, value] : patches) {
    ArchiveBuilder damaged = archive;
    damaged.patchByte(at, offset, value);
    EXPECT_NE(getFromMemory(damaged.bytes(), "f.txt", "pw", out), rar::Status::Ok) << "offset " << offset;
  }
}

TEST(DamagedArchives, ClaimedSizesBeyondWhatFitsAreRefused) {
  ArchiveBuilder archive;
  const size_t at = archive.addPacked("huge.bin", std::vector<uint8_t>(64, 0x55), bytesOf("x"));
  for (size_t i = 11; i < 15; ++i) archive.patchByte(at, i, 0xFF);  // 4 GiB - 1 from 64 bytes
  std::vector<uint8_t> out;
  EXPECT_EQ(getFromMemory(archive.bytes(), "huge.bin", "", out), rar::Status::TooLarge);
  archive.patchByte(at, 14, 0x00);  // 16 MiB from 64 bytes: more than any stream could give
  EXPECT_EQ(getFromMemory(archive.bytes(), "huge.bin", "", out), rar::Status::BadData);
}

// [SECTION] Regressions: inputs that once crashed the reader, read where they are kept

const std::string kRegressions = DE_TESTDATA_DIR "/regressions/";

TEST(Regressions, ASolidMatchRunningOnIntoTheNextEntryReadsOrFailsCleanly) {
  // Two solid LZ entries. 102 bytes into the second, a match starts 48 bytes back in the
  // first and runs on 12 bytes into the second's own output (the copy of those 12 bytes
  // crashed); later the second entry's data runs out, as unar finds too.
  const std::string path = kRegressions + "solid-match-crosses-entry.rar";
  const std::vector<uint8_t> bytes = readBytes(path);
  ASSERT_EQ(bytes.size(), 789u);
  for (const std::vector<size_t>& order : std::vector<std::vector<size_t>>{{0, 1}, {1, 0}, {1, 1, 0, 0}}) {
    rar::MemorySource source(bytes.data(), bytes.size());
    rar::ArchiveReader reader(rar::readIndex(source));
    ASSERT_EQ(reader.index().entries.size(), 2u);
    for (size_t i : order) {
      rar::Block block;
      const rar::Status status = reader.extract(source, i, "", block);
      if (i == 0) {
        EXPECT_EQ(status, rar::Status::Ok);
        EXPECT_EQ(block.size(), 200u);
      } else {
        EXPECT_EQ(status, rar::Status::BadData);
      }
    }
  }
  // The player's way in: by name, the entry names cut at their zero bytes.
  const Loaded first = get(path, "a.tht", nullptr);
  EXPECT_EQ(first.result, 1);
  EXPECT_EQ(first.bytes.size(), 200u);
  EXPECT_EQ(get(path, "b.w", nullptr).result, 0);
}

}  // namespace
