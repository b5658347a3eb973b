#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "demoSystem/DemoClock.h"
#include "demoSystem/MusicTestTone.h"
#include "demoSystem/VelkorMusic.h"
#include "platform/AudioDevice.h"

namespace {

// A chirp with a changing mix, so every frame's span sounds different.
testtone::StereoSignal chirp(double seconds) {
  const int frames = static_cast<int>(seconds * testtone::kRate);
  testtone::StereoSignal s(2 * static_cast<size_t>(frames));
  double phase = 0;
  for (int i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / testtone::kRate;
    phase += 2 * std::numbers::pi * (200 + 1500 * t) / testtone::kRate;
    s[2 * i] = static_cast<float>(0.6 * std::sin(phase));
    s[2 * i + 1] = static_cast<float>(0.3 * std::sin(3 * phase));
  }
  return s;
}

struct Capture {
  std::vector<std::vector<int16_t>> rings;
  std::vector<std::vector<float>> spectra;
  std::vector<int> blocks;
  std::vector<int16_t> audio;
};

struct MusicOffline : testing::Test {
  platform::ManualAudioDevice device;
  testtone::TempDir dir;
  std::string path = dir.file("soundtrack.ogg");

  void SetUp() override {
    closeSound();
    setAudioDevice(&device);
    ASSERT_TRUE(testtone::encodeOgg(path, chirp(3.0)));
  }
  void TearDown() override {
    stopCapture();
    setSpectrumActive(false);
    closeSound();
    setOfflineAudio(false);
    setOfflineAudioSink(nullptr);
    setAudioDevice(nullptr);
  }

