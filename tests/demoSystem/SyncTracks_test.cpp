// The sync tracks a load sets up: which there are and in what order, and what the editor
// owns surviving a reload. (Track files in runs and checks: tests/launcher/Sync_gltest.)
#include "demoSystem/SyncTracks.h"

#include <gtest/gtest.h>

#include "demoSystem/Effect.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "demos/EffectList.h"
#include "support/TempDir.h"

namespace {

using I = SyncInterpolation;

constexpr const char* kScript = "data/scripts/demo.script";

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

}  // namespace
