#include "demoSystem/VelkorMusic.h"

#include <fftw3.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <numbers>
#include <thread>

#include "base/Error.h"
#include "platform/AudioDevice.h"
#include "platform/Files.h"

int16_t* captureRing = nullptr;
std::atomic<int> captureBlock{0};

namespace {

constexpr int kRate = platform::kAudioRate;
constexpr int kFullVolume = 255;

int64_t msToFrame(uint32_t ms) { return static_cast<int64_t>(ms) * kRate / 1000; }

// [SECTION] decoder

// The Ogg Vorbis stream as an endless sequence of 44.1 kHz stereo frames: the file's
// samples, then silence. Past the end the position keeps counting, so the music stays in step
// with the clock however far the clock runs. A 44.1 kHz file is passed through untouched;
// any other rate is resampled linearly, output frame n taken from source position
// n·rate/44100 in exact integer steps, so a seek lands on the same samples as playing there.
class MusicDecoder {
 public:
  ~MusicDecoder() { close(); }

  bool open(const char* path) {
    if (open_) return true;
    // The file through the platform, for its UTF-8 name; the decoder closes it.
    std::FILE* in = platform::openFile(path, "rb");
    if (!in) return false;
    if (ov_open_callbacks(in, &file_, nullptr, 0, OV_CALLBACKS_DEFAULT) != 0) {
      std::fclose(in);
      return false;
    }
    const vorbis_info* info = ov_info(&file_, -1);
    if (info == nullptr || info->rate <= 0 || info->channels < 1) {
      ov_clear(&file_);
      return false;
    }
    channels_ = info->channels;
    rate_ = info->rate;
    const ogg_int64_t total = ov_pcm_total(&file_, -1);
    length_ = total > 0 ? total * kRate / rate_ : 0;
    open_ = true;
    seek(0);
    return true;
  }

  void close() {
    if (!open_) return;
    ov_clear(&file_);
    open_ = false;
  }

  bool isOpen() const { return open_; }
  int64_t length() const { return length_; }
  int64_t position() const { return position_; }

  void seek(int64_t frame) {
    position_ = std::max<int64_t>(frame, 0);
    const int64_t source = position_ * rate_ / kRate;
    sourceBase_ = source;
    sourceCount_ = 0;
    ended_ = position_ >= length_ || ov_pcm_seek(&file_, source) != 0;
  }

  // Always delivers `frames` frames (silence after the end).
  void read(int16_t* stereo, int frames) {
    if (rate_ == kRate) {
      passThrough(stereo, frames);
    } else {
      resample(stereo, frames);
    }
    position_ += frames;
  }

 private:
  void passThrough(int16_t* stereo, int frames) {
    int done = 0;
    while (done < frames && !ended_) {
      const int got = decode(stereo + 2 * done, frames - done);
      if (got <= 0) {
        ended_ = true;
        break;
      }
      done += got;
    }
    std::fill(stereo + 2 * done, stereo + 2 * frames, int16_t{0});
  }

  void resample(int16_t* stereo, int frames) {
    for (int k = 0; k < frames; ++k) {
      const int64_t n = position_ + k;
      if (ended_ || n >= length_) {
        stereo[2 * k] = stereo[2 * k + 1] = 0;
        continue;
      }
      const int64_t scaled = n * rate_;
      const int64_t i = scaled / kRate;
      const int64_t fraction = scaled % kRate;
      keepSource(i, i + 1);
      for (int c = 0; c < 2; ++c) {
        const int64_t a = sourceAt(i, c), b = sourceAt(i + 1, c);
        stereo[2 * k + c] = static_cast<int16_t>(a + (b - a) * fraction / kRate);
      }
    }
  }

  // Source frames first..last decoded into the window (as far as the file reaches).
  void keepSource(int64_t first, int64_t last) {
    const int64_t drop = std::min<int64_t>(first - sourceBase_, sourceCount_);
    if (drop > 0) {
      std::memmove(source_, source_ + 2 * drop, sizeof(int16_t) * 2 * static_cast<size_t>(sourceCount_ - drop));
      sourceBase_ += drop;
      sourceCount_ -= static_cast<int>(drop);
    }
    while (!ended_ && sourceBase_ + sourceCount_ <= last) {
      const int got = decode(source_ + 2 * sourceCount_, kSourceFrames - sourceCount_);
      if (got <= 0) break;  // the last source frames interpolate towards silence
      sourceCount_ += got;
    }
  }

