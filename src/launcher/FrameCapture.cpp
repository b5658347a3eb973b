#include "launcher/FrameCapture.h"

#include <epoxy/gl.h>

#include <cstdio>
#include <filesystem>
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
  pipe_ = popen(command.c_str(), "w");
  if (!pipe_) {
    if (error) *error = "cannot start ffmpeg";
    return false;
  }
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
    ok = std::fwrite(pixels_.data(), 1, pixels_.size(), pipe_) == pixels_.size();
    if (!ok && error) *error = "ffmpeg stopped taking frames";
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
  if (status != 0) {
    if (error) *error = "ffmpeg failed (status " + std::to_string(status) + ")";
    return false;
  }
  return true;
}
