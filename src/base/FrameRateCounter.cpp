#include "base/FrameRateCounter.h"

FrameRateCounter frameRateCounter;

FrameRateCounter::FrameRateCounter(ClockCounter* counter)
    : counter_(counter ? counter : &performanceCounter()), frequency_(counter_->frequency()) {}

void FrameRateCounter::configure(int batchSize, bool loggingEnabled, const char* fileName) {
  batchSize_ = batchSize;
  loggingEnabled_ = loggingEnabled;
  framesInBatch_ = 0;
  if (loggingEnabled_) {
    if (log_.is_open()) log_.close();
    log_.clear();
    log_.open(fileName ? fileName : "", std::ios::out | std::ios::trunc);
  }
  maxFps_ = 0.0f;
  minFps_ = 10000.0f;
}

uint32_t FrameRateCounter::elapsedMs() const {
  return static_cast<uint32_t>((counter_->count() - batchStart_) * 1000 / frequency_);
}

double FrameRateCounter::nowMs() const {
  return static_cast<double>(counter_->count()) * 1000.0 / static_cast<double>(frequency_);
}

void FrameRateCounter::setCounter(ClockCounter* counter) {
  ClockCounter* next = counter ? counter : &performanceCounter();
  if (next == counter_) return;
  counter_ = next;
  frequency_ = counter_->frequency();
  framesInBatch_ = 0;
}

void FrameRateCounter::tick() {
  if (framesInBatch_ == 0) batchStart_ = counter_->count();
  ++framesInBatch_;
  if (framesInBatch_ != batchSize_) return;

  // A whole batch inside one millisecond cannot really happen; counting it as one
  // millisecond keeps the rate finite instead of dividing by zero.
  uint32_t elapsed = elapsedMs();
  if (elapsed == 0) elapsed = 1;
  const float rate = static_cast<float>(framesInBatch_) / (static_cast<float>(elapsed) * 0.001f);
  framesInBatch_ = 0;
  if (loggingEnabled_ && log_) {
    log_ << "fps: " << rate << '\n';
    log_.flush();
  }
  if (rate < minFps_) minFps_ = rate;
  if (rate > maxFps_) maxFps_ = rate;
}
