// The smoke solver on its own: what advection and projection keep and remove, the walls and
// solid cells, the back-trace clamp, and the fast loops giving the plain loops' numbers.
#include <gtest/gtest.h>

#include <cmath>

#include "effects/Smoke.h"

namespace {

constexpr int kN = 22;

double interiorSum(const FluidSolver& s, const std::vector<float>& field) {
  double sum = 0;
  for (int z = 1; z <= s.n; ++z)
    for (int y = 1; y <= s.n; ++y)
      for (int x = 1; x <= s.n; ++x) sum += field[size_t(s.index(x, y, z))];
  return sum;
}

// Largest |central divergence| over the cells two and more away from the walls.
double maxDivergence(const FluidSolver& s) {
  double worst = 0;
  const int sy = s.size, sz = s.size * s.size;
  for (int z = 2; z < s.n; ++z)
    for (int y = 2; y < s.n; ++y)
      for (int x = 2; x < s.n; ++x) {
        const size_t i = size_t(s.index(x, y, z));
        const double d = s.u[i + 1] - s.u[i - 1] + s.v[i + size_t(sy)] - s.v[i - size_t(sy)] +
                         s.w[i + size_t(sz)] - s.w[i - size_t(sz)];
        worst = std::max(worst, std::fabs(d));
      }
  return worst;
}

// A blob of smoke in the middle, in a flow that spreads out along x and gathers along y
// (divergent here and there, nothing through the walls) and turns about z.
void fillSwirl(FluidSolver& s, float strength) {
  for (int z = 0; z < s.size; ++z)
    for (int y = 0; y < s.size; ++y)
      for (int x = 0; x < s.size; ++x) {
        const size_t i = size_t(s.index(x, y, z));
        const float fx = float(x) / float(s.n + 1) - 0.5f, fy = float(y) / float(s.n + 1) - 0.5f,
                    fz = float(z) / float(s.n + 1) - 0.5f;
        const float g = std::exp(-30 * (fx * fx + fy * fy + fz * fz));
        s.u[i] = strength * (2 * fx - fy) * g;
        s.v[i] = strength * (fx - fy) * g;
        s.w[i] = 0;
        s.dens[i] = std::exp(-40 * (fx * fx + fy * fy + fz * fz));
      }
}

void clearSources(FluidSolver& s) {
  for (std::vector<float>* a : {&s.uSrc, &s.vSrc, &s.wSrc, &s.densSrc}) std::fill(a->begin(), a->end(), 0.0f);
}

}  // namespace

TEST(FluidSolver, ProjectionRemovesDivergence) {
  FluidSolver s(kN, "test");
  fillSwirl(s, 1);
  const double before = maxDivergence(s);
  s.project(s.u.data(), s.v.data(), s.w.data(), s.uSrc.data(), s.vSrc.data());
  // Twenty sweeps do not converge fully, but take most of it away; projecting again
  // takes the rest.
  EXPECT_GT(before, 0.05);
  EXPECT_LT(maxDivergence(s), 0.25 * before);
  for (int again = 0; again < 9; ++again)
    s.project(s.u.data(), s.v.data(), s.w.data(), s.uSrc.data(), s.vSrc.data());
  EXPECT_LT(maxDivergence(s), 0.02 * before);
}

TEST(FluidSolver, AdvectionAndProjectionKeepTheDensity) {
  FluidSolver s(kN, "test");
  fillSwirl(s, 0.5f);
  s.project(s.u.data(), s.v.data(), s.w.data(), s.uSrc.data(), s.vSrc.data());
  const double before = interiorSum(s, s.dens);
  for (int step = 0; step < 10; ++step) {
    clearSources(s);  // no source, no sink
    s.velocityStep(0, 0.04f);
    s.densityStep(0, 0.04f);
  }
  EXPECT_NEAR(interiorSum(s, s.dens), before, 0.01 * before);
}

