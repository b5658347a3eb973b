#pragma once
// The sound output behind one small interface: the SDL device in the program, a counting or
// silent fake in tests. Music reaches the device only through demoSystem/VelkorMusic.

#include <atomic>
#include <cstdint>
#include <mutex>

namespace platform {

// Fills `frames` interleaved stereo signed 16-bit frames. Runs on the device's own thread.
using AudioCallback = void (*)(void* user, int16_t* stereo, int frames);

constexpr int kAudioRate = 44100;
constexpr int kAudioChannels = 2;
// Frames per device buffer and per callback (about 23 ms).
constexpr int kAudioBufferFrames = 1024;

class AudioDevice {
 public:
  virtual ~AudioDevice() = default;
  // Opens 44.1 kHz stereo S16 output, started paused. True when a device is open.
  virtual bool open(AudioCallback callback, void* user) = 0;
  virtual void close() = 0;
  virtual void setPaused(bool paused) = 0;
  // Excludes the callback while held; SDL holds the same lock around every callback.
  virtual void lock() = 0;
  virtual void unlock() = 0;
};

// The SDL device. If the default driver cannot open one, it retries with SDL's "dummy"
// driver (silent, paced by the wall clock) and says so in one line on stderr. With no sound
// card and no sound server at all it goes to the dummy driver at once, so the sound
// library's own complaints never reach stderr.
AudioDevice& sdlAudioDevice();

// A device without hardware: nothing plays until mix() pulls a buffer through the callback,
// on whatever thread calls it. Counts every call, so a test can tell that no sound call was
// made and a benchmark can drive the callback directly.
class ManualAudioDevice final : public AudioDevice {
 public:
  struct Calls {
    int open = 0, close = 0, setPaused = 0, lock = 0, unlock = 0;
    int total() const { return open + close + setPaused + lock + unlock; }
  };

  bool open(AudioCallback callback, void* user) override;
  void close() override;
  void setPaused(bool paused) override;
  void lock() override;
  void unlock() override;

  // Runs the callback for `frames` frames under the device lock, as a real device would;
  // false (buffer untouched) while closed or paused.
  bool mix(int16_t* stereo, int frames);

  bool isOpen() const { return callback_ != nullptr; }
  bool isPaused() const { return paused_; }
  const Calls& calls() const { return calls_; }
  // When false, open fails (a machine without any output).
  bool canOpen = true;

 private:
  std::mutex mutex_;
  AudioCallback callback_ = nullptr;
  void* user_ = nullptr;
  std::atomic<bool> paused_{true};
  Calls calls_;
};

// Holds the device lock for a scope.
class AudioDeviceLock {
 public:
  explicit AudioDeviceLock(AudioDevice& device) : device_(device) { device_.lock(); }
  ~AudioDeviceLock() { device_.unlock(); }
  AudioDeviceLock(const AudioDeviceLock&) = delete;
  AudioDeviceLock& operator=(const AudioDeviceLock&) = delete;

 private:
  AudioDevice& device_;
};

}  // namespace platform
