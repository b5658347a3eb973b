#pragma once
// Writes captured frames as 8-bit RGB PNG files, quickly: a capture writes thousands of them
// while the next frames are drawn, so the encoder favours speed over the last few percent of
// file size. Every row takes the "up" filter (the difference to the row above, one pass over
// the frame) and ISA-L's fastest deflate compresses the rows: about ten times quicker than
// libpng with zlib's fastest level and its adaptive filters, in files of about the same size.
// Any PNG reader gives back exactly the pixels written.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

class PngEncoder {
 public:
  PngEncoder();
  ~PngEncoder();
  PngEncoder(const PngEncoder&) = delete;
  PngEncoder& operator=(const PngEncoder&) = delete;

  // Encodes `rgb` (height rows of width·3 bytes, bottom row first, as glReadPixels gives
  // them) into a PNG file image, top row first: data() and size(). The buffers are kept for
  // the next frame, so frames of one size allocate nothing after the first. False for an
  // empty image.
  bool encode(int width, int height, const uint8_t* rgb);
  const uint8_t* data() const { return file_.data(); }
  size_t size() const { return size_; }

  // encode() and the file at `path`. False, with the reason in *error when given, when the
  // image is empty or the file cannot be written.
  bool write(const char* path, int width, int height, const uint8_t* rgb, std::string* error = nullptr);

 private:
  std::vector<uint8_t> levelBuffer_;  // the compressor's working memory
  std::vector<uint8_t> filtered_;  // the rows as the PNG stream holds them: filter byte, then the row
  std::vector<uint8_t> file_;
  size_t size_ = 0;
};

// One frame with an encoder of its own (for single pictures; a capture keeps one encoder).
bool writePngRgb(const std::string& path, int width, int height, const uint8_t* rgb,
                 std::string* error = nullptr);

}  // namespace platform
