#include "launcher/SampleDemoFallback.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "launcher/CommandLine.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

TEST(InstalledSampleDemo, LiesUnderShareBesideTheProgramsFolder) {
  EXPECT_EQ(installedSampleDemo("/usr/bin/demoengine"), fs::path("/usr/share/demoengine/sample"));
  EXPECT_EQ(installedSampleDemo("/opt/demoengine-0.1.0-Linux/bin/demoengine"),
            fs::path("/opt/demoengine-0.1.0-Linux/share/demoengine/sample"));
}

// An installed tree (prefix/bin/demoengine with prefix/share/demoengine/sample/data.vkd), a
// build tree (build/demoengine, nothing beside it), an installed tree whose sample lost its
// archive, and the directories a player may be started in.
class SampleDemoFallback : public ::testing::Test {
 protected:
  void SetUp() override {
    root.write("prefix/bin/demoengine", "");
    root.write("prefix/share/demoengine/sample/data.vkd", "archive");
    root.write("prefix/share/demoengine/sample/soundtrack.ogg", "music");
    root.write("build/demoengine", "");
    root.write("build/demo/data.vkd", "archive");
    root.write("emptied/bin/demoengine", "");
    root.write("emptied/share/demoengine/sample/soundtrack.ogg", "music");
    fs::create_directories(root / "empty");
    root.write("own/data.vkd", "archive");
    root.write("musiconly/soundtrack.ogg", "music");
    root.write("models/cube.obj", "v 0 0 0\n");
    fs::create_directories(root / "dangling");
    fs::create_symlink(root / "nowhere/data.vkd", root / "dangling/data.vkd");
  }

  CommandLineOptions options(std::vector<std::string> args) const {
    std::vector<const char*> argv{"demoengine"};
    for (const std::string& a : args) argv.push_back(a.c_str());
    CommandLineOptions parsed;
    std::ostringstream out, err;
    const CommandLineResult result = parseCommandLine(static_cast<int>(argv.size()), argv.data(), &parsed, out, err);
    EXPECT_TRUE(result.run) << err.str();
    return parsed;
  }

  TempDir root{"sample_demo_test"};
};

TEST_F(SampleDemoFallback, PlaysTheSampleOnlyWhereThereIsNoDemoAndNoDemoIsNamed) {
  const std::string demo = root.str() + "/build/demo";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* workingDirectory;
    const char* executable;
    bool playsSample;
  };
  const std::vector<Case> cases = {
      {"installed, empty directory", {}, "empty", "prefix/bin/demoengine", true},
      {"installed, empty directory, capture", {"--headless", "--capture", "frames", "--end", "1000"}, "empty",
       "prefix/bin/demoengine", true},
      {"installed, music but no archive", {"--no-dialog"}, "musiconly", "prefix/bin/demoengine", true},
      {"installed, data.vkd in the directory", {}, "own", "prefix/bin/demoengine", false},
      {"installed, a broken data.vkd link", {}, "dangling", "prefix/bin/demoengine", false},
      {"installed, --data", {"--data", demo}, "empty", "prefix/bin/demoengine", false},
      {"installed, --dev", {"--dev", demo}, "empty", "prefix/bin/demoengine", false},
      {"installed, --check", {"--check"}, "empty", "prefix/bin/demoengine", false},
      {"installed, --check DIR", {"--check", demo}, "empty", "prefix/bin/demoengine", false},
      {"installed, --view", {"--view", root.str() + "/models/cube.obj"}, "empty", "prefix/bin/demoengine", false},
      {"build tree, empty directory", {}, "empty", "build/demoengine", false},
      {"installed, sample without its archive", {}, "empty", "emptied/bin/demoengine", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto sample = sampleDemoFallback(options(c.args), root / c.workingDirectory, root / c.executable, "data.vkd");
    if (c.playsSample) {
      ASSERT_TRUE(sample.has_value());
      EXPECT_EQ(*sample, root / "prefix/share/demoengine/sample");
    } else {
      EXPECT_FALSE(sample.has_value()) << *sample;
    }
  }
}

TEST_F(SampleDemoFallback, AnUnknownProgramOrDirectoryChangesNothing) {
  EXPECT_FALSE(sampleDemoFallback(options({}), root / "empty", fs::path(), "data.vkd").has_value());
  EXPECT_FALSE(sampleDemoFallback(options({}), fs::path(), root / "prefix/bin/demoengine", "data.vkd").has_value());
}

TEST(RunningExecutable, IsThisTestProgram) {
  EXPECT_EQ(runningExecutable().filename(), "SampleDemoFallback_test");
}

}  // namespace
