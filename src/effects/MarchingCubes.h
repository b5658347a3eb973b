#pragma once
// The metaballs surface: a field of six moving balls on a 38³ grid, its iso-surface by
// marching cubes, drawn with an environment and a metal texture. The polygoniser is shared
// with the grid water, which runs it over a flat volume.
//
// Index: [SECTION] Polygoniser · Metaball field · MarchingCubes (the scene object)

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/Math.h"
#include "engine/SceneObject.h"

class Texture;

// [SECTION] Polygoniser

namespace marching {

// Corner k of a cell lies at (k & 1, (k >> 1) & 1, (k >> 2) & 1) index steps from its origin.
extern const uint8_t kEdgeCorners[12][2];
// Triangles (edge numbers, three per triangle, −1 after the last) of the cube indices
// 0..127; an index of 128 or more takes the row of its 8-bit complement.
extern const int8_t kTriangleTable[128][15];

// Sum of 2^k over the corners whose value is above `iso`, folded into 0..127.
int cubeIndex(const float corner[8], float iso);

// A volume of values with x fastest: index = (z · ny + y) · nx + x. The corner (x, y, z) is
// emitted at (x − originX, y − originY, −z). Gradients (one planar array per component) are
// optional: without them no normals are made.
struct Volume {
  const float* values = nullptr;
  const float* gradient[3] = {nullptr, nullptr, nullptr};
  int nx = 0, ny = 0, nz = 0;
  float originX = 0, originY = 0;
};

// The output arrays: three floats per vertex each; `normals` may be null.
struct Mesh {
  float* positions = nullptr;
  float* normals = nullptr;
  int capacity = 0;  // vertices
};

// The straightforward walk (y outermost, then x, then z from the far end down), on one
// core. A triangle that would not fit whole is left out, and so is everything after it.
// Returns the vertex count.
int polygoniseReference(const Volume& volume, float iso, const Mesh& mesh);

// The same triangles in the same order, faster: the cube index of a cell from one byte per
// point. Its scratch array is sized for one volume shape, once.
class Polygoniser {
 public:
  Polygoniser(int nx, int ny, int nz);
  int run(const Volume& volume, float iso, const Mesh& mesh);

 private:
  int nx, ny, nz;
  std::vector<uint8_t> above;  // per point: value > iso
};

}  // namespace marching

// [SECTION] Metaball field

class MetaballField {
 public:
  static constexpr int kSize = 38;
  static constexpr int kPoints = kSize * kSize * kSize;
  static constexpr int kBalls = 6;
  static constexpr float kIsoLevel = 350;

  MetaballField();

  // The animation of time t (the scene's frame number): the angle bases and the four
  // animated offsets.
  void animate(float t);
  // The ball centres of this frame from the bases, offsets and rotations.
  void moveBalls();
  // The field and its gradient at every grid point: on both cores with four points at a
  // time, or point by point on one core. Both give the same floats.
  void compute();
  void computeReference();
  // What the polygoniser reads.
  marching::Volume volume() const;

  std::array<glm::dvec3, kBalls> centres{};
  glm::dvec3 angleBases{0.0};
  std::array<glm::vec3, kBalls> offsets{};
  std::vector<float> field;
  std::array<std::vector<float>, 3> gradient;  // x, y, z components, one array each

 private:
  void computePlanes(int firstZ, int lastZ);
  std::vector<float> planeX, planeY;  // the x and y of each point of one z plane
};

// Field contribution of a ball of `strength` at squared distance r2: strength × 0.05 up
// close, else strength times the bit-level inverse square root with one Newton step.
float ballContribution(float strength, float r2);
// 0x5f3759df − (bits >> 1), refined once.
float fastInverseSqrt(float x);

// [SECTION] MarchingCubes

class MarchingCubes : public SceneObject {
 public:
  static constexpr int kId = 987;
  // Vertices of one frame's surface. More than this (a field far busier than six balls)
  // stops adding triangles: the arrays are never written past and never grow.
  static constexpr int kVertexCapacity = 219488;

  // Loads "data/textures/envmap.jpg" and "data/textures/metal24.jpg"; a missing one is a
  // failed assertion.
  MarchingCubes();
  ~MarchingCubes() override;

  void animate(int frame, float fraction) override;
  // Balls, field, surface, then the textured triangles.
  void drawGeometry() override;
  // A copy of the surface is refused (failed assertion).
  std::unique_ptr<SceneObject> clone() const override;

  // The surface of the current animation state, without drawing it.
  void buildSurface();

  MetaballField balls;
  std::vector<float> positions;  // 3 × kVertexCapacity
  std::vector<float> normals;
  int vertexCount = 0;
  std::vector<float> envCoords, planarCoords;  // 2 per vertex, only grow
  int coordCapacity = 0;
  Texture* envTexture = nullptr;
  Texture* metalTexture = nullptr;

 private:
  void drawSurface();
  marching::Polygoniser polygoniser{MetaballField::kSize, MetaballField::kSize,
                                    MetaballField::kSize};
};
