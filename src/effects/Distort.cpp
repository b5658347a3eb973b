#include "effects/Distort.h"

#include <epoxy/gl.h>

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>

#include "base/Display.h"
#include "base/Error.h"
#include "base/Random.h"
#include "effects/ScreenQuad.h"
#include "engine/FragmentProgram.h"
#include "resources/Texture.h"

namespace {

constexpr int32_t kNoTable = Variable::kNoStringTable;
constexpr float kPi = std::numbers::pi_v<float>;

void registerColour(Effect& effect, FloatVariable& red, FloatVariable& green, FloatVariable& blue,
                    FloatVariable& alpha) {
  red.value = green.value = blue.value = alpha.value = 1;
  effect.registerVariable(&red, "Red", kNoTable, Variable::kFloat, "red of the colour it draws with (0–1)");
  effect.registerVariable(&green, "Green", kNoTable, Variable::kFloat, "green of the colour (0–1)");
  effect.registerVariable(&blue, "Blue", kNoTable, Variable::kFloat, "blue of the colour (0–1)");
  effect.registerVariable(&alpha, "Alpha", kNoTable, Variable::kFloat, "alpha of the colour (0–1)");
}

void registerFloat(Effect& effect, FloatVariable& variable, const char* name, float value, const char* meaning) {
  variable.value = value;
  effect.registerVariable(&variable, name, kNoTable, Variable::kFloat, meaning);
}

// The unit square as the 2D distortions draw it: y down, the picture upright.
void pushUnitSquare() {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 1, 1, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
}

void popMatrices() {
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
}

void pushTextureMatrix() {
  glMatrixMode(GL_TEXTURE);
  glPushMatrix();
  glLoadIdentity();
}

void popTextureMatrix() {
  glMatrixMode(GL_TEXTURE);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
}

// Back to the state the next effect expects after a 2D distortion.
void endDistortion() {
  glDisable(GL_BLEND);
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  glColor4f(1, 1, 1, 1);
}

}  // namespace

// [SECTION] Shared drawing

void drawUnitQuad() {
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(0, 1);
  glTexCoord2f(1, 0);
  glVertex2f(1, 1);
  glTexCoord2f(1, 1);
  glVertex2f(1, 0);
  glTexCoord2f(0, 1);
  glVertex2f(0, 0);
  glEnd();
}

void brighten(int n) {
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 1, 1, 0, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  // Every quad lies at the same depth: with the depth test on, each after the first would
  // fail against the first and the picture would double only once.
  const GLboolean depthTest = glIsEnabled(GL_DEPTH_TEST);
  glDisable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_DST_COLOR, GL_ONE);  // destination × (1 + source colour)
  glDisable(GL_TEXTURE_2D);
  int reached = 1;
  glColor4f(1, 1, 1, 1);
  for (int b = 2; b <= n; b *= 2) {
    drawUnitQuad();
    reached = b;
  }
  // The rest of the factor: n / reached = 1 + (n − reached) / reached. The colour carries
  // the fraction, since this blend reads the source colour and not its alpha; below 1 (n < 1)
  // it is clamped to nothing and the picture stays as it is.
  const float rest = float(n - reached) / float(reached);
  if (rest > 0) {
    glColor4f(rest, rest, rest, rest);
    drawUnitQuad();
  }
  glDisable(GL_BLEND);
  if (depthTest) glEnable(GL_DEPTH_TEST);
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glColor4f(1, 1, 1, 1);
}

// [SECTION] What the five share

void DistortionEffect::start(uint32_t time) {
  Effect::start(time);
  if (sourceEffect) sourceEffect->start(time);
}

template <class Draw>
void DistortionEffect::updateWithSource(uint32_t time, Draw draw) {
  Effect::update(time);
  if (!sourceEffect || drawingSource) return;
  drawingSource = true;
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  draw();
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  drawingSource = false;
}

void DistortionEffect::renderSourceInto(RenderTarget& target, uint32_t time, GLbitfield clearMask) {
  target.bind();
  glViewport(0, 0, target.getWidth(), target.getHeight());
  glClearColor(0, 0, 0, 0);
  glClear(clearMask);
  sourceEffect->update(time);
  sourceEffect->render(time);
}

// [SECTION] RotoZoom

