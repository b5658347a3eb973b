#pragma once
// Captured frames on their way out, on a thread of their own: the main thread fills a slot
// with the next frame and goes on drawing while the writer thread hands the slots, in
// order, to a FrameSink (PNG files, the pipe to ffmpeg, nothing at all). The slots are
// allocated once; when the writer falls behind by all of them, the main thread waits for
// the oldest, so memory stays bounded however slow the sink is.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

// Where the frames go. Called on the writer thread, one frame at a time, index 0, 1, 2, …
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // `rgb`: height rows of width·3 bytes, bottom row first, as glReadPixels gives them.
  // False, with the reason in *error (may stay empty when only finish() can tell why), stops
  // the writing: no later frame reaches the sink.
  virtual bool write(int64_t index, int width, int height, const uint8_t* rgb, std::string* error) = 0;
  // After the last frame, or after a failure. False with the reason.
  virtual bool finish(std::string* /*error*/) { return true; }
};

class FrameWriter {
 public:
  static constexpr int kDefaultSlots = 3;

  // `slots` frames of width × height, allocated here; the writer thread starts at once.
  FrameWriter(std::unique_ptr<FrameSink> sink, int width, int height, int slots = kDefaultSlots);
  // finish(), its result unheard.
  ~FrameWriter();
  FrameWriter(const FrameWriter&) = delete;
  FrameWriter& operator=(const FrameWriter&) = delete;

  // The slot for the next frame (width·height·3 bytes), waiting while every slot is still
  // queued; nullptr once writing has failed.
  uint8_t* nextSlot();
  // The slot from nextSlot() is filled: it goes to the sink after the frames before it.
  void submit();

  // Whether a frame could not be written; the reason then is failure().
  bool failed() const;
  std::string failure() const;
  int64_t framesWritten() const;

  // Waits until every submitted frame is written (or writing failed), ends the thread and
  // then the sink. False with the reason: the sink's own, else the failed frame's. Later
  // calls give the same answer.
  bool finish(std::string* error);

 private:
  void run();

  std::unique_ptr<FrameSink> sink_;
  const int width_;
  const int height_;
  std::vector<std::vector<uint8_t>> slots_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  size_t head_ = 0;    // the slot nextSlot() hands out
  size_t queued_ = 0;  // submitted and not yet written, from head_ - queued_ on
  bool stopping_ = false;
  bool failed_ = false;
  bool finished_ = false;
  bool succeeded_ = false;
  std::string failure_;
  int64_t written_ = 0;
  std::thread thread_;
};

}  // namespace platform