  int16_t sourceAt(int64_t frame, int channel) const {
    const int64_t j = frame - sourceBase_;
    return j >= 0 && j < sourceCount_ ? source_[2 * j + channel] : int16_t{0};
  }

  // One ov_read; returns frames decoded, 0 at the end, <0 on an unrecoverable error.
  int decode(int16_t* stereo, int frames) {
    constexpr int kBigEndian = std::endian::native == std::endian::big ? 1 : 0;
    int bitstream = 0;
    for (;;) {
      long bytes;
      if (channels_ == 2) {
        bytes = ov_read(&file_, reinterpret_cast<char*>(stereo), frames * 4, kBigEndian, 2, 1,
                        &bitstream);
      } else {
        const int want = std::min(frames, kScratchSamples / channels_);
        bytes = ov_read(&file_, reinterpret_cast<char*>(scratch_), want * channels_ * 2, kBigEndian,
                        2, 1, &bitstream);
      }
      if (bytes == OV_HOLE) continue;  // a gap in the data; decoding goes on after it
      if (bytes <= 0) return bytes == 0 ? 0 : -1;
      if (channels_ == 2) return static_cast<int>(bytes / 4);
      const int got = static_cast<int>(bytes / (2 * channels_));
      // Mono plays on both sides. With more channels the front pair is kept: Vorbis orders
      // them L R (RL RR) for 4 channels and L C R ... for 3 and from 5 on.
      const int right = channels_ == 1 ? 0 : (channels_ == 4 ? 1 : 2);
      for (int i = 0; i < got; ++i) {
        stereo[2 * i] = scratch_[i * channels_];
        stereo[2 * i + 1] = scratch_[i * channels_ + right];
      }
      return got;
    }
  }

  static constexpr int kScratchSamples = 8192;
  static constexpr int kSourceFrames = 4096;
  OggVorbis_File file_{};
  int16_t scratch_[kScratchSamples];
  int16_t source_[kSourceFrames * 2];
  int64_t sourceBase_ = 0;  // source frame held in source_[0]
  int sourceCount_ = 0;
  int channels_ = 2;
  long rate_ = kRate;
  int64_t length_ = 0;
  int64_t position_ = 0;
  bool open_ = false;
  bool ended_ = true;
};

// [SECTION] decoded-ahead ring

// Single producer (whoever holds the decoder mutex), single consumer (the device callback).
// reset() runs only with both excluded.
class PcmRing {
 public:
  static constexpr int kFrames = 8192;  // about 186 ms ahead of the output

  int freeFrames() const {
    return kFrames - static_cast<int>(written_.load(std::memory_order_relaxed) -
                                      read_.load(std::memory_order_acquire));
  }

  void push(const int16_t* stereo, int frames) {
    const uint64_t w = written_.load(std::memory_order_relaxed);
    for (int i = 0; i < frames; ++i) {
      const size_t slot = static_cast<size_t>((w + i) % kFrames) * 2;
      data_[slot] = stereo[2 * i];
      data_[slot + 1] = stereo[2 * i + 1];
    }
    written_.store(w + frames, std::memory_order_release);
  }

  int pop(int16_t* stereo, int frames) {
    const uint64_t r = read_.load(std::memory_order_relaxed);
    const uint64_t available = written_.load(std::memory_order_acquire) - r;
    const int n = static_cast<int>(std::min<uint64_t>(available, static_cast<uint64_t>(frames)));
    for (int i = 0; i < n; ++i) {
      const size_t slot = static_cast<size_t>((r + i) % kFrames) * 2;
      stereo[2 * i] = data_[slot];
      stereo[2 * i + 1] = data_[slot + 1];
    }
    read_.store(r + n, std::memory_order_release);
    return n;
  }

  uint64_t framesRead() const { return read_.load(std::memory_order_acquire); }

  void reset() {
    written_.store(0);
    read_.store(0);
  }

 private:
  int16_t data_[kFrames * 2] = {};
  std::atomic<uint64_t> written_{0};
  std::atomic<uint64_t> read_{0};
};

// [SECTION] process-wide sound state

struct SoundState {
  bool soundInitialised = false;
  bool soundRequested = false;
  int musicChannel = -1;
  int musicVolume = 0;
  bool musicPlaying = false;
  bool offline = false;

