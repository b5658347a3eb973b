#include "launcher/FrameCapture.h"

#include <epoxy/gl.h>

#include <filesystem>
#include <system_error>

#include "platform/Files.h"
#include "platform/Window.h"

uint32_t captureFrameTime(uint32_t startMs, int fps, int64_t index) {
  return startMs + static_cast<uint32_t>(index * 1000 / fps);
}

int64_t captureFrameCount(uint32_t startMs, uint32_t endMs, int fps) {
  if (endMs < startMs || fps <= 0) return 0;
  return static_cast<int64_t>(endMs - startMs) * fps / 1000 + 1;
}

namespace {

constexpr int kBuffers = FrameCapture::kFramesBehind + 1;

// Pixel buffer objects are bound only for the moment of a read; whatever the drawing had
// bound comes back.
class PackBufferBinding {
 public:
  explicit PackBufferBinding(GLuint buffer) {
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &previous_);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
  }
  ~PackBufferBinding() { glBindBuffer(GL_PIXEL_PACK_BUFFER, static_cast<GLuint>(previous_)); }
  PackBufferBinding(const PackBufferBinding&) = delete;
  PackBufferBinding& operator=(const PackBufferBinding&) = delete;

 private:
  GLint previous_ = 0;
};

}  // namespace

FrameCapture::~FrameCapture() {
  // Without a GL call: the buffers' names go with the context.
  useBuffers_ = false;
  writer_.reset();
}

bool FrameCapture::openDirectory(const std::string& directory, std::string* error) {
  if (platform::isNullDevice(directory)) {
    open(std::make_unique<DiscardSink>(), directory);
    return true;
  }
  std::error_code ec;
  const std::filesystem::path folder = platform::pathFromUtf8(directory);
  std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder, ec)) {
    if (error) *error = "cannot create " + directory + ": " + ec.message();
    return false;
  }
  open(std::make_unique<PngDirectorySink>(directory), directory);
  return true;
}

bool FrameCapture::openRecording(const std::string& file, int width, int height, int fps, int64_t frames,
                                 uint32_t startMs, const std::string& soundtrack, std::string* error) {
  auto sink = std::make_unique<FfmpegSink>();
  if (!sink->start(file, width, height, fps, frames, startMs, soundtrack, error)) return false;
  open(std::move(sink), file);
  return true;
}

void FrameCapture::open(std::unique_ptr<platform::FrameSink> sink, const std::string& destination) {
  sink_ = std::move(sink);
  destination_ = destination;
}

bool FrameCapture::start(int width, int height) {
  width_ = width;
  height_ = height;
  writer_ = std::make_unique<platform::FrameWriter>(std::move(sink_), width, height);
  useBuffers_ = epoxy_gl_version() >= 21 || epoxy_has_gl_extension("GL_ARB_pixel_buffer_object");
  if (!useBuffers_) return true;
  glGenBuffers(kBuffers, buffers_);
  for (GLuint buffer : buffers_) {
    PackBufferBinding bound(buffer);
    glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(width) * height * 3, nullptr, GL_STREAM_READ);
  }
  return true;
}

bool FrameCapture::writeFrame(int width, int height, std::string* error) {
  if (!writer_) {
    if (!sink_) {
      if (error) *error = "the capture is not open";
      return false;
    }
    start(width, height);
  }
  if (width != width_ || height != height_) {
    if (error) *error = "a frame of another size than the first";
    return false;
  }
  // Why the writer stopped is for close() to tell, once it has ended.
  if (writer_->failed()) {
    if (error) error->clear();
    return false;
  }
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadBuffer(platform::screenReadBuffer());
  if (!useBuffers_) {
    // No pixel buffer objects: the frame is read straight into its slot.
    uint8_t* slot = writer_->nextSlot();
    if (!slot) {
      if (error) error->clear();
      return false;
    }
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, slot);
    writer_->submit();
    ++read_;
    ++handedOn_;
    return true;
  }
  {
    PackBufferBinding bound(buffers_[read_ % kBuffers]);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
  }
  ++read_;
  if (read_ - handedOn_ > kFramesBehind && !handOldestToWriter()) {
    if (error) error->clear();
    return false;
  }
  return true;
}

bool FrameCapture::handOldestToWriter() {
  uint8_t* slot = writer_->nextSlot();
  if (!slot) return false;
  {
    PackBufferBinding bound(buffers_[handedOn_ % kBuffers]);
    glGetBufferSubData(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(width_) * height_ * 3, slot);
  }
  writer_->submit();
  ++handedOn_;
  return true;
}

void FrameCapture::finishReading() {
  if (!useBuffers_) return;
  while (handedOn_ < read_ && handOldestToWriter()) {
  }
  glDeleteBuffers(kBuffers, buffers_);
  useBuffers_ = false;
}

bool FrameCapture::close(std::string* error) {
  finishReading();
  if (writer_) return writer_->finish(error);
  // Nothing was written: the sink still ends (ffmpeg is waited for).
  if (!sink_) return true;
  const bool ok = sink_->finish(error);
  sink_.reset();
  return ok;
}

int64_t FrameCapture::framesWritten() const { return writer_ ? writer_->framesWritten() : 0; }
