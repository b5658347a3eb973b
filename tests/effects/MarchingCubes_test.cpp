// The polygoniser and the metaball field, without drawing: a single ball's surface is closed
// and holds the ball's volume, the table's folding and snapping rules, the field's close-up
// value and motion, and the fast paths giving the plain loops' numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>
#include <vector>

#include "effects/MarchingCubes.h"

namespace {

using Point = std::tuple<float, float, float>;

struct Surface {
  std::vector<float> positions, normals;
  int count = 0;
};

// One ball of `strength` at `centre` (grid indices) sampled like the metaballs (1 / r).
std::vector<float> ballVolume(int n, float strength, glm::vec3 centre) {
  std::vector<float> values(size_t(n) * n * n);
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        const glm::vec3 d = glm::vec3(x, y, z) - centre;
        values[size_t((z * n + y) * n + x)] = strength / std::max(glm::length(d), 0.05f);
      }
  return values;
}

Surface polygonise(const marching::Volume& v, float iso, int capacity, bool fast) {
  Surface s;
  s.positions.resize(3 * size_t(capacity));
  s.normals.resize(3 * size_t(capacity));
  const marching::Mesh mesh{s.positions.data(), v.gradient[0] ? s.normals.data() : nullptr, capacity};
  if (fast) {
    marching::Polygoniser p(v.nx, v.ny, v.nz);
    s.count = p.run(v, iso, mesh);
  } else {
    s.count = marching::polygoniseReference(v, iso, mesh);
  }
  return s;
}

Point at(const Surface& s, int i) {
  return {s.positions[3 * size_t(i)], s.positions[3 * size_t(i) + 1], s.positions[3 * size_t(i) + 2]};
}

void expectSameSurface(const Surface& a, const Surface& b) {
  ASSERT_EQ(a.count, b.count);
  for (int i = 0; i < 3 * a.count; ++i) {
    ASSERT_NEAR(a.positions[size_t(i)], b.positions[size_t(i)], 1e-5f) << i;
    ASSERT_NEAR(a.normals[size_t(i)], b.normals[size_t(i)], 1e-5f * std::max(1.0f, std::fabs(a.normals[size_t(i)]))) << i;
  }
}

}  // namespace

TEST(MarchingCubes, OneBallGivesAClosedSurfaceOfTheBallsVolume) {
  constexpr int n = 38;
  // iso 350 of 5000 / r: a sphere of radius 100 / 7, off the grid points.
  const std::vector<float> values = ballVolume(n, 5000, {18.3f, 19.6f, 18.7f});
  marching::Volume v;
  v.values = values.data();
  v.nx = v.ny = v.nz = n;
  v.originX = v.originY = 19;
  const Surface s = polygonise(v, 350, 200000, true);
  ASSERT_GT(s.count, 1000);
  ASSERT_EQ(s.count % 3, 0);
  std::map<std::pair<Point, Point>, int> edges;
  double volume = 0;
  for (int t = 0; t < s.count; t += 3) {
    const Point p[3] = {at(s, t), at(s, t + 1), at(s, t + 2)};
    for (int e = 0; e < 3; ++e) {
      Point a = p[e], b = p[(e + 1) % 3];
      if (b < a) std::swap(a, b);
      ++edges[{a, b}];
    }
    // Signed tetrahedron volumes from the origin; the winding is not kept, so each
    // triangle's sign comes from its normal against the way out of the ball.
    const glm::vec3 q[3] = {{std::get<0>(p[0]), std::get<1>(p[0]), std::get<2>(p[0])},
                            {std::get<0>(p[1]), std::get<1>(p[1]), std::get<2>(p[1])},
                            {std::get<0>(p[2]), std::get<1>(p[2]), std::get<2>(p[2])}};
    const glm::vec3 centre(18.3f - 19, 19.6f - 19, -18.7f);
    const glm::vec3 normal = glm::cross(q[1] - q[0], q[2] - q[0]);
    const double sign = glm::dot(normal, q[0] - centre) > 0 ? 1 : -1;
    volume += sign * glm::dot(q[0] - centre, glm::cross(q[1] - centre, q[2] - centre)) / 6.0;
  }
  for (const auto& [edge, uses] : edges) ASSERT_EQ(uses, 2);
  const double r = 5000.0 / 350.0;
  EXPECT_NEAR(volume, 4.0 / 3.0 * 3.14159265 * r * r * r, 0.02 * 4.0 / 3.0 * 3.14159265 * r * r * r);
}

