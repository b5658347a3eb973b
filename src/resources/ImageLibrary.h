#pragma once
// Picture files to Image records: PNG through libpng, JPEG through libjpeg-turbo,
// DDS with S3TC blocks (resources/DDSLoader) and Radiance RGBE (.hdr). The texture code
// (resources/Texture) uploads the records and frees them.

#include <cstdio>

#include "resources/Image.h"

struct MemoryFile;


// Chooses the decoder by the exact last four characters of `name` (".png"/".PNG",
// ".hdr"/".HDR", ".dds"/".DDS", ".jpg"/".JPG"); the path is directory + name when the
// directory is not empty. Null for an unknown ending, a missing file or a broken picture.
// A picture decoded ahead of time (resources/ImagePrefetch, started with decodeImageFile
// as its decoder) is taken instead.
Image* loadImage(const char* name, const char* directory);
// The same, always decoding the file itself (the decoder to hand the read-ahead).
Image* decodeImageFile(const char* name, const char* directory);

// Nearest-neighbour resize in place. 1 (and a non-fatal "no image to scale") for null.
int scaleImage(int newWidth, int newHeight, Image* image);

// 24-bit pixels to 32-bit in place, alpha 255. Any other depth is the fatal
// "Image has unsupported bit depth".
void expandTo32Bits(Image* image);

// [SECTION] The decoders over bytes already in memory; loadImage uses them, and so do the
// fuzz targets and the benchmark. Each reads `file` from its current position.
Image* decodePng(MemoryFile* file);
Image* decodeJpeg(MemoryFile* file);
// Reads an RGBE picture from an open stdio stream (.hdr pictures are read from disk,
// not from the archive). Messages go to stderr; null on any fault.
Image* readRgbe(FILE* stream);
