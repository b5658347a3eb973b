#pragma once
// Blur and glow: the source effect rendered into a target, optionally darkened and brightened
// (the multiply/subtract pass), blurred by up to four passes of growing radius, and drawn over
// the screen alone or added on top of the sharp image as a glow.
//
// A blur pass is the sum of twelve shifted copies of its source (six along x, six along y),
// each scaled by the pass weight. Drawn literally that is twelve additive full-screen draws into
// an 8-bit target; by default one GLSL draw per pass computes the same sum, rounding each
// copy to 8 bits and clamping as the additive draws do, so the two agree to within one step.

#include <cstdint>

#include "demoSystem/Effect.h"

class RenderTarget;

// [SECTION] Passes shared with other effects

// Draws `taps` shifted copies of `source`'s colour texture, each with weight `weight`, added
// into `destination` (cleared first with the current clear colour): along x starting at
// −`offset` pixels, then along y, `step` pixels apart. `onlyX` leaves out the y copies,
// `onlyY` the x copies. Leaves the destination unbound, texturing and blending off, depth
// test and writes on, colour white; the projection is the pass's own pixel projection.
void blurPass(RenderTarget* source, RenderTarget* destination, int taps, float step, float offset,
              float weight, bool onlyX, bool onlyY);
// The same, always as the literal additive draws (the reference the one-draw pass is held to).
void blurPassLiteral(RenderTarget* source, RenderTarget* destination, int taps, float step,
                     float offset, float weight, bool onlyX, bool onlyY);

// Copies `source` into `destination`, darkens the copy by reverse subtraction of the source
// scaled by `subtract` (at alpha `subtract`), then, when `multiply` > 0, brightens it four times
// by adding itself times the source scaled by `multiply`.
void mulSubPass(RenderTarget* source, RenderTarget* destination, float subtract, float multiply);

// Whether blurPass draws one GLSL draw per pass (true, the default, when the driver compiled
// the program) or the literal additive draws, and Blur draws its glow (the sharp picture and
// the result added) in one draw or two. For the benchmark and the equivalence test.
void setBlurSingleDraw(bool enabled);
bool blurSingleDraw();

// [SECTION] Blur

class Blur : public Effect {
 public:
  explicit Blur(const std::string& name);

  void start(uint32_t time) override;
  void update(uint32_t time) override;
  void render(uint32_t time) override;

  // The four targets every instance shares: T1 1024² with depth (the source), T2–T4 512².
  static RenderTarget& target(int index);

  RenderTarget* result = nullptr;  // the target holding this frame's output
  BoolVariable DoBlur, DoMulSub, DoGlow;
  FloatVariable Subtract, Multiply, BlurFactor, GlowStrength;
  IntVariable BlurAmount;  // passes beyond the first; above 3 acts as 3
  BoolVariable BlurOnlyX, BlurOnlyY;
  bool doBlur = false, doMulSub = false, doGlow = false, onlyX = false, onlyY = false;
};
