#include "launcher/KeyControls.h"

#include <algorithm>

#include "demoSystem/DemoClock.h"
#include "launcher/LauncherState.h"

using platform::Key;
using platform::MessageType;

namespace {

constexpr float kInitialSeekStep = 10.0f;
constexpr float kSeekAcceleration = 1.1f;

void togglePause(PlaybackContext& context) {
  paused = !paused;
  context.clock.setPaused(paused);
  if (paused) {
    context.music.pause();
  } else {
    context.music.play();
    context.music.setTime(context.clock.now());
  }
}

void jumpToPart(int direction, PlaybackContext& context) {
  uint32_t target = 0;
  if (!partJumpTarget(direction, context.clock.now(), context.partTimes, context.endTime, &target))
    return;
  seekTo(target, context);
}

MessageResult handleKeyDown(Key key, PlaybackContext& context) {
  switch (key) {
    case Key::Escape: quitRequested = true; break;
    case Key::Space: reloadRequested = true; break;
    // The music is left where it is: only the viewer's scrubbing is undone.
    case Key::Enter: context.clock.clearSeek(); break;
    case Key::Shift: shiftHeld = true; break;
    case Key::F1: togglePause(context); break;
    case Key::F2: statsOverlay = !statsOverlay; break;
    case Key::F3: timelineShown = !timelineShown; break;
    case Key::Left:
      if (shiftHeld) jumpToPart(-1, context);
      else seekStepwise(-1, context);
      break;
    case Key::Right:
      if (shiftHeld) jumpToPart(+1, context);
      else seekStepwise(+1, context);
      break;
    default: break;
  }
  return MessageResult::Handled;
}

MessageResult handleKeyUp(Key key, PlaybackContext& context) {
  switch (key) {
    case Key::Shift: shiftHeld = false; break;
    case Key::Left:
    case Key::Right:
      seekStep = kInitialSeekStep;
      if (!paused) context.music.restoreVolume();
      break;
    default: break;
  }
  return MessageResult::Handled;
}

}  // namespace

void seekStepwise(int direction, PlaybackContext& context) {
  // Whole milliseconds: 10, 11, 12 (12.1), 13 (13.31), … while the key repeats.
  const int64_t step = static_cast<int64_t>(static_cast<float>(direction) * seekStep);
  context.clock.seekBy(step);
  seekStep *= kSeekAcceleration;
  if (!paused) {
    context.music.duck();
    context.music.setTime(context.clock.now());
  }
}

void setPausedTo(bool pause, PlaybackContext& context) {
  if (pause != paused) togglePause(context);
}

void seekTo(uint32_t ms, PlaybackContext& context) {
  if (!paused) context.music.setTime(ms);
  context.clock.clearSeek();
  context.clock.setTime(ms);
}

bool partJumpTarget(int direction, uint32_t now, std::span<const uint32_t> partTimes,
                    uint32_t endTime, uint32_t* target) {
  if (partTimes.empty()) return false;
  if (direction < 0) {
    // The last part strictly before now: standing exactly on a part goes to the one before.
    auto it = std::lower_bound(partTimes.begin(), partTimes.end(), now);
    *target = it == partTimes.begin() ? partTimes.front() : *(it - 1);
  } else {
    auto it = std::upper_bound(partTimes.begin(), partTimes.end(), now);
    *target = it == partTimes.end() ? endTime : *it;
  }
  return true;
}

MessageResult handleMessage(const platform::WindowMessage& message, PlaybackContext& context) {
  if (!inputEnabled) return MessageResult::Default;
  switch (message.type) {
    case MessageType::Close:
      if (context.postQuit) context.postQuit();
      return MessageResult::Handled;
    case MessageType::Activate: return MessageResult::Handled;
    case MessageType::KeyDown: return handleKeyDown(message.key, context);
    case MessageType::KeyUp: return handleKeyUp(message.key, context);
    default: return MessageResult::Default;
  }
}
