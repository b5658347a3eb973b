#include "demoSystem/VelkorMusic.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "demoSystem/DemoClock.h"
#include "demoSystem/MusicTestTone.h"
#include "platform/AudioDevice.h"

namespace {

using testtone::TempDir;

constexpr int kBlock = platform::kAudioBufferFrames;

// 440 Hz left, 660 Hz right, three seconds: the two sides tell apart in the mono mix.
struct Track {
  TempDir dir;
  std::string path = dir.file("soundtrack.ogg");
  std::vector<int16_t> reference;
  Track() {
    EXPECT_TRUE(testtone::encodeOgg(path, testtone::sines(3.0, 440, 660, 0.5, 0.3)));
    reference = testtone::decodeOgg(path);
  }
  int64_t frames() const { return static_cast<int64_t>(reference.size() / 2); }
  int16_t at(int64_t frame, int channel) const {
    return frame < frames() ? reference[2 * frame + channel] : int16_t{0};
  }
};

const Track& track() {
  static Track* t = new Track;
  return *t;
}

// The sound state is process-wide: every case starts from closed sound on a fresh fake device.
struct MusicTest : testing::Test {
  platform::ManualAudioDevice device;
  void SetUp() override {
    closeSound();
    setOfflineAudio(false);
    setSpectrumActive(false);
    stopCapture();
    setAudioDevice(&device);
  }
  void TearDown() override {
    stopCapture();
    closeSound();
    setAudioDevice(nullptr);
  }

  void openTrack() {
    ASSERT_TRUE(initSound());
    ASSERT_TRUE(openMusic(track().path.c_str()));
  }

  // One device buffer, once the decoder is far enough ahead (it runs on its own thread).
  std::vector<int16_t> pull(int frames = kBlock) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (musicBufferedFrames() < frames && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<int16_t> out(2 * static_cast<size_t>(frames), int16_t{-1});
    EXPECT_TRUE(device.mix(out.data(), frames));
    return out;
  }

