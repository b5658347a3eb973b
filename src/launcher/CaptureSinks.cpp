#include "launcher/CaptureSinks.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>

// Speed at the quality of x264's default (the medium preset at CRF 23): the ultrafast preset
// with the deblocking filter back on, at CRF 18, is at least as close to the drawn frames in
// every part of the sample demo (structural similarity 0.971, 0.976 and 0.978 against 0.964,
// 0.975 and 0.977 in the drop, the scenes and the swarm; 1–2 dB more PSNR) for a fifth of the
// encoder's time, in files four to seven times as large (about 4 Mbit/s at 800 × 600).
const char* const kRecordingEncoderSettings = "-preset ultrafast -deblock 0:0 -crf 18";

std::string captureFileName(int64_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(index));
  return name;
}

// [SECTION] PNG files

bool PngDirectorySink::write(int64_t index, int width, int height, const uint8_t* rgb, std::string* error) {
  // The path keeps its capacity from frame to frame: directory, '/', "frame_NNNNNN.png".
  char name[32];
  std::snprintf(name, sizeof name, "/frame_%06lld.png", static_cast<long long>(index));
  path_.assign(directory_);
  path_.append(name);
  std::string reason;
  if (encoder_.write(path_.c_str(), width, height, rgb, &reason)) return true;
  if (error) *error = path_ + ": " + reason;
  return false;
}

// [SECTION] ffmpeg

namespace {

// Arguments go to a shell: single quotes keep every character but the quote itself.
std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

// The last line a program wrote into its log, without the line break.
std::string lastLineOf(const std::string& path) {
  if (path.empty()) return "";
  std::ifstream in(path);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty()) last = line;
  return last;
}

}  // namespace

FfmpegSink::~FfmpegSink() { finish(nullptr); }

bool FfmpegSink::start(const std::string& file, int width, int height, int fps, int64_t frames, uint32_t startMs,
                       const std::string& soundtrack, std::string* error) {
  // A file ffmpeg could not write is found before anything runs.
  const bool existed = std::filesystem::exists(file);
  const int probe = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (probe < 0) {
    if (error) *error = "ffmpeg could not write " + file + ": " + std::strerror(errno);
    return false;
  }
  ::close(probe);
  if (!existed) std::filesystem::remove(file);

  // ffmpeg's own messages are kept for the one line that reports a failure.
  std::string log = (std::filesystem::temp_directory_path() / "demoengine-ffmpeg-XXXXXX").string();
  const int logFd = mkstemp(log.data());
  if (logFd >= 0) {
    ::close(logFd);
    log_ = log;
  }
  std::string command = "ffmpeg -hide_banner -loglevel error -y -f rawvideo -pixel_format rgb24 -video_size " +
                        std::to_string(width) + "x" + std::to_string(height) + " -framerate " +
                        std::to_string(fps) + " -i -";
  if (std::filesystem::exists(soundtrack)) {
    char offset[32];
    std::snprintf(offset, sizeof offset, "%u.%03u", startMs / 1000, startMs % 1000);
    // The frame count bounds the output, not the sound: a span past the soundtrack's end
    // (-shortest would stop reading frames there) ends in silence, and the sound stops with
    // the last frame. (-frames:v would end the file with the video's last frame, cutting the
    // padding short.)
    const int64_t micros = frames * 1000000 / std::max(fps, 1);
    char length[48];
    std::snprintf(length, sizeof length, "%lld.%06lld", static_cast<long long>(micros / 1000000),
                  static_cast<long long>(micros % 1000000));
    command += std::string(" -ss ") + offset + " -i " + shellQuoted(soundtrack) +
               " -map 0:v:0 -map 1:a:0 -af apad -t " + length;
  }
  // Frames arrive bottom row first, as GL reads them.
  command += std::string(" -vf vflip -c:v libx264 ") + kRecordingEncoderSettings + " -pix_fmt yuv420p " +
             shellQuoted(file);
  if (!log_.empty()) command += " 2>" + shellQuoted(log_);
  // An ffmpeg that ends early must not end this process with it: writes into its closed
  // pipe fail with EPIPE instead of raising SIGPIPE.
  previousSigpipe_ = std::signal(SIGPIPE, SIG_IGN);
  // "e": the pipe is not inherited by anything else this process starts.
  pipe_ = popen(command.c_str(), "we");
  if (!pipe_) {
    std::signal(SIGPIPE, previousSigpipe_);
    if (error) *error = "cannot start ffmpeg";
    return false;
  }
  file_ = file;
  return true;
}

bool FfmpegSink::write(int64_t, int width, int height, const uint8_t* rgb, std::string* error) {
  const int fd = fileno(pipe_);
  size_t left = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  while (left > 0) {
    const ssize_t n = ::write(fd, rgb, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (error) error->clear();
      stoppedReading_ = true;
      return false;
    }
    rgb += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

bool FfmpegSink::finish(std::string* error) {
  if (!pipe_) return true;
  const int status = pclose(pipe_);
  pipe_ = nullptr;
  std::signal(SIGPIPE, previousSigpipe_);
  const std::string said = lastLineOf(log_);
  if (!log_.empty()) std::filesystem::remove(log_);
  log_.clear();
  if (status == 0 && !stoppedReading_) return true;
  if (error && status == 0) *error = "ffmpeg could not write " + file_ + " (it stopped reading frames)";
  else if (error) {
    std::string how = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                        : "status " + std::to_string(status);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) how = "ffmpeg not found";
    *error = "ffmpeg could not write " + file_ + " (" + how + (said.empty() ? "" : ": " + said) + ")";
  }
  return false;
}
