#pragma once
// Ogg Vorbis encoding with fixed settings and a fixed stream serial number, so that the
// same samples always give the same file.

#include <string>

#include "Dsp.h"

constexpr int kOggSerial = 0x4F4D4252;  // "OMBR"
constexpr float kVorbisQuality = 0.6f;  // about 190 kbit/s for this material

// Returns false (after a message on stderr) when the file cannot be written.
bool writeOggVorbis(const std::string& path, const Stereo& audio, const char* title);
