#pragma once
// Frames per second over fixed batches of frames, with the lowest and highest batch rate and
// an optional profiling log. The frame-rate display drives it: configure when it starts,
// tick once per frame while it is active, elapsedMs for the instantaneous rate bar.

#include <cstdint>
#include <fstream>

#include "base/ClockCounter.h"

class FrameRateCounter {
 public:
  // Null: the high-resolution performance counter.
  explicit FrameRateCounter(ClockCounter* counter = nullptr);

  // Starts counting batches of batchSize frames; when logging, opens (truncates) fileName. A
  // log that cannot be opened stays failed, so later writes do nothing.
  void configure(int batchSize, bool loggingEnabled, const char* fileName);
  // Once per frame. The batch's rate is produced on its last frame.
  void tick();
  // Milliseconds since the current batch began (64-bit arithmetic, truncated).
  uint32_t elapsedMs() const;
  // The counter's reading in milliseconds with its fraction: frame-to-frame intervals that
  // neither wrap at a batch's start nor lose the part of a millisecond.
  double nowMs() const;
  // Counts on another tick source from now on (null: the performance counter), so that a
  // capture measures the frame counter's time; a change starts the batch again. The counter
  // must outlive its use here.
  void setCounter(ClockCounter* counter);

  float minFps() const { return minFps_; }
  float maxFps() const { return maxFps_; }
  int framesInBatch() const { return framesInBatch_; }

 private:
  ClockCounter* counter_;
  int64_t frequency_;
  int64_t batchStart_ = 0;
  bool loggingEnabled_ = false;
  int batchSize_ = 0;
  int framesInBatch_ = 0;
  float maxFps_ = 0.0f;
  float minFps_ = 10000.0f;
  std::ofstream log_;
};

// The one counter of the process.
extern FrameRateCounter frameRateCounter;
