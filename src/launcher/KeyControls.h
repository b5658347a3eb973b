#pragma once
// What the demo window's messages do once the first load has finished: quit, reload,
// pause, seek with acceleration and part jumps. The state lives in the launcher's
// process-wide values; time in the clock it is given; sound in the music it is given.

#include <cstdint>
#include <span>

#include "base/VelkorWindow.h"
#include "platform/Events.h"

class DemoClock;

// The music calls the keys make. Playing without music passes an object that does nothing,
// so no sound call is made at all.
class MusicControls {
 public:
  virtual ~MusicControls() = default;
  virtual void pause() = 0;
  virtual void play() = 0;
  virtual void setTime(uint32_t ms) = 0;
  virtual void duck() = 0;            // a quarter of the volume while scrubbing
  virtual void restoreVolume() = 0;
};

struct PlaybackContext {
  DemoClock& clock;
  MusicControls& music;
  std::span<const uint32_t> partTimes;  // ascending, distinct
  uint32_t endTime;                     // where a jump past the last part lands
  void (*postQuit)();                   // what closing the window queues
};

// The demo window procedure's logic. Default means "not ours, let the system have it".
MessageResult handleMessage(const platform::WindowMessage& message, PlaybackContext& context);

// One arrow-key seek (direction -1 or +1) at the current step; the step then grows by 10 %.
void seekStepwise(int direction, PlaybackContext& context);

// Pauses or resumes as F1 does, when the state differs (the music stops, or starts again
// at the clock's time).
void setPausedTo(bool pause, PlaybackContext& context);
// Goes to demo time `ms` as a part jump does: the seeking cleared, the clock set, the music
// moved there unless paused.
void seekTo(uint32_t ms, PlaybackContext& context);

// The part time a Shift+arrow goes to from `now`; false with an empty part list.
bool partJumpTarget(int direction, uint32_t now, std::span<const uint32_t> partTimes,
                    uint32_t endTime, uint32_t* target);
