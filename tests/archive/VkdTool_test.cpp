// The vkd tool against an independent reader: what `vkd pack` writes must list, test and
// extract identically with unar/lsar, and what `vkd extract` gives must equal what unar
// gives, for our archives and for the real ones.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "VkdTestSupport.h"
#include "archive/vkd.h"

namespace {

using namespace vkdtest;

using Tree = std::map<std::string, std::vector<uint8_t>>;  // relative path -> contents

Tree readTree(const fs::path& root) {
  Tree tree;
  for (const auto& item : fs::recursive_directory_iterator(root))
    if (item.is_regular_file()) tree[item.path().lexically_relative(root).generic_string()] = readBytes(item.path());
  return tree;
}

std::vector<uint8_t> noise(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) b = uint8_t(random());
  return bytes;
}

// Every shape of input that has bitten archivers: nothing, one byte, sizes around the
// cipher's 16-byte blocks, deep folders, many files, and a few megabytes.
Tree sampleTree() {
  Tree tree;
  tree["data/empty.txt"] = {};
  tree["data/one.bin"] = {0x5A};
  for (size_t size : {15, 16, 17, 31, 32, 33, 255, 256, 4095, 4096, 4097})
    tree["data/sizes/s" + std::to_string(size) + ".bin"] = noise(size, uint32_t(size));
  tree["data/scripts/main.txt"] = bytesOf("INSERT_EFFECT layer\r\n");
  tree["data/a/b/c/d/deep.txt"] = bytesOf("deep");
  for (int i = 0; i < 150; ++i) tree["data/many/file" + std::to_string(i) + ".dat"] = noise(size_t(i * 7), uint32_t(i));
  tree["data/big/three-megabytes.bin"] = noise(3 * 1024 * 1024 + 5, 99);
  return tree;
}

void writeTree(const fs::path& root, const Tree& tree) {
  for (const auto& [name, bytes] : tree) writeBytes(root / name, bytes);
}

class VkdTool : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kVkd)) << "build the vkd target first";
  }
  static void requireUnar() {
    if (!haveCommand("unar") || !haveCommand("lsar")) GTEST_SKIP() << "unar/lsar not installed (scripts/setup-deps installs them)";
  }
  CommandResult vkd(const std::string& arguments) { return run(shellQuoted(kVkd) + " " + arguments); }

  ScratchDir scratch_;
};

TEST_F(VkdTool, PackedArchivesPassLsarAndUnarExtractsTheSameTree) {
  requireUnar();
  const Tree tree = sampleTree();
  writeTree(scratch_ / "in", tree);
  const fs::path archive = scratch_ / "data.vkd";
  for (const std::string password : {"lynxa42", ""}) {
    const std::string p = password.empty() ? "" : "-p " + password + " ";
    const CommandResult pack = vkd("pack " + p + shellQuoted(archive) + " " + shellQuoted(scratch_ / "in"));
    ASSERT_EQ(pack.exitCode, 0) << pack.output;

    const CommandResult lsar = run("lsar -t " + p + shellQuoted(archive));
    EXPECT_EQ(lsar.exitCode, 0) << lsar.output;
    EXPECT_NE(lsar.output.find(std::to_string(tree.size()) + " passed, 0 failed."), std::string::npos) << lsar.output;

    const CommandResult listing = run("lsar " + shellQuoted(archive));
    for (const auto& [name, bytes] : tree) EXPECT_NE(listing.output.find(name), std::string::npos) << name;

    const fs::path byUnar = scratch_ / ("unar" + password), byVkd = scratch_ / ("vkd" + password);
    const CommandResult unar = run("unar -q -nr -D -f " + p + "-o " + shellQuoted(byUnar) + " " + shellQuoted(archive));
    ASSERT_EQ(unar.exitCode, 0) << unar.output;
    EXPECT_TRUE(readTree(byUnar) == tree) << "unar extracts what was packed";

    const CommandResult extract = vkd("extract " + p + shellQuoted(archive) + " " + shellQuoted(byVkd));
    ASSERT_EQ(extract.exitCode, 0) << extract.output;
    EXPECT_TRUE(readTree(byVkd) == tree) << "vkd extracts what was packed";

    const CommandResult test = vkd("test " + p + shellQuoted(archive));
    EXPECT_EQ(test.exitCode, 0) << test.output;
  }
}

TEST_F(VkdTool, ThePlayerReadsPackedArchivesByTheirDemoPaths) {
  const Tree tree = sampleTree();
  writeTree(scratch_ / "in", tree);
  const fs::path archive = scratch_ / "data.vkd";
  ASSERT_EQ(vkd("pack -p lynxa42 " + shellQuoted(archive) + " " + shellQuoted(scratch_ / "in")).exitCode, 0);
  for (const auto& [name, bytes] : tree) {
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(archiveGet(name.c_str(), archive.c_str(), "lynxa42", &data, &size), 1) << name;
    EXPECT_TRUE(std::vector<uint8_t>(data, data + size) == bytes) << name;
    std::free(data);
  }
}