  // What a launcher's capture does: the clock follows the frame counter, the music is put at
  // the start time, and before each frame the frame's span is rendered.
  Capture run(uint32_t startMs, int fps, int frames) {
    Capture c;
    setOfflineAudio(true);
    setOfflineAudioSink([&c](const int16_t* stereo, int n) { c.audio.insert(c.audio.end(), stereo, stereo + 2 * n); });
    EXPECT_TRUE(initSound());
    EXPECT_TRUE(openMusic(path.c_str()));
    ManualCounter frameCounter(fps);
    DemoClock clock(&frameCounter);
    setMusicTime(startMs);
    playMusic();
    clock.setBaseOffset(startMs);
    clock.restart();
    startCapture();
    setSpectrumActive(true);
    for (int i = 0; i < frames; ++i) {
      const uint32_t now = clock.now();
      frameCounter.advance(1);
      const uint32_t next = clock.now();
      renderOfflineAudio(now, next);
      c.rings.emplace_back(captureRing, captureRing + kCaptureRingLength + 16);
      c.blocks.push_back(captureBlock.load());
      const float* bins = getSpectrum();
      EXPECT_NE(bins, nullptr);
      c.spectra.emplace_back(bins, bins + kSpectrumSize);
    }
    stopCapture();
    setSpectrumActive(false);
    closeSound();
    setOfflineAudio(false);
    return c;
  }
};

TEST_F(MusicOffline, TwoRunsGiveBitIdenticalCaptureRingsAndSpectra) {
  const Capture a = run(400, 30, 45);
  const Capture b = run(400, 30, 45);
  ASSERT_EQ(a.rings.size(), 45u);
  EXPECT_EQ(a.rings, b.rings);
  EXPECT_EQ(a.blocks, b.blocks);
  ASSERT_EQ(a.spectra.size(), b.spectra.size());
  for (size_t i = 0; i < a.spectra.size(); ++i)
    EXPECT_EQ(std::memcmp(a.spectra[i].data(), b.spectra[i].data(), kSpectrumSize * sizeof(float)), 0) << i;
  EXPECT_EQ(a.audio, b.audio);
  // The spectrum does follow the music: the chirp moves it from frame to frame.
  EXPECT_NE(a.spectra.front(), a.spectra.back());
}

TEST_F(MusicOffline, NoDeviceIsOpenedOrTouched) {
  run(0, 25, 10);
  EXPECT_EQ(device.calls().total(), 0);
}

TEST_F(MusicOffline, TheSinkGetsExactlyTheSoundtrackFromTheStartTimeWithoutGaps) {
  const Capture c = run(400, 30, 45);
  const std::vector<int16_t> reference = testtone::decodeOgg(path);
  // 45 frames at 30 fps from 400 ms: frames 17640 up to floor(1900 ms) = 83790.
  const size_t first = 17640, last = 83790;
  ASSERT_EQ(c.audio.size(), 2 * (last - first));
  EXPECT_TRUE(std::equal(c.audio.begin(), c.audio.end(), reference.begin() + 2 * first));
}

TEST_F(MusicOffline, TheCaptureOfAFrameHoldsTheSamplesUpToItsMoment) {
  const Capture c = run(0, 10, 6);
  const std::vector<int16_t> reference = testtone::decodeOgg(path);
  auto mono = [&](int64_t frame) {
    return static_cast<int16_t>((reference[2 * frame] + reference[2 * frame + 1]) >> 1);
  };
  // The frame at 500 ms is sample 22050: the block a trace reads (1) ends just before it,
  // block 0 comes before that, and block 2 starts with it.
  const int16_t* ring = c.rings.back().data();
  EXPECT_EQ(c.blocks.back(), 0);
  const int64_t p = 22050;
  for (int i = 0; i < 2 * kCaptureBlockLength; ++i)
    ASSERT_EQ(ring[i], mono(p - 2 * kCaptureBlockLength + i)) << i;
  for (int i = 0; i < 2 * kCaptureBlockLength; ++i)
    ASSERT_EQ(ring[2 * kCaptureBlockLength + i], mono(p + i)) << i;
  EXPECT_EQ(std::count(ring + kCaptureRingLength, ring + kCaptureRingLength + 16, 0), 16);
  // The spectrum is that of the same block.
  std::vector<float> bins(kSpectrumSize);
  computeSpectrum(ring + kCaptureBlockLength, bins.data());
  EXPECT_EQ(c.spectra.back(), bins);
}

TEST_F(MusicOffline, TheFrameRateAndTheStartDoNotChangeWhatAMomentShows) {
  // 600 ms is frame 6 at 10 fps, frame 30 at 50 fps, and the first frame of a capture that
  // starts there (a seek: the samples before it are read too).
  const Capture slow = run(0, 10, 7);
  const Capture fast = run(0, 50, 31);
  const Capture late = run(600, 25, 1);
  // Everything up to the moment's own sample, which is as far as a trace reads; after it
  // the ring holds only what the span rendered.
  auto upToMoment = [](const std::vector<int16_t>& ring) {
    return std::vector<int16_t>(ring.begin(), ring.begin() + 2 * kCaptureBlockLength + 1);
  };
  EXPECT_EQ(upToMoment(slow.rings[6]), upToMoment(fast.rings[30]));
  EXPECT_EQ(upToMoment(slow.rings[6]), upToMoment(late.rings[0]));
  EXPECT_EQ(slow.spectra[6], fast.spectra[30]);
  EXPECT_EQ(slow.spectra[6], late.spectra[0]);
  // At 0 ms nothing has played yet: silence before the moment.
  EXPECT_EQ(std::count(slow.rings[0].begin(), slow.rings[0].begin() + 2 * kCaptureBlockLength, 0),
            2 * kCaptureBlockLength);
  EXPECT_EQ(*std::max_element(slow.spectra[0].begin(), slow.spectra[0].end()), 0.0f);
}

TEST_F(MusicOffline, APausedSpanIsSilenceAndFeedsNoCapture) {
  setOfflineAudio(true);
  std::vector<int16_t> audio;
  setOfflineAudioSink([&](const int16_t* s, int n) { audio.insert(audio.end(), s, s + 2 * n); });
  ASSERT_TRUE(initSound());
  ASSERT_TRUE(openMusic(path.c_str()));
  startCapture();
  renderOfflineAudio(0, 100);  // not yet playing
  EXPECT_EQ(audio.size(), 2u * 4410);
  EXPECT_EQ(std::count(audio.begin(), audio.end(), 0), 2 * 4410);
  EXPECT_EQ(captureBlock.load(), 0);
  EXPECT_EQ(std::count(captureRing, captureRing + kCaptureRingLength, 0), kCaptureRingLength);
}

TEST(MusicWav, WritesACanonicalPcmHeaderAndTheSamples) {
  testtone::TempDir dir;
  const std::string file = dir.file("a.wav");
  const int16_t samples[] = {1, -1, 32767, -32768};
  ASSERT_TRUE(writeWavFile(file.c_str(), samples, 2));
  std::ifstream in(file, std::ios::binary);
  const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(bytes.size(), 44u + 8);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(bytes[24] | bytes[25] << 8 | bytes[26] << 16, 44100);
  EXPECT_EQ(bytes[40], 8);  // data bytes
  EXPECT_EQ(bytes[44 + 4], 0xff);
  EXPECT_EQ(bytes[44 + 5], 0x7f);
  EXPECT_FALSE(writeWavFile(dir.file("missing/x.wav").c_str(), samples, 2));
}

// [SECTION] streams at other rates and channel counts

struct MusicOtherFormats : testing::Test {
  testtone::TempDir dir;
  std::vector<int16_t> audio;

