#pragma once
// Frame capture: every frame of a fixed-rate run read back from the back buffer before the
// swap, and written either as numbered PNG files or into an ffmpeg pipe that encodes a
// video with the sound track.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Demo time of capture frame `index`: start + index·1000/fps, in whole milliseconds.
uint32_t captureFrameTime(uint32_t startMs, int fps, int64_t index);

// How many frames fall on start, start + 1000/fps, … up to and including end (0 when end
// is before start).
int64_t captureFrameCount(uint32_t startMs, uint32_t endMs, int fps);

// "frame_000042.png"
std::string captureFileName(int64_t index);

class FrameCapture {
 public:
  FrameCapture() = default;
  ~FrameCapture();
  FrameCapture(const FrameCapture&) = delete;
  FrameCapture& operator=(const FrameCapture&) = delete;

  // PNG files into `directory` (created when missing). False, with the reason in *error.
  bool openDirectory(const std::string& directory, std::string* error);
  // An ffmpeg process encoding width × height frames at fps into `file`, with the sound
  // track from `soundtrack` muxed in from startMs when that file exists.
  bool openRecording(const std::string& file, int width, int height, int fps, uint32_t startMs,
                     const std::string& soundtrack, std::string* error);

  // Reads the current read buffer (the back buffer before the swap) and writes it as the
  // next frame. False when writing failed, with the reason (empty for a recording: why ffmpeg
  // stopped taking frames is for close() to tell once it has ended).
  bool writeFrame(int width, int height, std::string* error);
  // Ends the recording (waits for ffmpeg). False when ffmpeg failed, with one line saying
  // what it could not write, its exit status and its last message.
  bool close(std::string* error);

  int64_t framesWritten() const { return frames_; }
  // Where the output went, for the closing message.
  const std::string& destination() const { return destination_; }

 private:
  std::string directory_;
  std::string destination_;
  FILE* pipe_ = nullptr;
  std::string recordFile_;
  std::string ffmpegLog_;
  void (*previousSigpipe_)(int) = nullptr;
  std::vector<uint8_t> pixels_;
  int64_t frames_ = 0;
};
