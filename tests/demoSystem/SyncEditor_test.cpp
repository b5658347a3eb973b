// The demo's connection to a sync editor against an editor written here, on a clock the
// test moves: retries, an editor that goes away, traffic the protocol does not hold. (What a
// session does to the demo is tested on the program, tests/launcher/Sync_gltest.)
#include "demoSystem/SyncEditor.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/TestSyncEditor.h"

namespace {

using I = SyncInterpolation;

class SyncEditorTest : public testing::Test {
 protected:
  SyncEditorTest() {
    tracks.add("bg:Red");
    tracks.add("fade:Alpha");
    editor.pump = [this] { demo.poll(); };
  }

  // The demo connected and its tracks asked for.
  void session() {
    ASSERT_TRUE(editor.accept());
    ASSERT_TRUE(editor.waitForTracks(tracks.size()));
    ASSERT_TRUE(demo.connected());
    said.clear();
  }
  void wait(int ms) { editor.read(ms, [] { return false; }); }

  SyncTrackSet tracks;
  int64_t now = 0;
  std::vector<std::string> said;
  TestSyncEditor editor;
  SyncEditor demo{"127.0.0.1", editor.port(), tracks, [this] { return now; },
                  [this](const std::string& line) { said.push_back(line); }};
};

TEST_F(SyncEditorTest, WithoutAnEditorOneLineAndAnotherTryEverySecond) {
  uint16_t port = 0;
  {
    TestSyncEditor gone;  // a port that was free a moment ago
    port = gone.port();
  }
  SyncEditor absent("127.0.0.1", port, tracks, [this] { return now; }, [this](const std::string& l) { said.push_back(l); });
  editor.pump = [&] { absent.poll(); };
  editor.read(3000, [&] { return !said.empty(); });
  EXPECT_EQ(said, (std::vector<std::string>{"no sync editor at 127.0.0.1:" + std::to_string(port) +
                                            " (Connection refused); the demo plays on and connects when one is there"}));
  TestSyncEditor late(port);
  late.pump = editor.pump;
  now = 999;
  EXPECT_FALSE(late.accept(100)) << "tried again before a second had passed";
  now = 1000;
  EXPECT_TRUE(late.accept());
  EXPECT_TRUE(late.waitForTracks(2));
  EXPECT_EQ(said.back(), "connected to the sync editor at " + late.address());
}

// Each closes the connection with one line, and a second later the demo is back.
TEST_F(SyncEditorTest, TrafficTheProtocolDoesNotHoldClosesTheConnectionWithOneLine) {
  std::string keyForTrack7, badInterpolation, notANumber, truncated, getTrack;
  appendSetKey(keyForTrack7, 7, {0, 1, I::Step});
  appendSetKey(badInterpolation, 0, {0, 1, I::Step});
  badInterpolation.back() = 9;
  appendSetKey(notANumber, 0, {0, std::nanf(""), I::Step});
  appendSetKey(truncated, 0, {0, 1, I::Step});
  truncated.resize(6);
  appendGetTrack(getTrack, "x");
  const struct {
    std::string bytes;
    std::string why;
  } cases[] = {
      {keyForTrack7, "sent key for track 7, of 2 asked for"},
      {badInterpolation, "sent unknown interpolation 9"},
      {notANumber, "sent a key value that is not a number"},
      {"\x2a", "sent unknown command byte 42"},
      {getTrack, "sent GET_TRACK sent by the editor"},
      {truncated, "sent a truncated command"},
  };
  for (const auto& c : cases) {
    session();
    editor.send(c.bytes);
    wait(50);
    now += SyncEditor::kPartialCommandMs;  // a command cut short stays so for a second
    EXPECT_TRUE(editor.waitForClose()) << c.why;
    EXPECT_EQ(said, (std::vector<std::string>{"the sync editor at " + editor.address() + " " + c.why +
                                               "; connection closed, connecting again in a second"}));
    now += SyncEditor::kRetryMs;
  }
}

TEST_F(SyncEditorTest, AnEditorThatGoesAwayIsToldOnceAndFoundAgainAndItsLastKeysHold) {
  tracks[0].setKey({0, 0.5f, I::Step});  // from a track file: the editor's answer replaces it
  session();
  EXPECT_EQ(tracks[0].keyCount(), 0u);
  editor.pump = nullptr;
  editor.setKey(0, {0, 1, I::Linear});  // sent just before it closes: still taken
  editor.dropClient();
  for (int i = 0; i < 1000 && said.empty(); ++i) demo.poll(), wait(2);
  EXPECT_EQ(said, (std::vector<std::string>{"the sync editor at " + editor.address() +
                                            " went away (closed by the peer); connecting again every second"}));
  EXPECT_EQ(tracks[0].keys(), (std::vector<SyncKey>{{0, 1, I::Linear}}));
  editor.pump = [this] { demo.poll(); };
  now += SyncEditor::kRetryMs;
  session();
  EXPECT_EQ(editor.tracks, (std::vector<std::string>{"bg:Red", "fade:Alpha"}));
}

}  // namespace
