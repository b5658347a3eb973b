#pragma once
// Signs of life during a capture or a recording, on stderr. On a terminal one line is
// rewritten in place a few times a second (frames done of all, the demo time, frames per
// second, the time left); otherwise, as in a log or a pipe, nothing until one summary line at
// the end. The per-frame call formats into a fixed buffer and allocates nothing.

#include <chrono>
#include <cstdint>
#include <cstdio>

class CaptureProgress {
 public:
  // `out` is where the lines go; `live` chooses the in-place line.
  CaptureProgress(int64_t totalFrames, std::FILE* out, bool live);
  // stderr, live when stderr is a terminal.
  explicit CaptureProgress(int64_t totalFrames);

  // After a late start's catch-up, before the first frame: its cost goes with every line
  // from here on, and the frame rate counts from now.
  void caughtUp(int64_t frames, int64_t drawings, double seconds);
  // After each frame written.
  void frameDone(uint32_t demoTimeMs);
  // At the end of the run: the in-place line is completed, or (when `summary`) the summary
  // line written.
  void finish(bool summary = true);

  // The text of the line for a state of the run, as shown on a terminal (for tests).
  static int format(char* buffer, size_t size, int64_t done, int64_t total, uint32_t demoTimeMs,
                    double elapsedSeconds);

 private:
  using Clock = std::chrono::steady_clock;
  void show();

  int64_t total_;
  int64_t done_ = 0;
  int64_t shownDone_ = -1;
  uint32_t demoTime_ = 0;
  std::FILE* out_;
  bool live_;
  bool finished_ = false;
  Clock::time_point start_;
  Clock::time_point lastShown_;
  char catchUp_[96] = "";
};
