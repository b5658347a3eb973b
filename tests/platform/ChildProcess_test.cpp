#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/Console.h"
#include "platform/Files.h"
#include "support/TempDir.h"

// The stand-in for the program a recording starts is this test program itself: started with
// DE_STAND_IN set, it does what the variable says before any test runs, and ends.
//   "count 3": reads its input to the end, says how many bytes came, exits with status 3;
//   "arguments": says its arguments, one a line; "quit": ends at once without reading.
namespace {

const bool kStandIn = [] {
  const char* mode = std::getenv("DE_STAND_IN");
  if (!mode || !*mode) return false;
  const std::string what = mode;
  if (what.rfind("count", 0) == 0) {
    long long total = 0;
    char buffer[65536];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) total += static_cast<long long>(n);
    std::fprintf(stderr, "first line\nstand-in: %lld bytes\n", total);
    std::exit(std::atoi(what.c_str() + 5));
  }
  if (what == "arguments") {
    // Arguments as the system hands them over, in UTF-8.
    const std::vector<std::string> given = platform::programArguments(0, nullptr);
    for (size_t i = 1; i < given.size(); ++i) std::fprintf(stderr, "%s\n", given[i].c_str());
  }
  std::exit(0);
}();

// The stand-in's messages, less the CRs Windows puts before each line break.
std::string contents(const std::string& file) {
  std::ifstream in(platform::pathFromUtf8(file), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::string lines = text.str();
  std::erase(lines, '\r');
  return lines;
}

class ChildProcessTest : public testing::Test {
 protected:
  ~ChildProcessTest() override { platform::setEnvironment("DE_STAND_IN", ""); }
  std::string start(const char* mode, const std::vector<std::string>& arguments = {}) {
    platform::setEnvironment("DE_STAND_IN", mode);
    std::string error;
    EXPECT_TRUE(child.start(platform::utf8FromPath(platform::programFile()), arguments, log, &error)) << error;
    return error;
  }
  TempDir dir{"de_child"};
  const std::string log = platform::utf8FromPath(dir / "log ü.txt");
  platform::ChildProcess child;
};

TEST_F(ChildProcessTest, EveryBytePipedArrivesAndTheExitStatusAndMessagesComeBack) {
  start("count 3");
  const std::vector<uint8_t> frame(1 << 20, 7);
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(child.write(frame.data(), frame.size()));
  const platform::ChildProcess::End end = child.finish();
  EXPECT_FALSE(end.succeeded);
  EXPECT_EQ(end.how, "exit status 3");
  EXPECT_EQ(contents(log), "first line\nstand-in: 5242880 bytes\n");
  EXPECT_FALSE(child.running());
  EXPECT_FALSE(child.write(frame.data(), 1));
}

TEST_F(ChildProcessTest, ArgumentsArriveAsGivenWithoutAShell) {
  const std::vector<std::string> arguments = {"plain", "two words", "quote \" inside", "trailing\\",
                                              "back\\\\\"slashes", "$HOME;|&*?", "", "ünïcödé ✓"};
  start("arguments", arguments);
  EXPECT_TRUE(child.finish().succeeded);
  std::string expected;
  for (const std::string& argument : arguments) expected += argument + "\n";
  EXPECT_EQ(contents(log), expected);
}

TEST_F(ChildProcessTest, AProgramThatStopsReadingFailsTheWriteInsteadOfEndingThisProcess) {
  start("quit");
  const std::vector<uint8_t> frame(8 << 20, 1);
  bool taken = true;
  for (int i = 0; i < 8 && taken; ++i) taken = child.write(frame.data(), frame.size());
  EXPECT_FALSE(taken);
  EXPECT_TRUE(child.finish().succeeded);
}

TEST(FindProgram, ProgramsAreFoundOnThePathAndUnknownNamesAreNot) {
  TempDir folder("de_find");
  const std::string name = "de-stand-in" + platform::utf8FromPath(platform::programFile().extension());
  std::filesystem::copy_file(platform::programFile(), folder / name);
  const char* path = std::getenv("PATH");
  const std::string previous = path ? path : "";
  platform::setEnvironment("PATH", (folder.str() + (platform::isSeparator('\\') ? ";" : ":") + previous).c_str());
  const std::string found = platform::findProgram("de-stand-in");
  const std::string missing = platform::findProgram("de-no-such-program");
  platform::setEnvironment("PATH", previous.c_str());
  EXPECT_TRUE(std::filesystem::equivalent(platform::pathFromUtf8(found), folder / name)) << found;
  EXPECT_EQ(missing, "");
}

}  // namespace
