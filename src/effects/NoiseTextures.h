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

 private:
  Texture* scanLines = nullptr;  // "technonoisetexture": even rows black, odd rows white
  bool drawingSource = false;
};
