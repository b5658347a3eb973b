#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

#include "demoSystem/MusicTestTone.h"
#include "demoSystem/VelkorMusic.h"
#include "platform/AudioDevice.h"

namespace {

constexpr double kBinHz = 44100.0 / 1024;

std::vector<int16_t> sine(double hz, double amplitude) {
  std::vector<int16_t> s(kSpectrumWindow);
  for (int n = 0; n < kSpectrumWindow; ++n)
    s[n] = static_cast<int16_t>(std::lround(32767.0 * amplitude * std::sin(2 * std::numbers::pi * hz * n / 44100)));
  return s;
}

int peakBin(const float* bins) { return static_cast<int>(std::max_element(bins, bins + kSpectrumSize) - bins); }

// [SECTION] the scaling, on exact samples

TEST(SpectrumScaling, ASineCentredOnABinReadsItsAmplitudeThere) {
  float bins[kSpectrumSize];
  for (double amplitude : {1.0, 0.5, 0.125}) {
    computeSpectrum(sine(23 * kBinHz, amplitude).data(), bins);
    EXPECT_EQ(peakBin(bins), 23);
    EXPECT_NEAR(bins[23], amplitude, 1e-3) << amplitude;
    // The Hann window spreads a centred tone into its two neighbours at half height.
    EXPECT_NEAR(bins[22], amplitude / 2, 1e-3);
    EXPECT_NEAR(bins[24], amplitude / 2, 1e-3);
    EXPECT_LT(bins[26], 1e-3);
  }
}

TEST(SpectrumScaling, SilenceIsAllZero) {
  const std::vector<int16_t> silence(kSpectrumWindow, 0);
  float bins[kSpectrumSize];
  computeSpectrum(silence.data(), bins);
  EXPECT_EQ(std::count(bins, bins + kSpectrumSize, 0.0f), kSpectrumSize);
}

TEST(SpectrumScaling, EveryBinStaysWithinZeroAndOne) {
  // A full-scale square wave: harmonics and DC pile up, but no bin leaves 0..1.
  std::vector<int16_t> square(kSpectrumWindow);
  for (int n = 0; n < kSpectrumWindow; ++n) square[n] = (n / 16) % 2 ? 32767 : -32768;
  float bins[kSpectrumSize];
  computeSpectrum(square.data(), bins);
  for (int k = 0; k < kSpectrumSize; ++k) {
    EXPECT_GE(bins[k], 0.0f);
    EXPECT_LE(bins[k], 1.0f);
  }
  EXPECT_EQ(peakBin(bins), 32);  // the fundamental: 44100/32 Hz
}

TEST(SpectrumScaling, A1kHzToneAtFullScalePeaksInBin23) {
  float bins[kSpectrumSize];
  computeSpectrum(sine(1000, 1.0).data(), bins);
  EXPECT_EQ(peakBin(bins), 23);  // 1000 / 43.07 = 23.2
  // 0.22 bins off centre, the Hann main lobe loses a few percent.
  EXPECT_GT(bins[23], 0.9f);
  EXPECT_LE(bins[23], 1.0f);
}

// [SECTION] the spectrum of the music that plays

struct SpectrumOfMusic : testing::Test {
  platform::ManualAudioDevice device;
  testtone::TempDir dir;
  std::string path = dir.file("soundtrack.ogg");

  void SetUp() override {
    closeSound();
    setOfflineAudio(false);
    setAudioDevice(&device);
    // 1 kHz on both sides at half scale.
    ASSERT_TRUE(testtone::encodeOgg(path, testtone::sines(2.0, 1000, 1000, 0.5, 0.5)));
    ASSERT_TRUE(initSound());
    ASSERT_TRUE(openMusic(path.c_str()));
  }
  void TearDown() override {
    setSpectrumActive(false);
    closeSound();
    setAudioDevice(nullptr);
  }
  void pullBlocks(int blocks) {
    std::vector<int16_t> buffer(2 * platform::kAudioBufferFrames);
    for (int b = 0; b < blocks; ++b) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
      while (musicBufferedFrames() < platform::kAudioBufferFrames && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      device.mix(buffer.data(), platform::kAudioBufferFrames);
    }
  }
};

TEST_F(SpectrumOfMusic, NullWhileTheAnalyserIsOffOrNoMusicPlays) {
  EXPECT_EQ(getSpectrum(), nullptr);  // off
  setSpectrumActive(true);
  EXPECT_EQ(getSpectrum(), nullptr);  // not playing
  playMusic();
  pullBlocks(2);
  EXPECT_NE(getSpectrum(), nullptr);
  pauseMusic();
  EXPECT_EQ(getSpectrum(), nullptr);
  playMusic();
  setSpectrumActive(false);
  EXPECT_EQ(getSpectrum(), nullptr);
}

TEST_F(SpectrumOfMusic, A1kHzToneOfTheSoundtrackPeaksInBin23) {
  setSpectrumActive(true);
  playMusic();
  setMusicTime(500);
  pullBlocks(3);
  const float* bins = getSpectrum();
  ASSERT_NE(bins, nullptr);
  EXPECT_EQ(peakBin(bins), 23);
  // Half scale in, about half out (the codec and the 0.22-bin offset cost a little).
  EXPECT_NEAR(bins[23], 0.47, 0.04);
  EXPECT_LT(bins[100], 0.01f);
}

TEST_F(SpectrumOfMusic, TheDuckIsSeenByTheSpectrum) {
  setSpectrumActive(true);
  playMusic();
  pullBlocks(3);
  const float full = getSpectrum()[23];
  duckMusic();
  pullBlocks(2);
  EXPECT_NEAR(getSpectrum()[23], full * 63 / 255, 0.01);
}

}  // namespace
