#include "launcher/FrameCapture.h"

#include <epoxy/gl.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "platform/Capture/PngWriter.h"

uint32_t captureFrameTime(uint32_t startMs, int fps, int64_t index) {
  return startMs + static_cast<uint32_t>(index * 1000 / fps);
}

int64_t captureFrameCount(uint32_t startMs, uint32_t endMs, int fps) {
  if (endMs < startMs || fps <= 0) return 0;
  return static_cast<int64_t>(endMs - startMs) * fps / 1000 + 1;
}

std::string captureFileName(int64_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "frame_%06lld.png", static_cast<long long>(index));
  return name;
}

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

FrameCapture::~FrameCapture() { close(nullptr); }

bool FrameCapture::openDirectory(const std::string& directory, std::string* error) {
  std::error_code ec;
  std::filesystem::create_directories(directory, ec);
  if (ec || !std::filesystem::is_directory(directory)) {
    if (error) *error = "cannot create " + directory + ": " + ec.message();
    return false;
  }
  directory_ = directory;
  destination_ = directory;
  return true;
}

bool FrameCapture::openRecording(const std::string& file, int width, int height, int fps,
                                 uint32_t startMs, const std::string& soundtrack, std::string* error) {
  // A file ffmpeg could not write is found before anything runs.
  const bool existed = std::filesystem::exists(file);
  const int probe = ::open(file.c_str(), O_WRONLY | O_CREAT, 0644);
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
    ffmpegLog_ = log;
  }
  std::string command = "ffmpeg -hide_banner -loglevel error -y -f rawvideo -pixel_format rgb24 -video_size " +
                        std::to_string(width) + "x" + std::to_string(height) + " -framerate " +
                        std::to_string(fps) + " -i -";
  const bool withSound = std::filesystem::exists(soundtrack);
  if (withSound) {
    char offset[32];
    std::snprintf(offset, sizeof offset, "%u.%03u", startMs / 1000, startMs % 1000);
    command += std::string(" -ss ") + offset + " -i " + shellQuoted(soundtrack) + " -map 0:v:0 -map 1:a:0 -shortest";
  }
  // Frames arrive bottom row first, as GL reads them.
  command += " -vf vflip -c:v libx264 -pix_fmt yuv420p " + shellQuoted(file);
  if (!ffmpegLog_.empty()) command += " 2>" + shellQuoted(ffmpegLog_);
  // An ffmpeg that ends early must not end this process with it: writes into its closed
  // pipe fail with EPIPE instead of raising SIGPIPE.
  previousSigpipe_ = std::signal(SIGPIPE, SIG_IGN);
  pipe_ = popen(command.c_str(), "w");
  if (!pipe_) {
    std::signal(SIGPIPE, previousSigpipe_);
    if (error) *error = "cannot start ffmpeg";
    return false;
  }
  recordFile_ = file;
  destination_ = file;
  return true;
}

bool FrameCapture::writeFrame(int width, int height, std::string* error) {
  pixels_.resize(static_cast<size_t>(width) * height * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels_.data());
  bool ok;
  if (pipe_) {
    // Why ffmpeg stopped taking frames is known once it has ended: close() says it.
    ok = std::fwrite(pixels_.data(), 1, pixels_.size(), pipe_) == pixels_.size() && std::fflush(pipe_) == 0;
    if (!ok && error) error->clear();
  } else {
    const std::string path = (std::filesystem::path(directory_) / captureFileName(frames_)).string();
    std::string reason;
    ok = platform::writePngRgb(path, width, height, pixels_.data(), &reason);
    if (!ok && error) *error = path + ": " + reason;
  }
  if (ok) ++frames_;
  return ok;
}

bool FrameCapture::close(std::string* error) {
  if (!pipe_) return true;
  const int status = pclose(pipe_);
  pipe_ = nullptr;
  std::signal(SIGPIPE, previousSigpipe_);
  std::string said = lastLineOf(ffmpegLog_);
  if (!ffmpegLog_.empty()) std::filesystem::remove(ffmpegLog_);
  ffmpegLog_.clear();
  if (status == 0) return true;
  if (error) {
    std::string how = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                        : "status " + std::to_string(status);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127) how = "ffmpeg not found";
    *error = "ffmpeg could not write " + recordFile_ + " (" + how + (said.empty() ? "" : ": " + said) + ")";
  }
  return false;
}
