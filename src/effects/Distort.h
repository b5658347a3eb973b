#pragma once
// The image distortions: each renders its source effect (event code 2) into an off-screen
// target every frame and redraws that picture distorted.
//   RotoZoom        the picture tiled, turning and pulsing in and out
//   Tiles           a 3 × 3 grid of tiles that shrink, spin and fade one after another
//   Mosaic          a coarse, brightened copy multiplied with a tiled fine copy
//   LineDistortion  512 horizontal strips shifted sideways by a noisy sine
//   Ripple          the picture on a round mesh whose rings rise and fall with a wave
// Without a source they do nothing beyond the base update. Their animations run on the
// effect's scaled time.
//
// Index: [SECTION] Shared drawing · RotoZoom · Tiles · Mosaic · LineDistortion · Ripple

#include <array>
#include <memory>
#include <vector>

#include "demoSystem/Effect.h"
#include "resources/RenderTarget.h"

// [SECTION] Shared drawing

// One quad over the unit square with texture coordinates (0,0), (1,0), (1,1), (0,1) at the
// vertices (0,1), (1,1), (1,0), (0,0): upright under an orthographic (0, 1, 1, 0) projection.
void drawUnitQuad();

// Multiplies the picture in the bound framebuffer by n (n ≥ 1; below 1 it stays as it is):
// white quads blended (GL_DST_COLOR, GL_ONE) double it while the next power of two a still
// fits, and a last quad with colour (n − a) / a multiplies it by 1 + (n − a) / a. Leaves the
// projection as it found it, the modelview at identity, blending and texturing off.
void brighten(int n);

// What the five share: the source starts with the effect and is drawn into a target in
// update(). A source that leads back to this effect is not followed again.
class DistortionEffect : public Effect {
 public:
  void start(uint32_t time) override;

 protected:
  explicit DistortionEffect(const std::string& name) : Effect(name) {}
  // Base update; then, with a source, `draw` runs with the viewport kept around it.
  template <class Draw>
  void updateWithSource(uint32_t time, Draw draw);
  // Binds `target`, clears it with `clearMask` at its size and draws the source's update and
  // render into it; the caller unbinds (after drawing more into it, if it wants).
  void renderSourceInto(RenderTarget& target, uint32_t time, GLbitfield clearMask);

 private:
  bool drawingSource = false;
};

// [SECTION] RotoZoom

class RotoZoomEffect : public DistortionEffect {
 public:
  explicit RotoZoomEffect(const std::string& name);
  void update(uint32_t time) override;
  void render(uint32_t time) override;

  // The zoom at scaled time s: 5 · sin(0.1 s − π/2) + 5, at least 1e-7 (so 1e-7 at 0, 5 at
  // 5π and 10 at 10π).
  static float zoomAt(float scaledTime);

  FloatVariable Red, Green, Blue, Alpha;
  FloatVariable RotSpeed;  // degrees per unit of scaled time, × 20
  RenderTarget target;     // 512 × 512, named after the instance
};

// [SECTION] Tiles

class TilesEffect : public DistortionEffect {
 public:
  explicit TilesEffect(const std::string& name);
  void update(uint32_t time) override;
  void render(uint32_t time) override;

  FloatVariable Red, Green, Blue, Alpha;
  FloatVariable RotSpeed;
  FloatVariable FadeSpeed;
  // Tile k (row-major from the bottom left) starts moving 0.6 × k / 0.02 = 30 × k units of
  // scaled time after the first.
  std::array<float, 9> tileDelay;
  // 512 × 512 and named "name" for every instance: all Tiles share its picture.
  RenderTarget target;
};

// [SECTION] Mosaic

class MosaicEffect : public DistortionEffect {
 public:
  static constexpr int coarseSize = 64;

  explicit MosaicEffect(const std::string& name);
  void update(uint32_t time) override;
  void render(uint32_t time) override;

  // The size of one mosaic cell as a fraction of the screen at scaled time s:
  // 1 / (coarseSize · d) with d = 1/coarseSize + 0.01 s, at most 0.97.
  static float cellSizeAt(float scaledTime);

  FloatVariable Red, Green, Blue, Alpha;  // registered for scripts, not read by the drawing
  FloatVariable Saturation;               // the coarse copy is brightened by trunc(10 ×)
  FloatVariable PreSaturation;            // registered for scripts, not read by the drawing
  BoolVariable ZoomCenter;                // zoom towards the centre, else the origin
  RenderTarget fine;    // 256 × 256, "<name>_hires", brightened twofold
  RenderTarget coarse;  // coarseSize², "<name>_lowres"
};

// [SECTION] LineDistortion

class LineDistortionEffect : public DistortionEffect {
 public:
  static constexpr int kStrips = 512;

  explicit LineDistortionEffect(const std::string& name);
  void update(uint32_t time) override;
  void render(uint32_t time) override;
  // The shared phase advances per drawn frame, and every strip draws a random number.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }

  // Strip k's sideways shift: value^Magic3 × MaxAmplitude × 0.5, value = random × 0.2 +
  // 0.8 sin((k + phase) × Magic1 / 512 × (Magic4 + pulse) × 6.28), random in 0..1.
  // Not a number when a negative value meets a fractional power: that strip is not drawn.
  static float stripShift(int k, float random, float phase, float magic1, float magic3,
                          float magic4, float maxAmplitude, float pulse);

  FloatVariable MaxAmplitude, Magic1, Magic2, Magic3, Magic4;
  FloatVariable Red, Green, Blue, Alpha;
  // Advanced by Magic2 every frame of any LineDistortion; shared by all of them.
  static float phase;

 private:
  void buildStrips();

  // Four corners of each strip, x y and u v; built on the first frame, x rewritten each frame.
  std::unique_ptr<float[]> vertices, texCoords;
};

// [SECTION] Ripple

class RippleEffect : public DistortionEffect {
 public:
  static constexpr int firstRing = 8;
  static constexpr int rings = 10;
  static constexpr int kHistory = 1000;
  static constexpr int kSlice = kHistory / (rings + 2);  // 83 samples per circle

  explicit RippleEffect(const std::string& name);
  void update(uint32_t time) override;
  void render(uint32_t time) override;
  // Each drawing shifts the wave's history by one sample; only demo time 0 clears it.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }

  // The mesh is built around this point (process-wide, like the target): the screen's middle.
  static float centreX, centreY;

  // Heights after the wave step of `render`: the centre, then the circles from the first
  // (radius 0.05) outwards; the outermost circle stays at 0.
  float centreHeight() const;
  float circleHeight(int circle) const;  // circle 1 … rings + 1
  int vertexCount() const { return int(positions.size() / 3); }
  // Index lists of the triangles between circle r − 1 and circle r (r = 1 … rings).
  const std::vector<uint16_t>& ringIndices(int r) const { return indices[size_t(r) - 1]; }
  const std::vector<float>& vertexPositions() const { return positions; }

 private:
  void buildMesh();
  void stepWave(uint32_t time);

  std::vector<float> positions;  // x y z per vertex: centre, first circle and its copy, rings
  std::vector<float> texCoords;
  std::array<std::vector<uint16_t>, rings> indices;
  std::array<int, rings + 2> circleStart{};  // first vertex of each circle, then the end
  std::array<float, kHistory> history{};
};