TEST_F(VkdTool, WrongPasswordsFailTheTestAndUnarAgrees) {
  requireUnar();
  writeTree(scratch_ / "in", {{"secret.txt", bytesOf("the secret")}});
  const fs::path archive = scratch_ / "s.vkd";
  ASSERT_EQ(vkd("pack -p right " + shellQuoted(archive) + " " + shellQuoted(scratch_ / "in")).exitCode, 0);
  const CommandResult test = vkd("test -p wrong " + shellQuoted(archive));
  EXPECT_EQ(test.exitCode, 1);
  EXPECT_NE(test.output.find("secret.txt: CRC mismatch"), std::string::npos) << test.output;
  EXPECT_NE(run("lsar -t -p wrong " + shellQuoted(archive)).exitCode, 0);
}

TEST_F(VkdTool, OutputDependsOnlyOnContentsWhenTheTimeIsFixed) {
  writeTree(scratch_ / "in", {{"b.txt", bytesOf("b")}, {"a/z.txt", bytesOf("z")}, {"a.txt", bytesOf("a")}});
  const fs::path first = scratch_ / "1.vkd", second = scratch_ / "2.vkd";
  ASSERT_EQ(vkd("pack --mtime 0 -p pw " + shellQuoted(first) + " " + shellQuoted(scratch_ / "in")).exitCode, 0);
  const timespec later[2] = {{0, UTIME_OMIT}, {1234567890, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (scratch_ / "in/b.txt").c_str(), later, 0), 0);
  ASSERT_EQ(vkd("pack --mtime 0 -p pw " + shellQuoted(second) + " " + shellQuoted(scratch_ / "in")).exitCode, 0);
  EXPECT_EQ(readBytes(first), readBytes(second));

  // Without --mtime each entry carries its file's time, read back in UTC.
  ASSERT_EQ(vkd("pack -p pw " + shellQuoted(second) + " " + shellQuoted(scratch_ / "in")).exitCode, 0);
  const CommandResult listing = vkd("list " + shellQuoted(second));
  EXPECT_NE(listing.output.find("2009-02-13 23:31:30 "), std::string::npos) << listing.output;
  EXPECT_NE(listing.output.find("a\\z.txt"), std::string::npos) << "stored with RAR's separator";
}

TEST_F(VkdTool, ExtractNeverWritesOutsideTheTargetDirectory) {
  ArchiveBuilder archive;
  archive.addFile("..\\escaped.txt", bytesOf("bad"));
  archive.addFile("\\absolute.txt", bytesOf("bad"));
  archive.addFile("sub\\..\\..\\climbed.txt", bytesOf("bad"));
  archive.addFile("link\\through.txt", bytesOf("bad"));
  archive.addFile("fine\\ok.txt", bytesOf("good"));
  archive.addEnd();
  writeBytes(scratch_ / "evil.vkd", archive.bytes());
  const fs::path target = scratch_ / "box" / "target";
  fs::create_directories(target);
  fs::create_directories(scratch_ / "box" / "outside");
  fs::create_directory_symlink(scratch_ / "box" / "outside", target / "link");

  const CommandResult extract = vkd("extract " + shellQuoted(scratch_ / "evil.vkd") + " " + shellQuoted(target));
  EXPECT_EQ(extract.exitCode, 1) << extract.output;
  EXPECT_NE(extract.output.find("unsafe path"), std::string::npos) << extract.output;
  EXPECT_EQ(readBytes(target / "fine/ok.txt"), bytesOf("good"));
  EXPECT_FALSE(fs::exists(scratch_ / "box" / "escaped.txt"));
  EXPECT_FALSE(fs::exists(scratch_ / "absolute.txt"));
  EXPECT_FALSE(fs::exists(scratch_ / "box" / "climbed.txt"));
  EXPECT_FALSE(fs::exists(scratch_ / "box" / "outside" / "through.txt"));
}

TEST_F(VkdTool, DamagedArchivesFailTheTest) {
  writeTree(scratch_ / "in", {{"f.bin", noise(1000, 1)}});
  const fs::path archive = scratch_ / "d.vkd";
  ASSERT_EQ(vkd("pack -p pw " + shellQuoted(archive) + " " + shellQuoted(scratch_ / "in")).exitCode, 0);
  std::vector<uint8_t> bytes = readBytes(archive);
  bytes[bytes.size() - 100] ^= 0x01;
  writeBytes(archive, bytes);
  EXPECT_EQ(vkd("test -p pw " + shellQuoted(archive)).exitCode, 1);
  bytes.resize(bytes.size() - 200);
  writeBytes(archive, bytes);
  const CommandResult truncated = vkd("test -p pw " + shellQuoted(archive));
  EXPECT_EQ(truncated.exitCode, 1);
  EXPECT_NE(truncated.output.find("truncated"), std::string::npos) << truncated.output;
}

