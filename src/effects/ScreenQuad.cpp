#include "effects/ScreenQuad.h"

#include <epoxy/gl.h>

#include "resources/Texture.h"

namespace {

void setOrtho(float bottom, float top) {
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, 1, bottom, top, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// The quad's corners from the top-left clockwise on screen, each with its coordinates.
template <class TexCoord>
void emitQuad(const ScreenRect& r, const ScreenRect& t, TexCoord texCoord) {
  glBegin(GL_QUADS);
  texCoord(t.x, t.y);
  glVertex2f(r.x, 1 - r.y);
  texCoord(t.x + t.w, t.y);
  glVertex2f(r.x + r.w, 1 - r.y);
  texCoord(t.x + t.w, t.y + t.h);
  glVertex2f(r.x + r.w, 1 - (r.y + r.h));
  texCoord(t.x, t.y + t.h);
  glVertex2f(r.x, 1 - (r.y + r.h));
  glEnd();
}

constexpr ScreenRect kUnitTexRect{0, 0, 1, 1};

void bindFor(const Texture* texture) {
  if (!texture) return;
  texture->bind();
  glEnable(GL_TEXTURE_2D);
}

void unbindFor(const Texture* texture) {
  if (texture) glDisable(GL_TEXTURE_2D);
}

}  // namespace

void setOrthoUnit() { setOrtho(0, 1); }

void setOrthoUnitFlipped() { setOrtho(1, 0); }

void drawRect(const ScreenRect& rect) {
  emitQuad(rect, kUnitTexRect, [](float s, float t) { glTexCoord2f(s, t); });
}

void drawRectMultiTex(const ScreenRect& rect, const ScreenRect& texRect) {
  emitQuad(rect, texRect, [](float s, float t) {
    glMultiTexCoord2f(GL_TEXTURE0, s, t);
    glMultiTexCoord2f(GL_TEXTURE1, s, t);
  });
}

void drawRectTex(const ScreenRect& rect, const ScreenRect& texRect) {
  emitQuad(rect, texRect, [](float s, float t) { glTexCoord2f(s, t); });
}

void drawTexturedRect(const Texture* texture, const ScreenRect& rect) {
  bindFor(texture);
  drawRect(rect);
  unbindFor(texture);
}

void drawTexturedRectTex(const Texture* texture, const ScreenRect& rect, const ScreenRect& texRect) {
  bindFor(texture);
  drawRectTex(rect, texRect);
  unbindFor(texture);
}