  platform::AudioDevice* device = nullptr;  // null: the SDL device
  MusicDecoder decoder;
  std::mutex decoderMutex;  // the decoder and the ring's producer side
  PcmRing ring;
  int64_t ringBase = 0;  // stream frame of the ring's first frame since the last reset
  std::thread feeder;
  std::atomic<bool> feederStop{false};

  // Read by the callback.
  std::atomic<bool> outputPlaying{false};
  std::atomic<int> outputVolume{kFullVolume};
  std::atomic<uint64_t> underrunFrames{0};

  // Capture: written by the mixer (callback or offline rendering).
  std::atomic<bool> captureActive{false};
  int captureOffset = 0;

  // The mono mix history for the spectrum.
  static constexpr int kHistory = 4096;
  int16_t history[kHistory] = {};
  std::atomic<uint64_t> historyWritten{0};
  bool spectrumActive = false;
  float spectrum[kSpectrumSize] = {};

  // Offline: the mono mix of the kTail samples before the stream frame tailEnd (−1: none
  // yet), and the spectrum window of the moment the last span began at.
  static constexpr int kTail = kCaptureRingLength;
  int16_t tail[kTail] = {};
  int64_t tailEnd = -1;
  int16_t moment[kSpectrumWindow] = {};

  OfflineAudioSink sink;
};

SoundState& state() {
  static SoundState* s = new SoundState;  // lives to the end; the feeder may still be stopping
  return *s;
}

platform::AudioDevice& device() {
  SoundState& s = state();
  return s.device ? *s.device : platform::sdlAudioDevice();
}

// [SECTION] the mixed output: capture and spectrum history

// Runs for every mixed block on the device thread (captures take the offline path below).
void feedMixedOutput(const int16_t* stereo, int frames) {
  SoundState& s = state();
  const uint64_t h = s.historyWritten.load(std::memory_order_relaxed);
  int16_t* ring = s.captureActive.load(std::memory_order_acquire) ? captureRing : nullptr;
  int block = captureBlock.load(std::memory_order_relaxed);
  for (int i = 0; i < frames; ++i) {
    const int16_t mono = static_cast<int16_t>((stereo[2 * i] + stereo[2 * i + 1]) >> 1);
    s.history[(h + i) % SoundState::kHistory] = mono;
    if (ring) {
      ring[block * kCaptureBlockLength + s.captureOffset] = mono;
      if (++s.captureOffset == kCaptureBlockLength) {
        s.captureOffset = 0;
        block = (block + 1) % kCaptureBlocks;
        captureBlock.store(block, std::memory_order_release);
      }
    }
  }
  s.historyWritten.store(h + frames, std::memory_order_release);
}

void applyVolume(int16_t* stereo, int frames, int volume) {
  if (volume == kFullVolume) return;
  for (int i = 0; i < 2 * frames; ++i) stereo[i] = static_cast<int16_t>(stereo[i] * volume / kFullVolume);
}

// The device callback: copies decoded frames, never decodes, allocates or waits.
void mixCallback(void*, int16_t* stereo, int frames) {
  SoundState& s = state();
  if (!s.outputPlaying.load(std::memory_order_acquire)) {
    std::memset(stereo, 0, sizeof(int16_t) * 2 * frames);
    return;
  }
  const int got = s.ring.pop(stereo, frames);
  if (got < frames) {
    std::memset(stereo + 2 * got, 0, sizeof(int16_t) * 2 * (frames - got));
    s.underrunFrames.fetch_add(static_cast<uint64_t>(frames - got), std::memory_order_relaxed);
  }
  applyVolume(stereo, frames, s.outputVolume.load(std::memory_order_relaxed));
  feedMixedOutput(stereo, frames);
}

// [SECTION] decoding ahead

constexpr int kFeedChunk = 1024;

// Caller holds decoderMutex.
void fillRing(int limitFrames) {
  SoundState& s = state();
  int16_t chunk[kFeedChunk * 2];
  while (limitFrames > 0 && s.ring.freeFrames() >= kFeedChunk) {
    s.decoder.read(chunk, kFeedChunk);
    s.ring.push(chunk, kFeedChunk);
    limitFrames -= kFeedChunk;
  }
}

void feederLoop() {
  SoundState& s = state();
  while (!s.feederStop.load()) {
    {
      std::lock_guard<std::mutex> guard(s.decoderMutex);
      fillRing(PcmRing::kFrames);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
}

void stopFeeder() {
  SoundState& s = state();
  if (!s.feeder.joinable()) return;
  s.feederStop = true;
  s.feeder.join();
  s.feederStop = false;
}

// Moves the stream; the ring restarts at the new position, filled a little ahead so the
// next callback already plays from there.
void seekStream(int64_t frame) {
  SoundState& s = state();
  std::lock_guard<std::mutex> guard(s.decoderMutex);
  if (s.offline) {
    s.decoder.seek(frame);
    return;
  }
  platform::AudioDeviceLock lock(device());
  s.decoder.seek(frame);
  s.ring.reset();
  s.ringBase = frame;
  fillRing(2 * kFeedChunk);
}

// [SECTION] spectrum

struct SpectrumPlan {
  float* input = nullptr;
  fftwf_complex* output = nullptr;
  fftwf_plan plan = nullptr;
  float window[kSpectrumWindow];

  SpectrumPlan() {
    input = fftwf_alloc_real(kSpectrumWindow);
    output = fftwf_alloc_complex(kSpectrumWindow / 2 + 1);
    plan = fftwf_plan_dft_r2c_1d(kSpectrumWindow, input, output, FFTW_ESTIMATE);
    // Periodic Hann: its sum is exactly kSpectrumWindow / 2.
    for (int n = 0; n < kSpectrumWindow; ++n)
      window[n] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / kSpectrumWindow));
  }
};

SpectrumPlan& spectrumPlan() {
  static SpectrumPlan* plan = new SpectrumPlan;  // planned once, reused for every call
  return *plan;
}

}  // namespace

