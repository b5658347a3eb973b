// The sync tracks a load sets up: which tracks there are and in what order, track files
// read at every load and driving their variables, what the editor owns surviving a reload,
// and what a check of the demo says about track files.
#include "demoSystem/SyncTracks.h"

#include <gtest/gtest.h>

#include "demoSystem/AuthoringLoad.h"
#include "demoSystem/Effect.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/TimelineEvent.h"
#include "demos/EffectList.h"
#include "support/Program.h"
#include "support/TempDir.h"

namespace {

using I = SyncInterpolation;

class Probe : public Effect {
 public:
  explicit Probe(const std::string& name) : Effect(name) {
    Choice.choiceCount = 3;
    registerVariable(&Value, "Value", Variable::kNoStringTable, Variable::kFloat);
    registerVariable(&Switch, "Switch", Variable::kNoStringTable, Variable::kBool);
    registerVariable(&Choice, "Choice", Variable::kNoStringTable, Variable::kInteger);
    registerVariable(&Text, "Text", Variable::kNoStringTable, Variable::kString);
  }
  void render(uint32_t) override {}
  FloatVariable Value;
  BoolVariable Switch;
  IntVariable Choice;
  StringVariable Text;
};

const EffectType kTypes[] = {{"Probe", [](const std::string& n) -> Effect* { return new Probe(n); }}};

constexpr const char* kScript = "data/scripts/demo.script";

class SyncTracksTest : public testing::Test {
 protected:
  void SetUp() override {
    syncTracks().clear();
    effectRegistry = &effects;
    eventList = &events;
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
  std::vector<std::string> trackNames() const {
    std::vector<std::string> names;
    for (size_t i = 0; i < syncTracks().size(); ++i) names.push_back(syncTracks()[i].name());
    return names;
  }
  Probe& probe(const std::string& name) { return *static_cast<Probe*>(effects.findEffect(name)); }

  WorkingDirectory dir{"de_sync"};
  EffectList effects{kTypes};
  EventList events;
};

const char* const kTwoProbes =
    "DEMO_END 10000\nDEMO_BEAT 100\nINSERT_EFFECT Probe AS p\nINSERT_EFFECT Probe AS q\n__TIMELINE__\n"
    "0 s q Switch 1\n0 s p Value 0.5\n500 s q Switch 0\n";

TEST_F(SyncTracksTest, TracksComeInScriptOrderThenTrackFilesThenPatterns) {
  dir.write(kScript, kTwoProbes);
  writeTrack("q:Choice", {{0, 1, I::Step}});
  dir.write("data/sync/notes.txt", "not a track");
  syncTracks().setPatterns({"p:*", "q:Value", "nobody:*"});
  loadScript(kScript);
  EXPECT_EQ(trackNames(), (std::vector<std::string>{"q:Switch", "p:Value", "q:Choice",
                                                    // p:*, every float, bool and integer variable in order
                                                    "p:Speed", "p:SpectrumStr", "p:Factor0", "p:Factor1", "p:Factor2",
                                                    "p:Factor3", "p:BlendSrc", "p:BlendDst", "p:BlendEquation",
                                                    "p:Switch", "p:Choice", "q:Value"}));
}

TEST_F(SyncTracksTest, ATrackFileDrivesItsVariableInEveryRun) {
  dir.write(kScript, kTwoProbes);
  // Rows of 100 ms: from 0 at row 0 linearly to 1 at row 10 (1000 ms).
  writeTrack("p:Value", {{0, 0, I::Linear}, {10, 1, I::Step}});
  writeTrack("q:Choice", {{0, 1, I::Step}});  // the last of three choices
  loadScript(kScript);
  EXPECT_FLOAT_EQ(probe("p").Value.evaluate(250), 0.25f) << "the track, not the script's 0.5";
  EXPECT_EQ(probe("q").Choice.evaluateInt(0), 2u);
  EXPECT_TRUE(probe("q").Switch.evaluateBool(0)) << "the script's keys, as no track file holds keys for it";
}

TEST_F(SyncTracksTest, AReloadKeepsWhatTheEditorKeyedAndOtherwiseReadsTheFilesAgain) {
  dir.write(kScript, kTwoProbes);
  writeTrack("p:Value", {{0, 0.5f, I::Step}});
  writeTrack("q:Choice", {{0, 0.5f, I::Step}});
  loadScript(kScript);
  const long value = syncTracks().find("p:Value");
  ASSERT_GE(value, 0);
  syncTracks().giveToEditor(static_cast<size_t>(value));
  syncTracks()[static_cast<size_t>(value)].setKey({0, 0.125f, I::Step});
  std::filesystem::remove(dir.dir() / trackFilePath("q:Choice"));

  loadScript(kScript);
  EXPECT_FLOAT_EQ(probe("p").Value.evaluate(0), 0.125f);
  EXPECT_EQ(probe("q").Choice.evaluateInt(0), 0u) << "its file is gone";
  EXPECT_EQ(syncTracks().find("p:Value"), value) << "tracks keep their numbers";
}

TEST_F(SyncTracksTest, SavingWritesTracksWithKeysAndRemovesTheFilesOfEmptyOnes) {
  dir.write(kScript, kTwoProbes);
  writeTrack("q:Switch", {{0, 1, I::Step}});
  loadScript(kScript);
  syncTracks()[0].clearKeys();  // q:Switch
  syncTracks()[1].setKey({3, 0.5f, I::Ramp});  // p:Value
  size_t written = 0;
  std::string error;
  ASSERT_TRUE(syncTracks().save((dir.dir() / "data/sync").string(), &written, &error)) << error;
  EXPECT_EQ(written, 1u);
  EXPECT_FALSE(std::filesystem::exists(dir.dir() / trackFilePath("q:Switch")));
  EXPECT_EQ(readText(dir.dir() / trackFilePath("p:Value")), trackFileBytes({{3, 0.5f, I::Ramp}}));
}

TEST_F(SyncTracksTest, ACheckListsBrokenTrackFilesAndNotesTheOnesThatDriveNothingOrOverrideTheScript) {
  dir.write(kScript, kTwoProbes);
  writeTrack("p:Value", {{0, 1, I::Step}});
  writeTrack("ghost:Value", {{0, 1, I::Step}});
  writeTrack("p:Nothing", {{0, 1, I::Step}});
  writeTrack("p:Text", {{0, 1, I::Step}});
  dir.write(trackFilePath("q:Value"), std::string("\x02\0\0\0\0\0\0\0\0\0\0\0\0", 13));
  EffectList loaded(kTypes);
  EventList loadedEvents;
  const AuthoringLoad load = loadScriptForAuthoring(kScript, loaded, loadedEvents);
  std::vector<std::string> problems, notes;
  for (const ScriptProblem& p : load.problems) problems.push_back(p.text());
  for (const ScriptProblem& p : load.notes) notes.push_back(p.text());
  EXPECT_EQ(problems, (std::vector<std::string>{
                          "data/sync/q:Value.track:0: sync track file: truncated: 2 keys, the file holds 1"}));
  EXPECT_EQ(notes, (std::vector<std::string>{
                       "data/sync/ghost:Value.track:0: sync track file names no effect instance: ghost (it drives nothing)",
                       "data/sync/p:Nothing.track:0: sync track file names no float, bool or integer variable of p: "
                       "Nothing (it drives nothing)",
                       "data/sync/p:Text.track:0: sync track file names no float, bool or integer variable of p: Text "
                       "(it drives nothing)",
                       "data/scripts/demo.script:7: p:Value is keyed by the script and by data/sync/p:Value.track (the "
                       "track file wins)"}));
  EXPECT_NE(std::find(load.filesRead.begin(), load.filesRead.end(), "data/sync/p:Value.track"), load.filesRead.end());
}

TEST_F(SyncTracksTest, ATrackFileThatDoesNotReadStopsARunNamingIt) {
  dir.write(kScript, kTwoProbes);
  writeTrack("p:Value", {{4, 1, I::Step}, {2, 0, I::Step}});
  EXPECT_EXIT(loadScript(kScript), testing::ExitedWithCode(1),
              "demoSystem/SyncTracks.cpp:[0-9]+ sync track file: rows out of order: key 2 \\(row 2\\) after row 4: "
              "data/sync/p:Value.track\n$");
}

}  // namespace
