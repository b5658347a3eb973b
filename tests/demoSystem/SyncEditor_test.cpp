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
  std::string keyForTrack7, badInterpolation, truncated, getTrack;
  appendSetKey(keyForTrack7, 7, {0, 1, I::Step});
  appendSetKey(badInterpolation, 0, {0, 1, I::Step});
  badInterpolation.back() = 9;
  appendSetKey(truncated, 0, {0, 1, I::Step});
  truncated.resize(6);
  appendGetTrack(getTrack, "x");
  const struct {
    std::string bytes;
    std::string why;
  } cases[] = {
      {keyForTrack7, "sent key for track 7, of 2 asked for"},
      {badInterpolation, "sent unknown interpolation 9"},
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

// The editor sends every key again at each request: a key the demo cannot take is refused
// alone, told once per connection, and the connection and the other keys stay.
TEST_F(SyncEditorTest, KeysTheDemoCannotTakeAreRefusedAloneOncePerConnection) {
  session();
  const std::string nanBits = TestSyncEditor::big32(0x7FC00000), infBits = TestSyncEditor::big32(0xFF800000);
  const std::string badKeys = std::string(1, '\0') + TestSyncEditor::big32(0) + TestSyncEditor::big32(3) + nanBits +
                              '\0' + std::string(1, '\0') + TestSyncEditor::big32(0) + TestSyncEditor::big32(3) +
                              infBits + '\1';
  editor.send(badKeys);
  editor.setKey(0, {4, 0.5f, I::Linear});
  // Track 1 filled to the most keys a track holds, then one key more, in pieces the demo reads.
  std::string many;
  for (uint32_t row = 0; row <= SyncTrack::kMaxKeys; ++row) {
    many += std::string(1, '\0') + TestSyncEditor::big32(1) + TestSyncEditor::big32(row * 2) +
            TestSyncEditor::big32(0x3F800000) + '\0';
    if (many.size() > 32768 || row == SyncTrack::kMaxKeys) editor.send(many), many.clear(), demo.poll();
  }
  editor.send(badKeys);  // sent again: not told again
  editor.read(2000, [&] { return tracks[1].keyCount() == SyncTrack::kMaxKeys && said.size() >= 2; });
  wait(50);
  const std::string at = "the sync editor at " + editor.address() + " keyed ";
  EXPECT_EQ(said, (std::vector<std::string>{at + "bg:Red at row 3: refused, its value is not a number",
                                            at + "fade:Alpha at row 131072: refused, the track holds 65536 keys, the "
                                                 "most a track holds"}));
  EXPECT_FALSE(editor.closedByDemo);
  EXPECT_TRUE(demo.connected());
  EXPECT_EQ(tracks[0].keys(), (std::vector<SyncKey>{{4, 0.5f, I::Linear}}));
  EXPECT_EQ(tracks[1].keyCount(), SyncTrack::kMaxKeys);
  // A new connection tells it again.
  editor.dropClient();
  for (int i = 0; i < 100 && demo.connected(); ++i) demo.poll(), wait(2);
  now += SyncEditor::kRetryMs;
  session();
  editor.send(badKeys);
  editor.read(2000, [&] { return !said.empty(); });
  EXPECT_EQ(said, (std::vector<std::string>{at + "bg:Red at row 3: refused, its value is not a number"}));
}

// The wire held to the protocol's description, byte by byte.
TEST(SyncProtocol, CommandsAreTheBytesTheDescriptionSpells) {
  std::string out;
  appendGetTrack(out, "fade:Alpha");
  appendSetRow(out, 0x01020304);
  EXPECT_EQ(out, std::string("\x02\0\0\0\x0A" "fade:Alpha" "\x03\x01\x02\x03\x04", 15 + 5));
  EXPECT_EQ(kSyncClientGreeting, "hello, synctracker!");
  EXPECT_EQ(kSyncServerGreeting, "hello, demo!");
  const struct {
    std::string bytes;
    SyncCommand command;
    uint32_t track, row;
    float value;
    I interpolation;
    bool pause;
  } cases[] = {
      {std::string("\0\0\0\0\1\0\0\1\x02\x3F\xC0\0\0\2", 14), SyncCommand::SetKey, 1, 258, 1.5f, I::Smooth, false},
      {std::string("\1\0\0\0\0\0\0\0\x07", 9), SyncCommand::DeleteKey, 0, 7, 0, I::Step, false},
      {std::string("\3\0\1\0\0", 5), SyncCommand::SetRow, 0, 65536, 0, I::Step, false},
      {std::string("\4\1", 2), SyncCommand::Pause, 0, 0, 0, I::Step, true},
      {std::string("\5", 1), SyncCommand::SaveTracks, 0, 0, 0, I::Step, false},
  };
  for (const auto& c : cases) {
    SyncMessage m;
    size_t used = 0;
    std::string problem;
    const auto* data = reinterpret_cast<const uint8_t*>(c.bytes.data());
    EXPECT_EQ(readSyncCommand(data, c.bytes.size() - 1, 2, &m, &used, &problem), SyncRead::NeedMore);
    ASSERT_EQ(readSyncCommand(data, c.bytes.size(), 2, &m, &used, &problem), SyncRead::Complete) << problem;
    EXPECT_EQ(used, c.bytes.size());
    EXPECT_EQ(m.command, c.command);
    EXPECT_EQ(m.key.row, c.row);
    if (c.command == SyncCommand::SetKey || c.command == SyncCommand::DeleteKey) {
      EXPECT_EQ(m.track, c.track);
    }
    if (c.command == SyncCommand::SetKey) {
      EXPECT_EQ(m.key, (SyncKey{c.row, c.value, c.interpolation}));
    }
    EXPECT_EQ(m.pause, c.pause);
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