// [SECTION] sound and music

void setAudioDevice(platform::AudioDevice* device) {
  if (!state().soundInitialised) state().device = device;
}

bool initSound() {
  SoundState& s = state();
  s.soundRequested = true;
  if (s.soundInitialised) return true;
  s.historyWritten = 0;
  s.underrunFrames = 0;
  std::fill(std::begin(s.history), std::end(s.history), int16_t{0});
  if (s.offline) {
    s.soundInitialised = true;
    return true;
  }
  if (!device().open(&mixCallback, nullptr)) return false;
  s.soundInitialised = true;
  return true;
}

bool openMusic(const char* fileName) {
  SoundState& s = state();
  if (!s.soundInitialised) {
    reportError(DE_HERE, "Soundsystem not inited", false);
    return false;
  }
  if (s.decoder.isOpen()) return true;
  {
    std::lock_guard<std::mutex> guard(s.decoderMutex);
    if (!s.decoder.open(fileName)) return false;
  }
  seekStream(0);
  if (!s.offline) s.feeder = std::thread(feederLoop);
  return true;
}

void playMusic() {
  SoundState& s = state();
  if (!s.decoder.isOpen()) return;
  if (!s.offline && !s.soundInitialised) reportError(DE_HERE, "Could not play soundstream", true);
  // Each play takes a fresh channel at full volume, started paused so the volume can be read
  // before anything is heard.
  s.musicChannel = 0;
  s.outputVolume = kFullVolume;
  s.musicVolume = s.outputVolume.load();
  s.outputPlaying = true;
  if (!s.offline) device().setPaused(false);
  s.musicPlaying = true;
}

void pauseMusic() {
  SoundState& s = state();
  if (s.musicChannel == -1) return;
  if (!s.offline) device().setPaused(true);
  s.outputPlaying = false;
  s.musicPlaying = false;
}

void setMusicTime(uint32_t ms) {
  if (!state().decoder.isOpen()) return;
  seekStream(msToFrame(ms));
}

void duckMusic() {
  SoundState& s = state();
  if (s.musicChannel != -1) s.outputVolume = s.musicVolume / 4;
}

void restoreMusicVolume() {
  SoundState& s = state();
  if (s.musicChannel != -1) s.outputVolume = s.musicVolume;
}

void closeSound() {
  SoundState& s = state();
  stopFeeder();
  if (s.soundInitialised && !s.offline) device().close();
  {
    std::lock_guard<std::mutex> guard(s.decoderMutex);
    s.decoder.close();
    s.ring.reset();
    s.ringBase = 0;
  }
  s.soundInitialised = false;
  s.soundRequested = false;
  s.tailEnd = -1;
  s.musicChannel = -1;
  s.musicVolume = 0;
  s.musicPlaying = false;
  s.outputPlaying = false;
  s.outputVolume = kFullVolume;
}

