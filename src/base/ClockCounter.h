#pragma once
// Tick sources for the clocks: the demo clock and the frame-rate counter read time through
// this interface, so a capture can drive them by frame count and tests by hand.

#include <cstdint>

class ClockCounter {
 public:
  virtual ~ClockCounter() = default;
  virtual int64_t frequency() const = 0;  // ticks per second, > 0
  virtual int64_t count() const = 0;
};

// The platform's high-resolution performance counter.
ClockCounter& performanceCounter();

// A counter that moves only when told: ticks per second chosen by the owner. With
// ticksPerSecond = fps and one advance(1) per rendered frame, frame i reads i·1000/fps ms.
class ManualCounter final : public ClockCounter {
 public:
  explicit ManualCounter(int64_t ticksPerSecond = 1000) : ticksPerSecond_(ticksPerSecond) {}
  int64_t frequency() const override { return ticksPerSecond_; }
  int64_t count() const override { return ticks_; }
  void set(int64_t ticks) { ticks_ = ticks; }
  void advance(int64_t ticks) { ticks_ += ticks; }
  // Convenience for millisecond-based fakes: advance by ms converted to ticks.
  void advanceMs(int64_t ms) { ticks_ += ms * ticksPerSecond_ / 1000; }

 private:
  int64_t ticksPerSecond_;
  int64_t ticks_ = 0;
};
