#include "demoSystem/SyncTrack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "demoSystem/SyncProtocol.h"
#include "demoSystem/Timeline.h"

namespace {

using I = SyncInterpolation;

SyncTrack trackOf(std::vector<SyncKey> keys) {
  SyncTrack track("fx:Alpha");
  for (const SyncKey& key : keys) EXPECT_TRUE(track.setKey(key));
  return track;
}

// [SECTION] Interpolation

// Keys 2 at row 0 and 10 at row 4: a quarter of the way (row 1) and half way (row 2).
// smooth: 3t² − 2t³ is 0.15625 at t = 1/4; ramp: t² is 1/16.
struct InterpolationCase {
  I interpolation;
  double atQuarter, atHalf;
};

TEST(SyncTrack, EachInterpolationRunsFromItsKeyToTheNextByHand) {
  const InterpolationCase cases[] = {
      {I::Step, 2, 2},
      {I::Linear, 4, 6},
      {I::Smooth, 2 + 8 * 0.15625, 6},
      {I::Ramp, 2.5, 4},
  };
  for (const auto& c : cases) {
    const SyncTrack track = trackOf({{0, 2, c.interpolation}, {4, 10, I::Step}});
    EXPECT_DOUBLE_EQ(track.valueAtRow(1), c.atQuarter) << int(c.interpolation);
    EXPECT_DOUBLE_EQ(track.valueAtRow(2), c.atHalf) << int(c.interpolation);
    EXPECT_DOUBLE_EQ(track.valueAtRow(4), 10) << int(c.interpolation);
  }
}

TEST(SyncTrack, BeforeTheFirstKeyAndAfterTheLastTheirValuesHold) {
  const SyncTrack track = trackOf({{10, 3, I::Linear}, {20, 5, I::Linear}});
  EXPECT_EQ(track.valueAtRow(0), 3);
  EXPECT_EQ(track.valueAtRow(1e9), 5);
  EXPECT_EQ(SyncTrack("x:y").valueAtRow(3), 0);
}

TEST(SyncTrack, SetKeyReplacesTheKeyOfItsRowAndDeleteKeyRemovesIt) {
  SyncTrack track = trackOf({{8, 1, I::Step}, {0, 0, I::Step}, {4, 9, I::Linear}});
  EXPECT_EQ(track.keys(), (std::vector<SyncKey>{{0, 0, I::Step}, {4, 9, I::Linear}, {8, 1, I::Step}}));
  track.setKey({4, 7, I::Ramp});
  track.deleteKey(0);
  track.deleteKey(5);  // no key there
  EXPECT_EQ(track.keys(), (std::vector<SyncKey>{{4, 7, I::Ramp}, {8, 1, I::Step}}));
}

TEST(SyncTrack, NoMoreThanTheLimitOfKeys) {
  SyncTrack track("x:y");
  std::vector<SyncKey> keys(SyncTrack::kMaxKeys);
  for (size_t i = 0; i < keys.size(); ++i) keys[i].row = static_cast<uint32_t>(i);
  track.assignKeys(keys);
  EXPECT_FALSE(track.setKey({static_cast<uint32_t>(keys.size()), 1, I::Step}));
  EXPECT_TRUE(track.setKey({3, 1, I::Step}));  // replacing is still fine
  EXPECT_EQ(track.keyCount(), SyncTrack::kMaxKeys);
}

// [SECTION] Driving variables

class SyncDriving : public testing::Test {
 protected:
  void SetUp() override {
    demoEndTime = 10000;
    patternStepLength = 125;
  }
  void TearDown() override {
    syncRowMs = 0;
    patternStepLength = 100;
    demoEndTime = 0;
  }
};

TEST_F(SyncDriving, ARowIsABeatUnlessTheRowLengthIsSet) {
  const SyncTrack track = trackOf({{0, 0, I::Linear}, {8, 1, I::Step}});
  EXPECT_FLOAT_EQ(track.valueAt(500), 0.5f);  // 500 ms = row 4 of 125 ms
  syncRowMs = 50;
  EXPECT_FLOAT_EQ(track.valueAt(100), 0.25f);  // row 2 of 50 ms
}

TEST_F(SyncDriving, ATrackWithKeysDrivesItsVariableAndWithoutThemTheScriptKeysHold) {
  FloatVariable alpha;
  alpha.setKey(0.75f, 0);
  SyncTrack track("fx:Alpha");
  track.bind(alpha);
  EXPECT_FLOAT_EQ(alpha.evaluate(1000), 0.75f);
  track.setKey({0, 0.25f, I::Step});
  EXPECT_EQ(alpha.evaluate(1000), 0.25f);
  EXPECT_TRUE(alpha.changed);
  track.clearKeys();
  EXPECT_FLOAT_EQ(alpha.evaluate(1000), 0.75f);
}

TEST_F(SyncDriving, BoolsAndChoicesTakeTheValueAsATimelineNumber) {
  IntVariable camera;  // five choices: 0–1 runs over them
  camera.choiceCount = 5;
  SyncTrack cameras("fx:Camera");
  cameras.bind(camera);
  cameras.setKey({0, 0.5f, I::Step});
  EXPECT_EQ(camera.evaluateInt(0), 2u);
  IntVariable blend;  // one choice: the number itself, truncated
  SyncTrack blends("fx:BlendSrc");
  blends.bind(blend);
  blends.setKey({0, 4.9f, I::Step});
  EXPECT_EQ(blend.evaluateInt(0), 4u);
  BoolVariable on;
  SyncTrack ons("fx:On");
  ons.bind(on);
  ons.setKey({0, 0.0f, I::Linear});
  ons.setKey({4, 1.0f, I::Step});
  EXPECT_FALSE(on.evaluateBool(0));
  EXPECT_TRUE(on.evaluateBool(1));  // a little above 0
}

// [SECTION] Track files

std::string fileOf(uint32_t count, std::vector<SyncKey> keys, std::string tail = "") {
  std::string bytes = trackFileBytes(keys);
  std::memcpy(bytes.data(), &count, 4);  // little-endian machine
  return bytes + tail;
}

TEST(TrackFile, HoldsTheCountThenRowValueAndInterpolationLittleEndian) {
  const std::string bytes = trackFileBytes({{1, 1.0f, I::Linear}, {258, -2.0f, I::Ramp}});
  const std::string expected("\x02\0\0\0"
                             "\x01\0\0\0" "\0\0\x80\x3f" "\x01"
                             "\x02\x01\0\0" "\0\0\0\xc0" "\x03",
                             22);
  EXPECT_EQ(bytes, expected);
  std::vector<SyncKey> keys;
  std::string problem;
  ASSERT_TRUE(readTrackFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &keys, &problem));
  EXPECT_EQ(keys, (std::vector<SyncKey>{{1, 1.0f, I::Linear}, {258, -2.0f, I::Ramp}}));
}

