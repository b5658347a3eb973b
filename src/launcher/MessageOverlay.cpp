#include "launcher/MessageOverlay.h"

#include <algorithm>

#include "imgui.h"
#include "platform/Window.h"

namespace {

constexpr float kMargin = 6;

// The lines as they fit `columns` letters of the monospaced font: broken after the last
// blank that fits, or inside a word longer than a whole line.
std::vector<std::string> wrapped(const std::vector<std::string>& lines, size_t columns) {
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    size_t at = 0;
    do {
      size_t take = std::min(columns, line.size() - at);
      if (at + take < line.size()) {
        const size_t blank = line.rfind(' ', at + take - 1);
        if (blank != std::string::npos && blank > at) take = blank + 1 - at;
      }
      out.push_back(line.substr(at, take));
      at += take;
    } while (at < line.size());
  }
  return out;
}

}  // namespace

MessageOverlay::MessageOverlay() = default;

MessageOverlay::~MessageOverlay() {
  // The texture goes with the context; deleting it here could outlive that.
}

bool MessageOverlay::prepareFont() {
  if (atlas_) return texture_ != 0;
  atlas_ = std::make_unique<ImFontAtlas>();
  atlas_->AddFontDefault();
  unsigned char* pixels = nullptr;
  int w = 0, h = 0;
  atlas_->GetTexDataAsAlpha8(&pixels, &w, &h);
  if (!pixels) return false;
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
  glGenTextures(1, &texture_);
  glBindTexture(GL_TEXTURE_2D, texture_);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, w, h, 0, GL_ALPHA, GL_UNSIGNED_BYTE, pixels);
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
  atlas_->ClearTexData();
  return true;
}

void MessageOverlay::draw(int width, int height) {
  if (lines_.empty() || width <= 0 || height <= 0 || !prepareFont()) return;
  ImFont* font = atlas_->Fonts[0];
  const float scale = height >= 1024 ? 2.0f : 1.0f;
  const float advance = font->FindGlyph('M')->AdvanceX * scale;
  const float lineHeight = font->FontSize * scale;
  const auto columns = static_cast<size_t>(std::max(1.0f, (width - 2 * kMargin) / advance));
  std::vector<std::string> shown = wrapped(lines_, columns);
  const auto rows = static_cast<size_t>(std::max(1.0f, (height - 2 * kMargin) / lineHeight));
  if (shown.size() > rows) shown.resize(rows);

  GLint framebuffer = 0, program = 0, pipeline = 0;
  glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &framebuffer);
  glGetIntegerv(GL_CURRENT_PROGRAM, &program);
  glGetIntegerv(GL_PROGRAM_PIPELINE_BINDING, &pipeline);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, platform::screenFramebuffer());
  glUseProgram(0);
  glBindProgramPipeline(0);
  glPushAttrib(GL_ALL_ATTRIB_BITS);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, width, height, 0, -1, 1);  // y down, as text runs
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();

  glViewport(0, 0, width, height);
  glActiveTexture(GL_TEXTURE0);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glDisable(GL_LIGHTING);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_STENCIL_TEST);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_FOG);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glEnable(GL_BLEND);
  glBlendEquation(GL_FUNC_ADD);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

  glDisable(GL_TEXTURE_2D);
  glColor4fv(kBoxColour);
  const float boxBottom = 2 * kMargin + lineHeight * static_cast<float>(shown.size());
  glRectf(0, 0, static_cast<float>(width), boxBottom);

  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, texture_);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glColor4fv(kTextColour);
  glBegin(GL_QUADS);
  float y = kMargin;
  for (const std::string& line : shown) {
    float x = kMargin;
    for (const unsigned char c : line) {
      const ImFontGlyph* glyph = font->FindGlyph(c < 0x80 ? static_cast<ImWchar>(c) : ImWchar('?'));
      if (!glyph) continue;
      if (glyph->Visible) {
        const float x0 = x + glyph->X0 * scale, x1 = x + glyph->X1 * scale;
        const float y0 = y + glyph->Y0 * scale, y1 = y + glyph->Y1 * scale;
        glTexCoord2f(glyph->U0, glyph->V0);
        glVertex2f(x0, y0);
        glTexCoord2f(glyph->U1, glyph->V0);
        glVertex2f(x1, y0);
        glTexCoord2f(glyph->U1, glyph->V1);
        glVertex2f(x1, y1);
        glTexCoord2f(glyph->U0, glyph->V1);
        glVertex2f(x0, y1);
      }
      x += advance;
    }
    y += lineHeight;
  }
  glEnd();

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
  glBindProgramPipeline(static_cast<GLuint>(pipeline));
  glUseProgram(static_cast<GLuint>(program));
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
}
