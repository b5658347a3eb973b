#include "effects/Oscillo.h"

#include <epoxy/gl.h>

#include <cmath>

#include "base/Error.h"
#include "demoSystem/VelkorMusic.h"

namespace {

// What the trace reads while no capture runs (Music off): a ring of silence, margin included.
const int16_t kSilence[kCaptureRingLength + 16] = {};

}  // namespace

Oscillo::Oscillo() {
  target_.init("oscillo", kSize, kSize, RenderTarget::kAlpha);
  // init leaves the colour texture bound.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
}

void Oscillo::startCapture() { ::startCapture(DE_HERE); }

void Oscillo::setColour(float red, float green, float blue, float alpha) {
  red_ = red;
  green_ = green;
  blue_ = blue;
  alpha_ = alpha;
}

RenderTarget* Oscillo::render() {
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  GLfloat clearColour[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, clearColour);
  target_.bind();
  glViewport(0, 0, target_.getWidth(), target_.getHeight());
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT);
  drawTrace();
  target_.unbind();
  glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  return &target_;
}

void Oscillo::drawTrace() {
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, 1, 0, 1, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glColor4f(red_, green_, blue_, alpha_);

  const int16_t* ring = captureRing ? captureRing : kSilence;
  // The block after the one written next: the oldest but one, the one being heard.
  int start = kCaptureBlockLength * (captureBlock.load(std::memory_order_acquire) + 1);
  if (start >= kCaptureRingLength) start -= kCaptureRingLength;
  const float step = static_cast<float>(kCaptureBlockLength) / kPoints;
  float acc = 0;
  glLineWidth(4);
  glBegin(GL_LINE_STRIP);
  for (int i = 0; i <= kPoints; ++i) {
    // The last vertex may read one sample past the block, inside the ring's margin.
    const int16_t s = ring[start + static_cast<int>(std::trunc(acc))];
    glVertex2f(static_cast<float>(i) / kPoints, static_cast<float>(s + 32768) * (1.0f / 65536));
    acc += step;
  }
  glEnd();
  glLineWidth(1);

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glEnable(GL_DEPTH_TEST);
  glColor4f(1, 1, 1, 1);
}
