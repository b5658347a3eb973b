#pragma once
// Writes captured frames as 8-bit RGB PNG files.

#include <cstdint>
#include <string>

namespace platform {

// `rgb` holds height rows of width·3 bytes, bottom row first (as glReadPixels gives them);
// the file is written top row first. Returns false, with the reason in *error when given,
// when the file cannot be created or libpng fails.
bool writePngRgb(const std::string& path, int width, int height, const uint8_t* rgb,
                 std::string* error = nullptr);

}  // namespace platform
