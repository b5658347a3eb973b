#pragma once
// Overlays made of generated textures.
//   Noise        two random-grain textures multiplied over the screen, jittered on request
//   PNoise       a Perlin-noise marble regenerated every frame
//   TechnoNoise  the source's picture, plus an enlarged copy with every other line black
//
// Index: [SECTION] Noise · PNoise · TechnoNoise

#include "demoSystem/Effect.h"
#include "effects/ScreenQuad.h"
#include "resources/RenderTarget.h"

class Texture;

// [SECTION] Noise

class NoiseEffect : public Effect {
 public:
  explicit NoiseEffect(const std::string& name);
  void render(uint32_t time) override;
  // An animated grain draws the process-wide random sequence every frame.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }

  FloatVariable Red, Green, Blue, Alpha;  // Alpha + pulse is the overlay's opacity
  BoolVariable Animate;                   // a new random offset of the grain every frame
  // The texture rectangle both grains are drawn with; shared by every Noise.
  static ScreenRect noiseRect;

 private:
  Texture* grain = nullptr;       // "noisetexture", 1024 × 1024
  Texture* fineGrain = nullptr;   // "noisetexture2", 512 × 512
};

// [SECTION] PNoise

class PNoiseEffect : public Effect {
 public:
  static constexpr int kMaxOctaves = 8;

  explicit PNoiseEffect(const std::string& name);
  // Draws with whatever colour and blending the effects before it left.
  void render(uint32_t time) override;
  // Every event is ignored, the base codes too.
  void handleEvent(const TimelineEvent& event) override;
  // The shared marble deepens a step per drawn frame of any instance.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }

  // The marble's depth, stepped by 0.1 each frame any PNoise draws, its octaves (never
  // more than kMaxOctaves) and whether it is regenerated: shared by every PNoise.
  static double marbleZ;
  static int marbleOctaves;
  static bool marbleEveryFrame;

 private:
  Texture* marble = nullptr;  // "pnoisetexture", 256 × 256
};

// [SECTION] TechnoNoise

class TechnoNoiseEffect : public Effect {
 public:
  explicit TechnoNoiseEffect(const std::string& name);
  ~TechnoNoiseEffect() override;
  void start(uint32_t time) override;
  void update(uint32_t time) override;
  void render(uint32_t time) override;

  FloatVariable Red, Green, Blue, Alpha;
  FloatVariable ScaleSizeX, ScaleSizeY;      // the scan-line copy's size
  FloatVariable ScaleOffsetX, ScaleOffsetY;  // the point it grows from
  FloatVariable ScaleAlpha;                  // how much of it is added

  // Shared by every TechnoNoise, named after the first: the source's picture (RGBA, edges
  // clamped) and its scan-line copy (repeating).
  static RenderTarget& sourceTarget();
  static RenderTarget& scanLineTarget();

  // Whether this frame's update left the scan-line copy out: at ScaleAlpha 0 it adds nothing
  // that shows, so it is neither drawn nor its target filled, unless another TechnoNoise
  // (which shares the target) may draw in this frame. A render that finds the GL state
  // other than the resting one draws the copy after all.
  bool scanLinesSkipped() const { return linesSkipped; }
  // Whether the scan-line copy would leave the frame as it is at `time`: no alpha, added with
  // an equation that keeps the destination where the source is 0.
  bool scanLinesAddNothing(uint32_t time);
  // The switch for the benchmark and the equivalence test (on by default).
  static void setSkipUnseenScanLines(bool enabled);

 private:
  void drawScanLines(bool draw);
  bool otherInstanceMayDraw(uint32_t time) const;

  Texture* scanLines = nullptr;  // "technonoisetexture": even rows black, odd rows white
  bool drawingSource = false;
  bool linesSkipped = false;
  bool feedsItself = false;  // found drawing itself through its source: never skips
};
