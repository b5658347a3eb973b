#include "platform/Files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

std::string readAll(const std::string& name) {
  std::FILE* in = platform::openFile(name, "rb");
  if (!in) return "(cannot open)";
  std::string text;
  char buffer[256];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) text.append(buffer, n);
  std::fclose(in);
  return text;
}

bool write(const std::string& name, const std::string& text) {
  std::FILE* out = platform::openFile(name, "wb");
  if (!out) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fclose(out) == 0 && ok;
}

TEST(Files, NamesInUtf8AreOpenedRenamedOverAndEnteredAsThemselves) {
  TempDir dir("de_files");
  const std::string folder = platform::utf8FromPath(dir.path()) + "/Grüße ✓";
  fs::create_directory(platform::pathFromUtf8(folder));
  const std::string name = folder + "/Ärger € 日本.txt", other = folder + "/neu.tmp";
  ASSERT_TRUE(write(name, "old"));
  EXPECT_TRUE(fs::exists(dir.path() / fs::path(u8"Grüße ✓") / fs::path(u8"Ärger € 日本.txt")));
  // Replacing an existing file in one step, which a plain rename refuses on Windows.
  ASSERT_TRUE(write(other, "new"));
  std::string error;
  EXPECT_TRUE(platform::replaceFile(other, name, &error)) << error;
  EXPECT_EQ(readAll(name), "new");
  EXPECT_FALSE(fs::exists(platform::pathFromUtf8(other)));
  EXPECT_FALSE(platform::replaceFile(other, name, &error));
  EXPECT_FALSE(error.empty());

  const fs::path before = fs::current_path();
  ASSERT_TRUE(platform::setCurrentFolder(folder, &error)) << error;
  EXPECT_EQ(readAll("Ärger € 日本.txt"), "new");
  // Either separator on Windows; the system's own elsewhere.
  if (platform::isSeparator('\\')) {
    EXPECT_EQ(readAll(".\\Ärger € 日本.txt"), "new");
  }
  EXPECT_FALSE(platform::setCurrentFolder(folder + "/missing", &error));
  fs::current_path(before);
  EXPECT_EQ(platform::openFile(folder + "/missing/x", "rb"), nullptr);
}

TEST(Files, AFileIsReadAtAnyOffsetAndKnownByItsIdentity) {
  TempDir dir("de_read_at");
  const std::string name = platform::utf8FromPath(dir.path()) + "/daten ä.bin";
  ASSERT_TRUE(write(name, "0123456789abcdef"));
  platform::FileIdentity first;
  {
    platform::ReadOnlyFile file;
    ASSERT_TRUE(file.open(name));
    char got[6] = {};
    EXPECT_TRUE(file.readAt(10, got, 6));
    EXPECT_EQ(std::string(got, 6), "abcdef");
    EXPECT_TRUE(file.readAt(2, got, 3));
    EXPECT_EQ(std::string(got, 3), "234");
    EXPECT_FALSE(file.readAt(12, got, 6));  // past the end
    EXPECT_EQ(file.identity().size, 16u);
    platform::ReadOnlyFile same;
    ASSERT_TRUE(same.open(name));
    EXPECT_EQ(same.identity(), file.identity());
    first = file.identity();
  }
  // Windows refuses to replace a file while it is open.
  ASSERT_TRUE(write(name + ".new", "another version"));
  ASSERT_TRUE(platform::replaceFile(name + ".new", name, nullptr));
  platform::ReadOnlyFile replaced;
  ASSERT_TRUE(replaced.open(name));
  EXPECT_NE(replaced.identity(), first);
  // Folders and missing files are not regular files.
  EXPECT_FALSE(platform::ReadOnlyFile().open(platform::utf8FromPath(dir.path())));
  EXPECT_FALSE(platform::ReadOnlyFile().open(name + ".missing"));
}

TEST(Files, TemporaryFoldersAndFilesAreNewEachTime) {
  const std::string a = platform::makeTemporaryFolder("de-tmp-"), b = platform::makeTemporaryFolder("de-tmp-");
  const std::string f = platform::makeTemporaryFile("de-tmp-");
  ASSERT_FALSE(a.empty());
  ASSERT_FALSE(f.empty());
  EXPECT_NE(a, b);
  EXPECT_TRUE(fs::is_directory(platform::pathFromUtf8(a)));
  EXPECT_TRUE(fs::is_regular_file(platform::pathFromUtf8(f)));
  EXPECT_EQ(fs::file_size(platform::pathFromUtf8(f)), 0u);
  EXPECT_TRUE(fs::path(platform::pathFromUtf8(a)).filename().string().rfind("de-tmp-", 0) == 0);
  for (const std::string& made : {a, b, f}) fs::remove(platform::pathFromUtf8(made));
  EXPECT_TRUE(fs::exists(platform::programFile()));
}

TEST(Files, PlainNamesAreWhatTheSystemTakesAsOneName) {
  const bool windows = platform::isSeparator('\\');
  struct Case {
    const char* name;
    bool plain;             // everywhere
    bool plainOnWindows;
  };
  const Case cases[] = {{"grüße.txt", true, true}, {"a b.tar.gz", true, true}, {"", false, false},
                        {"a/b", false, false},      {"C:", true, false},        {"x:stream", true, false},
                        {"a\\b", true, false},      {"why?", true, false},      {"nul", true, false},
                        {"COM3.txt", true, false},  {"com0", true, true},       {"console", true, true},
                        {"tab\t", true, false}};
  for (const Case& c : cases) EXPECT_EQ(platform::isPlainName(c.name), windows ? c.plainOnWindows : c.plain) << c.name;
}

}  // namespace

TEST(Files, TheNullDeviceIsDevNullEverywhereAndNulOnWindows) {
  EXPECT_TRUE(platform::isNullDevice("/dev/null"));
  for (const char* other : {"", "/dev/null/", "/dev/nul", "dev/null", "NULL", "NUL.png", "frames"})
    EXPECT_FALSE(platform::isNullDevice(other)) << other;
#ifdef _WIN32
  const bool windows = true;
#else
  const bool windows = false;
#endif
  for (const char* nul : {"NUL", "nul", "Nul", "\\\\.\\NUL"}) EXPECT_EQ(platform::isNullDevice(nul), windows) << nul;
}
