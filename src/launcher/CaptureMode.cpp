#include "launcher/CaptureMode.h"

#include <algorithm>
#include <cstdio>

#include "demoSystem/DemoClock.h"
#include "demoSystem/DemoValues.h"
#include "demoSystem/Timeline.h"
#include "demoSystem/VelkorMusic.h"
#include "launcher/DemoStartup.h"
#include "launcher/LauncherState.h"

CaptureSession::CaptureSession(const CommandLineOptions& options) : options_(options), counter_(options.fps) {
  demoClock.setCounter(&counter_);
  if (musicEnabled) setOfflineAudio(true);
}

CaptureSession::~CaptureSession() { demoClock.setCounter(nullptr); }

uint32_t CaptureSession::frameTime(int64_t index) const {
  return captureFrameTime(base_, options_.fps, first_ + index);
}

bool CaptureSession::start(int width, int height, int* exitCode, std::optional<uint32_t> endMs) {
  start_ = options_.startMs.value_or(demoStartTime);
  const uint32_t end = endMs.value_or(options_.endMs.value_or(playbackEndTime));
  base_ = start_;
  first_ = 0;
  catchUpDue_ = start_ > demoStartTime && options_.fps > 0;
  const int64_t onGrid = catchUpDue_ ? (static_cast<int64_t>(start_ - demoStartTime) * options_.fps + 999) / 1000 : 0;
  if (catchUpDue_ && captureFrameTime(demoStartTime, options_.fps, onGrid) == start_) {
    // A start that is one of the whole run's frame times goes on with the whole run's frame
    // times (at 60 fps start + i·1000/60 would drift a millisecond off them).
    base_ = demoStartTime;
    first_ = onGrid;
    demoClock.setBaseOffset(base_);
    counter_.advance(first_);
  }
  frames_ = std::max<int64_t>(captureFrameCount(base_, end, options_.fps) - first_, 0);
  index_ = 0;
  if (frames_ == 0) {
    std::fprintf(stderr, "demoengine: nothing to capture: the end %u is before the start %u\n", end, start_);
    *exitCode = 2;
    return false;
  }
  std::string error;
  const bool ok = options_.recordFile.empty()
                      ? capture_.openDirectory(options_.captureDirectory, &error)
                      : capture_.openRecording(options_.recordFile, width, height, options_.fps, frames_, start_,
                                               kSoundtrack, &error);
  if (!ok) {
    std::fprintf(stderr, "demoengine: %s\n", error.c_str());
    *exitCode = 1;
    return false;
  }
  progress_ = std::make_unique<CaptureProgress>(frames_);
  return true;
}

void CaptureSession::renderFrame(uint32_t t) {
  if (catchUpDue_ && index_ == 0) {
    catchUpDue_ = false;
    const CatchUpCost cost = catchUpTimeline(demoStartTime, t, options_.fps, [](uint32_t from, uint32_t to) {
      if (musicEnabled) renderOfflineAudio(from, to, false);
    });
    if (progress_) progress_->caughtUp(cost.frames, cost.drawings, cost.seconds);
  }
  if (musicEnabled) renderOfflineAudio(t, frameTime(index_ + 1));
  ::renderFrame(t);
}

void CaptureSession::afterFrame(int width, int height, int* exitCode) {
  std::string error;
  if (!capture_.writeFrame(width, height, &error)) {
    if (!error.empty()) std::fprintf(stderr, "demoengine: %s\n", error.c_str());
    *exitCode = 1;
    quitRequested = true;
    return;
  }
  if (progress_) progress_->frameDone(frameTime(index_));
  ++index_;
  counter_.advance(1);
  if (index_ >= frames_) quitRequested = true;
}

void CaptureSession::finish(int width, int height, int* exitCode) {
  std::string error;
  const bool closed = capture_.close(&error);
  // A failed run ends with the line that says why, not with a summary.
  if (progress_) progress_->finish(closed && *exitCode == 0);
  if (!closed) {
    std::fprintf(stderr, "demoengine: %s\n", error.c_str());
    *exitCode = 1;
  }
  // A --dev run that never loaded its demo never started the capture.
  if (*exitCode == 0 && progress_)
    std::printf("demoengine: %lld frames of %dx%d written to %s\n", static_cast<long long>(capture_.framesWritten()),
                width, height, capture_.destination().c_str());
}
