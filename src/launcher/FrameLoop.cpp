#include "launcher/FrameLoop.h"

#include "demoSystem/DemoClock.h"
#include "demoSystem/DemoValues.h"
#include "demoSystem/VelkorMusic.h"
#include "launcher/DemoStartup.h"
#include "launcher/KeyControls.h"
#include "launcher/LauncherState.h"
#include "launcher/SyncLink.h"

namespace {

// The sound track as the keys see it: with Music off nothing reaches the sound code at all.
class SoundtrackControls final : public MusicControls {
 public:
  void pause() override {
    if (musicEnabled) pauseMusic();
  }
  void play() override {
    if (musicEnabled) playMusic();
  }
  void setTime(uint32_t ms) override {
    if (musicEnabled) setMusicTime(ms);
  }
  void duck() override {
    if (musicEnabled) duckMusic();
  }
  void restoreVolume() override {
    if (musicEnabled) restoreMusicVolume();
  }
};

SoundtrackControls soundtrack;

}  // namespace

MessageResult windowProc(VelkorWindow*, const platform::WindowMessage& message) {
  PlaybackContext context{demoClock, soundtrack, partTimes, playbackEndTime, platform::postQuit};
  return handleMessage(message, context);
}

LoopExit runFrames(VelkorWindow& window, const std::function<void(uint32_t)>& render,
                   const std::function<void(uint32_t)>& beforeSwap) {
  for (;;) {
    if (quitRequested) return LoopExit::Quit;
    const platform::WindowMessage message = platform::pollMessage();
    if (message.type == platform::MessageType::Quit) {
      quitRequested = true;
      continue;
    }
    if (message.type != platform::MessageType::None) window.dispatch(message);
    if (SyncLink* sync = activeSyncLink()) {
      PlaybackContext context{demoClock, soundtrack, partTimes, playbackEndTime, platform::postQuit};
      sync->frame(context);
    }
    const uint32_t t = demoClock.now();
    render(t);
    if (beforeSwap) beforeSwap(t);
    window.swapBuffers();
    if (reloadRequested) {
      reloadRequested = false;
      return LoopExit::Reload;
    }
  }
}

void seekPlayback(uint32_t ms) {
  PlaybackContext context{demoClock, soundtrack, partTimes, playbackEndTime, platform::postQuit};
  seekTo(ms, context);
}

void musicAt(uint32_t t) {
  if (!musicEnabled || !initSound() || !openMusic(kSoundtrack)) return;
  setMusicTime(t);
  if (!paused) playMusic();
}
