// The demo's connection to a sync editor, against an editor written here (a loopback
// server): greeting, track requests, keys, seeks, pauses, saves and rows, an editor that is
// not there or goes away, and traffic the protocol does not hold.
#include "demoSystem/SyncEditor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "demoSystem/SyncProtocol.h"
#include "support/TestSyncEditor.h"

namespace {

using I = SyncInterpolation;

class SyncEditorTest : public testing::Test {
 protected:
  SyncEditorTest() {
    tracks.add("bg:Red");
    tracks.add("fade:Alpha");
  }

  SyncEditor connect(uint16_t port) {
    return SyncEditor("127.0.0.1", port, tracks, [this] { return now; }, [this](const std::string& line) {
      said.push_back(line);
    });
  }

  void gather(const SyncNews& n) {
    if (n.seek) news.seek = true, news.row = n.row;
    if (n.pauseChanged) news.pauseChanged = true, news.pause = n.pause;
    news.save = news.save || n.save;
  }

  // Polls (on real time, for the bytes to travel) until `until` holds, gathering the news.
  template <class Until>
  bool pollUntil(SyncEditor& demo, Until until, int ms = 3000) {
    for (int waited = 0; waited < ms; waited += 2) {
      gather(demo.poll());
      if (until()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
  }

  // A demo connected to `editor`, its tracks asked for; the editor polls the demo while it
  // waits from then on.
  void session(SyncEditor& demo, TestSyncEditor& editor) {
    editor.pump = [&] { gather(demo.poll()); };
    ASSERT_TRUE(editor.accept());
    ASSERT_TRUE(pollUntil(demo, [&] { return demo.connected(); }));
    ASSERT_TRUE(editor.waitForTracks(tracks.size()));
  }

  SyncTrackSet tracks;
  int64_t now = 0;
  std::vector<std::string> said;
  SyncNews news;
};

TEST_F(SyncEditorTest, WithoutAnEditorOneLineAndAnotherTryEverySecond) {
  uint16_t port = 0;
  {
    TestSyncEditor probe;  // a port that was free a moment ago
    port = probe.port();
  }
  SyncEditor demo = connect(port);
  ASSERT_TRUE(pollUntil(demo, [&] { return !said.empty(); }));
  pollUntil(demo, [] { return false; }, 50);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_EQ(said[0], "no sync editor at 127.0.0.1:" + std::to_string(port) +
                         " (Connection refused); the demo plays on and connects when one is there");
  TestSyncEditor editor(port);
  editor.pump = [&] { demo.poll(); };
  now = 999;
  EXPECT_FALSE(editor.accept(100)) << "tried again before a second had passed";
  now = 1000;
  EXPECT_TRUE(editor.accept());
  EXPECT_TRUE(pollUntil(demo, [&] { return demo.connected(); }));
  EXPECT_EQ(said.back(), "connected to the sync editor at " + editor.address());
  EXPECT_EQ(said.size(), 2u);
}

TEST_F(SyncEditorTest, AsksForTheTracksInOrderAndTakesTheEditorsKeys) {
  tracks[0].setKey({0, 0.5f, I::Step});  // from a track file: the editor's answer replaces it
  TestSyncEditor editor;
  SyncEditor demo = connect(editor.port());
  session(demo, editor);
  EXPECT_EQ(editor.tracks, (std::vector<std::string>{"bg:Red", "fade:Alpha"}));
  EXPECT_TRUE(editor.protocolError.empty()) << editor.protocolError;
  EXPECT_TRUE(tracks[0].keys().empty());
  EXPECT_TRUE(tracks.ownedByEditor(0));

  editor.setKey(1, {0, 0.0f, I::Linear});
  editor.setKey(1, {8, 1.0f, I::Step});
  editor.setKey(0, {4, 0.25f, I::Ramp});
  editor.deleteKey(0, 4);
  editor.setKey(0, {2, 0.75f, I::Smooth});
  ASSERT_TRUE(pollUntil(demo, [&] { return tracks[0].keys().size() == 1 && tracks[1].keys().size() == 2; }));
  EXPECT_EQ(tracks[0].keys(), (std::vector<SyncKey>{{2, 0.75f, I::Smooth}}));
  EXPECT_EQ(tracks[1].keys(), (std::vector<SyncKey>{{0, 0.0f, I::Linear}, {8, 1.0f, I::Step}}));

  // A track added later (a reload keys another variable) is asked for as number 2.
  tracks.add("fade:Speed");
  ASSERT_TRUE(pollUntil(demo, [&] { return editor.read(5, [&] { return editor.tracks.size() == 3; }); }));
  EXPECT_EQ(editor.tracks.back(), "fade:Speed");
  editor.setKey(2, {1, 3.0f, I::Step});
  ASSERT_TRUE(pollUntil(demo, [&] { return !tracks[2].keys().empty(); }));
}

TEST_F(SyncEditorTest, SeeksPausesAndSavesReachTheDemoAndRowsReachTheEditor) {
  TestSyncEditor editor;
  SyncEditor demo = connect(editor.port());
  session(demo, editor);
  demo.tellRow(5);
  demo.tellRow(5);  // unchanged: not told again
  demo.tellRow(6);
  ASSERT_TRUE(editor.read(3000, [&] { return editor.rows.size() >= 2; }));

  editor.setRow(40);
  editor.pause(true);
  editor.save();
  ASSERT_TRUE(pollUntil(demo, [&] { return news.save; }));
  EXPECT_TRUE(news.seek);
  EXPECT_EQ(news.row, 40u);
  EXPECT_TRUE(news.pauseChanged);
  EXPECT_TRUE(news.pause);
  demo.tellRow(40);  // where the editor put it: no echo
  demo.tellRow(41);
  editor.read(200, [] { return false; });
  EXPECT_EQ(editor.rows, (std::vector<uint32_t>{5, 6, 41}));

  editor.pause(false);
  news = {};
  ASSERT_TRUE(pollUntil(demo, [&] { return news.pauseChanged; }));
  EXPECT_FALSE(news.pause);
}

// Each of these ends the connection with one line, and a second later the demo is back.
TEST_F(SyncEditorTest, TrafficTheProtocolDoesNotHoldClosesTheConnectionWithOneLine) {
  std::string keyForTrack7, badInterpolation, notANumber, truncated;
  appendSetKey(keyForTrack7, 7, {0, 1, I::Step});
  appendSetKey(badInterpolation, 0, {0, 1, I::Step});
  badInterpolation.back() = 9;
  appendSetKey(notANumber, 0, {0, std::nanf(""), I::Step});
  appendSetKey(truncated, 0, {0, 1, I::Step});
  truncated.resize(6);
  const struct {
    std::string bytes;
    std::string why;
  } cases[] = {
      {keyForTrack7, "sent key for track 7, of 2 asked for"},
      {badInterpolation, "sent unknown interpolation 9"},
      {notANumber, "sent a key value that is not a number"},
      {"\x2a", "sent unknown command byte 42"},
      {truncated, "sent a truncated command"},
  };
  TestSyncEditor editor;
  SyncEditor demo = connect(editor.port());
  for (const auto& c : cases) {
    said.clear();
    session(demo, editor);
    said.clear();
    editor.send(c.bytes);
    pollUntil(demo, [&] { return false; }, 50);
    now += SyncEditor::kPartialCommandMs;  // a command cut short stays so for a second
    ASSERT_TRUE(pollUntil(demo, [&] { return !said.empty(); })) << c.why;
    EXPECT_EQ(said, (std::vector<std::string>{"the sync editor at " + editor.address() + " " + c.why +
                                               "; connection closed, connecting again in a second"}));
    EXPECT_TRUE(editor.waitForClose());
    EXPECT_FALSE(demo.connected());
    now += SyncEditor::kRetryMs;
  }
}

TEST_F(SyncEditorTest, AnotherGreetingIsRefusedAndToldOnce) {
  TestSyncEditor editor;
  SyncEditor demo = connect(editor.port());
  editor.pump = [&] { demo.poll(); };
  for (int attempt = 0; attempt < 2; ++attempt) {
    ASSERT_TRUE(editor.accept(5000, "hello, world"));
    ASSERT_TRUE(editor.waitForClose());
    now += SyncEditor::kRetryMs;
  }
  EXPECT_EQ(said, (std::vector<std::string>{"the sync editor at " + editor.address() +
                                            " answered with another greeting; connection closed, connecting again "
                                            "in a second"}));
  EXPECT_FALSE(demo.connected());
}

TEST_F(SyncEditorTest, AnEditorThatGoesAwayIsToldOnceAndFoundAgain) {
  TestSyncEditor editor;
  SyncEditor demo = connect(editor.port());
  session(demo, editor);
  said.clear();
  editor.pump = nullptr;
  editor.setKey(0, {0, 1, I::Step});  // sent just before it closes: still taken
  editor.dropClient();
  ASSERT_TRUE(pollUntil(demo, [&] { return !said.empty(); }));
  EXPECT_EQ(said[0], "the sync editor at " + editor.address() + " went away (closed by the peer); connecting again every second");
  EXPECT_EQ(tracks[0].keys().size(), 1u) << "what the editor keyed stays in force";
  now += SyncEditor::kRetryMs;
  session(demo, editor);
  EXPECT_EQ(editor.tracks, (std::vector<std::string>{"bg:Red", "fade:Alpha"}));
  EXPECT_EQ(said.size(), 2u);
}

TEST(SyncAddress, HostAndPortWithDefaults) {
  const struct {
    std::string text;
    bool ok;
    std::string host;
    uint16_t port;
  } cases[] = {
      {"", true, "localhost", 1338},        {"editor.lan", true, "editor.lan", 1338},
      {"10.0.0.2:4000", true, "10.0.0.2", 4000}, {":1400", true, "localhost", 1400},
      {"[::1]:1339", true, "::1", 1339},    {"[::1]", true, "::1", 1338},
      {"host:0", false, "", 0},             {"host:65536", false, "", 0},
      {"host:12x", false, "", 0},           {"host:", false, "", 0},
  };
  for (const auto& c : cases) {
    std::string host;
    uint16_t port = 0;
    ASSERT_EQ(parseSyncAddress(c.text, &host, &port), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(host, c.host) << c.text;
    EXPECT_EQ(port, c.port) << c.text;
  }
}

}  // namespace
