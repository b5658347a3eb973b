#pragma once
// Writers of test pictures: PNG through libpng, JPEG through libjpeg, DDS and RGBE by hand.
// Shared by the image tests, the fuzz seeds and the benchmark.

#include <cstdio>  // before jpeglib.h, which uses FILE without including it

#include <jpeglib.h>
#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <memory>
#include <vector>

#include "archive/vkd.h"
#include "support/TempDir.h"

namespace testimages {

using Bytes = std::vector<uint8_t>;

// [SECTION] Files

// A fresh directory under the system's temporary directory, ending in '/'; it is removed
// with everything in it when the test program ends.
inline std::string makeTempDir() {
  static std::vector<std::unique_ptr<TempDir>> made;
  made.push_back(std::make_unique<TempDir>("de_images"));
  return made.back()->str() + "/";
}

inline void writeFile(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

inline void writeFile(const std::string& path, const std::string& text) {
  writeFile(path, Bytes(text.begin(), text.end()));
}

// A memory file over bytes the caller keeps alive, for the in-memory decoders. The bytes
// are handed back before the file is freed.
class BorrowedFile {
 public:
  explicit BorrowedFile(const Bytes& bytes) : file_("") {
    file_.data = const_cast<uint8_t*>(bytes.data());
    file_.size = static_cast<uint32_t>(bytes.size());
    file_.position = 0;
    file_.ok = true;
  }
  BorrowedFile(const uint8_t* data, size_t size) : file_("") {
    file_.data = const_cast<uint8_t*>(data);
    file_.size = static_cast<uint32_t>(size);
    file_.position = 0;
    file_.ok = true;
  }
  ~BorrowedFile() { file_.data = nullptr; }
  MemoryFile* get() { return &file_; }

 private:
  MemoryFile file_;
};

// [SECTION] PNG

inline void pngAppend(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
inline void pngFlush(png_structp) {}

// `pixels`: rows top to bottom in the stored layout (16-bit samples big-endian).
inline Bytes encodePng(int width, int height, int colorType, int bitDepth, const Bytes& pixels,
                       const std::vector<png_color>& palette = {}, bool interlaced = false) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::abort();
  png_set_write_fn(png, &out, pngAppend, pngFlush);
  png_set_IHDR(png, info, width, height, bitDepth, colorType,
               interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty())
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  png_write_info(png, info);
  const size_t rowBytes = png_get_rowbytes(png, info);
  std::vector<png_bytep> rows(height);
  for (int y = 0; y < height; ++y) rows[y] = const_cast<png_bytep>(pixels.data() + y * rowBytes);
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// The CRC of every chunk made right again, so that a reader gets past its CRC check to what
// the chunk holds. Stops at the first chunk that claims more bytes than follow it.
inline void fixPngChunkCrcs(Bytes& png) {
  size_t at = 8;  // after the signature
  while (at + 12 <= png.size()) {
    const uint8_t* p = png.data() + at;
    const size_t length = size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3];
    if (length > png.size() - at - 12) break;
    const uLong crc = crc32(0, p + 4, static_cast<uInt>(length + 4));
    uint8_t* out = png.data() + at + 8 + length;
    for (int i = 0; i < 4; ++i) out[i] = uint8_t(crc >> (24 - 8 * i));
    at += 12 + length;
  }
}

// `png` with a chunk of `type` right after the header chunk: its length field says
// `claimed` bytes, `data` follows, then the CRC when `data` is the whole chunk.
inline Bytes withPngChunk(const Bytes& png, const char* type, uint32_t claimed, const Bytes& data) {
  Bytes chunk;
  for (int i = 0; i < 4; ++i) chunk.push_back(uint8_t(claimed >> (24 - 8 * i)));
  chunk.insert(chunk.end(), type, type + 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  if (data.size() == claimed) chunk.resize(chunk.size() + 4);
  constexpr size_t kAfterHeader = 33;  // the signature and the header chunk
  Bytes out(png.size() + chunk.size());
  std::copy(png.begin(), png.begin() + kAfterHeader, out.begin());
  std::copy(chunk.begin(), chunk.end(), out.begin() + kAfterHeader);
  std::copy(png.begin() + kAfterHeader, png.end(), out.begin() + kAfterHeader + chunk.size());
  fixPngChunkCrcs(out);
  return out;
}

// [SECTION] JPEG

// `components` 1 (grey), 3 (RGB), 4 (four planes stored as they are, no colour transform)
// or any other count (planes of unknown meaning); quality 100 keeps the test colours close.
// `progressive`: the coefficients in several scans, as libjpeg's simple progression orders them.
inline Bytes encodeJpeg(int width, int height, int components, const Bytes& pixels,
                        int quality = 100, bool progressive = false) {
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = components;
  info.in_color_space = components == 1   ? JCS_GRAYSCALE
                        : components == 3 ? JCS_RGB
                        : components == 4 ? JCS_CMYK
                                          : JCS_UNKNOWN;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  // No chroma subsampling, so small pictures keep their colours.
  for (int c = 0; c < info.num_components; ++c) {
    info.comp_info[c].h_samp_factor = 1;
    info.comp_info[c].v_samp_factor = 1;
  }
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + info.next_scanline * width * components);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// [SECTION] DDS

inline void putLe32(Bytes& b, size_t offset, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

// "DDS " + the 124-byte header + `data`. Linear size defaults to the top level's size.
inline Bytes makeDds(int width, int height, const char* fourCC, int mipCount, const Bytes& data,
                     int64_t linearSize = -1) {
  Bytes out(128, 0);
  std::memcpy(out.data(), "DDS ", 4);
  const int blockSize = std::strcmp(fourCC, "DXT1") == 0 ? 8 : 16;
  if (linearSize < 0) linearSize = int64_t((width + 3) / 4) * ((height + 3) / 4) * blockSize;
  putLe32(out, 4 + 0, 124);
  putLe32(out, 4 + 4, 0x1 | 0x2 | 0x4 | 0x1000 | 0x80000 | (mipCount > 0 ? 0x20000 : 0));
  putLe32(out, 4 + 8, height);
  putLe32(out, 4 + 12, width);
  putLe32(out, 4 + 16, static_cast<uint32_t>(linearSize));
  putLe32(out, 4 + 24, mipCount);
  putLe32(out, 4 + 72, 32);
  putLe32(out, 4 + 76, 0x4);  // the pixel format is a FourCC
  std::memcpy(out.data() + 4 + 80, fourCC, 4);
  putLe32(out, 4 + 104, 0x1000 | (mipCount > 1 ? 0x400008 : 0));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// One DXT1 block of a single colour (RGB565 c0 = c1 = colour, all indices 0).
inline Bytes dxt1SolidBlock(uint16_t rgb565) {
  return {uint8_t(rgb565), uint8_t(rgb565 >> 8), uint8_t(rgb565), uint8_t(rgb565 >> 8), 0, 0, 0, 0};
}

// One DXT5 block: alpha endpoints a, a (indices 0), colour block as above.
inline Bytes dxt5SolidBlock(uint16_t rgb565, uint8_t alpha) {
  Bytes b = {alpha, alpha, 0, 0, 0, 0, 0, 0};
  const Bytes c = dxt1SolidBlock(rgb565);
  b.insert(b.end(), c.begin(), c.end());
  return b;
}

// One DXT3 block: explicit 4-bit alpha for all 16 texels, colour as above.
inline Bytes dxt3SolidBlock(uint16_t rgb565, uint8_t alpha4) {
  const uint8_t a = uint8_t(alpha4 | alpha4 << 4);
  Bytes b(8, a);
  const Bytes c = dxt1SolidBlock(rgb565);
  b.insert(b.end(), c.begin(), c.end());
  return b;
}

inline Bytes repeat(const Bytes& block, size_t times) {
  Bytes out;
  for (size_t i = 0; i < times; ++i) out.insert(out.end(), block.begin(), block.end());
  return out;
}

// [SECTION] RGBE

inline std::string rgbeHeader(int width, int height) {
  return "#?RADIANCE\nGAMMA=1.0\nEXPOSURE=1.0\nFORMAT=32-bit_rle_rgbe\n\n-Y " +
         std::to_string(height) + " +X " + std::to_string(width) + "\n";
}

// A run-length scanline: each of the four planes as one run when it is uniform, else as
// literals of at most 128 bytes.
inline Bytes rgbeRleScanline(const std::vector<std::array<uint8_t, 4>>& pixels) {
  const int width = static_cast<int>(pixels.size());
  Bytes out = {2, 2, uint8_t(width >> 8), uint8_t(width & 0xff)};
  for (int plane = 0; plane < 4; ++plane) {
    int x = 0;
    while (x < width) {
      int run = 1;
      while (x + run < width && run < 127 && pixels[x + run][plane] == pixels[x][plane]) ++run;
      if (run >= 3) {
        out.push_back(uint8_t(128 + run));
        out.push_back(pixels[x][plane]);
        x += run;
      } else {
        int count = std::min(128, width - x);
        // Stop the literal where a run of three begins.
        for (int k = 0; k + 2 < count; ++k)
          if (pixels[x + k][plane] == pixels[x + k + 1][plane] &&
              pixels[x + k][plane] == pixels[x + k + 2][plane]) {
            count = std::max(k, 1);
            break;
          }
        out.push_back(uint8_t(count));
        for (int k = 0; k < count; ++k) out.push_back(pixels[x + k][plane]);
        x += count;
      }
    }
  }
  return out;
}

}  // namespace testimages
