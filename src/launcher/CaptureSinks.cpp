#include "launcher/CaptureSinks.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/Files.h"

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

// The last line a program wrote into its log, without the line break.
std::string lastLineOf(const std::string& path) {
  if (path.empty()) return "";
  std::FILE* in = platform::openFile(path, "rb");
  if (!in) return "";
  std::string line, last;
  for (int c; (c = std::fgetc(in)) != EOF;) {
    if (c == '\n' || c == '\r') {
      if (!line.empty()) last = line;
      line.clear();
    } else {
      line += static_cast<char>(c);
    }
  }
  std::fclose(in);
  return line.empty() ? last : line;
}

}  // namespace

FfmpegSink::~FfmpegSink() { finish(nullptr); }

bool FfmpegSink::start(const std::string& file, int width, int height, int fps, uint32_t startMs,
                       const std::string& soundtrack, std::string* error) {
  // A file ffmpeg could not write is found before anything runs.
  std::error_code noFile;
  const bool existed = std::filesystem::exists(platform::pathFromUtf8(file), noFile);
  std::FILE* probe = platform::openFile(file, "ab");
  if (!probe) {
    if (error) *error = "ffmpeg could not write " + file + ": " + std::strerror(errno);
    return false;
  }
  std::fclose(probe);
  if (!existed) std::filesystem::remove(platform::pathFromUtf8(file), noFile);

  const std::string ffmpeg = platform::findProgram("ffmpeg");
  if (ffmpeg.empty()) {
    if (error) *error = "ffmpeg could not write " + file + " (ffmpeg not found)";
    return false;
  }
  // ffmpeg's own messages are kept for the one line that reports a failure.
  log_ = platform::makeTemporaryFile("demoengine-ffmpeg-");
  std::vector<std::string> arguments = {"-hide_banner", "-loglevel", "error", "-y", "-f", "rawvideo",
                                        "-pixel_format", "rgb24", "-video_size",
                                        std::to_string(width) + "x" + std::to_string(height), "-framerate",
                                        std::to_string(fps), "-i", "-"};
  if (std::filesystem::exists(platform::pathFromUtf8(soundtrack), noFile)) {
    char offset[32];
    std::snprintf(offset, sizeof offset, "%u.%03u", startMs / 1000, startMs % 1000);
    arguments.insert(arguments.end(), {"-ss", offset, "-i", soundtrack, "-map", "0:v:0", "-map", "1:a:0", "-shortest"});
  }
  // Frames arrive bottom row first, as GL reads them.
  arguments.insert(arguments.end(), {"-vf", "vflip", "-c:v", "libx264"});
  for (const char* at = kRecordingEncoderSettings; *at;) {
    const char* end = std::strchr(at, ' ');
    if (!end) end = at + std::strlen(at);
    arguments.emplace_back(at, end);
    at = *end ? end + 1 : end;
  }
  arguments.insert(arguments.end(), {"-pix_fmt", "yuv420p", file});
  std::string why;
  if (!process_.start(ffmpeg, arguments, log_, &why)) {
    if (error) *error = "cannot start ffmpeg: " + why;
    return false;
  }
  file_ = file;
  return true;
}

bool FfmpegSink::write(int64_t, int width, int height, const uint8_t* rgb, std::string* error) {
  if (process_.write(rgb, static_cast<size_t>(width) * static_cast<size_t>(height) * 3)) return true;
  if (error) error->clear();
  stoppedReading_ = true;
  return false;
}

bool FfmpegSink::finish(std::string* error) {
  std::error_code ignored;
  if (!process_.running()) {
    if (!log_.empty()) std::filesystem::remove(platform::pathFromUtf8(log_), ignored);
    log_.clear();
    return true;
  }
  const platform::ChildProcess::End end = process_.finish();
  const std::string said = lastLineOf(log_);
  if (!log_.empty()) std::filesystem::remove(platform::pathFromUtf8(log_), ignored);
  log_.clear();
  if (end.succeeded && !stoppedReading_) return true;
  if (error && end.succeeded) *error = "ffmpeg could not write " + file_ + " (it stopped reading frames)";
  else if (error) *error = "ffmpeg could not write " + file_ + " (" + end.how + (said.empty() ? "" : ": " + said) + ")";
  return false;
}