TEST_F(VkdTool, BadUsageGivesClearMessagesAndNonZeroExits) {
  EXPECT_EQ(vkd("--help").exitCode, 0);
  EXPECT_NE(vkd("").exitCode, 0);
  EXPECT_NE(vkd("unpack x").exitCode, 0);
  const CommandResult missingDir = vkd("pack " + shellQuoted(scratch_ / "o.vkd") + " " + shellQuoted(scratch_ / "nothing"));
  EXPECT_EQ(missingDir.exitCode, 1);
  EXPECT_NE(missingDir.output.find("not a directory"), std::string::npos) << missingDir.output;
  EXPECT_FALSE(fs::exists(scratch_ / "o.vkd"));
  writeBytes(scratch_ / "plain.txt", bytesOf("not an archive"));
  const CommandResult notArchive = vkd("list " + shellQuoted(scratch_ / "plain.txt"));
  EXPECT_EQ(notArchive.exitCode, 1);
  EXPECT_NE(notArchive.output.find("not a RAR 2.x archive"), std::string::npos) << notArchive.output;
  EXPECT_EQ(vkd("test " + shellQuoted(scratch_ / "missing.vkd")).exitCode, 1);
}

TEST_F(VkdTool, NamesThePlayerCouldNotTellApartAreRefused) {
  writeTree(scratch_ / "in", {{"Readme.txt", bytesOf("1")}, {"README.TXT", bytesOf("2")}});
  const CommandResult pack = vkd("pack " + shellQuoted(scratch_ / "o.vkd") + " " + shellQuoted(scratch_ / "in"));
  EXPECT_EQ(pack.exitCode, 1);
  EXPECT_NE(pack.output.find("differ only in case"), std::string::npos) << pack.output;
}

TEST_F(VkdTool, RealArchivesExtractLikeUnar) {
  requireUnar();
  for (const char* name : {"junrar-BoatModernEnglish-regular-unpack20.rar",
                           "junrar-BoatModernEnglish-audio-text-unpack20.rar", "junrar-rar20-password-stored.rar",
                           "junrar-rar20-password-compressed.rar", "rarfile-rar202-comment-psw.rar",
                           "rarfile-rar202-comment-nopsw.rar"}) {
    const fs::path archive = kRealArchives + name;
    const fs::path byUnar = scratch_ / "unar" / name, byVkd = scratch_ / "vkd" / name;
    ASSERT_EQ(run("unar -q -nr -D -f -p password -o " + shellQuoted(byUnar) + " " + shellQuoted(archive)).exitCode, 0);
    const CommandResult extract = vkd("extract -p password " + shellQuoted(archive) + " " + shellQuoted(byVkd));
    EXPECT_EQ(extract.exitCode, 0) << name << extract.output;
    const Tree expected = readTree(byUnar);
    EXPECT_FALSE(expected.empty());
    EXPECT_TRUE(readTree(byVkd) == expected) << name;
    EXPECT_EQ(vkd("test -p password " + shellQuoted(archive)).exitCode, 0) << name;
  }
}

TEST_F(VkdTool, TheSolidMatchRegressionEndsWithAFailureNotASignal) {
  // `vkd test` and `vkd extract` once died of SIGSEGV on this archive; the first entry
  // reads as unar reads it, the second's data runs out.
  const fs::path archive = DE_TESTDATA_DIR "/regressions/solid-match-crosses-entry.rar";
  const CommandResult tested = vkd("test " + shellQuoted(archive));
  EXPECT_EQ(tested.exitCode, 1) << tested.output;
  EXPECT_NE(tested.output.find("b.w: corrupt packed data"), std::string::npos) << tested.output;
  const fs::path byVkd = scratch_ / "vkd";
  const CommandResult extracted = vkd("extract " + shellQuoted(archive) + " " + shellQuoted(byVkd));
  EXPECT_EQ(extracted.exitCode, 1) << extracted.output;
  EXPECT_EQ(readBytes(byVkd / "a.tht").size(), 200u);
  EXPECT_FALSE(fs::exists(byVkd / "b.w"));
  requireUnar();
  const fs::path byUnar = scratch_ / "unar";
  run("unar -q -nr -D -f -o " + shellQuoted(byUnar) + " " + shellQuoted(archive));
  EXPECT_TRUE(readBytes(byUnar / "a.tht") == readBytes(byVkd / "a.tht"));
}

}  // namespace
