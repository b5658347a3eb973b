#pragma once
// Text set in the DejaVu faces through FreeType, rendered as coverage masks.

#include <string>

#include "Canvas.h"

struct FontSet {
  std::string directory;  // holds DejaVuSans.ttf and its siblings
  std::string path(const char* file) const { return directory + "/" + file; }
};

enum class Align { Left, Centre, Right };

struct TextStyle {
  std::string fontFile = "DejaVuSans.ttf";
  int pixelSize = 32;
  float tracking = 0.0f;  // extra space between letters, in pixels
  // Glyphs are set this much taller than wide; pictures that the screen will squeeze
  // vertically are stretched the other way here.
  float verticalStretch = 1.0f;
};

// Adds the coverage of `text` (UTF-8, Latin-1 range) to `mask` with its baseline at y and
// its anchor at x. Returns the advance width. Fatal on a missing font.
float drawText(Mask& mask, const FontSet& fonts, const TextStyle& style, const std::string& text,
               float x, float y, Align align);
float measureText(const FontSet& fonts, const TextStyle& style, const std::string& text);
