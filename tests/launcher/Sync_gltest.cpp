// The program with --sync against an editor written here (a loopback server), run the way
// a demo maker runs it: keys of each interpolation in captured frames, seeks and pauses,
// a save whose track files replay the same frames without the editor, traffic the
// protocol does not hold, --dev reloads, and track files that a check or a run refuses.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "demoSystem/SyncTrack.h"
#include "support/Program.h"
#include "support/TempDir.h"
#include "support/TestSyncEditor.h"

namespace fs = std::filesystem;

namespace {

using I = SyncInterpolation;

// A clear colour from three keyed channels, one row per 100 ms beat.
const char* const kScript =
    "DEMO_START 0\nDEMO_END 10000\nDEMO_BEAT 100\nINSERT_EFFECT Clear AS bg\n__TIMELINE__\n0 b bg\n"
    "0 s bg Red 0\n0 s bg Green 0\n0 s bg Blue 0\n";

class SyncProgram : public testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(editor.port(), 0); }

  // The program in the background while the test plays the editor.
  std::future<ProgramRun> start(const fs::path& directory, const std::string& arguments) {
    return std::async(std::launch::async, [=] { return runProgram(directory, arguments); });
  }
  std::string sync() const { return " --sync " + editor.address(); }

  // Red linear, green smooth, blue ramp from 0 at row 0 to 1 at row 10; red steps down to
  // 0.2 at row 20.
  void keyAllFour() {
    editor.setKey(0, {0, 0, I::Linear});
    editor.setKey(0, {10, 1, I::Step});
    editor.setKey(0, {20, 0.2f, I::Step});
    editor.setKey(1, {0, 0, I::Smooth});
    editor.setKey(1, {10, 1, I::Step});
    editor.setKey(2, {0, 0, I::Ramp});
    editor.setKey(2, {10, 1, I::Step});
  }

  static std::array<int, 3> centre(const fs::path& png) {
    const RgbImage image = readPng(png);
    EXPECT_TRUE(image.ok) << png;
    if (!image.ok) return {-1, -1, -1};
    const uint8_t* p = image.at(image.width / 2, image.height / 2);
    return {p[0], p[1], p[2]};
  }

  TempDir temp{"de_sync"};
  TestSyncEditor editor;
};

void expectNear(const std::array<int, 3>& got, const std::array<int, 3>& want, const std::string& what) {
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 1) << what << " channel " << c;
}

TEST_F(SyncProgram, KeysOfEachInterpolationShowInTheCapturedFramesAndTheEditorHearsTheRows) {
  packDemo(temp.path(), {{"data/scripts/demo_kx06.script", kScript}});
  auto run = start(temp.path(), "--headless --no-music --resolution 64x48 --capture frames --fps 4 --end 2250" + sync());
  ASSERT_TRUE(editor.accept(20000));
  ASSERT_TRUE(editor.waitForTracks(3));
  EXPECT_EQ(editor.tracks, (std::vector<std::string>{"bg:Red", "bg:Green", "bg:Blue"}));
  keyAllFour();
  editor.read(30000, [&] { return editor.closedByDemo; });
  const ProgramRun result = run.get();
  ASSERT_EQ(result.exitCode, 0) << result.output();
  EXPECT_NE(result.err.find("connected to the sync editor at " + editor.address()), std::string::npos) << result.err;

  // Frame i shows 250·i ms, row 2.5·i. At row 2.5 (t = 1/4): linear 1/4, smooth
  // 3t² − 2t³ = 0.15625, ramp t² = 1/16; at row 7.5 (t = 3/4): 3/4, 0.84375, 0.5625.
  expectNear(centre(temp.path() / "frames" / frameName(0)), {0, 0, 0}, "0 ms");
  expectNear(centre(temp.path() / "frames" / frameName(1)), {64, 40, 16}, "250 ms");
  expectNear(centre(temp.path() / "frames" / frameName(3)), {191, 215, 143}, "750 ms");
  expectNear(centre(temp.path() / "frames" / frameName(6)), {255, 255, 255}, "1500 ms");
  expectNear(centre(temp.path() / "frames" / frameName(9)), {51, 255, 255}, "2250 ms: red stepped to 0.2");
  // The rows the capture played: 0, 2, 5, 7, 10, … 22.
  ASSERT_FALSE(editor.rows.empty());
  EXPECT_EQ(editor.rows.back(), 22u);
  EXPECT_TRUE(editor.protocolError.empty()) << editor.protocolError;
}

