#pragma once
// Ogg Vorbis encoding with fixed settings and a fixed stream serial number, so that the
// same samples always give the same file.

#include <cstdio>

#include "Dsp.h"

constexpr int kOggSerial = 0x4F4D4252;  // "OMBR"
constexpr float kVorbisQuality = 0.6f;  // about 190 kbit/s for this material

// Writes the whole stream to an open file; false when a write fails.
bool writeOggVorbis(FILE* file, const Stereo& audio, const char* title);
