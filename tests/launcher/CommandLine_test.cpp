#include "launcher/CommandLine.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

struct Parsed {
  CommandLineResult result;
  CommandLineOptions options;
  std::string out;
  std::string err;
};

Parsed parse(std::vector<const char*> args) {
  args.insert(args.begin(), "demoengine");
  Parsed p;
  std::ostringstream out, err;
  p.result = parseCommandLine(static_cast<int>(args.size()), args.data(), &p.options, out, err);
  p.out = out.str();
  p.err = err.str();
  return p;
}

TEST(CommandLine, NoArgumentsRunsTheDialogPath) {
  const Parsed p = parse({});
  EXPECT_TRUE(p.result.run);
  EXPECT_TRUE(p.options.showDialog());
  EXPECT_FALSE(p.options.capturing());
  EXPECT_EQ(p.options.fps, 60);
  EXPECT_FALSE(p.options.width.has_value());
  EXPECT_FALSE(p.options.startMs.has_value());
}

TEST(CommandLine, EveryOptionIsRead) {
  const Parsed p = parse({"--no-dialog", "--resolution", "1024x768", "--fullscreen", "--fsaa", "4",
                          "--no-music", "--data", ".", "--headless", "--start", "1500",
                          "--capture", "out", "--fps", "25", "--end", "2000", "--overlay", "--profile", "p.csv"});
  ASSERT_TRUE(p.result.run) << p.err;
  EXPECT_TRUE(p.options.noDialog);
  EXPECT_EQ(*p.options.width, 1024);
  EXPECT_EQ(*p.options.height, 768);
  EXPECT_TRUE(p.options.fullscreen);
  EXPECT_EQ(*p.options.fsaa, 4);
  EXPECT_TRUE(p.options.noMusic);
  EXPECT_EQ(p.options.dataDirectory, ".");
  EXPECT_TRUE(p.options.headless);
  EXPECT_EQ(*p.options.startMs, 1500u);
  EXPECT_EQ(p.options.captureDirectory, "out");
  EXPECT_EQ(p.options.fps, 25);
  EXPECT_EQ(*p.options.endMs, 2000u);
  EXPECT_TRUE(p.options.overlay);
  EXPECT_EQ(p.options.profileFile, "p.csv");
  EXPECT_FALSE(parse({}).options.overlay);
}

TEST(CommandLine, HeadlessAndCaptureNeverShowTheDialog) {
  EXPECT_FALSE(parse({"--headless"}).options.showDialog());
  EXPECT_FALSE(parse({"--capture", "dir"}).options.showDialog());
  EXPECT_FALSE(parse({"--record", "a.mp4"}).options.showDialog());
}

TEST(CommandLine, HelpListsTheOptionsAndExitsZero) {
  const Parsed p = parse({"--help"});
  EXPECT_FALSE(p.result.run);
  EXPECT_EQ(p.result.exitCode, 0);
  for (const char* name : {"--no-dialog", "--resolution", "--fullscreen", "--fsaa", "--no-music", "--data",
                           "--headless", "--start", "--capture", "--fps", "--end", "--record", "--overlay", "--dev", "--check",
                           "--profile"})
    EXPECT_NE(p.out.find(name), std::string::npos) << name;
}

void expectBadUsage(std::vector<const char*> args, const std::string& mention) {
  const Parsed p = parse(args);
  EXPECT_FALSE(p.result.run);
  EXPECT_EQ(p.result.exitCode, 2);
  EXPECT_NE(p.err.find(mention), std::string::npos) << p.err;
  EXPECT_NE(p.err.find("--help"), std::string::npos) << p.err;
}