// The editor saves, then sends a byte no command starts with: the demo lets it go with one
// line and plays on with what it had; the saved files play the same frames without it.
TEST_F(SyncProgram, ASaveWritesTrackFilesThatPlayTheSameFramesWithoutTheEditor) {
  packDemo(temp.path(), {{"data/scripts/demo_kx06.script", kScript}});
  auto run = start(temp.path(), "--headless --no-music --resolution 64x48 --capture live --fps 4 --end 2250 "
                                "--sync-out tracks" + sync());
  ASSERT_TRUE(editor.accept(20000));
  ASSERT_TRUE(editor.waitForTracks(3));
  keyAllFour();
  editor.save();
  editor.send("\xff");
  EXPECT_TRUE(editor.waitForClose(10000));
  const ProgramRun live = run.get();
  ASSERT_EQ(live.exitCode, 0) << live.output();
  EXPECT_NE(live.err.find("saved 3 sync tracks into " + (temp.path() / "tracks").string() + "\n"), std::string::npos)
      << live.err;
  EXPECT_NE(live.err.find("demoengine: the sync editor at " + editor.address() +
                          " sent unknown command byte 255; connection closed, connecting again in a second\n"),
            std::string::npos)
      << live.err;
  expectNear(centre(temp.path() / "live" / frameName(1)), {64, 40, 16}, "250 ms");

  // The saved files packed with the script, played with no editor anywhere.
  std::map<std::string, std::string> files{{"data/scripts/demo_kx06.script", kScript}};
  for (const char* track : {"bg:Red", "bg:Green", "bg:Blue"})
    files[trackFilePath(track)] = readText(temp.path() / "tracks" / trackFileName(track));
  EXPECT_EQ(files[trackFilePath("bg:Blue")], trackFileBytes({{0, 0, I::Ramp}, {10, 1, I::Step}}));
  TempDir packed{"de_sync_packed"};
  packDemo(packed.path(), files);
  const ProgramRun replay =
      runProgram(packed.path(), "--headless --no-music --resolution 64x48 --capture frames --fps 4 --end 2250");
  ASSERT_EQ(replay.exitCode, 0) << replay.output();
  for (int i = 0; i <= 9; ++i) {
    const RgbImage a = readPng(temp.path() / "live" / frameName(i));
    const RgbImage b = readPng(packed.path() / "frames" / frameName(i));
    ASSERT_TRUE(a.ok && b.ok) << i;
    EXPECT_EQ(a.rgb, b.rgb) << "frame " << i;
  }
}

// The editor serves one demo at a time and closes the others: a capture that never got its
// answers captures nothing and fails with one line.
TEST_F(SyncProgram, ACaptureTheEditorNeverAnsweredFails) {
  packDemo(temp.path(), {{"data/scripts/demo_kx06.script", kScript}});
  auto run = start(temp.path(), "--headless --no-music --resolution 64x48 --capture frames --fps 4 --end 1000" + sync());
  ASSERT_TRUE(editor.accept(20000));
  editor.dropClient();
  const ProgramRun result = run.get();
  EXPECT_EQ(result.exitCode, 1) << result.output();
  EXPECT_NE(result.err.find("demoengine: --sync: no answers from the sync editor at " + editor.address() +
                            " to the demo's track requests (the editor is unreachable, or it closed the connection: "
                            "another demo may be connected to it); nothing captured\n"),
            std::string::npos)
      << result.err;
  EXPECT_FALSE(fs::exists(temp.path() / "frames" / frameName(0)));
}

TEST_F(SyncProgram, SetRowSeeksAndPauseHoldsTheDemo) {
  packDemo(temp.path(), {{"data/scripts/demo_kx06.script", kScript}});
  auto run = start(temp.path(), "--headless --no-music --resolution 64x48 --end 6000" + sync());
  ASSERT_TRUE(editor.accept(20000));
  ASSERT_TRUE(editor.waitForTracks(3));
  ASSERT_TRUE(editor.read(5000, [&] { return !editor.rows.empty(); })) << "the playing demo tells its rows";
  editor.pause(true);
  editor.read(300, [] { return false; });
  const size_t heard = editor.rows.size();
  const uint32_t pausedAt = editor.rows.back();
  editor.read(600, [] { return false; });
  EXPECT_EQ(editor.rows.size(), heard) << "no row moves while paused";
  EXPECT_LT(pausedAt, 50u);
  editor.setRow(50);
  editor.pause(false);
  ASSERT_TRUE(editor.read(20000, [&] { return editor.closedByDemo; }));
  const ProgramRun result = run.get();
  EXPECT_EQ(result.exitCode, 0) << result.output();
  // After the seek the demo played on from row 50 to the end at row 60.
  ASSERT_GT(editor.rows.size(), heard);
  EXPECT_GE(editor.rows[heard], 50u);
  EXPECT_LE(editor.rows[heard], 52u);
  EXPECT_EQ(editor.rows.back(), 60u);
}