TEST(TrackFile, WhatDoesNotReadSaysWhy) {
  const float nan = std::nanf("");
  const struct {
    std::string bytes;
    std::string problem;
  } cases[] = {
      {std::string("\x01\0", 2), "truncated: 2 bytes, too short for the key count"},
      {fileOf(3, {{0, 1, I::Step}, {4, 2, I::Step}}), "truncated: 3 keys, the file holds 2"},
      {fileOf(0xFFFFFFFF, {}), "truncated: 4294967295 keys, the file holds 0"},
      {fileOf(1, {{0, 1, I::Step}}, "xy"), "2 bytes after its 1 keys"},
      {fileOf(2, {{8, 1, I::Step}, {4, 2, I::Step}}), "rows out of order: key 2 (row 4) after row 8"},
      {fileOf(2, {{8, 1, I::Step}, {8, 2, I::Step}}), "rows out of order: key 2 (row 8) after row 8"},
      {fileOf(1, {{3, 1, static_cast<I>(4)}}), "unknown interpolation 4 at key 1 (row 3)"},
      {fileOf(1, {{3, nan, I::Step}}), "a value that is not a number at key 1 (row 3)"},
  };
  for (const auto& c : cases) {
    std::vector<SyncKey> keys;
    std::string problem;
    EXPECT_FALSE(readTrackFile(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), &keys, &problem));
    EXPECT_EQ(problem, c.problem);
    EXPECT_TRUE(keys.empty());
  }
}