RotoZoomEffect::RotoZoomEffect(const std::string& name) : DistortionEffect(name) {
  registerColour(*this, Red, Green, Blue, Alpha);
  registerFloat(*this, RotSpeed, "RotSpeed", 0.5f, "rotation speed");
  target.init(name, 512, 512, RenderTarget::kDepth);
}

float RotoZoomEffect::zoomAt(float scaledTime) {
  return std::max(5 * std::sin(0.1f * scaledTime - kPi / 2) + 5, 1e-7f);
}

void RotoZoomEffect::update(uint32_t time) {
  updateWithSource(time, [&] {
    renderSourceInto(target, time, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    target.unbind();
  });
}

void RotoZoomEffect::render(uint32_t time) {
  if (!sourceEffect) return;
  const float s = scaledTime;
  pushUnitSquare();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ZERO);
  glColor4f(Red.evaluate(time), Green.evaluate(time), Blue.evaluate(time), Alpha.evaluate(time));
  glBindTexture(GL_TEXTURE_2D, target.getColorTextureId());

  // Zoom and turn about the middle of the picture, which repeats beyond its edges.
  const float zoom = zoomAt(s);
  pushTextureMatrix();
  glTranslatef(0.5f, 0.5f, 0);
  glScalef(zoom, zoom, zoom);
  glRotatef(RotSpeed.evaluate(time) * s * 20, 0, 0, 1);
  glTranslatef(-0.5f, -0.5f, 0);
  drawUnitQuad();
  popTextureMatrix();
  popMatrices();
  endDistortion();
}

// [SECTION] Tiles

TilesEffect::TilesEffect(const std::string& name) : DistortionEffect(name) {
  registerColour(*this, Red, Green, Blue, Alpha);
  registerFloat(*this, RotSpeed, "RotSpeed", 0.5f, "rotation speed");
  registerFloat(*this, FadeSpeed, "FadeSpeed", 0.5f, "speed of the tiles' fade");
  for (int k = 0; k < 9; ++k) tileDelay[size_t(k)] = float(k) * 0.6f;
  target.init("name", 512, 512, RenderTarget::kDepth);
}

void TilesEffect::update(uint32_t time) {
  updateWithSource(time, [&] {
    renderSourceInto(target, time, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    target.unbind();
  });
}

void TilesEffect::render(uint32_t time) {
  if (!sourceEffect) return;
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 1, 0, 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glBindTexture(GL_TEXTURE_2D, target.getColorTextureId());

  const float red = Red.evaluate(time), green = Green.evaluate(time), blue = Blue.evaluate(time);
  const float rotSpeed = RotSpeed.evaluate(time), fadeSpeed = FadeSpeed.evaluate(time);
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 3; ++c) {
      const int k = 3 * (r - 1) + (c - 1);
      // g grows from 1 once the tile's delay has passed: the tile shrinks by 1/g, turns
      // and fades in proportion to g − 1.
      const float g = std::max(0.02f * scaledTime + 1 - tileDelay[size_t(k)], 1.0f);
      glLoadIdentity();
      glTranslatef(float(c) / 3 - 1.0f / 6, float(r) / 3 - 1.0f / 6, 0);
      glRotatef(rotSpeed * (g - 1) * 100, 0, 0, 1);
      glScalef(1 / g * (1.0f / 3), 1 / g * (1.0f / 3), 1);
      glTranslatef(-0.5f, -0.5f, 0);
      const float alpha = std::max(1 - (g - 1) * fadeSpeed * 10, 0.0f);
      glColor4f(red, green, blue, alpha);
      drawRectTex({0, 0, 1, 1}, {float(c - 1) / 3, float(r) / 3, 1.0f / 3, -1.0f / 3});
    }
  popMatrices();
  endDistortion();
}

// [SECTION] Mosaic

MosaicEffect::MosaicEffect(const std::string& name) : DistortionEffect(name) {
  registerColour(*this, Red, Green, Blue, Alpha);
  registerFloat(*this, Saturation, "Saturation", 0.4f, "brighten passes of the coarse picture (× 10)");
  registerFloat(*this, PreSaturation, "PreSaturation", 0, "registered, not read by the drawing");
  ZoomCenter.value = true;
  registerVariable(&ZoomCenter, "ZoomCenter", kNoTable, Variable::kBool, "zoom towards the centre (off: towards the texture origin)");
  fine.init(name + "_hires", 256, 256, RenderTarget::kDepth);
  coarse.init(name + "_lowres", coarseSize, coarseSize, RenderTarget::kDepth);
}

