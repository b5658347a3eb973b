#pragma once
// The demo clock: demo time in unsigned 32-bit milliseconds, a wall clock with a base
// offset (the demo start), a seek offset (the viewer's scrubbing) and pause. Demo time never
// comes from the sound; the music is moved to this clock wherever the two could drift apart.
//
// The clock reads ticks from a ClockCounter: the high-resolution performance counter by
// default, or any counter installed with setCounter (a capture drives it by frame count,
// tests by hand).

#include <cstdint>

#include "base/ClockCounter.h"

class DemoClock {
 public:
  // Null means the performance counter. The clock starts at counter 0 elapsed from now.
  explicit DemoClock(ClockCounter* counter = nullptr);

  // Installs another tick source (null: the performance counter) and restarts on it; the
  // offsets and the pause state are kept. The counter must outlive its use by the clock.
  void setCounter(ClockCounter* counter);
  ClockCounter& counter() const { return *counter_; }

  // Elapsed + seekOffset + baseOffset, wrapped to signed 32 bits; negative reads as 0.
  uint32_t now();
  // Elapsed time restarts at 0 now.
  void restart();
  void setBaseOffset(int64_t ms) { baseOffset_ = ms; }
  // A backward seek while the clock reads 0 is ignored: it never seeks below the start.
  void seekBy(int64_t ms);
  void clearSeek() { seekOffset_ = 0; }
  // The reading freezes while paused and the paused interval never counts.
  void setPaused(bool flag);
  // The clock reads ms from now on (base offset cleared, but for the part of ms below one
  // tick of a coarse counter), also while paused.
  void setTime(uint32_t ms);

  bool isPaused() const { return paused_; }
  int64_t baseOffset() const { return baseOffset_; }
  int64_t seekOffset() const { return seekOffset_; }

 private:
  uint32_t elapsedAt(int64_t count) const;

  ClockCounter* counter_;
  int64_t frequency_ = 1;
  int64_t startCount_ = 0;
  int64_t pauseCount_ = 0;
  int64_t baseOffset_ = 0;
  int64_t seekOffset_ = 0;
  uint32_t lastElapsed_ = 0;
  bool paused_ = false;
};

// The one clock of the process, constructed at program start on the performance counter.
extern DemoClock demoClock;
