// The frame profile as a demo maker uses it: demoengine --profile writes one row per effect
// and frame, scripts/profile turns the file into a plot and a table per part.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/Program.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// "a" clears all the time; "b" clears from 500 to 800 ms; the second part starts at 600 ms.
void packTwoPartDemo(const fs::path& directory) {
  packDemo(directory, {{"data/scripts/demo_kx06.script",
                        "DEMO_START 0\nDEMO_END 1000\nDEFINE_DEMO_PART 0\nDEFINE_DEMO_PART 600\n"
                        "INSERT_EFFECT Clear AS a\nINSERT_EFFECT Clear AS b\n__TIMELINE__\n"
                        "0 b a\n500 b b\n800 e b\n"}});
}

struct Row {
  int frame, demoMs, part, partStart;
  double frameMs;
  std::string effect;
  double updateMs, renderMs;
};

std::vector<Row> readRows(const fs::path& path, std::string* header) {
  std::istringstream in(readText(path));
  std::getline(in, *header);
  std::vector<Row> rows;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::stringstream fields(line);
    for (std::string field; std::getline(fields, field, ',');) f.push_back(field);
    if (f.size() != 8) {
      ADD_FAILURE() << "row of " << f.size() << " fields: " << line;
      continue;
    }
    rows.push_back({std::stoi(f[0]), std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[3]), std::stod(f[4]), f[5],
                    std::stod(f[6]), std::stod(f[7])});
  }
  return rows;
}

class FrameProfile : public testing::Test {
 protected:
  TempDir temp{"de_profile"};
  const fs::path& directory = temp.path();
};

TEST_F(FrameProfile, ACaptureWritesEveryEffectOfEveryFrameWithItsPartAndTheScriptPlotsIt) {
  packTwoPartDemo(directory);
  const ProgramRun run =
      runProgram(directory, "--headless --no-music --capture frames --fps 10 --end 1000 --profile times.csv");
  ASSERT_EQ(run.exitCode, 0) << run.output();
  EXPECT_NE(run.out.find("11 frames profiled into " + (directory / "times.csv").string()), std::string::npos)
      << run.out;

  std::string header;
  const std::vector<Row> rows = readRows(directory / "times.csv", &header);
  EXPECT_EQ(header, "frame,demo_ms,part,part_start_ms,frame_ms,effect,update_ms,render_ms");
  // Frames 0..10 at 0, 100, ... ms: "a" in each until the end, "b" in the three from 500
  // until 800.
  ASSERT_EQ(rows.size(), 11u + 3u);
  size_t r = 0;
  for (int frame = 0; frame <= 10; ++frame) {
    const int t = frame * 100;
    std::vector<std::string> effects;
    double effectSum = 0;
    for (; r < rows.size() && rows[r].frame == frame; ++r) {
      const Row& row = rows[r];
      EXPECT_EQ(row.demoMs, t);
      EXPECT_EQ(row.part, t < 600 ? 1 : 2) << t;
      EXPECT_EQ(row.partStart, t < 600 ? 0 : 600) << t;
      EXPECT_GE(row.updateMs, 0);
      EXPECT_GE(row.renderMs, 0);
      effectSum += row.updateMs + row.renderMs;
      effects.push_back(row.effect);
      // The frame holds its effects' times (each rounded to a microsecond).
      EXPECT_GE(rows[r].frameMs + 0.002 * static_cast<double>(effects.size()), effectSum) << t;
    }
    // At the demo's end nothing is on any more: the frame still has its row, with no effect.
    const std::vector<std::string> expected = t == 1000 ? std::vector<std::string>{""}
                                              : t >= 500 && t < 800 ? std::vector<std::string>{"a", "b"}
                                                                    : std::vector<std::string>{"a"};
    EXPECT_EQ(effects, expected) << t;
  }

  if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  const ProgramRun plot =
      runCommand(directory, "'" DE_SOURCE_DIR "/scripts/profile' times.csv --names opening,closing -o plot.svg");
  ASSERT_EQ(plot.exitCode, 0) << plot.output();
  const std::string svg = readText(directory / "plot.svg");
  EXPECT_EQ(svg.rfind("<svg", 0), 0u);
  for (const char* text : {">opening<", ">closing<", ">a<", ">b<", "demo time"})
    EXPECT_NE(svg.find(text), std::string::npos) << text;
  // One table line per part with its frame count: six frames before 600 ms, five after.
  std::istringstream table(plot.out);
  std::string line;
  std::getline(table, line);
  std::getline(table, line);
  EXPECT_EQ(line.rfind("opening", 0), 0u) << plot.out;
  EXPECT_NE(line.find("0:00.00       6 "), std::string::npos) << line;
  std::getline(table, line);
  EXPECT_EQ(line.rfind("closing", 0), 0u) << plot.out;
  EXPECT_NE(line.find("0:00.60       5 "), std::string::npos) << line;
}

TEST_F(FrameProfile, APlainHeadlessRunIsProfiledToo) {
  packTwoPartDemo(directory);
  const ProgramRun run = runProgram(directory, "--headless --no-music --end 300 --profile live.csv");
  ASSERT_EQ(run.exitCode, 0) << run.output();
  std::string header;
  const std::vector<Row> rows = readRows(directory / "live.csv", &header);
  ASSERT_FALSE(rows.empty());
  for (size_t i = 1; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].frame, rows[i - 1].frame + 1);
    EXPECT_GE(rows[i].demoMs, rows[i - 1].demoMs);
    EXPECT_EQ(rows[i].effect, "a");
  }
}

TEST_F(FrameProfile, AFileThatCannotBeWrittenStopsBeforeTheWindowAndAnythingButAProfileIsRefusedByTheScript) {
  packTwoPartDemo(directory);
  const ProgramRun run = runProgram(directory, "--headless --no-music --end 300 --profile missing/times.csv");
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_EQ(run.err, "demoengine: --profile " + (directory / "missing/times.csv").string() +
                         ": No such file or directory\n");

  if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 is not installed";
  writeText(directory / "other.csv", "time,value\n1,2\n");
  const ProgramRun plot = runCommand(directory, "'" DE_SOURCE_DIR "/scripts/profile' other.csv");
  EXPECT_EQ(plot.exitCode, 1);
  EXPECT_NE(plot.err.find("other.csv: not a frame profile"), std::string::npos) << plot.err;
  EXPECT_FALSE(fs::exists(directory / "other.svg"));
}

}  // namespace