TEST(FluidSolver, ZeroStepLeavesTheFieldsAsTheyAre) {
  FluidSolver s(kN, "test");
  fillSwirl(s, 1);
  s.project(s.u.data(), s.v.data(), s.w.data(), s.uSrc.data(), s.vSrc.data());
  std::fill(s.densSrc.begin(), s.densSrc.end(), 5.0f);
  const std::vector<float> dens = s.dens;
  s.densityStep(0, 0);
  for (int z = 1; z <= kN; ++z)
    for (int y = 1; y <= kN; ++y)
      for (int x = 1; x <= kN; ++x) {
        const size_t i = size_t(s.index(x, y, z));
        ASSERT_EQ(s.dens[i], dens[i]);
      }
}

TEST(FluidSolver, WallsSolidCellsAndTheBackTraceClamp) {
  FluidSolver s(4, "test");
  std::vector<float> x(size_t(s.cells), 0.0f);
  x[size_t(s.index(1, 2, 2))] = 3;
  x[size_t(s.index(2, 2, 2))] = 7;
  s.solid[size_t(s.index(2, 2, 2))] = 1;
  s.solid[size_t(s.index(3, 2, 2))] = 1;
  x[size_t(s.index(4, 2, 2))] = 9;
  s.plainLoops = true;  // solid cells are scanned, not gathered
  s.setBoundary(1, x.data());
  EXPECT_EQ(x[size_t(s.index(0, 2, 2))], -3.0f);   // the x wall reflects u
  EXPECT_EQ(x[size_t(s.index(5, 2, 2))], -9.0f);
  EXPECT_EQ(x[size_t(s.index(2, 2, 2))], -3.0f);   // first free neighbour x − 1, negated
  EXPECT_EQ(x[size_t(s.index(3, 2, 2))], -9.0f);   // x − 1 is solid: x + 1
  s.setBoundary(0, x.data());
  EXPECT_EQ(x[size_t(s.index(0, 2, 2))], 3.0f);    // densities are copied
  EXPECT_EQ(x[size_t(s.index(2, 2, 2))], 3.0f);

  // A back-trace far past the wall stops half a cell inside: half of cell 0, half of 1.
  FluidSolver t(4, "test");
  std::vector<float> d0(size_t(t.cells), 0.0f), d(size_t(t.cells), 0.0f);
  for (int z = 0; z < t.size; ++z)
    for (int y = 0; y < t.size; ++y) d0[size_t(t.index(1, y, z))] = 2;
  t.u[size_t(t.index(1, 2, 2))] = 1000;
  t.advect(0, d.data(), d0.data(), t.u.data(), t.v.data(), t.w.data(), 0.04f);
  EXPECT_FLOAT_EQ(d[size_t(t.index(1, 2, 2))], 1.0f);
}

TEST(FluidSolver, FastLoopsGiveThePlainNumbers) {
  for (float viscosity : {0.0f, 0.0005f}) {
    FluidSolver fast(kN, "test"), plain(kN, "test");
    plain.plainLoops = true;
    for (FluidSolver* s : {&fast, &plain}) {
      fillSwirl(*s, 1);
      for (int x = 5; x <= 17; ++x)
        for (int z = 8; z <= 23; ++z) s->solid[size_t(s->index(x, 9, z))] = 1;
      for (int step = 0; step < 4; ++step) {
        std::fill(s->densSrc.begin(), s->densSrc.end(), -0.002f);
        s->vSrc[size_t(s->index(11, 1, 11))] = 5;
        s->velocityStep(viscosity, 0.04f);
        s->densityStep(viscosity, 0.04f);
      }
    }
    for (int i = 0; i < fast.cells; ++i) {
      ASSERT_NEAR(fast.dens[size_t(i)], plain.dens[size_t(i)], 1e-5f * std::max(1.0f, std::fabs(plain.dens[size_t(i)])));
      ASSERT_NEAR(fast.v[size_t(i)], plain.v[size_t(i)], 1e-5f * std::max(1.0f, std::fabs(plain.v[size_t(i)])));
    }
  }
}
