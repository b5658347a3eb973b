#pragma once
// Rising smoke: a small stable-fluids solver (sources, implicit diffusion, semi-Lagrangian
// advection, projection to a divergence-free flow, reflecting walls and solid cells) drawn
// as alpha-blended slices through a 3D texture of (shade, density).
//   Smoke        standalone, with its own camera, a moving plate in the flow and a wire cube
//   SmokeObject  the same solver as a scene object, in fixed 40 ms steps; its variant for
//                a corner jet (SmokeJetObject) has no solid cells
//
// Index: [SECTION] FluidSolver · Volume drawing · Smoke · SmokeObject

#include <epoxy/gl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/Math.h"
#include "demoSystem/Effect.h"
#include "engine/SceneObject.h"

// [SECTION] FluidSolver

class FluidSolver {
 public:
  static constexpr int kSweeps = 20;
  static constexpr int kMaxN = 28;  // the fast sweeps' row buffers hold this many cells
  static constexpr int kMaxRow = kMaxN + 4;

  // N interior cells per axis and one boundary layer each side. `module` names who reports
  // a failed allocation.
  FluidSolver(int n, const char* module);

  int index(int x, int y, int z) const { return x + size * (y + size * z); }
  // Every array to zero.
  void clear();

  // [SECTION] The steps (each one's own arrays as the solver's fields)
  void velocityStep(float viscosity, float dt);
  void densityStep(float diffusion, float dt);

  // [SECTION] The pieces the steps are made of
  void addSource(float* x, const float* source, float dt);
  void setBoundary(int b, float* x);
  void linearSolve(int b, float* x, const float* x0, float a, float c);
  void diffuse(int b, float* x, const float* x0, float k, float dt);
  void advect(int b, float* d, const float* d0, const float* u, const float* v, const float* w, float dt);
  void project(float* u, float* v, float* w, float* p, float* div);

  // n = guarded normalise(density differences), shade = (n · light + 1) × 0.5 + 0.3.
  void computeShade(const glm::vec3& light);
  // Texel (x − 1, y − 1, z − 1) of a 32³ (luminance, alpha) buffer = (shade, density).
  void fillVolume(float* staging) const;

  int n;
  int size;   // n + 2
  int cells;  // size³
  std::vector<float> u, v, w, uSrc, vSrc, wSrc, dens, densSrc, shade;
  std::vector<uint8_t> solid;
  // Solid cells take their first free neighbour's value in the boundary routine (off for
  // the corner-jet variant, which has none).
  bool solidInBoundary = true;
  // The straightforward loops, cell by cell in storage order, for comparison: the same
  // numbers, more slowly.
  bool plainLoops = false;

 private:
  void sweepPlain(float* x, const float* x0, float a, float c);
  // With `change`, also the largest change of a cell and the largest magnitude written.
  void sweepDiagonals(float* x, const float* x0, float a, float c, float* change, float* largest);
  template <bool Track>
  void sweepDiagonalsT(float* x, const float* x0, float a, float c, float& change, float& largest);
  void advectPlanes(const float* d0, const float* u, const float* v, const float* w, float dt,
                    float* d, int firstZ, int lastZ);
  // Interior rows (y, z) by diagonal y + z, each diagonal's rows independent of each other
  // within a sweep; diagonalStart[h] is where diagonal h's rows begin.
  std::vector<int> diagonalRows;
  std::vector<int> diagonalStart;
  // The interior solid cells, gathered where a step begins and used until it ends (the
  // plain loops, and the pieces called on their own, scan instead).
  void gatherSolids();
  std::vector<int> solidCells;
  bool solidsGathered = false;
};

// [SECTION] Volume drawing

// The solver's 32³ volume texture, its staging buffer, and the slice stack.
class SmokeVolume {
 public:
  static constexpr int kTextureSize = 32;

  SmokeVolume();
  ~SmokeVolume();
  SmokeVolume(const SmokeVolume&) = delete;
  SmokeVolume& operator=(const SmokeVolume&) = delete;

  // Uploads the solver's shade and density (the first n³ texels), then draws `slices`
  // quads through the unit cube offset by −0.5 (depth 1 / slices up to 1), at colour
  // alpha `alpha`.
  void draw(const FluidSolver& solver, int slices, float alpha);

  std::vector<float> staging;  // 32³ × 2
  GLuint texture = 0;
  // Each slice is drawn only over the part of it where smoke can show: where no texel that
  // the filter reads holds density above 0, the fragment's alpha is 0 and blending leaves
  // the frame as it was, so the picture is the same and the software rasteriser skips most
  // of the volume. Off draws the whole slices (the reference the tests compare with).
  bool clipSlices = true;

 private:
  // Texel rows and columns with density above 0, per layer of the volume: lo > hi when empty.
  struct LayerBounds {
    int xLo, xHi, yLo, yHi;
  };
  void findSmokeBounds(int n);
  std::array<LayerBounds, kTextureSize> bounds{};
};

// [SECTION] Smoke

class Smoke : public Effect {
 public:
  static constexpr int kN = 22;
  // The longest frame the solver steps over at once; a longer gap (a stall, a seek) is
  // taken as this long, and time running backwards as no time at all.
  static constexpr int kMaxFrameMs = 100;

  explicit Smoke(const std::string& name);
  void start(uint32_t time) override;
  void update(uint32_t time) override;
  void render(uint32_t time) override;
  // The flow steps once per drawn frame; a start only restarts its frame clock.
  DrawingMemory drawingMemory() const override { return DrawingMemory::SinceLoad; }

  // Sources, plate and one velocity and density step for frame time t; what render draws.
  void simulate(uint32_t time);

  FloatVariable Red, Green, Blue, Alpha;
  FluidSolver solver{kN, "effects/Smoke"};
  SmokeVolume volume;

 private:
  uint32_t previousTime = 0;
  bool hasPrevious = false;
};

// [SECTION] SmokeObject

class SmokeObject : public SceneObject {
 public:
  static constexpr int kId = 15794205;
  static constexpr int kStepMs = 40;

  SmokeObject(const std::string& name, int n);

  // Clears the fields, the times and the obstacle switch.
  void reset();
  void setCurrentTime(uint32_t ms) { now = ms; }
  void setViscosity(float value) { viscosity = value; }
  void setObstacle(bool on) { obstacle = on; }
  bool getObstacle() const { return obstacle; }

  // At most one 40 ms step per call, when enough time has gathered.
  void animate(int frame, float fraction) override;
  void drawGeometry() override;
  // A copy of the smoke is refused (failed assertion).
  std::unique_ptr<SceneObject> clone() const override;

  // One step's sources (density and velocity) and solid cells for simulated time T.
  virtual void addSources(float simulatedMs);
  virtual void markSolids();
  // One fixed step, as animate runs it.
  void step();

  FluidSolver solver;
  float densitySink = -0.006f;
  float viscosity = 0;
  float diffusion = 0;
  uint32_t now = 0, last = 0;
  int64_t accumulator = 0;
  float simulatedTime = 0;

 protected:
  bool obstacle = false;
  bool primed = false;  // the first time after a reset has been taken as the start

 private:
  SmokeVolume volume;
};

// The corner-jet variant: a stronger sink, jets from the corner cells, no solid cells.
class SmokeJetObject : public SmokeObject {
 public:
  SmokeJetObject(const std::string& name, int n);
  void addSources(float simulatedMs) override;
  void markSolids() override {}
};
