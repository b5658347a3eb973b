#include "platform/AudioDevice.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/SoundOutput.h"

namespace platform {

namespace {

class SdlAudioDevice final : public AudioDevice {
 public:
  bool open(AudioCallback callback, void* user) override {
    if (device_ != 0) return true;
    callback_ = callback;
    user_ = user;
    if (!soundOutputReachable()) {
      std::fprintf(stderr, "sound: no audio device could be opened (no sound card or sound server found); "
                           "using the silent dummy driver\n");
      std::fflush(stderr);
      return openWithDriver("dummy");
    }
    if (openWithDriver(nullptr)) return true;
    std::fprintf(stderr, "sound: no audio device could be opened (%s); using the silent dummy driver\n",
                 SDL_GetError());
    std::fflush(stderr);
    return openWithDriver("dummy");
  }

  void close() override {
    if (device_ == 0) return;
    SDL_CloseAudioDevice(device_);
    device_ = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  void setPaused(bool paused) override {
    if (device_ != 0) SDL_PauseAudioDevice(device_, paused ? 1 : 0);
  }
  void lock() override {
    if (device_ != 0) SDL_LockAudioDevice(device_);
  }
  void unlock() override {
    if (device_ != 0) SDL_UnlockAudioDevice(device_);
  }

 private:
  static void SDLCALL trampoline(void* self, Uint8* stream, int bytes) {
    auto* device = static_cast<SdlAudioDevice*>(self);
    device->callback_(device->user_, reinterpret_cast<int16_t*>(stream),
                      bytes / static_cast<int>(sizeof(int16_t) * kAudioChannels));
  }

  // driver null: SDL's choice (SDL_AUDIODRIVER, else the first that works).
  bool openWithDriver(const char* driver) {
    if (driver) SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, driver, SDL_HINT_OVERRIDE);
    const bool initialised = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (driver) SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    if (!initialised) return false;

    SDL_AudioSpec want{};
    want.freq = kAudioRate;
    want.format = AUDIO_S16SYS;
    want.channels = kAudioChannels;
    want.samples = kAudioBufferFrames;
    want.callback = &SdlAudioDevice::trampoline;
    want.userdata = this;
    // No format change allowed: SDL converts for the hardware, the callback always sees
    // 44.1 kHz stereo S16 in buffers of kAudioBufferFrames.
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    return true;
  }

  SDL_AudioDeviceID device_ = 0;
  AudioCallback callback_ = nullptr;
  void* user_ = nullptr;
};

}  // namespace

AudioDevice& sdlAudioDevice() {
  static SdlAudioDevice device;
  return device;
}

}  // namespace platform

namespace platform {

bool ManualAudioDevice::open(AudioCallback callback, void* user) {
  ++calls_.open;
  if (!canOpen) return false;
  callback_ = callback;
  user_ = user;
  paused_ = true;
  return true;
}

void ManualAudioDevice::close() {
  ++calls_.close;
  std::lock_guard<std::mutex> guard(mutex_);
  callback_ = nullptr;
  user_ = nullptr;
}

void ManualAudioDevice::setPaused(bool paused) {
  ++calls_.setPaused;
  paused_ = paused;
}

void ManualAudioDevice::lock() {
  ++calls_.lock;
  mutex_.lock();
}

void ManualAudioDevice::unlock() {
  ++calls_.unlock;
  mutex_.unlock();
}

bool ManualAudioDevice::mix(int16_t* stereo, int frames) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (callback_ == nullptr || paused_) return false;
  callback_(user_, stereo, frames);
  return true;
}

}  // namespace platform
