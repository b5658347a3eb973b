#pragma once
// Unit-square projections and rectangle drawing shared by the 2D effects. Rectangles are in
// the unit square with y measured downward from the top edge, as layouts are written; the
// drawing flips them into GL's upward y.

class Texture;

struct ScreenRect {
  float x, y, w, h;
};

// Projection orthographic over x 0..1, y 0..1 (bottom to top), depth -1..1; identity
// modelview. Leaves the matrix mode at modelview.
void setOrthoUnit();
// The same with y running from 1 at the bottom to 0 at the top.
void setOrthoUnitFlipped();

// One quad with texture coordinates (0,0), (1,0), (1,1), (0,1) from its top-left corner.
void drawRect(const ScreenRect& rect);
// The quad with the corners of `texRect` as coordinates on texture units 0 and 1.
void drawRectMultiTex(const ScreenRect& rect, const ScreenRect& texRect);
// The quad with the corners of `texRect` as texture coordinates.
void drawRectTex(const ScreenRect& rect, const ScreenRect& texRect);
// drawRect / drawRectTex with the texture bound and 2D texturing on for the quad only; a
// null texture draws the plain quad.
void drawTexturedRect(const Texture* texture, const ScreenRect& rect);
void drawTexturedRectTex(const Texture* texture, const ScreenRect& rect, const ScreenRect& texRect);