  // Frames of the output that differ from the track at `first` scaled by volume/255.
  static int mismatches(const std::vector<int16_t>& out, int64_t first, int volume = 255) {
    int bad = 0;
    for (size_t i = 0; i < out.size() / 2; ++i)
      for (int c = 0; c < 2; ++c)
        if (out[2 * i + c] != track().at(first + static_cast<int64_t>(i), c) * volume / 255) ++bad;
    return bad;
  }
};

// [SECTION] playback, position and volume

TEST_F(MusicTest, SetMusicTime1500LandsOnSample66150) {
  openTrack();
  setMusicTime(1500);
  EXPECT_EQ(musicPosition(), 66150);
  playMusic();
  const auto out = pull();
  EXPECT_EQ(mismatches(out, 66150), 0);
  EXPECT_EQ(musicPosition(), 66150 + kBlock);
}

TEST_F(MusicTest, PlaysFromTheStartAtFullVolumeAndRunsThroughTheStream) {
  openTrack();
  EXPECT_FALSE(isMusicPlaying());
  EXPECT_EQ(musicLength(), track().frames());
  playMusic();
  EXPECT_TRUE(isMusicPlaying());
  EXPECT_EQ(musicChannelVolume(), 255);
  for (int b = 0; b < 20; ++b) EXPECT_EQ(mismatches(pull(), int64_t{b} * kBlock), 0) << "block " << b;
  EXPECT_EQ(musicUnderrunFrames(), 0);
}

TEST_F(MusicTest, DuckPlaysAQuarterOfTheVolumeAndRestoreBringsItBack) {
  openTrack();
  playMusic();
  EXPECT_EQ(mismatches(pull(), 0), 0);
  duckMusic();
  EXPECT_EQ(musicChannelVolume(), 63);  // 255 / 4, integer division
  EXPECT_EQ(mismatches(pull(), kBlock, 63), 0);
  restoreMusicVolume();
  EXPECT_EQ(musicChannelVolume(), 255);
  EXPECT_EQ(mismatches(pull(), 2 * kBlock), 0);
}

TEST_F(MusicTest, PlayingAgainTakesAFreshChannelAtFullVolume) {
  openTrack();
  playMusic();
  duckMusic();
  pauseMusic();
  playMusic();
  EXPECT_EQ(musicChannelVolume(), 255);
  restoreMusicVolume();
  EXPECT_EQ(musicChannelVolume(), 255);
}

TEST_F(MusicTest, PauseSilencesTheDeviceAndResumeContinuesWhereItStopped) {
  openTrack();
  playMusic();
  pull();
  pull();
  pauseMusic();
  EXPECT_FALSE(isMusicPlaying());
  EXPECT_TRUE(device.isPaused());
  std::vector<int16_t> buffer(2 * kBlock);
  EXPECT_FALSE(device.mix(buffer.data(), kBlock));
  EXPECT_EQ(musicPosition(), 2 * kBlock);
  playMusic();
  EXPECT_FALSE(device.isPaused());
  EXPECT_EQ(mismatches(pull(), 2 * kBlock), 0);
}

TEST_F(MusicTest, SeeksWhilePlayingTakeEffectAtTheNextBuffer) {
  openTrack();
  playMusic();
  pull();
  setMusicTime(2000);
  EXPECT_EQ(mismatches(pull(), 88200), 0);
  setMusicTime(10);
  EXPECT_EQ(mismatches(pull(), 441), 0);
  EXPECT_EQ(musicPosition(), 441 + kBlock);
}

TEST_F(MusicTest, TheEndOfTheStreamAndSeeksPastItPlaySilence) {
  openTrack();
  const uint32_t lengthMs = static_cast<uint32_t>(track().frames() * 1000 / 44100);
  setMusicTime(lengthMs - 10);  // the last 10 ms, then silence
  playMusic();
  const int64_t first = musicPosition();
  EXPECT_EQ(mismatches(pull(), first), 0);
  EXPECT_EQ(mismatches(pull(), first + kBlock), 0);  // beyond the end: zeros on both sides

  setMusicTime(lengthMs + 60000);
  EXPECT_EQ(musicPosition(), (int64_t{lengthMs} + 60000) * 44100 / 1000);
  const auto out = pull();
  EXPECT_EQ(std::count(out.begin(), out.end(), 0), static_cast<long>(out.size()));
  EXPECT_TRUE(isMusicPlaying());

  setMusicTime(100);  // and back into the stream
  EXPECT_EQ(mismatches(pull(), 4410), 0);
}

// The launcher's protocol: the clock leads, the music is moved to it at play, resume and seek.
TEST_F(MusicTest, PauseResumeAndSeekKeepTheMusicPositionOnTheClock) {
  ManualCounter ticks(44100);  // one tick per sample frame: the device's own pace
  DemoClock clock(&ticks);
  openTrack();
  const uint32_t start = 500;
  setMusicTime(start);
  playMusic();
  clock.setBaseOffset(start);
  clock.restart();
  auto clockFrame = [&] { return int64_t{clock.now()} * 44100 / 1000; };
  auto play = [&](int blocks) {
    for (int i = 0; i < blocks; ++i) {
      pull();
      ticks.advance(kBlock);
      // The clock truncates to whole milliseconds: within one of them.
      EXPECT_NEAR(static_cast<double>(musicPosition()), static_cast<double>(clockFrame()), 44.1);
    }
  };
  play(10);
  clock.setPaused(true);
  pauseMusic();
  ticks.advance(3 * 44100);
  clock.setPaused(false);
  playMusic();
  setMusicTime(clock.now());
  EXPECT_EQ(musicPosition(), clockFrame());
  play(10);
  clock.seekBy(700);
  duckMusic();
  setMusicTime(clock.now());
  EXPECT_EQ(musicPosition(), clockFrame());
  play(5);
  restoreMusicVolume();
  clock.clearSeek();
  clock.setTime(250);  // a part jump
  setMusicTime(250);
  EXPECT_EQ(musicPosition(), clockFrame());
  play(5);
  EXPECT_EQ(musicUnderrunFrames(), 0);
}

TEST_F(MusicTest, TheStreamStaysOpenAcrossReloads) {
  openTrack();
  playMusic();
  pull();
  pauseMusic();
  EXPECT_TRUE(openMusic("no-such-file.ogg"));  // a reload: the open stream is kept
  EXPECT_EQ(musicLength(), track().frames());
  setMusicTime(1000);
  playMusic();
  EXPECT_EQ(mismatches(pull(), 44100), 0);
}

// [SECTION] failures and music off

TEST_F(MusicTest, MusicOffMakesNoSoundCall) {
  // With Music off the launcher never initialises sound; everything else it may reach is inert.
  pauseMusic();
  setMusicTime(1000);
  duckMusic();
  restoreMusicVolume();
  playMusic();
  setSpectrumActive(true);
  EXPECT_EQ(getSpectrum(), nullptr);
  setCaptureActive(true);
  stopCapture();
  EXPECT_FALSE(isMusicPlaying());
  EXPECT_FALSE(isSoundInitialised());
  closeSound();
  EXPECT_EQ(device.calls().total(), 0);
}

TEST_F(MusicTest, AMissingSoundtrackLeavesTheDemoSilentAndRunning) {
  TempDir empty;
  const std::string previous = std::filesystem::current_path().string();
  ASSERT_EQ(chdir(empty.path().c_str()), 0);
  ASSERT_TRUE(initSound());
  testing::internal::CaptureStderr();
  EXPECT_FALSE(openMusic("soundtrack.ogg"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(chdir(previous.c_str()), 0);
  setMusicTime(1000);
  playMusic();
  duckMusic();
  EXPECT_FALSE(isMusicPlaying());
  EXPECT_EQ(musicPosition(), -1);
  EXPECT_EQ(musicChannelVolume(), -1);
  EXPECT_EQ(device.calls().setPaused, 0);  // nothing was ever started
  std::vector<int16_t> buffer(2 * kBlock, 7);
  EXPECT_FALSE(device.mix(buffer.data(), kBlock));  // the device stays paused: silent
}

TEST_F(MusicTest, OpeningBeforeInitialisationIsANonFatalReport) {
  testing::internal::CaptureStderr();
  EXPECT_FALSE(openMusic(track().path.c_str()));
  EXPECT_THAT(testing::internal::GetCapturedStderr(),
              testing::MatchesRegex("(src/)?demoSystem/VelkorMusic.cpp:[0-9]+ Soundsystem not inited\n"));
  EXPECT_EQ(device.calls().total(), 0);
}

TEST_F(MusicTest, NoOutputAtAllLeavesSoundUninitialisedSilently) {
  device.canOpen = false;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(initSound());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(isSoundInitialised());
}

TEST_F(MusicTest, CloseSoundClosesTheStreamAndTheDevice) {
  openTrack();
  playMusic();
  closeSound();
  EXPECT_FALSE(isSoundInitialised());
  EXPECT_FALSE(isMusicPlaying());
  EXPECT_EQ(musicPosition(), -1);
  EXPECT_EQ(device.calls().close, 1);
  EXPECT_FALSE(device.isOpen());
}

TEST(MusicSdlDevice, AnUnavailableDriverFallsBackToTheDummyDriverWithOneLine) {
  closeSound();
  setAudioDevice(nullptr);
  setOfflineAudio(false);
  ASSERT_EQ(setenv("SDL_AUDIODRIVER", "no-such-driver", 1), 0);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(initSound());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_THAT(err, testing::HasSubstr("dummy"));
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
  ASSERT_TRUE(openMusic(track().path.c_str()));
  setMusicTime(200);
  playMusic();
  EXPECT_TRUE(isMusicPlaying());
  // The dummy driver consumes buffers on the wall clock: the position moves on.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (musicPosition() < 8820 + 2 * kBlock && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(musicPosition(), 8820 + 2 * kBlock);
  closeSound();
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// [SECTION] capture

using MusicDeathTest = MusicTest;

TEST_F(MusicDeathTest, StartingTheCaptureWithoutSoundIsFatal) {
  EXPECT_EXIT(startCapture(), testing::ExitedWithCode(1),
              "^tests/demoSystem/Music_test.cpp:[0-9]+ Oscillo: sound not inited\n$");
}

TEST_F(MusicTest, TheCaptureRingHoldsTheMonoMixBlockByBlock) {
  openTrack();
  startCapture();
  ASSERT_NE(captureRing, nullptr);
  EXPECT_EQ(captureBlock.load(), 0);
  playMusic();
  for (int b = 0; b < 6; ++b) {
    const auto out = pull();
    EXPECT_EQ(captureBlock.load(), (b + 1) % kCaptureBlocks);
    const int16_t* block = captureRing + (b % kCaptureBlocks) * kCaptureBlockLength;
    int bad = 0;
    for (int i = 0; i < kCaptureBlockLength; ++i)
      if (block[i] != static_cast<int16_t>((out[2 * i] + out[2 * i + 1]) >> 1)) ++bad;
    EXPECT_EQ(bad, 0) << "block " << b;
  }
  for (int i = 0; i < 16; ++i) EXPECT_EQ(captureRing[kCaptureRingLength + i], 0);
}

TEST_F(MusicTest, TheCaptureSeesTheDuckedOutput) {
  openTrack();
  startCapture();
  playMusic();
  duckMusic();
  const auto out = pull();
  EXPECT_EQ(mismatches(out, 0, 63), 0);
  EXPECT_EQ(captureRing[100], static_cast<int16_t>((out[200] + out[201]) >> 1));
}

TEST_F(MusicTest, AnInactiveCaptureWritesNothingAndStopFreesTheRing) {
  openTrack();
  startCapture();
  setCaptureActive(false);
  playMusic();
  pull();
  EXPECT_EQ(captureBlock.load(), 0);
  EXPECT_EQ(std::count(captureRing, captureRing + kCaptureRingLength + 16, 0), kCaptureRingLength + 16);
  setCaptureActive(true);
  pull();
  EXPECT_EQ(captureBlock.load(), 1);
  stopCapture();
  EXPECT_EQ(captureRing, nullptr);
  pull();  // the callback runs on without a ring
}

}  // namespace
