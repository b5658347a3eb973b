#pragma once
// Frame capture: every frame of a fixed-rate run read back from the back buffer before the
// swap, and written either as numbered PNG files or into an ffmpeg pipe that encodes a
// video with the sound track.
//
// The capture costs the drawing little: each frame is read into a pixel buffer object
// without waiting for it, and picked up two frames later, when the driver has long finished
// it; its bytes go into one of a few slots that a writer thread hands to the PNG encoder or
// the pipe while the next frames are drawn. The bytes are those glReadPixels gives for the
// back buffer (GL_RGB, rows packed), and the frames reach the files or the pipe in order,
// every one of them.

#include <cstdint>
#include <memory>
#include <string>

#include "launcher/CaptureSinks.h"
#include "platform/Capture/FrameWriter.h"

// Demo time of capture frame `index`: start + index·1000/fps, in whole milliseconds.
uint32_t captureFrameTime(uint32_t startMs, int fps, int64_t index);

// How many frames fall on start, start + 1000/fps, … up to and including end (0 when end
// is before start).
int64_t captureFrameCount(uint32_t startMs, uint32_t endMs, int fps);

// The directory that stands for "read every frame back and write none": what drawing alone
// costs with the read-back, the reference the capture benchmark measures against.
constexpr const char* kDiscardDirectory = "/dev/null";

class FrameCapture {
 public:
  FrameCapture() = default;
  // Frames still in flight are dropped without a GL call (the context may be gone); a
  // recording's ffmpeg is waited for.
  ~FrameCapture();
  FrameCapture(const FrameCapture&) = delete;
  FrameCapture& operator=(const FrameCapture&) = delete;

  // PNG files into `directory` (created when missing); kDiscardDirectory, or Windows' "NUL"
  // there (platform::isNullDevice), writes nothing.
  // False, with the reason in *error.
  bool openDirectory(const std::string& directory, std::string* error);
  // An ffmpeg process encoding `frames` width × height frames at fps into `file`, with the
  // sound track from `soundtrack` muxed in from startMs when that file exists.
  bool openRecording(const std::string& file, int width, int height, int fps, int64_t frames, uint32_t startMs,
                     const std::string& soundtrack, std::string* error);
  // Frames into any sink; `destination` names it for the closing message.
  void open(std::unique_ptr<platform::FrameSink> sink, const std::string& destination);

  // Starts reading the current read buffer (the back buffer before the swap) as the next
  // frame and hands the frame read two calls ago to the writer; waits only while the writer
  // is behind by all of its slots. Every frame has the first one's size. False when an
  // earlier frame could not be written, with an empty reason: why is for close() to tell once
  // the writer (and ffmpeg) has ended. Other failures come with their reason.
  bool writeFrame(int width, int height, std::string* error);
  // Hands the frames still being read to the writer. Needs the GL context the frames were
  // read in: call it before the window goes. close() calls it when it has not been.
  void finishReading();
  // Waits for the writer to write every frame and ends the recording (waits for ffmpeg).
  // False when a frame could not be written or ffmpeg failed, with the reason in one line:
  // "DIR/frame_….png: reason", or what ffmpeg could not write, its exit status and its last
  // message.
  bool close(std::string* error);

  // Frames the writer has written so far (all of them after close()).
  int64_t framesWritten() const;
  // Where the output went, for the closing message.
  const std::string& destination() const { return destination_; }

  // Frames read back and not yet handed to the writer, at most this many.
  static constexpr int kFramesBehind = 2;

 private:
  bool start(int width, int height);
  // The oldest frame in flight into a writer slot. False when the writer has failed.
  bool handOldestToWriter();

  std::unique_ptr<platform::FrameSink> sink_;
  std::unique_ptr<platform::FrameWriter> writer_;
  std::string destination_;
  int width_ = 0;
  int height_ = 0;
  unsigned buffers_[kFramesBehind + 1] = {};  // GL pixel buffer objects, one per frame in flight
  bool useBuffers_ = false;
  int64_t read_ = 0;      // frames whose reading has started
  int64_t handedOn_ = 0;  // frames given to the writer
};