TEST(MarchingCubes, FoldingAndSnappingRules) {
  // Corner 7 alone inside folds to row 127.
  const float onlySeven[8] = {0, 0, 0, 0, 0, 0, 0, 400};
  EXPECT_EQ(marching::cubeIndex(onlySeven, 350), 127);
  const int8_t row127[4] = {7, 10, 11, -1};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(marching::kTriangleTable[127][i], row127[i]);
  // Exactly 350 is outside, and a vertex on an edge from it snaps to that corner.
  const float onLevel[8] = {350, 400, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(marching::cubeIndex(onLevel, 350), 2);
  std::vector<float> values = {350, 400, 0, 0, 0, 0, 0, 0};  // a 2 × 2 × 2 volume
  marching::Volume v;
  v.values = values.data();
  v.nx = v.ny = v.nz = 2;
  const Surface s = polygonise(v, 350, 16, false);
  ASSERT_EQ(s.count, 3);  // row 2: (e5, e2, e0); e0 runs from corner 0 to corner 1
  EXPECT_EQ(at(s, 2), Point(0, 0, 0));
  EXPECT_EQ(at(s, 0), Point(1, 0, -50.0f / 400));  // e5: corner 1 down to corner 5 at 400 → 0
  // Every row lists exactly the edges its corners cross, so no triangle is ever dropped.
  for (int index = 0; index < 128; ++index)
    for (int t = 0; t < 15 && marching::kTriangleTable[index][t] >= 0; ++t) {
      const int e = marching::kTriangleTable[index][t];
      EXPECT_NE((index >> marching::kEdgeCorners[e][0]) & 1, (index >> marching::kEdgeCorners[e][1]) & 1);
    }
}

TEST(MarchingCubes, FullArraysStopAddingTriangles) {
  // A field that flips at every point makes far more triangles than the arrays hold.
  constexpr int n = 20;
  std::vector<float> values(size_t(n) * n * n);
  for (size_t i = 0; i < values.size(); ++i) values[i] = ((i * 7919) % 3) ? 0.0f : 10.0f;
  marching::Volume v;
  v.values = values.data();
  v.nx = v.ny = v.nz = n;
  const Surface plain = polygonise(v, 5, 1000, false);
  const Surface fast = polygonise(v, 5, 1000, true);
  EXPECT_LE(plain.count, 1000);
  EXPECT_GT(plain.count, 990);
  EXPECT_EQ(plain.count % 3, 0);
  EXPECT_EQ(fast.count, plain.count);
}

TEST(MetaballField, CloseUpValueMotionAndRotationUnit) {
  EXPECT_EQ(ballContribution(800, 0.001f), 40.0f);  // within 0.05: strength × 0.05
  EXPECT_NEAR(ballContribution(800, 4.0f), 400.0f, 1.0f);  // 800 / 2, the estimate within 0.2 %
  EXPECT_NE(ballContribution(800, 4.0f), 400.0f);

  MetaballField field;
  field.animate(0);
  field.moveBalls();
  EXPECT_EQ(field.centres[0], glm::dvec3(6, 7, 8));
  EXPECT_EQ(field.centres[4], glm::dvec3(0, 0, 0));
  // Ball 5 turns about z by 0.5 × 3t degree units of 3.14 / 180: at t = 240 that is 360
  // units, 6.28 radians, a little short of a full turn; its offset then is 12 sin(120).
  field.animate(240);
  field.moveBalls();
  EXPECT_NEAR(field.centres[5].x, std::cos(6.28), 1e-9);
  EXPECT_NEAR(field.centres[5].y, std::sin(6.28), 1e-9);
  EXPECT_LT(field.centres[5].y, -0.003);
  EXPECT_NEAR(field.centres[5].z, 12 * std::sin(120.0f), 1e-5);
  // Frame 0 puts ball 4 on a grid point: its gradient there stays finite.
  field.animate(0);
  field.moveBalls();
  field.compute();
  const size_t centre = (19 * 38 + 19) * 38 + 19;
  EXPECT_TRUE(std::isfinite(field.gradient[0][centre]));
  EXPECT_GT(field.field[centre], 400 * 0.05f);
}

TEST(MetaballField, FastFieldAndSurfaceMatchThePlainLoops) {
  MetaballField fast, plain;
  for (int frame : {0, 7, 33, 150}) {
    fast.animate(float(frame));
    plain.animate(float(frame));
    fast.moveBalls();
    plain.moveBalls();
    fast.compute();
    plain.computeReference();
    for (int i = 0; i < MetaballField::kPoints; ++i) {
      ASSERT_EQ(fast.field[size_t(i)], plain.field[size_t(i)]) << frame << " " << i;
      for (int c = 0; c < 3; ++c) ASSERT_EQ(fast.gradient[size_t(c)][size_t(i)], plain.gradient[size_t(c)][size_t(i)]);
    }
    const Surface a = polygonise(fast.volume(), 350, MarchingCubes::kVertexCapacity, true);
    const Surface b = polygonise(plain.volume(), 350, MarchingCubes::kVertexCapacity, false);
    EXPECT_GT(a.count, 0);
    expectSameSurface(a, b);
    for (int i = 0; i < 3 * a.count; ++i) ASSERT_TRUE(std::isfinite(a.normals[size_t(i)]));
  }
}
