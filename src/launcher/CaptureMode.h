#pragma once
// --capture and --record: frame i shows demo time start + i·1000/fps however long it takes to
// render, the sound is rendered offline for each frame's span instead of being played, and
// each finished frame is read back and written before the swap. Play and dev runs capture
// through one session.
//
// A start after the demo's shows what a capture from the demo's start shows there: before the
// first frame the timeline catches up (catchUpTimeline) at the capture's step. A start that
// is one of that capture's frame times k0 goes on with its frame times (frame i shows its
// frame k0 + i), so the frames are that capture's, byte for byte.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/ClockCounter.h"
#include "launcher/CaptureProgress.h"
#include "launcher/CommandLine.h"
#include "launcher/FrameCapture.h"

class CaptureSession {
 public:
  // From here on the demo clock follows the frame counter and (with music) the sound is
  // rendered offline.
  explicit CaptureSession(const CommandLineOptions& options);
  // The clock goes back to the wall clock.
  ~CaptureSession();
  CaptureSession(const CaptureSession&) = delete;
  CaptureSession& operator=(const CaptureSession&) = delete;

  // Opens the destination for the frames from the start (--start, else the demo's) to the
  // end (`end` when the run mode sets one, else --end, else the demo's). False, with one line
  // on stderr and the exit code in *exitCode, when there is nothing to capture (2) or the
  // destination cannot be opened (1).
  bool start(int width, int height, int* exitCode, std::optional<uint32_t> end = std::nullopt);

  // The frame at demo time t, with the sound of its span.
  void renderFrame(uint32_t t);
  // After the frame is drawn, before the swap: writes it and moves the clock one frame on;
  // asks to quit after the last frame, or when writing failed (exit code 1).
  void afterFrame(int width, int height, int* exitCode);

  // Takes the frames still being read back; called before the window and its context go.
  void finishReading() { capture_.finishReading(); }

  // Ends the capture: closes the destination (a recording waits for ffmpeg) and says how
  // many frames went where. A failure is one line and exit code 1.
  void finish(int width, int height, int* exitCode);

 private:
  const CommandLineOptions& options_;
  ManualCounter counter_;
  FrameCapture capture_;
  uint32_t start_ = 0;
  int64_t frames_ = 0;
  int64_t index_ = 0;
  // Frame i shows captureFrameTime(base_, fps, first_ + i); base_ is the demo's start when
  // the capture starts late on a whole run's frame time, else the capture's start.
  uint32_t base_ = 0;
  int64_t first_ = 0;
  bool catchUpDue_ = false;
  uint32_t frameTime(int64_t index) const;
  std::unique_ptr<CaptureProgress> progress_;
};
