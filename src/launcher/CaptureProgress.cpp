#include "launcher/CaptureProgress.h"

#include "platform/Files.h"

namespace {

// A terminal line is redrawn at most this often.
constexpr auto kInterval = std::chrono::milliseconds(250);

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

CaptureProgress::CaptureProgress(int64_t totalFrames, std::FILE* out, bool live)
    : total_(totalFrames), out_(out), live_(live), start_(Clock::now()), lastShown_(start_) {}

CaptureProgress::CaptureProgress(int64_t totalFrames)
    : CaptureProgress(totalFrames, stderr, platform::isTerminal(stderr)) {}

int CaptureProgress::format(char* buffer, size_t size, int64_t done, int64_t total, uint32_t demoTimeMs,
                            double elapsedSeconds) {
  const double fps = elapsedSeconds > 0 ? static_cast<double>(done) / elapsedSeconds : 0.0;
  const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
  const unsigned minutes = demoTimeMs / 60000, seconds = demoTimeMs / 1000 % 60, millis = demoTimeMs % 1000;
  if (fps <= 0 || done >= total)
    return std::snprintf(buffer, size, "capture: %lld/%lld frames (%d%%)  demo %u:%02u.%03u  %.1f fps",
                         static_cast<long long>(done), static_cast<long long>(total), percent, minutes, seconds,
                         millis, fps);
  const auto left = static_cast<long long>(static_cast<double>(total - done) / fps + 0.5);
  return std::snprintf(buffer, size, "capture: %lld/%lld frames (%d%%)  demo %u:%02u.%03u  %.1f fps  %lld:%02lld left",
                       static_cast<long long>(done), static_cast<long long>(total), percent, minutes, seconds,
                       millis, fps, left / 60, left % 60);
}

void CaptureProgress::show() {
  char line[160];
  format(line, sizeof line, done_, total_, demoTime_, secondsSince(start_));
  // The trailing blanks wipe what a longer earlier line left.
  std::fprintf(out_, "\r%s    ", line);
  std::fflush(out_);
  shownDone_ = done_;
}

void CaptureProgress::frameDone(uint32_t demoTimeMs) {
  ++done_;
  demoTime_ = demoTimeMs;
  if (!live_) return;
  const Clock::time_point now = Clock::now();
  if (now - lastShown_ < kInterval && done_ < total_) return;
  lastShown_ = now;
  show();
}

void CaptureProgress::finish(bool summary) {
  if (finished_) return;
  finished_ = true;
  if (live_) {
    if (shownDone_ != done_) show();
    std::fputc('\n', out_);
  } else if (summary) {
    const double seconds = secondsSince(start_);
    std::fprintf(out_, "capture: %lld of %lld frames in %.1f s (%.1f fps)\n", static_cast<long long>(done_),
                 static_cast<long long>(total_), seconds, seconds > 0 ? static_cast<double>(done_) / seconds : 0.0);
  }
  std::fflush(out_);
}