TEST(TrackFile, EveryTrackNameMakesOneFileNameAndBack) {
  EXPECT_EQ(trackFilePath("fade:Alpha"), "data/sync/fade:Alpha.track");
  EXPECT_EQ(trackFileName("a/b c%:X"), "a%2Fb%20c%25:X.track");
  std::string name;
  ASSERT_TRUE(trackNameFromFileName("a%2Fb%20c%25:X.TRACK", &name));
  EXPECT_EQ(name, "a/b c%:X");
  EXPECT_FALSE(trackNameFromFileName("notes.txt", &name));
  EXPECT_FALSE(trackNameFromFileName("bad%2.track", &name));
  EXPECT_FALSE(trackNameFromFileName(".track", &name));
}

// [SECTION] The editor's commands

TEST(SyncProtocol, EveryCommandTheEditorSendsReadsBack) {
  std::string wire;
  appendSetKey(wire, 1, {7, 0.5f, I::Smooth});
  appendDeleteKey(wire, 0, 9);
  appendSetRow(wire, 300);
  appendPause(wire, true);
  appendSaveTracks(wire);
  EXPECT_EQ(wire.substr(0, 14), std::string("\0\0\0\0\x01\0\0\0\x07\x3f\0\0\0\x02", 14));  // big-endian
  const auto* data = reinterpret_cast<const uint8_t*>(wire.data());
  size_t at = 0;
  std::vector<SyncMessage> read;
  while (at < wire.size()) {
    SyncMessage message;
    size_t used = 0;
    std::string problem;
    ASSERT_EQ(readSyncCommand(data + at, wire.size() - at, 2, &message, &used, &problem), SyncRead::Complete);
    read.push_back(message);
    at += used;
  }
  ASSERT_EQ(read.size(), 5u);
  EXPECT_EQ(read[0].track, 1u);
  EXPECT_EQ(read[0].key, (SyncKey{7, 0.5f, I::Smooth}));
  EXPECT_EQ(read[1].command, SyncCommand::DeleteKey);
  EXPECT_EQ(read[1].key.row, 9u);
  EXPECT_EQ(read[2].key.row, 300u);
  EXPECT_TRUE(read[3].pause);
  EXPECT_EQ(read[4].command, SyncCommand::SaveTracks);
  // Every command cut short waits for the rest.
  for (size_t cut : {1, 5, 13}) {
    SyncMessage message;
    size_t used = 0;
    std::string problem;
    EXPECT_EQ(readSyncCommand(data, cut, 2, &message, &used, &problem), SyncRead::NeedMore) << cut;
  }
}

TEST(SyncProtocol, WhatTheEditorCannotMeanIsMalformed) {
  auto setKey = [](uint32_t track, float value, uint8_t interpolation) {
    std::string wire;
    appendSetKey(wire, track, {0, value, I::Step});
    wire.back() = static_cast<char>(interpolation);
    return wire;
  };
  std::string deleteKey;
  appendDeleteKey(deleteKey, 2, 0);
  const struct {
    std::string wire;
    std::string problem;
  } cases[] = {
      {setKey(2, 1, 0), "key for track 2, of 2 asked for"},
      {deleteKey, "key for track 2, of 2 asked for"},
      {setKey(0, 1, 4), "unknown interpolation 4"},
      {setKey(0, std::nanf(""), 0), "a key value that is not a number"},
      {setKey(0, INFINITY, 0), "a key value that is not a number"},
      {std::string("\x02\0\0\0\x01x", 6), "GET_TRACK sent by the editor"},
      {"\x06", "unknown command byte 6"},
      {"\xff", "unknown command byte 255"},
  };
  for (const auto& c : cases) {
    SyncMessage message;
    size_t used = 0;
    std::string problem;
    EXPECT_EQ(readSyncCommand(reinterpret_cast<const uint8_t*>(c.wire.data()), c.wire.size(), 2, &message, &used,
                              &problem),
              SyncRead::Malformed);
    EXPECT_EQ(problem, c.problem);
  }
}

}  // namespace
