#include "launcher/KeyControls.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demoSystem/DemoClock.h"
#include "launcher/LauncherState.h"

namespace {

using platform::Key;
using platform::MessageType;
using platform::WindowMessage;

class RecordingMusic final : public MusicControls {
 public:
  void pause() override { calls.push_back("pause"); }
  void play() override { calls.push_back("play"); }
  void setTime(uint32_t ms) override { calls.push_back("setTime " + std::to_string(ms)); }
  void duck() override { calls.push_back("duck"); }
  void restoreVolume() override { calls.push_back("restore"); }
  std::vector<std::string> calls;
};

int quitPosts = 0;
void countQuit() { ++quitPosts; }

class KeyControls : public testing::Test {
 protected:
  KeyControls() : clock(&counter) {
    quitRequested = reloadRequested = paused = shiftHeld = statsOverlay = false;
    seekStep = 10.0f;
    inputEnabled = true;
    quitPosts = 0;
  }

  MessageResult down(Key key) { return handleMessage({MessageType::KeyDown, key}, context); }
  MessageResult up(Key key) { return handleMessage({MessageType::KeyUp, key}, context); }
  void setNow(uint32_t ms) {
    clock.clearSeek();
    clock.setTime(ms);
  }

  ManualCounter counter{1000};
  DemoClock clock;
  RecordingMusic music;
  std::vector<uint32_t> parts{1000, 5000, 9000};
  PlaybackContext context{clock, music, parts, 20000, countQuit};
};

TEST_F(KeyControls, NothingIsHandledBeforeTheFirstLoad) {
  inputEnabled = false;
  EXPECT_EQ(down(Key::Escape), MessageResult::Default);
  EXPECT_EQ(handleMessage({MessageType::Close, Key::None}, context), MessageResult::Default);
  EXPECT_FALSE(quitRequested);
  EXPECT_EQ(quitPosts, 0);
}

TEST_F(KeyControls, EscapeQuitsAndSpaceReloads) {
  EXPECT_EQ(down(Key::Escape), MessageResult::Handled);
  EXPECT_TRUE(quitRequested);
  down(Key::Space);
  EXPECT_TRUE(reloadRequested);
}

TEST_F(KeyControls, CloseQueuesAQuitAndActivateIsSwallowed) {
  EXPECT_EQ(handleMessage({MessageType::Close, Key::None}, context), MessageResult::Handled);
  EXPECT_EQ(quitPosts, 1);
  EXPECT_FALSE(quitRequested);  // the queued quit ends the loop, not the close itself
  EXPECT_EQ(handleMessage({MessageType::Activate, Key::None}, context), MessageResult::Handled);
  EXPECT_EQ(handleMessage({MessageType::Other, Key::None}, context), MessageResult::Default);
  EXPECT_EQ(down(Key::Other), MessageResult::Handled);
}

TEST_F(KeyControls, HoldingRightSeeksByTenElevenTwelveThirteen) {
  std::vector<int64_t> offsets;
  for (int i = 0; i < 5; ++i) {
    down(Key::Right);
    offsets.push_back(clock.seekOffset());
  }
  EXPECT_THAT(offsets, testing::ElementsAre(10, 21, 33, 46, 60));  // 10, 11, 12.1, 13.31, 14.64
  EXPECT_NEAR(seekStep, 10.0f * 1.1f * 1.1f * 1.1f * 1.1f * 1.1f, 1e-3);
}

TEST_F(KeyControls, SeekDucksTheMusicAndMovesItToTheClock) {
  setNow(4000);
  down(Key::Right);
  EXPECT_THAT(music.calls, testing::ElementsAre("duck", "setTime 4010"));
}

TEST_F(KeyControls, KeyUpResetsTheStepAndRestoresTheVolume) {
  down(Key::Left);
  down(Key::Left);
  up(Key::Left);
  EXPECT_FLOAT_EQ(seekStep, 10.0f);
  EXPECT_EQ(music.calls.back(), "restore");
  down(Key::Right);
  up(Key::Right);
  EXPECT_FLOAT_EQ(seekStep, 10.0f);
}

TEST_F(KeyControls, LeftSeeksBackwardButNeverBelowZero) {
  setNow(100);
  down(Key::Left);
  EXPECT_EQ(clock.now(), 90u);
  setNow(0);
  seekStep = 10.0f;
  down(Key::Left);
  EXPECT_EQ(clock.now(), 0u);
  EXPECT_EQ(clock.seekOffset(), 0);
}

TEST_F(KeyControls, WhilePausedSeekingLeavesTheMusicAlone) {
  down(Key::F1);
  music.calls.clear();
  down(Key::Right);
  up(Key::Right);
  EXPECT_TRUE(music.calls.empty());
}

TEST_F(KeyControls, EnterClearsOnlyTheSeeking) {
  setNow(3000);
  down(Key::Right);
  down(Key::Right);
  music.calls.clear();
  down(Key::Enter);
  EXPECT_EQ(clock.seekOffset(), 0);
  EXPECT_EQ(clock.now(), 3000u);
  EXPECT_TRUE(music.calls.empty());
}

TEST_F(KeyControls, F1PausesThenResumesWithTheMusicAtTheClock) {
  setNow(2000);
  down(Key::F1);
  EXPECT_TRUE(paused);
  EXPECT_TRUE(clock.isPaused());
  counter.advanceMs(3000);
  EXPECT_EQ(clock.now(), 2000u);
  down(Key::F1);
  EXPECT_FALSE(paused);
  EXPECT_FALSE(clock.isPaused());
  EXPECT_THAT(music.calls, testing::ElementsAre("pause", "play", "setTime 2000"));
  counter.advanceMs(500);
  EXPECT_EQ(clock.now(), 2500u);
}

TEST_F(KeyControls, F2TogglesTheStatisticsOverlay) {
  down(Key::F2);
  EXPECT_TRUE(statsOverlay);
  down(Key::F2);
  EXPECT_FALSE(statsOverlay);
}

TEST_F(KeyControls, ShiftIsTrackedByDownAndUp) {
  down(Key::Shift);
  EXPECT_TRUE(shiftHeld);
  up(Key::Shift);
  EXPECT_FALSE(shiftHeld);
}

TEST_F(KeyControls, ShiftLeftExactlyOnAPartGoesToThePartBefore) {
  setNow(5000);
  down(Key::Shift);
  down(Key::Left);
  EXPECT_EQ(clock.now(), 1000u);
  EXPECT_THAT(music.calls, testing::ElementsAre("setTime 1000"));
}

TEST_F(KeyControls, ShiftLeftBetweenPartsGoesToThePartBeforeAndBeforeTheFirstToTheFirst) {
  setNow(7000);
  down(Key::Shift);
  down(Key::Left);
  EXPECT_EQ(clock.now(), 5000u);
  setNow(500);
  down(Key::Left);
  EXPECT_EQ(clock.now(), 1000u);
}

TEST_F(KeyControls, ShiftRightGoesToTheNextPartAndAfterTheLastToTheEnd) {
  setNow(5000);
  down(Key::Shift);
  down(Key::Right);
  EXPECT_EQ(clock.now(), 9000u);
  down(Key::Right);
  EXPECT_EQ(clock.now(), 20000u);
}

TEST_F(KeyControls, PartJumpClearsTheSeekingAndKeepsTheStep) {
  setNow(1200);
  down(Key::Right);
  down(Key::Shift);
  down(Key::Right);
  EXPECT_EQ(clock.seekOffset(), 0);
  EXPECT_EQ(clock.now(), 5000u);
  EXPECT_NEAR(seekStep, 11.0f, 1e-4);
}

TEST_F(KeyControls, PartJumpWhilePausedMovesTheClockButNotTheMusic) {
  setNow(5000);
  down(Key::F1);
  music.calls.clear();
  down(Key::Shift);
  down(Key::Right);
  EXPECT_EQ(clock.now(), 9000u);
  EXPECT_TRUE(music.calls.empty());
}

TEST_F(KeyControls, EmptyPartListMakesJumpsDoNothing) {
  parts.clear();
  PlaybackContext empty{clock, music, parts, 20000, countQuit};
  setNow(4000);
  handleMessage({MessageType::KeyDown, Key::Shift}, empty);
  handleMessage({MessageType::KeyDown, Key::Right}, empty);
  EXPECT_EQ(clock.now(), 4000u);
  handleMessage({MessageType::KeyDown, Key::Left}, empty);
  EXPECT_EQ(clock.now(), 4000u);
  EXPECT_TRUE(music.calls.empty());
}

TEST(PartJumpTarget, FollowsTheSortedList) {
  const std::vector<uint32_t> parts{0, 1000, 5000};
  uint32_t t = 0;
  ASSERT_TRUE(partJumpTarget(-1, 0, parts, 9000, &t));
  EXPECT_EQ(t, 0u);
  ASSERT_TRUE(partJumpTarget(-1, 1001, parts, 9000, &t));
  EXPECT_EQ(t, 1000u);
  ASSERT_TRUE(partJumpTarget(+1, 1000, parts, 9000, &t));
  EXPECT_EQ(t, 5000u);
  ASSERT_TRUE(partJumpTarget(+1, 5000, parts, 9000, &t));
  EXPECT_EQ(t, 9000u);
  EXPECT_FALSE(partJumpTarget(+1, 5000, {}, 9000, &t));
}

// What the sync editor's seeks and pauses go through.
TEST_F(KeyControls, SeekToAndSetPausedToActAsAPartJumpAndF1Do) {
  setNow(300);
  clock.seekBy(40);
  seekTo(7000, context);
  EXPECT_EQ(clock.now(), 7000u);
  EXPECT_EQ(clock.seekOffset(), 0);
  setPausedTo(true, context);
  setPausedTo(true, context);  // already paused: nothing more
  counter.advanceMs(500);
  EXPECT_EQ(clock.now(), 7000u);
  seekTo(2500, context);  // paused: the music is left alone
  setPausedTo(false, context);
  EXPECT_EQ(clock.now(), 2500u);
  EXPECT_EQ(music.calls, (std::vector<std::string>{"setTime 7000", "pause", "play", "setTime 2500"}));
}

}  // namespace