bool isSoundInitialised() { return state().soundInitialised; }
bool isMusicPlaying() { return state().musicPlaying; }
bool isSoundRequested() { return state().soundRequested; }

int64_t musicPosition() {
  SoundState& s = state();
  if (!s.decoder.isOpen()) return -1;
  if (s.offline) return s.decoder.position();
  return s.ringBase + static_cast<int64_t>(s.ring.framesRead());
}

int64_t musicLength() { return state().decoder.isOpen() ? state().decoder.length() : 0; }

int musicBufferedFrames() {
  const SoundState& s = state();
  return s.offline ? 0 : PcmRing::kFrames - s.ring.freeFrames();
}

int64_t musicUnderrunFrames() { return static_cast<int64_t>(state().underrunFrames.load()); }

int musicChannelVolume() { return state().musicChannel == -1 ? -1 : state().outputVolume.load(); }

// [SECTION] capture

void startCapture(const char* sourceFile, int line) {
  SoundState& s = state();
  if (!s.soundInitialised) reportError(sourceFile, line, "Oscillo: sound not inited", true);
  int16_t* ring = new int16_t[kCaptureRingLength + 16]();
  int16_t* old;
  {
    // The callback reads the pointer under this lock; it never sees a freed ring.
    if (!s.offline) device().lock();
    old = captureRing;
    captureRing = ring;
    captureBlock = 0;
    s.captureOffset = 0;
    s.captureActive = true;
    if (!s.offline) device().unlock();
  }
  delete[] old;
}

void setCaptureActive(bool active) {
  SoundState& s = state();
  s.captureActive = active && captureRing != nullptr;
}

void stopCapture() {
  SoundState& s = state();
  if (captureRing == nullptr) return;
  const bool locking = s.soundInitialised && !s.offline;
  if (locking) device().lock();
  s.captureActive = false;
  int16_t* old = captureRing;
  captureRing = nullptr;
  if (locking) device().unlock();
  delete[] old;
}

// [SECTION] spectrum

void setSpectrumActive(bool active) {
  state().spectrumActive = active;
  if (active) spectrumPlan();
}

bool isSpectrumActive() { return state().spectrumActive; }

void computeSpectrum(const int16_t* samples, float* bins) {
  SpectrumPlan& p = spectrumPlan();
  for (int n = 0; n < kSpectrumWindow; ++n) p.input[n] = samples[n] / 32768.0f * p.window[n];
  fftwf_execute(p.plan);
  const float scale = 2.0f / (kSpectrumWindow / 2);
  for (int k = 0; k < kSpectrumSize; ++k) {
    const float magnitude = std::hypot(p.output[k][0], p.output[k][1]) * scale;
    bins[k] = std::min(magnitude, 1.0f);
  }
}

const float* getSpectrum() {
  SoundState& s = state();
  if (!s.spectrumActive || !s.soundInitialised || !s.musicPlaying) return nullptr;
  if (s.offline) {
    computeSpectrum(s.moment, s.spectrum);
    return s.spectrum;
  }
  int16_t latest[kSpectrumWindow];
  {
    // A copy of 2 KB: the callback waits at most that long, and the window is never torn.
    platform::AudioDeviceLock lock(device());
    const uint64_t end = s.historyWritten.load(std::memory_order_acquire);
    for (int i = 0; i < kSpectrumWindow; ++i)
      latest[i] = s.history[(end - kSpectrumWindow + i) % SoundState::kHistory];
  }
  computeSpectrum(latest, s.spectrum);
  return s.spectrum;
}

// [SECTION] offline audio

void setOfflineAudio(bool offline) {
  if (!state().soundInitialised) state().offline = offline;
}

bool isOfflineAudio() { return state().offline; }

void setOfflineAudioSink(OfflineAudioSink sink) { state().sink = std::move(sink); }

