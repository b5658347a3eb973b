#include "platform/Capture/FrameWriter.h"

#include <cassert>

namespace platform {

FrameWriter::FrameWriter(std::unique_ptr<FrameSink> sink, int width, int height, int slots)
    : sink_(std::move(sink)), width_(width), height_(height) {
  assert(slots >= 1 && "a writer needs at least one slot to hand out");
  slots_.resize(static_cast<size_t>(slots));
  for (auto& slot : slots_) slot.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  thread_ = std::thread([this] { run(); });
}

FrameWriter::~FrameWriter() { finish(nullptr); }

uint8_t* FrameWriter::nextSlot() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return failed_ || queued_ < slots_.size(); });
  if (failed_) return nullptr;
  return slots_[head_].data();
}

void FrameWriter::submit() {
  {
    std::lock_guard lock(mutex_);
    assert(queued_ < slots_.size() && "submit() hands over the slot nextSlot() gave");
    if (failed_) return;
    head_ = (head_ + 1) % slots_.size();
    ++queued_;
  }
  changed_.notify_all();
}

bool FrameWriter::failed() const {
  std::lock_guard lock(mutex_);
  return failed_;
}

std::string FrameWriter::failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

int64_t FrameWriter::framesWritten() const {
  std::lock_guard lock(mutex_);
  return written_;
}

void FrameWriter::run() {
  std::string reason;
  for (;;) {
    size_t oldest;
    int64_t index;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [this] { return queued_ > 0 || stopping_; });
      if (queued_ == 0) return;  // stopping, with nothing left to write
      oldest = (head_ + slots_.size() - queued_) % slots_.size();
      index = written_;
    }
    // The slot stays queued while the sink reads it, so nextSlot() cannot hand it out.
    const bool ok = sink_->write(index, width_, height_, slots_[oldest].data(), &reason);
    {
      std::lock_guard lock(mutex_);
      if (ok) {
        ++written_;
        --queued_;
      } else {
        failed_ = true;
        failure_ = reason;
        queued_ = 0;  // the frames after a failed one are not written
      }
    }
    changed_.notify_all();
    if (!ok) return;
  }
}

bool FrameWriter::finish(std::string* error) {
  {
    std::lock_guard lock(mutex_);
    if (finished_) {
      if (error && !succeeded_) *error = failure_;
      return succeeded_;
    }
    finished_ = true;
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
  std::string reason;
  const bool sinkOk = sink_->finish(&reason);
  std::lock_guard lock(mutex_);
  if (!sinkOk) failure_ = reason;
  succeeded_ = sinkOk && !failed_;
  failed_ = !succeeded_;
  if (error && !succeeded_) *error = failure_;
  return succeeded_;
}

}  // namespace platform
