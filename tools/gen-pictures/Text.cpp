#include "Text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

namespace {

struct Library {
  FT_Library handle = nullptr;
  Library() {
    if (FT_Init_FreeType(&handle) != 0) {
      std::fprintf(stderr, "gen-pictures: FreeType could not start\n");
      std::exit(1);
    }
  }
  ~Library() { FT_Done_FreeType(handle); }
};

Library& library() {
  static Library lib;
  return lib;
}

FT_Face face(const FontSet& fonts, const std::string& file) {
  static std::map<std::string, FT_Face> faces;
  std::string path = fonts.path(file.c_str());
  auto it = faces.find(path);
  if (it != faces.end()) return it->second;
  FT_Face f = nullptr;
  if (FT_New_Face(library().handle, path.c_str(), 0, &f) != 0) {
    std::fprintf(stderr, "gen-pictures: cannot open font %s\n", path.c_str());
    std::exit(1);
  }
  faces[path] = f;
  return f;
}

std::vector<uint32_t> decodeUtf8(const std::string& s) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out.push_back(c);
      i += 1;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < s.size()) {
      out.push_back(uint32_t(c & 0x1F) << 6 | uint32_t(s[i + 1] & 0x3F));
      i += 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < s.size()) {
      out.push_back(uint32_t(c & 0x0F) << 12 | uint32_t(s[i + 1] & 0x3F) << 6 |
                    uint32_t(s[i + 2] & 0x3F));
      i += 3;
    } else {
      i += 1;
    }
  }
  return out;
}

void setSize(FT_Face f, const TextStyle& style) {
  FT_Set_Pixel_Sizes(f, FT_UInt(style.pixelSize),
                     FT_UInt(std::lround(float(style.pixelSize) * style.verticalStretch)));
}

// Walks the glyphs; `visit` gets each rendered glyph bitmap and its pen position.
template <typename Visit>
float layout(const FontSet& fonts, const TextStyle& style, const std::string& text, Visit visit) {
  FT_Face f = face(fonts, style.fontFile);
  setSize(f, style);
  float pen = 0.0f;
  FT_UInt previous = 0;
  auto codes = decodeUtf8(text);
  for (size_t i = 0; i < codes.size(); ++i) {
    FT_UInt glyph = FT_Get_Char_Index(f, codes[i]);
    if (previous != 0 && FT_HAS_KERNING(f)) {
      FT_Vector k;
      FT_Get_Kerning(f, previous, glyph, FT_KERNING_DEFAULT, &k);
      pen += float(k.x) / 64.0f;
    }
    if (FT_Load_Glyph(f, glyph, FT_LOAD_RENDER | FT_LOAD_NO_HINTING) != 0) continue;
    visit(f->glyph, pen);
    pen += float(f->glyph->advance.x) / 64.0f;
    if (i + 1 < codes.size()) pen += style.tracking;
    previous = glyph;
  }
  return pen;
}

}  // namespace

float measureText(const FontSet& fonts, const TextStyle& style, const std::string& text) {
  return layout(fonts, style, text, [](FT_GlyphSlot, float) {});
}

float drawText(Mask& mask, const FontSet& fonts, const TextStyle& style, const std::string& text,
               float x, float y, Align align) {
  float width = measureText(fonts, style, text);
  float start = x;
  if (align == Align::Centre) start = x - width * 0.5f;
  if (align == Align::Right) start = x - width;
  return layout(fonts, style, text, [&](FT_GlyphSlot g, float pen) {
    const FT_Bitmap& bm = g->bitmap;
    int left = int(std::lround(start + pen)) + g->bitmap_left;
    int top = int(std::lround(y)) - g->bitmap_top;
    for (unsigned row = 0; row < bm.rows; ++row)
      for (unsigned col = 0; col < bm.width; ++col) {
        int px = left + int(col), py = top + int(row);
        if (px < 0 || py < 0 || px >= mask.width || py >= mask.height) continue;
        float c = float(bm.buffer[size_t(row) * size_t(std::abs(bm.pitch)) + col]) / 255.0f;
        float& m = mask.at(px, py);
        m = std::min(1.0f, m + c);
      }
  });
}