TEST(CommandLine, BadValuesExitWithCode2AndSayWhy) {
  expectBadUsage({"--resolution", "big"}, "WIDTHxHEIGHT");
  expectBadUsage({"--resolution", "0x600"}, "between 1 and");
  expectBadUsage({"--resolution", "800x99999"}, "between 1 and");
  expectBadUsage({"--resolution"}, "--resolution");
  expectBadUsage({"--fps", "0"}, "--fps");
  expectBadUsage({"--fps", "sixty"}, "--fps");
  expectBadUsage({"--fsaa", "-2"}, "--fsaa");
  expectBadUsage({"--start", "-1"}, "--start");
  expectBadUsage({"--end", "soon"}, "--end");
  expectBadUsage({"--data", "/nonexistent/directory/for/sure"}, "--data");
  expectBadUsage({"--frobnicate"}, "frobnicate");
  expectBadUsage({"--start", "3000", "--end", "2000"}, "before --start");
  expectBadUsage({"--capture", "d", "--record", "f.mp4"}, "cannot be combined");
  expectBadUsage({"--dev", "/nonexistent/directory/for/sure"}, "--dev");
  expectBadUsage({"--dev", ".", "--data", "."}, "leave out --data");
  expectBadUsage({"--check", "--dev", "."}, "--check");
  expectBadUsage({"--check", "--capture", "d"}, "--check");
  expectBadUsage({"--check", "--profile", "p.csv"}, "--profile");
  expectBadUsage({"--check", ".", "--data", "."}, "give one");
}

TEST(CommandLine, AuthoringModesAndTheirDirectories) {
  Parsed p = parse({"--dev", ".", "--headless"});
  ASSERT_TRUE(p.result.run) << p.err;
  EXPECT_EQ(p.options.devDirectory, ".");
  EXPECT_TRUE(p.options.developing());
  EXPECT_FALSE(parse({"--dev", "."}).options.showDialog());
  p = parse({"--check"});
  ASSERT_TRUE(p.result.run) << p.err;
  EXPECT_TRUE(p.options.check);
  EXPECT_EQ(p.options.checkDirectory, "");
  EXPECT_FALSE(p.options.showDialog());
  p = parse({"--check", "demo", "--resolution", "640x480"});
  EXPECT_EQ(p.options.checkDirectory, "demo");
  EXPECT_EQ(*p.options.width, 640);
  EXPECT_FALSE(parse({}).options.check);
}

TEST(CommandLine, FsaaOutsideTheListIsLeftToTheWindow) {
  // 3 is a number the window itself refuses, with its own fatal report.
  const Parsed p = parse({"--fsaa", "3"});
  EXPECT_TRUE(p.result.run);
  EXPECT_EQ(*p.options.fsaa, 3);
}

TEST(CommandLine, SyncWithItsAddressRowTracksAndFolder) {
  Parsed p = parse({"--sync"});
  ASSERT_TRUE(p.result.run) << p.err;
  EXPECT_EQ(p.options.syncHost + ":" + std::to_string(p.options.syncPort), "localhost:1338");
  p = parse({"--sync", "editor.lan:4000", "--sync-row", "50", "--sync-track", "fade:*", "--sync-track", "bg:Red",
             "--sync-out", "tracks"});
  ASSERT_TRUE(p.result.run) << p.err;
  EXPECT_EQ(p.options.syncHost + ":" + std::to_string(p.options.syncPort), "editor.lan:4000");
  EXPECT_EQ(p.options.syncRowMs, 50u);
  EXPECT_EQ(p.options.syncTracks, (std::vector<std::string>{"fade:*", "bg:Red"}));
  EXPECT_EQ(p.options.syncOut, "tracks");
  EXPECT_TRUE(parse({"--sync-row", "40"}).result.run) << "the row length also serves track files alone";
  const std::vector<std::vector<const char*>> bad{
      {"--sync", "host:99999"}, {"--sync-row", "0"}, {"--sync-track", "bg:Red"}, {"--sync-out", "x"}, {"--check", "--sync"}};
  for (const auto& args : bad) EXPECT_EQ(parse(args).result.exitCode, 2) << args[0];
}

}  // namespace
