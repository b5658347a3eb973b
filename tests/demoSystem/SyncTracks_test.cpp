// The sync tracks a load sets up: which there are and in what order, and what the editor
// owns surviving a reload. (Track files in runs and checks: tests/launcher/Sync_gltest.)
#include "demoSystem/SyncTracks.h"

#include <gtest/gtest.h>

#include "demoSystem/Effect.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "demos/EffectList.h"
#include "support/TempDir.h"
#include <fstream>
#include <iterator>

namespace {

using I = SyncInterpolation;

constexpr const char* kScript = "data/scripts/demo.script";

// The child-program support (with its own file reader) is not part of the Windows test build.
std::string fileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SyncTracksTest : public testing::Test {
 protected:
  void SetUp() override {
    syncTracks().clear();
    effectRegistry = &effects;
    eventList = &events;
    dir.write(kScript,
              "DEMO_END 10000\nDEMO_BEAT 100\nINSERT_EFFECT Clear AS p\nINSERT_EFFECT Clear AS q\n__TIMELINE__\n"
              "0 s q Green 1\n0 s p Red 0.5\n500 s q Green 0\n");
  }
  void TearDown() override {
    syncTracks().release(effects);
    effects.clear();
    syncTracks().clear();
    effectRegistry = nullptr;
    eventList = nullptr;
  }
  void writeTrack(const std::string& track, const std::vector<SyncKey>& keys) {
    dir.write(trackFilePath(track), trackFileBytes(keys));
  }
  Variable& variable(const std::string& track) { return *findTrackVariable(effects, track); }

  WorkingDirectory dir{"de_sync"};
  EffectList effects;
  EventList events;
};

TEST_F(SyncTracksTest, TracksComeInScriptOrderThenTrackFilesThenPatterns) {
  writeTrack("q:Alpha", {{0, 1, I::Step}});
  dir.write("data/sync/notes.txt", "not a track");
  syncTracks().setPatterns({"p:*", "q:Blue", "nobody:*"});
  loadScript(kScript);
  std::vector<std::string> names;
  for (size_t i = 0; i < syncTracks().size(); ++i) names.push_back(syncTracks()[i].name());
  EXPECT_EQ(names, (std::vector<std::string>{"q:Green", "p:Red", "q:Alpha",
                                             // p:*: every float, bool and integer variable, "Pattern" not
                                             "p:Speed", "p:SpectrumStr", "p:Factor0", "p:Factor1", "p:Factor2",
                                             "p:Factor3", "p:BlendSrc", "p:BlendDst", "p:BlendEquation", "p:Green",
                                             "p:Blue", "p:Alpha", "p:ClearColor", "p:ClearStencil", "p:ClearDepth",
                                             "q:Blue"}));
}

TEST_F(SyncTracksTest, AReloadKeepsWhatTheEditorKeyedAndOtherwiseReadsTheFilesAgain) {
  writeTrack("p:Red", {{0, 0.5f, I::Step}});
  writeTrack("q:ClearColor", {{0, 0, I::Step}});
  loadScript(kScript);
  EXPECT_EQ(variable("q:ClearColor").evaluate(0), 0) << "the file, not the constructor's true";
  const long red = syncTracks().find("p:Red");
  ASSERT_GE(red, 0);
  syncTracks().giveToEditor(static_cast<size_t>(red));
  syncTracks()[static_cast<size_t>(red)].setKey({0, 0.125f, I::Step});
  std::filesystem::remove(dir.dir() / trackFilePath("q:ClearColor"));

  loadScript(kScript);
  EXPECT_FLOAT_EQ(variable("p:Red").evaluate(0), 0.125f);
  EXPECT_EQ(variable("q:ClearColor").evaluate(0), 1) << "its file is gone";
  EXPECT_EQ(syncTracks().find("p:Red"), red) << "tracks keep their numbers";
}

// Files of the previous version's names are read and noted with their new names; the save
// writes the new names and removes the old ones.
TEST_F(SyncTracksTest, PreviousNamesAreReadNotedAndReplacedByTheSave) {
#ifdef _WIN32
  // A colon cannot be part of a Windows file name ("p:" reads as a drive), so no previous
  // version left such files there; Wine lets the test make them, and then the library's
  // remove_all of the temporary folder joins "p:Red.track" to it as a drive path and never ends.
  GTEST_SKIP() << "the previous names hold a colon, which Windows file names cannot";
#endif
  dir.write("data/sync/p:Red.track", trackFileBytes({{0, 0.25f, I::Step}}));
  dir.write("data/sync/q:Blue.track", trackFileBytes({{0, 0.5f, I::Step}}));
  dir.write("data/sync/sync_q-3ABlue.track", trackFileBytes({{0, 0.75f, I::Step}}));
  loadScript(kScript);
  EXPECT_FLOAT_EQ(variable("p:Red").evaluate(0), 0.25f);
  EXPECT_FLOAT_EQ(variable("q:Blue").evaluate(0), 0.75f) << "the new name wins";
  std::vector<std::string> notes;
  for (const ScriptProblem& note : readTrackFiles(effects, {}).notes) notes.push_back(note.text());
  EXPECT_EQ(notes, (std::vector<std::string>{
                       "data/sync/p:Red.track:0: sync track file under its previous name: read, but its name is now "
                       "data/sync/sync_p-3ARed.track (the name a save writes and the reference player reads)",
                       "data/sync/q:Blue.track:0: sync track file under its previous name, not read: "
                       "data/sync/sync_q-3ABlue.track holds the track"}));
  size_t written = 0;
  std::string error;
  ASSERT_TRUE(syncTracks().save("data/sync", &written, &error)) << error;
  EXPECT_EQ(written, 2u);
  EXPECT_FALSE(std::filesystem::exists("data/sync/p:Red.track"));
  EXPECT_FALSE(std::filesystem::exists("data/sync/q:Blue.track"));
  EXPECT_TRUE(std::filesystem::exists("data/sync/sync_p-3ARed.track"));
}

// A save that cannot write (a full device behind the temporary name), install or remove a
// file keeps every old file, names the track and the reason, and counts nothing saved.
TEST_F(SyncTracksTest, ASaveThatFailsKeepsTheOldFilesAndSaysWhy) {
#ifdef _WIN32
  GTEST_SKIP() << "the full device behind the temporary name has no Windows counterpart";
#endif
  writeTrack("p:Red", {{0, 0.25f, I::Step}});
  writeTrack("q:Blue", {{0, 0.5f, I::Step}});
  loadScript(kScript);
  syncTracks()[static_cast<size_t>(syncTracks().find("p:Red"))].setKey({1, 1, I::Linear});
  const std::string red = trackFileBytes({{0, 0.25f, I::Step}});
  std::filesystem::create_symlink("/dev/full", "data/sync/sync_q-3ABlue.track.part");
  size_t written = 7;
  std::string error;
  EXPECT_FALSE(syncTracks().save("data/sync", &written, &error));
  EXPECT_EQ(error, "track q:Blue, data/sync/sync_q-3ABlue.track: No space left on device");
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(fileBytes(dir.dir() / trackFilePath("p:Red")), red) << "not installed: the save failed as a whole";
  EXPECT_EQ(fileBytes(dir.dir() / trackFilePath("q:Blue")), trackFileBytes({{0, 0.5f, I::Step}}));
  EXPECT_FALSE(std::filesystem::exists("data/sync/sync_q-3ABlue.track.part"));
  EXPECT_FALSE(std::filesystem::exists("data/sync/sync_p-3ARed.track.part"));

  // A track emptied whose file cannot go.
  syncTracks()[static_cast<size_t>(syncTracks().find("q:Blue"))].clearKeys();
  std::filesystem::remove(trackFilePath("q:Blue"));
  dir.write(trackFilePath("q:Blue") + "/in-the-way", "");
  EXPECT_FALSE(syncTracks().save("data/sync", &written, &error));
  EXPECT_EQ(error, "track q:Blue, data/sync/sync_q-3ABlue.track: Directory not empty");
  EXPECT_EQ(written, 0u);
}

}  // namespace
