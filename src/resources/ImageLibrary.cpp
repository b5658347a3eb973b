#include "resources/ImageLibrary.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "archive/vkd.h"
#include "base/Error.h"
#include "platform/Files.h"
#include "resources/DDSLoader.h"
#include "resources/ImagePrefetch.h"
#include "resources/TextureSettings.h"

namespace {

// No demo picture comes near this (a 8192 × 8192 RGBA picture is 256 MiB); a header that
// claims more is a lie or a picture no texture could hold, and is refused before allocating.
constexpr uint64_t kMaxImageBytes = uint64_t{1} << 28;

bool endsWith(const char* name, size_t length, const char* ending) {
  return std::strcmp(name + length - 4, ending) == 0;
}

// [SECTION] PNG

void pngReadFromMemoryFile(png_structp png, png_bytep out, png_size_t length) {
  auto* file = static_cast<MemoryFile*>(png_get_io_ptr(png));
  if (read(out, 1, length, file) != length) png_error(png, "file ends early");
}

// libpng's errors come back here and end the decode; the loader then yields null quietly.
[[noreturn]] void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void pngWarning(png_structp, png_const_charp) {}

// Everything touched after setjmp lives in this record, so the error path can free it.
struct PngDecode {
  png_structp png = nullptr;
  png_infop info = nullptr;
  Image* image = nullptr;
  png_bytep* rows = nullptr;

  ~PngDecode() {
    delete[] rows;
    delete image;
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

// The decode proper; false on any libpng error. Kept apart from the C++ objects above
// because longjmp must not cross a frame that owns destructors.
bool pngDecodeInto(PngDecode* d, MemoryFile* file) {
  if (setjmp(png_jmpbuf(d->png))) return false;

  png_set_read_fn(d->png, file, pngReadFromMemoryFile);
  png_set_sig_bytes(d->png, 8);
  // Only the pixels are wanted: text, suggested palettes, colour profiles and the like are
  // skipped unread. libpng would otherwise allocate such a chunk at the length its header
  // claims before reading it, and merely warn when that length is absurd, so a 100-byte
  // file could ask for gigabytes.
  png_set_keep_unknown_chunks(d->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  png_read_info(d->png, d->info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(d->png, d->info, &width, &height, &bitDepth, &colorType, &interlace, nullptr,
               nullptr);
  // Interlaced files are assembled into plain rows; the pixel layout itself is untouched.
  png_set_interlace_handling(d->png);
  png_read_update_info(d->png, d->info);

  const uint64_t rowBytes = png_get_rowbytes(d->png, d->info);
  const uint64_t total = rowBytes * height;
  // Deflate cannot expand data by more than 1032:1, so a header promising more pixels than
  // the file could possibly hold is refused before anything is allocated.
  const uint64_t possible = uint64_t{file->size} * 1032 + 4096;
  if (width == 0 || height == 0 || total > kMaxImageBytes || height * (rowBytes + 1) > possible)
    return false;

  d->image = new (std::nothrow) Image;
  d->rows = new (std::nothrow) png_bytep[height];
  if (!d->image || !d->rows) return false;
  try {
    d->image->data.resize(total);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (png_uint_32 y = 0; y < height; ++y) d->rows[y] = d->image->data.data() + y * rowBytes;
  png_read_image(d->png, d->rows);

  d->image->width = static_cast<int>(width);
  d->image->height = static_cast<int>(height);
  d->image->bitsPerPixel = png_get_channels(d->png, d->info) * bitDepth;
  return true;
}

// [SECTION] JPEG

struct JpegErrorManager {
  jpeg_error_mgr manager;
  jmp_buf jump;
};

[[noreturn]] void jpegErrorExit(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrorManager*>(info->err)->jump, 1);
}
void jpegSilence(j_common_ptr) {}

// Four-channel files are taken as YCbCr plus alpha: the decoder hands the planes over
// untouched and the colour conversion is done here (JFIF's full-range YCbCr).
void ycbcrToRgbInPlace(uint8_t* pixels, size_t count) {
  for (size_t i = 0; i < count; ++i, pixels += 4) {
    const float y = pixels[0];
    const float cb = pixels[1] - 128.0f;
    const float cr = pixels[2] - 128.0f;
    const auto clamp = [](float v) {
      return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0f, 255.0f)));
    };
    pixels[0] = clamp(y + 1.402f * cr);
    pixels[1] = clamp(y - 0.344136f * cb - 0.714136f * cr);
    pixels[2] = clamp(y + 1.772f * cb);
  }
}

// A progressive picture goes through the whole picture once per scan: a file of a few
// kilobytes holding hundreds of scans over a large picture keeps the decoder busy for
// seconds to minutes. Encoders write about ten scans; a file with more than this many is
// taken as broken.
constexpr int kMaxJpegScans = 100;

void jpegLimitScans(j_common_ptr info) {
  if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxJpegScans)
    jpegErrorExit(info);
}

// Everything the error path frees lives in this record (see PngDecode).
struct JpegDecode {
  jpeg_decompress_struct info{};
  JpegErrorManager error{};
  jpeg_progress_mgr progress{};
  Image* image = nullptr;
  JSAMPROW* rows = nullptr;
  bool created = false;

