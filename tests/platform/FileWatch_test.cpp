#include "platform/FileWatch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using Paths = std::vector<std::string>;

class FileWatchTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(watch.ok());
    work.write("data/scripts/demo.script", "one");
    work.write("data/scripts/other.script", "x");
    watch.watch({"data/scripts/demo.script", "./data/images/later.png", "data/scenes/a.vkg"});
  }
  void write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  // The kernel queues an event before the call that caused it returns; the wait only guards
  // a slow machine.
  Paths changes() {
    watch.wait(100);
    return watch.takeChanges();
  }

  WorkingDirectory work{"filewatch"};
  platform::FileWatch watch;
};

TEST_F(FileWatchTest, WritingAWatchedFileIsSeenOnceAndOtherFilesAreNot) {
  write("data/scripts/other.script", "y");
  EXPECT_EQ(changes(), Paths{});
  write("data/scripts/demo.script", "two");
  write("data/scripts/demo.script", "three");
  EXPECT_EQ(changes(), Paths{"data/scripts/demo.script"});
  EXPECT_EQ(changes(), Paths{});
}

TEST_F(FileWatchTest, AnEditorSavingByRenameOverTheFileIsSeen) {
  write("data/scripts/.demo.script.swp", "new");
  fs::rename("data/scripts/.demo.script.swp", "data/scripts/demo.script");
  EXPECT_EQ(changes(), Paths{"data/scripts/demo.script"});
  // The watch is on the folder, so the new file goes on being watched.
  write("data/scripts/demo.script", "again");
  EXPECT_EQ(changes(), Paths{"data/scripts/demo.script"});
  fs::remove("data/scripts/demo.script");
  EXPECT_EQ(changes(), Paths{"data/scripts/demo.script"});
}

TEST_F(FileWatchTest, FilesAndFoldersThatDoNotExistYetAreSeenWhenTheyAppear) {
  work.write("data/images/later.png", "png");
  EXPECT_EQ(changes(), Paths{"data/images/later.png"});
  fs::create_directory("data/scenes");  // watched through data/ until it exists
  EXPECT_EQ(changes(), Paths{"data/scenes/a.vkg"});
}

TEST_F(FileWatchTest, ANewListReplacesTheOldOne) {
  watch.watch({"data/scripts/other.script"});
  write("data/scripts/demo.script", "two");
  write("data/scripts/other.script", "two");
  EXPECT_EQ(changes(), Paths{"data/scripts/other.script"});
}

}  // namespace