  void TearDown() override {
    setSpectrumActive(false);
    closeSound();
    setOfflineAudio(false);
    setOfflineAudioSink(nullptr);
  }
  void open(const std::vector<float>& signal, int channels, int rate) {
    const std::string path = dir.file("soundtrack.ogg");
    ASSERT_TRUE(testtone::encodeOgg(path, signal, channels, rate));
    closeSound();
    setOfflineAudio(true);
    setOfflineAudioSink([this](const int16_t* s, int n) { audio.insert(audio.end(), s, s + 2 * n); });
    ASSERT_TRUE(initSound());
    ASSERT_TRUE(openMusic(path.c_str()));
    playMusic();
  }
  static int peakBin() {
    const float* bins = getSpectrum();
    return bins ? static_cast<int>(std::max_element(bins, bins + kSpectrumSize) - bins) : -1;
  }
};

TEST_F(MusicOtherFormats, A48kHzStreamIsResampledAndPlaysAtTheRightPitch) {
  open(testtone::tone(2.0, 1000, 0.5, 2, 48000), 2, 48000);
  EXPECT_EQ(musicLength(), 88200);  // two seconds at the output rate
  setSpectrumActive(true);
  renderOfflineAudio(500, 1000);
  EXPECT_EQ(peakBin(), 23);  // 1 kHz; played unconverted it would sit at 1088 Hz, bin 25
  EXPECT_NEAR(getSpectrum()[23], 0.47, 0.04);
}

TEST_F(MusicOtherFormats, A22kHzStreamIsResampledAndPlaysAtTheRightPitch) {
  open(testtone::tone(2.0, 1000, 0.5, 2, 22050), 2, 22050);
  EXPECT_EQ(musicLength(), 88200);
  setSpectrumActive(true);
  renderOfflineAudio(500, 1500);
  EXPECT_EQ(peakBin(), 23);
  EXPECT_EQ(audio.size(), 2u * 44100);
}

TEST_F(MusicOtherFormats, SeekingAResampledStreamLandsOnTheSamplesPlayingThroughGives) {
  open(testtone::tone(2.0, 700, 0.5, 2, 48000), 2, 48000);
  renderOfflineAudio(0, 1800);
  const std::vector<int16_t> through = audio;
  audio.clear();
  renderOfflineAudio(1500, 1600);  // not the continuation: a seek
  ASSERT_EQ(audio.size(), 2u * 4410);
  EXPECT_TRUE(std::equal(audio.begin(), audio.end(), through.begin() + 2 * 66150));
  audio.clear();
  renderOfflineAudio(2100, 2200);  // past the end: silence
  EXPECT_EQ(std::count(audio.begin(), audio.end(), 0), 2 * 4410);
}

TEST_F(MusicOtherFormats, AMonoStreamPlaysTheSameOnBothSides) {
  const std::vector<float> signal = testtone::tone(1.0, 440, 0.5, 1, 44100);
  open(signal, 1, 44100);
  renderOfflineAudio(0, 1000);
  ASSERT_EQ(audio.size(), 2u * 44100);
  int64_t energy = 0;
  for (size_t i = 0; i < audio.size(); i += 2) {
    ASSERT_EQ(audio[i], audio[i + 1]) << i;
    energy += std::abs(audio[i]);
  }
  EXPECT_GT(energy / 44100, 5000);  // about 0.5·(2/π) of full scale on average
}

}  // namespace