// --dev: a reload keeps the connection and asks for the tracks it did not have; the
// editor's save writes into the tree being played and reloads nothing.
TEST_F(SyncProgram, ADevReloadKeepsTheConnectionAndAsksForNewTracks) {
  TempDir tree{"de_sync_dev"};
  tree.write("data/scripts/demo_kx06.script", kScript);
  tree.write(trackFilePath("bg:Red"), trackFileBytes({{0, 0.5f, I::Step}}));  // read, so watched
  auto run = start(tree.path(), "--dev . --headless --no-music --resolution 64x48 --end 20000" + sync());
  ASSERT_TRUE(editor.accept(20000));
  ASSERT_TRUE(editor.waitForTracks(3));
  editor.setKey(0, {4, 0.25f, I::Linear});
  editor.save();
  const std::string saved = trackFileBytes({{4, 0.25f, I::Linear}});
  const fs::path redFile = tree.path() / trackFilePath("bg:Red");
  ASSERT_TRUE(editor.read(10000, [&] { return readText(redFile) == saved; }));
  editor.read(500, [] { return false; });  // a reload would have come by now

  tree.write("data/scripts/demo_kx06.script", std::string(kScript) + "0 s bg Alpha 1\n");
  ASSERT_TRUE(editor.read(10000, [&] { return editor.tracks.size() == 4; })) << "on the same connection";
  EXPECT_EQ(editor.tracks.back(), "bg:Alpha");
  editor.setRow(199);
  ASSERT_TRUE(editor.read(20000, [&] { return editor.closedByDemo; }));
  const ProgramRun result = run.get();
  EXPECT_EQ(result.exitCode, 0) << result.output();
  EXPECT_NE(result.err.find("saved 1 sync track into " + (tree.path() / "data/sync").string()), std::string::npos)
      << result.err;
  EXPECT_EQ(result.err.find("reloaded after a change to data/sync"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("reloaded after a change to data/scripts/demo_kx06.script"), std::string::npos)
      << result.err;
  EXPECT_EQ(readText(redFile), saved) << "the reload kept the editor's keys";
}

TEST_F(SyncProgram, TrackFilesThatDoNotReadStopARunAndACheckListsThem) {
  TempDir tree{"de_sync_tree"};
  tree.write("data/scripts/demo_kx06.script", kScript);
  tree.write(trackFilePath("bg:Red"), std::string("\x03\0\0\0", 4));
  tree.write(trackFilePath("fg:Red"), trackFileBytes({{0, 1, I::Step}}));
  tree.write(trackFilePath("bg:Green"), trackFileBytes({{0, 1, I::Step}}));
  tree.write("data/sync/bg:Alpha.track", trackFileBytes({{0, 1, I::Step}}));  // the previous version's name
  ProgramRun check = runProgram(tree.path(), "--check .");
  EXPECT_EQ(check.exitCode, 1);
  EXPECT_EQ(check.out,
            "data/sync/sync_bg-3ARed.track:0: sync track file: truncated: 3 keys, the file holds 0\n"
            "data/sync/bg:Alpha.track:0: sync track file under its previous name: read, but its name is now "
            "data/sync/sync_bg-3AAlpha.track (the name a save writes and the reference player reads)\n"
            "data/scripts/demo_kx06.script:8: bg:Green is keyed by the script and by "
            "data/sync/sync_bg-3AGreen.track (the track file wins)\n"
            "data/sync/sync_fg-3ARed.track:0: sync track file names no effect instance: fg (it drives nothing)\n")
      << check.err;

  packDemo(temp.path(), {{"data/scripts/demo_kx06.script", kScript},
                         {trackFilePath("bg:Red"), std::string("\x03\0\0\0", 4)}});
  const ProgramRun run = runProgram(temp.path(), "--headless --no-music --end 100");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("sync track file: truncated: 3 keys, the file holds 0: data/sync/sync_bg-3ARed.track"),
            std::string::npos)
      << run.err;
}

}  // namespace
