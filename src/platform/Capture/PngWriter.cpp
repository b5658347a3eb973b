#include "platform/Capture/PngWriter.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace platform {

namespace {

struct PngFailure {
  char text[200] = {};
};

void onPngError(png_structp png, png_const_charp message) {
  auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
  std::snprintf(failure->text, sizeof failure->text, "%s", message);
  png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// Kept apart from writePngRgb so that no object with a destructor lives in the frame that
// libpng longjmps through.
bool writeRows(FILE* file, int width, int height, png_bytep* rows, PngFailure* failure) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, failure, onPngError, onPngWarning);
  if (!png) {
    std::snprintf(failure->text, sizeof failure->text, "out of memory");
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  // Capture writes thousands of frames; the fastest zlib level keeps that I/O-bound.
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool writePngRgb(const std::string& path, int width, int height, const uint8_t* rgb,
                 std::string* error) {
  if (width <= 0 || height <= 0 || !rgb) {
    if (error) *error = "empty image";
    return false;
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  const size_t stride = static_cast<size_t>(width) * 3;
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int y = 0; y < height; ++y)
    rows[static_cast<size_t>(y)] =
        const_cast<png_bytep>(rgb + static_cast<size_t>(height - 1 - y) * stride);
  PngFailure failure;
  bool ok = writeRows(file, width, height, rows.data(), &failure);
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    std::snprintf(failure.text, sizeof failure.text, "%s", std::strerror(errno));
  }
  if (!ok && error) *error = failure.text;
  return ok;
}

}  // namespace platform
