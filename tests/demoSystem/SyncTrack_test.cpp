// Sync tracks below the connection: variables a track drives, the bytes of track files and
// of the editor's commands, written out by hand.
#include "demoSystem/SyncTrack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "demoSystem/SyncProtocol.h"
#include "demoSystem/Timeline.h"

namespace {

using I = SyncInterpolation;

TEST(SyncTrack, WithKeysItDrivesItsVariableAsATimelineNumberAndWithoutThemTheScriptKeysHold) {
  demoEndTime = 10000;
  patternStepLength = 125;
  FloatVariable alpha;
  alpha.setKey(0.75f, 0);
  SyncTrack alphas("fx:Alpha");
  alphas.bind(alpha);
  EXPECT_FLOAT_EQ(alpha.evaluate(500), 0.75f);
  alphas.setKey({0, 0, I::Linear});
  alphas.setKey({8, 1, I::Step});
  EXPECT_FLOAT_EQ(alpha.evaluate(500), 0.5f);  // 500 ms is row 4 of 125 ms
  syncRowMs = 50;
  EXPECT_FLOAT_EQ(alpha.evaluate(100), 0.25f);  // row 2 of 50 ms
  alphas.deleteKey(0);
  alphas.deleteKey(8);
  EXPECT_FLOAT_EQ(alpha.evaluate(100), 0.75f);

  IntVariable camera;  // five choices: 0 to 1 runs over them
  camera.choiceCount = 5;
  SyncTrack cameras("fx:Camera");
  cameras.bind(camera);
  cameras.setKey({0, 0.5f, I::Step});
  EXPECT_EQ(camera.evaluateInt(0), 2u);
  IntVariable blend;  // a single choice: the number itself, truncated
  SyncTrack blends("fx:BlendSrc");
  blends.bind(blend);
  blends.setKey({0, 4.9f, I::Step});
  EXPECT_EQ(blend.evaluateInt(0), 4u);
  BoolVariable on;
  SyncTrack ons("fx:On");
  ons.bind(on);
  ons.setKey({0, 0, I::Linear});
  ons.setKey({4, 1, I::Step});
  EXPECT_FALSE(on.evaluateBool(0));
  EXPECT_TRUE(on.evaluateBool(1));  // a little above 0
  syncRowMs = 0;
  patternStepLength = 100;
  demoEndTime = 0;
}

TEST(SyncTrack, TheEditorsSetKeyIsBigEndian) {
  const std::string wire("\x00" "\0\0\0\x01" "\0\0\x01\x07" "\x3f\0\0\0" "\x02", 14);
  SyncMessage message;
  size_t used = 0;
  std::string problem;
  ASSERT_EQ(readSyncCommand(reinterpret_cast<const uint8_t*>(wire.data()), wire.size(), 2, &message, &used, &problem),
            SyncRead::Complete);
  EXPECT_EQ(used, 14u);
  EXPECT_EQ(message.track, 1u);
  EXPECT_EQ(message.key, (SyncKey{263, 0.5f, I::Smooth}));
}

// [SECTION] Track files

std::string fileOf(uint32_t count, const std::vector<SyncKey>& keys, const std::string& tail = "") {
  std::string bytes = trackFileBytes(keys);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(count >> (8 * i));
  return bytes + tail;
}

TEST(TrackFile, TheCountThenRowValueAndInterpolationLittleEndian) {
  const std::string bytes = trackFileBytes({{1, 1.0f, I::Linear}, {258, -2.0f, I::Ramp}});
  EXPECT_EQ(bytes, std::string("\x02\0\0\0" "\x01\0\0\0" "\0\0\x80\x3f" "\x01" "\x02\x01\0\0" "\0\0\0\xc0" "\x03", 22));
  std::vector<SyncKey> keys;
  std::string problem;
  ASSERT_TRUE(readTrackFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &keys, &problem));
  EXPECT_EQ(keys, (std::vector<SyncKey>{{1, 1.0f, I::Linear}, {258, -2.0f, I::Ramp}}));
}

TEST(TrackFile, WhatDoesNotReadSaysWhy) {
  const struct {
    std::string bytes, problem;
  } cases[] = {
      {std::string("\x01\0", 2), "truncated: 2 bytes, too short for the key count"},
      {fileOf(3, {{0, 1, I::Step}, {4, 2, I::Step}}), "truncated: 3 keys, the file holds 2"},
      {fileOf(0xFFFFFFFF, {}), "truncated: 4294967295 keys, the file holds 0"},
      {fileOf(1, {{0, 1, I::Step}}, "xy"), "2 bytes after its 1 keys"},
      {fileOf(2, {{8, 1, I::Step}, {4, 2, I::Step}}), "rows out of order: key 2 (row 4) after row 8"},
      {fileOf(2, {{8, 1, I::Step}, {8, 2, I::Step}}), "rows out of order: key 2 (row 8) after row 8"},
      {fileOf(1, {{3, 1, static_cast<I>(4)}}), "unknown interpolation 4 at key 1 (row 3)"},
      {fileOf(1, {{3, std::nanf(""), I::Step}}), "a value that is not a number at key 1 (row 3)"},
  };
  for (const auto& c : cases) {
    std::vector<SyncKey> keys;
    std::string problem;
    EXPECT_FALSE(readTrackFile(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), &keys, &problem));
    EXPECT_EQ(problem, c.problem);
  }
}

// The reference player's names (base "data/sync/sync"), and the previous version's still read.
TEST(TrackFile, EveryTrackNameMakesOneFileNameAndBack) {
  EXPECT_EQ(trackFilePath("fade:Alpha"), "data/sync/sync_fade-3AAlpha.track");
  EXPECT_EQ(trackFileName("a/b c%:X-y\xC3\xA9"), "sync_a/b-20c-25-3AX-2Dy-C3-A9.track");
  EXPECT_EQ(previousTrackFileName("a/b c%:X"), "a%2Fb%20c%25:X.track");
  const struct {
    const char* file;
    const char* track;  // null: no track file
    bool previous;
  } cases[] = {
      {"sync_a/b-20c-25-3AX-2Dy-c3-a9.TRACK", "a/b c%:X-y\xC3\xA9", false},
      {"SYNC_fade-3AAlpha.track", "fade:Alpha", false},
      {"a%2Fb%20c%25:X.track", "a/b c%:X", true},
      {"fade:Alpha.track", "fade:Alpha", true},
      {"sync_fade:Alpha.track", "sync_fade:Alpha", true},  // a ":" is the previous scheme's
      {"my-fx:Alpha.track", "my-fx:Alpha", true},
      {"notes.txt", nullptr, false},
      {"bad%2.track", nullptr, false},
      {".track", nullptr, false},
  };
  for (const auto& c : cases) {
    std::string name;
    bool previous = !c.previous;
    EXPECT_EQ(trackNameFromFileName(c.file, &name, &previous), c.track != nullptr) << c.file;
    if (!c.track) continue;
    EXPECT_EQ(name, c.track) << c.file;
    EXPECT_EQ(previous, c.previous) << c.file;
  }
}

}  // namespace
