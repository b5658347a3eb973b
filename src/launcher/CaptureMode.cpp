#include "launcher/CaptureMode.h"

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

bool CaptureSession::start(int width, int height, int* exitCode, std::optional<uint32_t> endMs) {
  start_ = options_.startMs.value_or(demoStartTime);
  const uint32_t end = endMs.value_or(options_.endMs.value_or(playbackEndTime));
  frames_ = captureFrameCount(start_, end, options_.fps);
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
  if (musicEnabled) renderOfflineAudio(t, captureFrameTime(start_, options_.fps, index_ + 1));
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
  if (progress_) progress_->frameDone(captureFrameTime(start_, options_.fps, index_));
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