namespace {

// Appends the mono mix of `frames` stereo frames to the offline tail; returns how many of
// them also went into `ahead` (up to `room`).
int pushTail(const int16_t* stereo, int frames, int16_t* ahead, int room) {
  SoundState& s = state();
  constexpr int kTail = SoundState::kTail;
  const int kept = std::min(frames, kTail);
  std::memmove(s.tail, s.tail + kept, sizeof(int16_t) * (kTail - kept));
  int16_t* out = s.tail + (kTail - kept);
  for (int i = frames - kept; i < frames; ++i)
    *out++ = static_cast<int16_t>((stereo[2 * i] + stereo[2 * i + 1]) >> 1);
  const int taken = std::min(frames, room);
  for (int i = 0; i < taken; ++i) ahead[i] = static_cast<int16_t>((stereo[2 * i] + stereo[2 * i + 1]) >> 1);
  return taken;
}

// Reads the samples before `frame` into the tail (silence before the stream's start) and
// leaves the decoder at `frame`.
void refillTail(int64_t frame) {
  SoundState& s = state();
  std::fill(std::begin(s.tail), std::end(s.tail), int16_t{0});
  int64_t at = std::max<int64_t>(frame - SoundState::kTail, 0);
  s.decoder.seek(at);
  int16_t block[kFeedChunk * 2];
  while (at < frame) {
    const int frames = static_cast<int>(std::min<int64_t>(frame - at, kFeedChunk));
    s.decoder.read(block, frames);
    applyVolume(block, frames, s.outputVolume.load());
    pushTail(block, frames, nullptr, 0);
    at += frames;
  }
  s.tailEnd = frame;
}

}  // namespace

void renderOfflineAudio(uint32_t startMs, uint32_t endMs, bool toSink) {
  SoundState& s = state();
  if (!s.offline || !s.soundInitialised) return;
  const int64_t first = msToFrame(startMs);
  int64_t remaining = msToFrame(endMs) - first;
  if (remaining <= 0) return;
  const bool playing = s.musicPlaying && s.decoder.isOpen();
  constexpr int kBefore = 2 * kCaptureBlockLength;  // ring blocks 0 and 1
  const bool capturing = playing && s.captureActive.load() && captureRing != nullptr;
  if (playing) {
    if (s.decoder.position() != first || s.tailEnd != first) refillTail(first);
    std::copy(std::end(s.tail) - kSpectrumWindow, std::end(s.tail), s.moment);
    if (capturing) std::copy(std::end(s.tail) - kBefore, std::end(s.tail), captureRing);
  }
  // Ring blocks 2 and 3: the span's first samples, silence where it is shorter.
  int16_t ahead[2 * kCaptureBlockLength] = {};
  int aheadCount = 0;
  int16_t block[kFeedChunk * 2];
  while (remaining > 0) {
    const int frames = static_cast<int>(std::min<int64_t>(remaining, kFeedChunk));
    if (playing) {
      s.decoder.read(block, frames);
      applyVolume(block, frames, s.outputVolume.load());
      aheadCount += pushTail(block, frames, ahead + aheadCount, static_cast<int>(std::size(ahead)) - aheadCount);
      s.tailEnd += frames;
    } else {
      std::fill(block, block + 2 * frames, int16_t{0});
    }
    if (s.sink && toSink) s.sink(block, frames);
    remaining -= frames;
  }
  if (capturing) {
    std::copy(std::begin(ahead), std::end(ahead), captureRing + kBefore);
    captureBlock = 0;
    s.captureOffset = 0;
  }
}

bool writeWavFile(const char* path, const int16_t* stereo, int64_t frames) {
  std::FILE* f = platform::openFile(path, "wb");
  if (f == nullptr) return false;
  const uint32_t dataBytes = static_cast<uint32_t>(frames * 4);
  auto u32 = [&](uint32_t v) {
    const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::fwrite(b, 1, 4, f);
  };
  auto u16 = [&](uint16_t v) {
    const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, f);
  };
  std::fwrite("RIFF", 1, 4, f);
  u32(36 + dataBytes);
  std::fwrite("WAVEfmt ", 1, 8, f);
  u32(16);
  u16(1);  // PCM
  u16(2);
  u32(kRate);
  u32(kRate * 4);
  u16(4);
  u16(16);
  std::fwrite("data", 1, 4, f);
  u32(dataBytes);
  for (int64_t i = 0; i < 2 * frames; ++i) u16(static_cast<uint16_t>(stereo[i]));
  const bool ok = std::ferror(f) == 0;
  return std::fclose(f) == 0 && ok;
}