namespace {

float mosaicZoom(float scaledTime) {
  return std::min(1.0f / MosaicEffect::coarseSize + 0.01f * scaledTime, 0.97f);
}

}  // namespace

float MosaicEffect::cellSizeAt(float scaledTime) {
  return 1 / (coarseSize * mosaicZoom(scaledTime));
}

void MosaicEffect::update(uint32_t time) {
  updateWithSource(time, [&] {
    renderSourceInto(fine, time, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    brighten(2);
    fine.unbind();
    renderSourceInto(coarse, time, GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    coarse.unbind();
  });
}

void MosaicEffect::render(uint32_t time) {
  if (!sourceEffect) return;
  const float n = coarseSize;
  const bool centred = ZoomCenter.evaluateBool(time);
  pushUnitSquare();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_TEXTURE_2D);
  glColor4f(1, 1, 1, 1);

  // The coarse copy, zoomed in so that one of its texels spans a cell; the half texel keeps
  // the centre cell on a texel's middle.
  glBindTexture(GL_TEXTURE_2D, coarse.getColorTextureId());
  const float d = mosaicZoom(scaledTime);
  pushTextureMatrix();
  if (centred) glTranslatef(0.5f / n + 0.5f, 0.5f / n + 0.5f, 0);
  glScalef(d, d, 1);
  if (centred) glTranslatef(-0.5f, -0.5f, 0);
  glDisable(GL_BLEND);
  drawUnitQuad();
  brighten(int(std::trunc(Saturation.evaluate(time) * 10)));
  popTextureMatrix();

  // The whole fine picture repeated once per cell, multiplied in.
  glBindTexture(GL_TEXTURE_2D, fine.getColorTextureId());
  glEnable(GL_TEXTURE_2D);
  pushTextureMatrix();
  if (centred) glTranslatef(0.5f, 0.5f, 0);
  glScalef(n * d, n * d, 1);
  if (centred) glTranslatef(-0.5f, -0.5f, 0);
  glEnable(GL_BLEND);
  glBlendFunc(GL_DST_COLOR, GL_ZERO);
  drawUnitQuad();
  popTextureMatrix();

  popMatrices();
  endDistortion();
}

// [SECTION] LineDistortion

float LineDistortionEffect::phase = 0;

namespace {

RenderTarget& lineDistortionTarget() {
  static RenderTarget target;
  return target;
}

RenderTarget& rippleTarget() {
  static RenderTarget target;
  return target;
}

// A process-wide target: the first instance creates it under its own name.
void initSharedTarget(RenderTarget& target, const std::string& name, int flags) {
  if (target.isInited()) return;
  target.init(name, 512, 512, flags);
  glBindTexture(GL_TEXTURE_2D, target.getColorTextureId());
  target.setTextureParameter(GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  target.setTextureParameter(GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
}

}  // namespace

LineDistortionEffect::LineDistortionEffect(const std::string& name) : DistortionEffect(name) {
  registerFloat(*this, MaxAmplitude, "MaxAmplitude", 0.05f, "largest sideways shift of a line");
  registerFloat(*this, Magic1, "Magic1", 20, "line wave frequency");
  registerFloat(*this, Magic2, "Magic2", 1, "line wave speed");
  registerFloat(*this, Magic3, "Magic3", 5, "second wave frequency");
  registerFloat(*this, Magic4, "Magic4", 0.2f, "second wave weight");
  registerColour(*this, Red, Green, Blue, Alpha);
  initSharedTarget(lineDistortionTarget(), name + "_1", RenderTarget::kDepth | RenderTarget::kAlpha);
}

void LineDistortionEffect::update(uint32_t time) {
  updateWithSource(time, [&] { renderSourceToTarget(&lineDistortionTarget(), time); });
}

float LineDistortionEffect::stripShift(int k, float random, float phase, float magic1, float magic3,
                                       float magic4, float maxAmplitude, float pulse) {
  const float q = float(k) + phase;
  const float value = random * 0.2f + 0.8f * std::sin(q * magic1 / 512 * (magic4 + pulse) * 6.28f);
  return std::pow(value, magic3) * maxAmplitude * 0.5f;
}

void LineDistortionEffect::buildStrips() {
  constexpr size_t kFloats = size_t(kStrips) * 4 * 2;  // 16 KB of floats each
  vertices.reset(new (std::nothrow) float[kFloats]);
  texCoords.reset(new (std::nothrow) float[kFloats]);
  if (!vertices || !texCoords) reportError(DE_HERE, "out of mem!", true);
  for (int k = 0; k < kStrips; ++k) {
    // Strip 0 at the bottom of the flipped unit square, showing the picture's bottom row.
    const float top = 1 - float(k) / kStrips, bottom = 1 - float(k + 1) / kStrips;
    const float v0 = float(k) / kStrips, v1 = float(k + 1) / kStrips;
    const float corners[4][4] = {{0, top, 0, v0}, {1, top, 1, v0}, {1, bottom, 1, v1}, {0, bottom, 0, v1}};
    for (int c = 0; c < 4; ++c) {
      float* vertex = &vertices[size_t(k * 4 + c) * 2];
      float* uv = &texCoords[size_t(k * 4 + c) * 2];
      vertex[0] = corners[c][0];
      vertex[1] = corners[c][1];
      uv[0] = corners[c][2];
      uv[1] = corners[c][3];
    }
  }
}

void LineDistortionEffect::render(uint32_t time) {
  if (!sourceEffect) return;
  glEnable(GL_BLEND);
  glBlendFunc(blendSrcFactor, blendDstFactor);
  glBlendEquation(blendEquationMode);
  glDisable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glEnable(GL_TEXTURE_2D);
  setOrthoUnitFlipped();
  glColor4f(Red.evaluate(time), Green.evaluate(time), Blue.evaluate(time), Alpha.evaluate(time));
  glBindTexture(GL_TEXTURE_2D, lineDistortionTarget().getColorTextureId());
  if (fragmentProgram) {
    fragmentProgram->bind();
    fragmentProgram->setParameter4f(fragmentProgram->factors, Factor0.evaluate(time), Factor1.evaluate(time),
                                    Factor2.evaluate(time), Factor3.evaluate(time));
  }
  if (!vertices) buildStrips();

  phase += Magic2.evaluate(time);
  const float magic1 = Magic1.evaluate(time), magic3 = Magic3.evaluate(time), magic4 = Magic4.evaluate(time);
  const float maxAmplitude = MaxAmplitude.evaluate(time);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(2, GL_FLOAT, 0, vertices.get());
  glTexCoordPointer(2, GL_FLOAT, 0, texCoords.get());
  // Strips whose shift is not a number (a negative sine under a fractional power) vanish:
  // the strips are drawn in runs that leave them out.
  int runStart = 0;
  for (int k = 0; k <= kStrips; ++k) {
    bool drawable = false;
    if (k < kStrips) {
      const float random = float(demoRand()) / 32767;
      const float shift = stripShift(k, random, phase, magic1, magic3, magic4, maxAmplitude, pulse);
      drawable = std::isfinite(shift);
      float* strip = &vertices[size_t(k) * 8];
      strip[0] = strip[6] = drawable ? shift : 0;      // left corners
      strip[2] = strip[4] = drawable ? shift + 1 : 0;  // right corners
    }
    if (drawable) continue;
    if (k > runStart) glDrawArrays(GL_QUADS, runStart * 4, (k - runStart) * 4);
    runStart = k + 1;
  }
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);

  if (fragmentProgram) fragmentProgram->unbind();
  glDisable(GL_TEXTURE_2D);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_TRUE);
  glDisable(GL_BLEND);
  glColor4f(1, 1, 1, 1);
  glBlendEquation(GL_FUNC_ADD);
}

// [SECTION] Ripple

float RippleEffect::centreX = 0.5f;
float RippleEffect::centreY = 0.5f;

RippleEffect::RippleEffect(const std::string& name) : DistortionEffect(name) {
  buildMesh();
  RenderTarget& target = rippleTarget();
  if (!target.isInited()) {
    initSharedTarget(target, name + "_1", RenderTarget::kDepth);
    target.getColorTexture()->setFilter(GL_LINEAR, GL_LINEAR);
  }
}

void RippleEffect::buildMesh() {
  const auto addVertex = [&](float x, float y) {
    positions.insert(positions.end(), {x, y, 0});
    texCoords.insert(texCoords.end(), {x, y});
  };
  constexpr float kTwoPi = 2 * kPi;
  addVertex(centreX, centreY);
  // The first circle closes its fan with a copy of its first vertex.
  circleStart[0] = 1;
  for (int i = 0; i <= firstRing; ++i)
    addVertex(centreX + 0.05f * std::sin(kTwoPi * float(i % firstRing) / firstRing),
              centreY + 0.05f * std::cos(kTwoPi * float(i % firstRing) / firstRing));
  for (int r = 1; r <= rings; ++r) {
    circleStart[size_t(r)] = vertexCount();
    const int count = firstRing << r;
    const float radius = 0.003f + float(r) * 0.9f / rings;
    for (int j = 0; j < count; ++j)
      addVertex(centreX + radius * std::sin(kTwoPi * float(j) / float(count)),
                centreY + radius * std::cos(kTwoPi * float(j) / float(count)));
  }
  circleStart[rings + 1] = vertexCount();

  // Between circle r − 1 and circle r, which has twice its vertices, three triangles per
  // inner segment; the last segment of both circles wraps to their own first vertex.
  for (int r = 1; r <= rings; ++r) {
    const int innerCount = firstRing << (r - 1), outerCount = 2 * innerCount;
    const int inner = circleStart[size_t(r) - 1], outer = circleStart[size_t(r)];
    std::vector<uint16_t>& list = indices[size_t(r) - 1];
    list.reserve(size_t(9) * innerCount);
    for (int i = 0; i < innerCount; ++i) {
      const auto in0 = uint16_t(inner + i), in1 = uint16_t(inner + (i + 1) % innerCount);
      const auto out0 = uint16_t(outer + 2 * i), out1 = uint16_t(outer + 2 * i + 1);
      const auto out2 = uint16_t(outer + (2 * i + 2) % outerCount);
      list.insert(list.end(), {in0, out0, out1, in0, out1, in1, in1, out1, out2});
    }
  }
}

float RippleEffect::centreHeight() const { return positions[2]; }

float RippleEffect::circleHeight(int circle) const {
  return positions[size_t(circleStart[size_t(circle) - 1]) * 3 + 2];
}

void RippleEffect::stepWave(uint32_t time) {
  if (time == 0) history.fill(0);
  std::copy_backward(history.begin(), history.end() - 1, history.end());
  history[0] = std::sin(0.001f * float(time)) - 1;
  positions[2] = history[0];
  // Circle c shows its slice of the history, weighted by a ramp: a wave sample reaches the
  // next circle kSlice frames after this one.
  const float norm = 1.0f / (float(kSlice) * float(kSlice));
  for (int c = 1; c <= rings; ++c) {
    const float* slice = &history[size_t(1 + (c - 1) * kSlice)];
    float sum = 0;
    for (int j = 0; j < kSlice; ++j) sum += float(j) * slice[j];
    const float height = norm * sum;
    for (int v = circleStart[size_t(c) - 1]; v < circleStart[size_t(c)]; ++v) positions[size_t(v) * 3 + 2] = height;
  }
}

void RippleEffect::update(uint32_t time) {
  updateWithSource(time, [&] { renderSourceToTarget(&rippleTarget(), time); });
}

void RippleEffect::render(uint32_t time) {
  if (!sourceEffect) return;
  stepWave(time);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glDisable(GL_CULL_FACE);
  glBindTexture(GL_TEXTURE_2D, rippleTarget().getColorTextureId());
  glEnable(GL_TEXTURE_2D);
  // The aspect ratio in whole numbers, as the effect was tuned: 1 for every 4:3 window. At
  // least 1, so that a window taller than wide still gets a projection.
  const int aspect = screenHeight > 0 ? std::max(screenWidth / screenHeight, 1) : 1;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(45, aspect, 0.1, 200);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glTranslatef(-0.5f, -0.5f, -1);
  glColor4f(1, 1, 1, 1);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, positions.data());
  glTexCoordPointer(2, GL_FLOAT, 0, texCoords.data());
  glDrawArrays(GL_TRIANGLE_FAN, 0, firstRing + 2);
  for (const std::vector<uint16_t>& list : indices)
    glDrawElements(GL_TRIANGLES, GLsizei(list.size()), GL_UNSIGNED_SHORT, list.data());
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisable(GL_TEXTURE_2D);
  glDepthMask(GL_TRUE);
  glColor4f(1, 1, 1, 1);
}
