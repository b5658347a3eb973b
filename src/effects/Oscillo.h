#pragma once
// The oscilloscope drawing: the latest captured block of the sound as a thick line strip in
// a small off-screen texture, which the Osc effect lays over the frame. Reads the capture
// ring of demoSystem/VelkorMusic without a lock; a trace may mix two successive blocks.

#include "resources/RenderTarget.h"

class Oscillo {
 public:
  static constexpr int kPoints = 100;  // line segments: kPoints + 1 vertices
  static constexpr int kSize = 256;    // the target's width and height

  // Creates the target "oscillo" (RGBA, no depth), minified linearly, magnified nearest.
  Oscillo();

  // Starts the capture; without sound that is the fatal "Oscillo: sound not inited".
  static void startCapture();

  void setColour(float red, float green, float blue, float alpha);
  // Draws the trace into the target (cleared to transparent black) and returns it. The
  // viewport, the clear colour and the framebuffer binding come back as they were.
  RenderTarget* render();
  // The trace alone, into whatever is bound: the block after the one the capture writes
  // next, 101 vertices across x 0..1, sample s at height (s + 32768) / 65536. Without a
  // capture ring the trace is that of silence.
  void drawTrace();

 private:
  float red_ = 1, green_ = 1, blue_ = 1, alpha_ = 1;
  RenderTarget target_;
};
