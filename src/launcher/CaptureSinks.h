#pragma once
// Where a capture's frames go, each on the capture's writer thread: numbered PNG files, an
// ffmpeg process encoding a video with the sound track, or nowhere (the frames are read back
// and dropped, which is what drawing alone costs with the read-back).

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/Capture/FrameWriter.h"
#include "platform/Capture/PngWriter.h"
#include "platform/ChildProcess.h"

// "frame_000042.png"
std::string captureFileName(int64_t index);

// DIR/frame_000000.png, DIR/frame_000001.png, … A frame that cannot be written fails with
// "DIR/frame_….png: reason".
class PngDirectorySink final : public platform::FrameSink {
 public:
  explicit PngDirectorySink(std::string directory) : directory_(std::move(directory)) {}
  bool write(int64_t index, int width, int height, const uint8_t* rgb, std::string* error) override;

 private:
  std::string directory_;
  std::string path_;  // reused: the name of each frame is written into it
  platform::PngEncoder encoder_;
};

// An ffmpeg process reading raw RGB frames on a pipe and encoding them as H.264, with the
// sound track muxed in.
class FfmpegSink final : public platform::FrameSink {
 public:
  ~FfmpegSink() override;
  // Starts ffmpeg for width × height frames at fps into `file`, with `soundtrack` from startMs
  // when that file exists. False, with the reason, when the file cannot be written (found
  // before anything runs) or ffmpeg cannot be started.
  bool start(const std::string& file, int width, int height, int fps, uint32_t startMs,
             const std::string& soundtrack, std::string* error);
  // A frame ffmpeg no longer takes fails with an empty reason: why it stopped is known once
  // it has ended, and finish() says it.
  bool write(int64_t index, int width, int height, const uint8_t* rgb, std::string* error) override;
  // Closes the pipe and waits for ffmpeg. False when it failed, with one line saying what it
  // could not write, its exit status and its last message.
  bool finish(std::string* error) override;

 private:
  platform::ChildProcess process_;
  std::string file_;
  std::string log_;
  bool stoppedReading_ = false;
};

// Frames read back and dropped.
class DiscardSink final : public platform::FrameSink {
 public:
  bool write(int64_t, int, int, const uint8_t*, std::string*) override { return true; }
};

// The x264 settings of a recording (after "-c:v libx264").
extern const char* const kRecordingEncoderSettings;
