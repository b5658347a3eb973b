#include "demoSystem/DemoClock.h"

DemoClock demoClock;

DemoClock::DemoClock(ClockCounter* counter) { setCounter(counter); }

void DemoClock::setCounter(ClockCounter* counter) {
  counter_ = counter ? counter : &performanceCounter();
  frequency_ = counter_->frequency();
  if (frequency_ <= 0) frequency_ = 1;
  restart();
  pauseCount_ = startCount_;
}

uint32_t DemoClock::elapsedAt(int64_t count) const {
  // 64-bit, truncating toward zero; kept as the 32-bit reading the clock works in.
  return static_cast<uint32_t>((count - startCount_) * 1000 / frequency_);
}

uint32_t DemoClock::now() {
  if (!paused_) lastElapsed_ = elapsedAt(counter_->count());
  const int64_t sum = static_cast<int64_t>(lastElapsed_) + seekOffset_ + baseOffset_;
  const int32_t reading = static_cast<int32_t>(static_cast<uint32_t>(sum));
  return reading < 0 ? 0u : static_cast<uint32_t>(reading);
}

void DemoClock::restart() {
  startCount_ = counter_->count();
  if (paused_) {
    // A restart while paused starts the frozen reading at 0 too, and the pause interval
    // counts from here, so resuming continues from 0.
    pauseCount_ = startCount_;
    lastElapsed_ = 0;
  }
}

void DemoClock::seekBy(int64_t ms) {
  if (ms < 0 && now() == 0) return;
  seekOffset_ += ms;
}

void DemoClock::setPaused(bool flag) {
  // Only a change of state acts: pausing twice must not lose the first pause's interval,
  // and resuming an unpaused clock must not jump.
  if (flag == paused_) return;
  const int64_t current = counter_->count();
  if (flag) {
    pauseCount_ = current;
    // The reading freezes at the moment of the pause, not at the last frame's reading.
    lastElapsed_ = elapsedAt(current);
  } else {
    startCount_ += current - pauseCount_;
  }
  paused_ = flag;
}

void DemoClock::setTime(uint32_t ms) {
  const int64_t current = counter_->count();
  const int64_t ticks = static_cast<int64_t>(ms) * frequency_ / 1000;
  startCount_ = current - ticks;
  // A coarse counter (a capture counts frames) cannot start between two of its ticks: the
  // part of ms below one tick stays in the base offset, so the clock reads ms exactly.
  const uint32_t elapsed = elapsedAt(current);
  baseOffset_ = static_cast<int64_t>(ms) - elapsed;
  if (paused_) {
    lastElapsed_ = elapsed;
    // The pause now counts from here: resuming continues from ms instead of going back by
    // the time that passed between the pause and this call.
    pauseCount_ = current;
  }
}
