#pragma once
// Standalone demo parts: small effects with their own camera and drawing, used like the
// scene-based parts but needing no scene.
//   Molecules     fifty balls under gravity that collide and bounce off the walls of a box
//   Spheres       a 30 × 30 lattice of sprite balls, shaded by the effect's programs with a
//                 wandering light
//   TestHdr       the high-dynamic-range light probe through the effect's fragment program
//   SeriesFlower  the point cloud of an iterated plane map, turning slowly
//
// Index: [SECTION] Molecules · Spheres · TestHdr · SeriesFlower

#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <vector>

#include "base/Math.h"
#include "demoSystem/Effect.h"

class Texture;

// [SECTION] Molecules

class Molecules : public Effect {
 public:
  static constexpr int kBallCount = 50;

  struct Ball {
    glm::vec3 position;
    glm::vec3 velocity;
  };

  // Places the balls from the shared 15-bit generator, four draws per ball.
  explicit Molecules(const std::string& name);
  // One simulation step per rendered frame, then the balls as smoothed points.
  void render(uint32_t time) override;
  // The balls go on from where earlier frames left them, never reset after construction.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }
  // The simulation step alone (what render does before drawing).
  void step();

  // Registered for scripts; the balls are drawn in their own greys.
  FloatVariable Red, Green, Blue, Alpha;
  std::array<Ball, kBallCount> balls;
};

// [SECTION] Spheres

class Spheres : public Effect {
 public:
  static constexpr int kLattice = 30;
  static constexpr int kInstanceCount = kLattice * kLattice;
  // The sprites are cut out by an alpha test against this reference: opaque texels pass,
  // the sprite's transparent surround and soft rim do not (so it writes no depth there).
  static constexpr float kAlphaReference = 0.99f;

  struct Instance {
    float x, y, height;
  };

  // Loads the two sprite textures and lays out the lattice (heights from the shared
  // 15-bit generator, x outer, y inner).
  explicit Spheres(const std::string& name);
  void render(uint32_t time) override;
  // The shared light wanders a step per drawn frame of any instance.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }

  // The light point the programs receive as `factors`, and its velocity: one for the
  // whole run, shared by every Spheres, moved once by each frame any of them draws.
  static glm::vec3 lightPoint;
  static glm::vec3 lightVelocity;
  static void moveLight();

  std::array<Instance, kInstanceCount> instances;

 private:
  // The balls go out nearest first. They are cut out and depth-tested, so the picture is
  // the one lattice order gives; but the rasteriser can then skip what is hidden instead
  // of shading it first. Both arrays are refilled every frame.
  std::array<float, kInstanceCount> lift;  // c of each instance this frame
  std::array<uint16_t, kInstanceCount> drawOrder;

  Texture* sprite = nullptr;   // "data/textures/sphere_black.png", unit 0
  Texture* normals = nullptr;  // "data/textures/sphere_normals.png", unit 1
};

// [SECTION] TestHdr

class TestHdr : public Effect {
 public:
  // Loads the probe as a float texture; a probe that cannot be read is a failed assertion
  // reported for the module "effects/test_hdr".
  explicit TestHdr(const std::string& name);
  ~TestHdr() override;
  void render(uint32_t time) override;

  GLuint getProbeTexture() const { return probeTexture; }

 private:
  GLuint probeTexture = 0;  // owned: the effect's own upload, not a cached picture
};

// [SECTION] SeriesFlower

class SeriesFlower : public Effect {
 public:
  static constexpr int kPointCount = 60000;
  static constexpr int kPointSize = 6;  // pixels, square (no point smoothing)

  explicit SeriesFlower(const std::string& name);
  ~SeriesFlower() override;
  void render(uint32_t time) override;

  // Fills `points` (x, y pairs, already scaled by 0.025) with the orbit for frame time
  // `time`; returns how many points are finite, which is how many are drawn.
  int computePoints(uint32_t time);

  // Registered for scripts; the drawing uses its own colour.
  FloatVariable Red, Green, Blue, Alpha;
  std::vector<float> points;  // 2 × kPointCount, allocated once

  // How often the sum's buffers or textures were (re)allocated: once per size larger than
  // every one before, not per frame (a flower drawn into a target and on screen alternates).
  int storageAllocations() const { return allocations; }

 private:
  // The sum as a texture of the frame's depth, its lower left width × height texels used.
  struct SumTexture {
    GLuint id = 0;  // owned
    int width = 0, height = 0;
  };
  // The points are added up on the processor and the sum is laid over the frame as one
  // picture, which is what drawing them one by one as additive points into a frame of 8 or
  // 10 bits a channel gives, without the driver setting up sixty thousand primitives a frame.
  const SumTexture& splat(int count, float degrees, int width, int height, int bits);
  // Room for a viewport of width × height: the buffers and the textures only ever grow.
  SumTexture& reserve(int width, int height, int bits);
  std::vector<uint16_t> hits[2];  // per half of the points, rows bottom to top
  std::vector<uint32_t> pixels;   // the sum, packed as the texture of its depth takes it
  SumTexture sumTextures[2];      // eight bits a channel, ten
  int allocations = 0;
};