  ~JpegDecode() {
    delete[] rows;
    delete image;
    if (created) jpeg_destroy_decompress(&info);
  }
};

bool jpegDecodeInto(JpegDecode* d, const uint8_t* bytes, size_t size) {
  d->info.err = jpeg_std_error(&d->error.manager);
  d->error.manager.error_exit = jpegErrorExit;
  d->error.manager.output_message = jpegSilence;
  if (setjmp(d->error.jump)) return false;
  jpeg_create_decompress(&d->info);
  d->created = true;
  d->progress.progress_monitor = jpegLimitScans;
  d->info.progress = &d->progress;
  jpeg_mem_src(&d->info, bytes, static_cast<unsigned long>(size));
  if (jpeg_read_header(&d->info, TRUE) != JPEG_HEADER_OK) return false;

  bool convertYcbcrAlpha = false;
  switch (d->info.num_components) {
    case 1:
      d->info.out_color_space = JCS_RGB;
      break;
    case 3:
      d->info.out_color_space = JCS_RGB;
      break;
    case 4:
      d->info.jpeg_color_space = JCS_CMYK;  // no conversion by the decoder
      d->info.out_color_space = JCS_CMYK;
      convertYcbcrAlpha = true;
      break;
    default:
      d->info.jpeg_color_space = JCS_UNKNOWN;
      d->info.out_color_space = JCS_UNKNOWN;
      break;
  }
  jpeg_calc_output_dimensions(&d->info);
  const uint64_t width = d->info.output_width;
  const uint64_t height = d->info.output_height;
  const uint64_t channels = d->info.output_components;
  // Rows are delivered tightly packed: the rest of the system reads them that way.
  const uint64_t rowBytes = width * channels;
  if (width == 0 || height == 0 || rowBytes * height > kMaxImageBytes) return false;
  // A Huffman-coded scan spends at least one bit on every 8 × 8 block of the full-size
  // component (its DC code), so a file holds at most 512 pixels a byte: a header promising
  // far more is a fragment, refused before its grey fill is allocated and converted.
  // Arithmetic coding has no such floor.
  if (!d->info.arith_code && width * height > uint64_t{size} * 1024 + 65536) return false;

  d->image = new (std::nothrow) Image;
  d->rows = new (std::nothrow) JSAMPROW[height];
  if (!d->image || !d->rows) return false;
  try {
    d->image->data.resize(rowBytes * height);
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (uint64_t y = 0; y < height; ++y) d->rows[y] = d->image->data.data() + y * rowBytes;

  jpeg_start_decompress(&d->info);
  while (d->info.output_scanline < d->info.output_height) {
    const JDIMENSION done = d->info.output_scanline;
    if (jpeg_read_scanlines(&d->info, d->rows + done, d->info.output_height - done) == 0) break;
  }
  jpeg_finish_decompress(&d->info);

  if (convertYcbcrAlpha) ycbcrToRgbInPlace(d->image->data.data(), width * height);
  d->image->width = static_cast<int>(width);
  d->image->height = static_cast<int>(height);
  d->image->bitsPerPixel = static_cast<int>(8 * channels);
  return true;
}

// [SECTION] RGBE

Image* rgbeFormatError(const char* text) {
  std::fprintf(stderr, "RGBE bad file format: %s\n", text);
  return nullptr;
}
Image* rgbeReadError() {
  std::fprintf(stderr, "RGBE read error\n");
  return nullptr;
}
Image* rgbeMemoryError() {
  std::fprintf(stderr, "RGBE error: %s\n", "unable to allocate buffer space");
  return nullptr;
}

void rgbeToFloat(const uint8_t* rgbe, float* out) {
  if (rgbe[3] == 0) {
    out[0] = out[1] = out[2] = 0.0f;
    return;
  }
  const float f = std::ldexp(1.0f, rgbe[3] - 136);
  out[0] = rgbe[0] * f;
  out[1] = rgbe[1] * f;
  out[2] = rgbe[2] * f;
}

bool rgbeReadFlat(FILE* stream, float* out, uint64_t pixels) {
  uint8_t chunk[4 * 256];
  while (pixels > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(pixels, 256));
    if (std::fread(chunk, 4, n, stream) != n) return false;
    for (size_t i = 0; i < n; ++i, out += 3) rgbeToFloat(chunk + 4 * i, out);
    pixels -= n;
  }
  return true;
}

// Bytes left in the stream from the current position (streams that cannot seek: unknown).
int64_t bytesLeft(FILE* stream) {
  const long here = std::ftell(stream);
  if (here < 0 || std::fseek(stream, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(stream);
  std::fseek(stream, here, SEEK_SET);
  return end < here ? -1 : end - here;
}

Image* readRgbeFile(const std::string& path) {
  FILE* stream = platform::openFile(path, "rb");
  if (!stream) return nullptr;
  Image* image = readRgbe(stream);
  std::fclose(stream);
  return image;
}

// [SECTION] Reading through the data archive

template <typename Decode>
Image* decodeArchiveFile(const std::string& path, Decode decode) {
  MemoryFile* file = loadFile(path.c_str());
  if (!file) return nullptr;
  Image* image = decode(file);
  closeFile(file);
  return image;
}

}  // namespace

Image* decodePng(MemoryFile* file) {
  uint8_t signature[8];
  if (read(signature, 1, 8, file) != 8 || png_sig_cmp(signature, 0, 8) != 0) return nullptr;
  PngDecode d;
  d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
  if (!d.png) return nullptr;
  d.info = png_create_info_struct(d.png);
  if (!d.info || !pngDecodeInto(&d, file)) return nullptr;
  return std::exchange(d.image, nullptr);
}

Image* decodeJpeg(MemoryFile* file) {
  if (file->position >= file->size) return nullptr;
  JpegDecode d;
  if (!jpegDecodeInto(&d, file->data + file->position, file->size - file->position)) return nullptr;
  return std::exchange(d.image, nullptr);
}

Image* readRgbe(FILE* stream) {
  // Until the format line, the end of the text counts as the blank line that ends a header:
  // the header simply has no FORMAT line.
  const auto noFormat = [] { return rgbeFormatError("no FORMAT specifier found"); };
  char line[128];
  if (!std::fgets(line, sizeof line, stream)) return noFormat();
  // "#?RADIANCE" (or another program's name) opens the header; it says nothing about the pixels.
  if (line[0] == '#' && line[1] == '?') {
    if (!std::fgets(line, sizeof line, stream)) return noFormat();
  }
  // Gamma and exposure are recorded by Radiance writers; the pixels are taken as stored.
  float gamma = 1.0f, exposure = 1.0f;
  for (;;) {
    if (line[0] == '\0' || line[0] == '\n') return noFormat();
    if (std::strcmp(line, "FORMAT=32-bit_rle_rgbe\n") == 0) break;
    if (std::sscanf(line, "GAMMA=%g", &gamma) != 1) std::sscanf(line, "EXPOSURE=%g", &exposure);
    if (!std::fgets(line, sizeof line, stream)) return noFormat();
  }
  int height = 0, width = 0;
  for (;;) {
    if (!std::fgets(line, sizeof line, stream)) return rgbeReadError();
    if (std::sscanf(line, "-Y %d +X %d", &height, &width) == 2) break;
  }
  if (width <= 0 || height <= 0) return rgbeFormatError("invalid image size");

  // A run-length scanline needs at least 4 + 8 bytes per 127 pixels, a flat one 4 bytes a
  // pixel: a size the rest of the file cannot hold is a short file, found before allocating.
  const uint64_t pixels = uint64_t(width) * uint64_t(height);
  const int64_t left = bytesLeft(stream);
  if (left >= 0 && pixels > uint64_t(left) * 16 + 16) return rgbeReadError();
  if (pixels * 12 > kMaxImageBytes * 4) return rgbeMemoryError();

  Image* image = new (std::nothrow) Image;
  if (!image) return rgbeMemoryError();
  std::vector<uint8_t> scanline;
  try {
    image->floatData.resize(pixels * 3);
    scanline.resize(size_t(width) * 4);
  } catch (const std::bad_alloc&) {
    delete image;
    return rgbeMemoryError();
  }
  image->width = width;
  image->height = height;
  image->bitsPerPixel = 32;
  image->format = floatTextureFormat;
  float* out = image->floatData.data();

  const auto fail = [&](Image* report) {
    delete image;
    return report;
  };
  if (width < 8 || width > 0x7fff) {
    if (!rgbeReadFlat(stream, out, pixels)) return fail(rgbeReadError());
    return image;
  }
  for (int y = 0; y < height; ++y) {
    uint8_t start[4];
    if (std::fread(start, 1, 4, stream) != 4) return fail(rgbeReadError());
    if (start[0] != 2 || start[1] != 2 || (start[2] & 0x80)) {
      // Not run-length encoded: these four bytes are the first pixel of a flat remainder.
      rgbeToFloat(start, out);
      if (!rgbeReadFlat(stream, out + 3, uint64_t(width) * (height - y) - 1))
        return fail(rgbeReadError());
      return image;
    }
    if (((start[2] << 8) | start[3]) != width) return fail(rgbeFormatError("wrong scanline width"));
    for (int plane = 0; plane < 4; ++plane) {
      uint8_t* p = scanline.data() + plane * width;
      uint8_t* const end = p + width;
      while (p < end) {
        uint8_t pair[2];
        if (std::fread(pair, 1, 2, stream) != 2) return fail(rgbeReadError());
        if (pair[0] > 128) {
          const int count = pair[0] - 128;
          if (count > end - p) return fail(rgbeFormatError("bad scanline data"));
          std::memset(p, pair[1], count);
          p += count;
        } else {
          const int count = pair[0];
          if (count == 0 || count > end - p) return fail(rgbeFormatError("bad scanline data"));
          *p++ = pair[1];
          if (count > 1 && std::fread(p, 1, count - 1, stream) != size_t(count - 1))
            return fail(rgbeReadError());
          p += count - 1;
        }
      }
    }
    for (int x = 0; x < width; ++x, out += 3) {
      const uint8_t rgbe[4] = {scanline[x], scanline[width + x], scanline[2 * width + x],
                               scanline[3 * width + x]};
      rgbeToFloat(rgbe, out);
    }
  }
  (void)exposure;
  return image;
}

Image* loadImage(const char* name, const char* directory) {
  if (name && (!directory || !*directory)) {
    Image* image = nullptr;
    if (takePrefetchedImage(name, &image)) return image;
  }
  return decodeImageFile(name, directory);
}

Image* decodeImageFile(const char* name, const char* directory) {
  if (!name) return nullptr;
  const size_t length = std::strlen(name);
  if (length < 4) return nullptr;
  const std::string path = (directory && *directory) ? std::string(directory) + name : name;

  if (endsWith(name, length, ".png") || endsWith(name, length, ".PNG"))
    return decodeArchiveFile(path, decodePng);
  if (endsWith(name, length, ".hdr") || endsWith(name, length, ".HDR")) {
    // Radiance pictures come straight from disk; a path may separate its folders with '\'
    // ("data\grace_probe.hdr"), turned into '/' for the file system.
    std::string diskPath = path;
    std::replace(diskPath.begin(), diskPath.end(), '\\', '/');
    return readRgbeFile(diskPath);
  }
  if (endsWith(name, length, ".dds") || endsWith(name, length, ".DDS")) return loadDDS(path.c_str());
  if (endsWith(name, length, ".jpg") || endsWith(name, length, ".JPG"))
    return decodeArchiveFile(path, decodeJpeg);
  return nullptr;
}

int scaleImage(int newWidth, int newHeight, Image* image) {
  if (!image) {
    reportError(DE_HERE, "no image to scale", false);
    return 1;
  }
  if (newWidth <= 0 || newHeight <= 0 || image->width <= 0 || image->height <= 0) return 1;
  const float ratioX = static_cast<float>(image->width) / static_cast<float>(newWidth);
  const float ratioY = static_cast<float>(image->height) / static_cast<float>(newHeight);
  const auto sourceX = [&](int x) {
    return std::min(static_cast<int>(static_cast<float>(x) * ratioX), image->width - 1);
  };
  const auto sourceY = [&](int y) {
    return std::min(static_cast<int>(static_cast<float>(y) * ratioY), image->height - 1);
  };

  if (!image->floatData.empty()) {
    // RGBE pictures carry their pixels as floats, three a pixel.
    std::vector<float> scaled(size_t(newWidth) * newHeight * 3);
    for (int y = 0; y < newHeight; ++y) {
      const float* row = image->floatData.data() + size_t(sourceY(y)) * image->width * 3;
      for (int x = 0; x < newWidth; ++x)
        std::memcpy(&scaled[(size_t(y) * newWidth + x) * 3], row + size_t(sourceX(x)) * 3,
                    3 * sizeof(float));
    }
    image->floatData = std::move(scaled);
  } else {
    const size_t b = size_t(image->bitsPerPixel / 8);
    const size_t needed = size_t(image->width) * image->height * b;
    std::vector<uint8_t> scaled(size_t(newWidth) * newHeight * b);
    if (image->data.size() >= needed) {
      for (int y = 0; y < newHeight; ++y) {
        const uint8_t* row = image->data.data() + size_t(sourceY(y)) * image->width * b;
        for (int x = 0; x < newWidth; ++x)
          std::memcpy(&scaled[(size_t(y) * newWidth + x) * b], row + size_t(sourceX(x)) * b, b);
      }
    }
    image->data = std::move(scaled);
  }
  image->width = newWidth;
  image->height = newHeight;
  return 0;
}

void expandTo32Bits(Image* image) {
  assertNotNull(image, DE_HERE);
  if (image->bitsPerPixel != 24) reportError(DE_HERE, "Image has unsupported bit depth", true);
  const size_t count = size_t(image->width) * image->height;
  std::vector<uint8_t> expanded(count * 4);
  const size_t available = std::min(count, image->data.size() / 3);
  for (size_t p = 0; p < available; ++p) {
    expanded[4 * p] = image->data[3 * p];
    expanded[4 * p + 1] = image->data[3 * p + 1];
    expanded[4 * p + 2] = image->data[3 * p + 2];
    expanded[4 * p + 3] = 255;
  }
  image->data = std::move(expanded);
  image->bitsPerPixel = 32;
}
