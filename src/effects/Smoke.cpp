#include "effects/Smoke.h"

#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "base/Error.h"
#include "base/Parallel.h"

// [SECTION] FluidSolver

namespace {

template <class T>
void allocate(std::vector<T>& array, size_t count, const char* module) {
  try {
    array.assign(count, T{});
  } catch (const std::bad_alloc&) {
    const std::string message = std::string(module == std::string("effects/Smoke") ? "Smoke" : "SmokeObject") +
                                ": cannot allocate data\n";
    reportError(module, __LINE__, message.c_str(), true);
  }
}

}  // namespace

FluidSolver::FluidSolver(int n, const char* module) : n(n), size(n + 2), cells(size * size * size) {
  assertTrue(n >= 1 && n <= kMaxN, module, __LINE__);  // the sweeps' row buffers hold kMaxN cells
  for (std::vector<float>* array : {&u, &v, &w, &uSrc, &vSrc, &wSrc, &dens, &densSrc, &shade})
    allocate(*array, size_t(cells), module);
  allocate(solid, size_t(cells), module);
  solidCells.reserve(size_t(cells));
  diagonalStart.assign(size_t(2 * n + 2), 0);
  for (int h = 2; h <= 2 * n; ++h) {
    diagonalStart[size_t(h)] = static_cast<int>(diagonalRows.size());
    for (int z = 1; z <= n; ++z) {
      const int y = h - z;
      if (y >= 1 && y <= n) diagonalRows.push_back(index(0, y, z));
    }
  }
  diagonalStart[size_t(2 * n + 1)] = static_cast<int>(diagonalRows.size());
}

void FluidSolver::clear() {
  for (std::vector<float>* array : {&u, &v, &w, &uSrc, &vSrc, &wSrc, &dens, &densSrc, &shade})
    std::fill(array->begin(), array->end(), 0.0f);
  std::fill(solid.begin(), solid.end(), 0);
}

void FluidSolver::addSource(float* x, const float* source, float dt) {
  for (int i = 0; i < cells; ++i) x[i] += dt * source[i];
}

void FluidSolver::gatherSolids() {
  solidsGathered = !plainLoops;
  solidCells.clear();
  for (int z = 1; z <= n; ++z)
    for (int y = 1; y <= n; ++y)
      for (int x = 1; x <= n; ++x)
        if (solid[size_t(index(x, y, z))]) solidCells.push_back(index(x, y, z));
}

void FluidSolver::setBoundary(int b, float* x) {
  const int sx = 1, sy = size, sz = size * size;
  for (int c = 1; c <= n; ++c)
    for (int d = 1; d <= n; ++d) {
      x[index(0, d, c)] = b == 1 ? -x[index(1, d, c)] : x[index(1, d, c)];
      x[index(n + 1, d, c)] = b == 1 ? -x[index(n, d, c)] : x[index(n, d, c)];
      x[index(d, 0, c)] = b == 2 ? -x[index(d, 1, c)] : x[index(d, 1, c)];
      x[index(d, n + 1, c)] = b == 2 ? -x[index(d, n, c)] : x[index(d, n, c)];
      x[index(d, c, 0)] = b == 3 ? -x[index(d, c, 1)] : x[index(d, c, 1)];
      x[index(d, c, n + 1)] = b == 3 ? -x[index(d, c, n)] : x[index(d, c, n)];
    }
  // Corners: the mean of their three neighbours along the grid's edges.
  for (int corner = 0; corner < 8; ++corner) {
    const int cx = corner & 1 ? n + 1 : 0, cy = corner & 2 ? n + 1 : 0, cz = corner & 4 ? n + 1 : 0;
    const int i = index(cx, cy, cz);
    const int stepX = cx ? -sx : sx, stepY = cy ? -sy : sy, stepZ = cz ? -sz : sz;
    x[i] = static_cast<float>(static_cast<double>(x[i + stepX] + x[i + stepY] + x[i + stepZ]) *
                              0.3333333333333333);
  }
  if (!solidInBoundary) return;
  // A solid cell takes its first free neighbour's value (reflected for velocities), so the
  // flow around it sees a wall.
  const int order[6] = {-sx, sx, -sy, sy, -sz, sz};
  const auto fillSolid = [&](int i) {
    float value = 0;
    for (int k = 0; k < 6; ++k)
      if (!solid[size_t(i + order[k])]) {
        value = x[i + order[k]];
        break;
      }
    x[i] = b != 0 ? -value : value;
  };
  if (solidsGathered) {
    for (int i : solidCells) fillSolid(i);
  } else {
    for (int z = 1; z <= n; ++z)
      for (int y = 1; y <= n; ++y)
        for (int xx = 1; xx <= n; ++xx)
          if (solid[size_t(index(xx, y, z))]) fillSolid(index(xx, y, z));
  }
}

void FluidSolver::sweepPlain(float* x, const float* x0, float a, float c) {
  const int sy = size, sz = size * size;
  for (int z = 1; z <= n; ++z)
    for (int y = 1; y <= n; ++y)
      for (int xx = 1; xx <= n; ++xx) {
        const int i = index(xx, y, z);
        // The neighbours in a fixed order, the cell before it along x last: the fast
        // sweeps add the other five before that one is known.
        if (!solid[size_t(i)])
          x[i] = (x0[i] + a * (x[i + 1] + x[i - sy] + x[i + sy] + x[i - sz] + x[i + sz] + x[i - 1])) / c;
      }
}

namespace {

using v4f = float __attribute__((vector_size(16)));

inline v4f load4(const float* p) {
  v4f v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// The rows of one group, each with the five neighbour sums that do not change while the row
// is relaxed: computed four cells at a time before the row's own chain runs.
template <int G, bool Track>
void relaxRows(const int* bases, float* x, const float* x0, const uint8_t* solid, float a, float c,
               int n, int sy, int sz, float (*rest)[FluidSolver::kMaxRow], float& change, float& largest) {
  for (int g = 0; g < G; ++g) {
    const int b = bases[g];
    // Up to a multiple of four cells: the extra ones read the wall and the next row, which
    // exist, and are never used.
    for (int xx = 1; xx <= n; xx += 4) {
      const int i = b + xx;
      const v4f sum = load4(x + i + 1) + load4(x + i - sy) + load4(x + i + sy) + load4(x + i - sz) +
                      load4(x + i + sz);
      std::memcpy(&rest[g][xx], &sum, sizeof sum);
    }
  }
  float previous[G];
  for (int g = 0; g < G; ++g) previous[g] = x[bases[g]];
  for (int xx = 1; xx <= n; ++xx)
    for (int g = 0; g < G; ++g) {
      const int i = bases[g] + xx;
      if (!solid[i]) {
        const float updated = (x0[i] + a * (rest[g][xx] + previous[g])) / c;
        if (Track) {
          change = std::max(change, std::fabs(updated - x[i]));
          largest = std::max(largest, std::fabs(updated));
        }
        x[i] = updated;
      }
      previous[g] = x[i];
    }
}

}  // namespace

// The same updates in another order that reads exactly the same values: a cell needs the new
// values of the cells before it along x, y and z and the old ones after, so rows (y, z) on
// one diagonal y + z need only the diagonal before theirs. Eight such rows go in lockstep,
// so the processor overlaps eight chains of dependent divisions instead of waiting on one.
void FluidSolver::sweepDiagonals(float* x, const float* x0, float a, float c, float* change,
                                 float* largest) {
  float unused = 0;
  if (change) sweepDiagonalsT<true>(x, x0, a, c, *change, *largest);
  else sweepDiagonalsT<false>(x, x0, a, c, unused, unused);
}

template <bool Track>
void FluidSolver::sweepDiagonalsT(float* x, const float* x0, float a, float c, float& change, float& largest) {
  const int sy = size, sz = size * size;
  float rest[8][kMaxRow];
  for (int h = 2; h <= 2 * n; ++h) {
    const int first = diagonalStart[size_t(h)], last = diagonalStart[size_t(h) + 1];
    int r = first;
    const uint8_t* s = solid.data();
    for (; r + 8 <= last; r += 8)
      relaxRows<8, Track>(&diagonalRows[size_t(r)], x, x0, s, a, c, n, sy, sz, rest, change, largest);
    for (; r + 4 <= last; r += 4)
      relaxRows<4, Track>(&diagonalRows[size_t(r)], x, x0, s, a, c, n, sy, sz, rest, change, largest);
    for (; r < last; ++r)
      relaxRows<1, Track>(&diagonalRows[size_t(r)], x, x0, s, a, c, n, sy, sz, rest, change, largest);
  }
}

void FluidSolver::linearSolve(int b, float* x, const float* x0, float a, float c) {
  if (plainLoops) {
    for (int sweep = 0; sweep < kSweeps; ++sweep) {
      sweepPlain(x, x0, a, c);
      setBoundary(b, x);
    }
    return;
  }
  if (a == 0) {
    // No coupling: every sweep writes x0 / c again, so one sweep does for all twenty. The
    // walls still go twenty times: a wall cell copying a solid cell sees that cell's
    // value of the previous pass.
    const int sy = size, sz = size * size;
    for (int z = 1; z <= n; ++z)
      for (int y = 1; y <= n; ++y)
        for (int i = index(1, y, z), end = i + n; i < end; ++i)
          if (!solid[size_t(i)]) x[i] = (x0[i] + a * (x[i + 1] + x[i - sy] + x[i + sy] + x[i - sz] + x[i + sz] + x[i - 1])) / c;
    for (int sweep = 0; sweep < kSweeps; ++sweep) setBoundary(b, x);
    return;
  }
  // Weakly coupled cells (the viscosity's small a) settle within a few sweeps: once a sweep
  // moves no value by more than a millionth of the field's largest, the sweeps left could
  // move it by less than a tenth of that all together (each one moves it by at most 6a / c
  // of the one before), far inside what the picture or the comparison with the plain loops
  // can tell. The pressure solve (a = 1) never stops early.
  const bool mayStop = 6 * a < 0.1f * c;
  for (int sweep = 0; sweep < kSweeps; ++sweep) {
    float change = 0, largest = 0;
    sweepDiagonals(x, x0, a, c, mayStop ? &change : nullptr, mayStop ? &largest : nullptr);
    setBoundary(b, x);
    if (mayStop && change <= 1e-6f * largest) break;
  }
}

void FluidSolver::diffuse(int b, float* x, const float* x0, float k, float dt) {
  const float a = dt * k * static_cast<float>(n) * static_cast<float>(n) * static_cast<float>(n);
  linearSolve(b, x, x0, a, 1 + 6 * a);
}

void FluidSolver::advectPlanes(const float* d0, const float* uu, const float* vv, const float* ww,
                               float dt, float* d, int firstZ, int lastZ) {
  const float dt0 = dt * static_cast<float>(n);
  const float low = 0.5f, high = static_cast<float>(n) + 0.5f;
  for (int z = firstZ; z < lastZ; ++z)
    for (int y = 1; y <= n; ++y)
      for (int xx = 1; xx <= n; ++xx) {
        const int i = index(xx, y, z);
        if (solid[size_t(i)]) continue;
        const float px = std::clamp(static_cast<float>(xx) - dt0 * uu[i], low, high);
        const float py = std::clamp(static_cast<float>(y) - dt0 * vv[i], low, high);
        const float pz = std::clamp(static_cast<float>(z) - dt0 * ww[i], low, high);
        const int i0 = static_cast<int>(px), j0 = static_cast<int>(py), k0 = static_cast<int>(pz);
        const float s1 = px - static_cast<float>(i0), s0 = 1 - s1;
        const float t1 = py - static_cast<float>(j0), t0 = 1 - t1;
        const float r1 = pz - static_cast<float>(k0), r0 = 1 - r1;
        const int c = index(i0, j0, k0), sy = size, sz = size * size;
        d[i] = s0 * (t0 * (r0 * d0[c] + r1 * d0[c + sz]) + t1 * (r0 * d0[c + sy] + r1 * d0[c + sy + sz])) +
               s1 * (t0 * (r0 * d0[c + 1] + r1 * d0[c + 1 + sz]) +
                     t1 * (r0 * d0[c + 1 + sy] + r1 * d0[c + 1 + sy + sz]));
      }
}

void FluidSolver::advect(int b, float* d, const float* d0, const float* uu, const float* vv,
                         const float* ww, float dt) {
  if (plainLoops) {
    advectPlanes(d0, uu, vv, ww, dt, d, 1, n + 1);
  } else {
    // Every cell reads only the old field: the planes are independent.
    parallelFor(n, 4, [&](int first, int last) { advectPlanes(d0, uu, vv, ww, dt, d, first + 1, last + 1); });
  }
  setBoundary(b, d);
}

void FluidSolver::project(float* uu, float* vv, float* ww, float* p, float* div) {
  const int sy = size, sz = size * size;
  const float nf = static_cast<float>(n);
  for (int z = 1; z <= n; ++z)
    for (int y = 1; y <= n; ++y)
      for (int i = index(1, y, z), end = i + n; i < end; ++i) {
        if (solid[size_t(i)]) continue;
        div[i] = -0.5f * (uu[i + 1] - uu[i - 1] + vv[i + sy] - vv[i - sy] + ww[i + sz] - ww[i - sz]) / nf;
        p[i] = 0;
      }
  setBoundary(0, div);
  setBoundary(0, p);
  linearSolve(0, p, div, 1, 6);
  for (int z = 1; z <= n; ++z)
    for (int y = 1; y <= n; ++y)
      for (int i = index(1, y, z), end = i + n; i < end; ++i) {
        if (solid[size_t(i)]) continue;
        uu[i] -= 0.5f * nf * (p[i + 1] - p[i - 1]);
        vv[i] -= 0.5f * nf * (p[i + sy] - p[i - sy]);
        ww[i] -= 0.5f * nf * (p[i + sz] - p[i - sz]);
      }
  setBoundary(1, uu);
  setBoundary(2, vv);
  setBoundary(3, ww);
}

void FluidSolver::velocityStep(float viscosity, float dt) {
  gatherSolids();
  addSource(u.data(), uSrc.data(), dt);
  addSource(v.data(), vSrc.data(), dt);
  addSource(w.data(), wSrc.data(), dt);
  diffuse(1, uSrc.data(), u.data(), viscosity, dt);
  diffuse(2, vSrc.data(), v.data(), viscosity, dt);
  diffuse(3, wSrc.data(), w.data(), viscosity, dt);
  project(uSrc.data(), vSrc.data(), wSrc.data(), u.data(), v.data());
  advect(1, u.data(), uSrc.data(), uSrc.data(), vSrc.data(), wSrc.data(), dt);
  advect(2, v.data(), vSrc.data(), uSrc.data(), vSrc.data(), wSrc.data(), dt);
  advect(3, w.data(), wSrc.data(), uSrc.data(), vSrc.data(), wSrc.data(), dt);
  project(u.data(), v.data(), w.data(), uSrc.data(), vSrc.data());
  solidsGathered = false;
}

void FluidSolver::densityStep(float diffusion, float dt) {
  gatherSolids();
  addSource(dens.data(), densSrc.data(), dt);
  diffuse(0, densSrc.data(), dens.data(), diffusion, dt);
  advect(0, dens.data(), densSrc.data(), u.data(), v.data(), w.data(), dt);
  solidsGathered = false;
}

void FluidSolver::computeShade(const glm::vec3& light) {
  const int sy = size, sz = size * size;
  for (int z = 1; z <= n; ++z)
    for (int y = 1; y <= n; ++y)
      for (int i = index(1, y, z), end = i + n; i < end; ++i) {
        glm::vec3 g(dens[size_t(i - 1)] - dens[size_t(i + 1)], dens[size_t(i - sy)] - dens[size_t(i + sy)],
                    dens[size_t(i - sz)] - dens[size_t(i + sz)]);
        // Flat smoke (or none) has no gradient: it is lit as if side-on, not with NaN.
        const float length = glm::length(g);
        if (length > 0) g /= length;
        shade[size_t(i)] = (glm::dot(g, light) + 1) * 0.5f + 0.3f;
      }
}

void FluidSolver::fillVolume(float* staging) const {
  constexpr int t = SmokeVolume::kTextureSize;
  for (int z = 1; z <= n; ++z)
    for (int y = 1; y <= n; ++y)
      for (int x = 1; x <= n; ++x) {
        float* texel = staging + 2 * (((z - 1) * t + (y - 1)) * t + (x - 1));
        texel[0] = shade[size_t(index(x, y, z))];
        texel[1] = dens[size_t(index(x, y, z))];
      }
}

// [SECTION] Volume drawing

namespace {
const glm::vec3 kLight = glm::normalize(glm::vec3(4, 10, 4));
}

SmokeVolume::SmokeVolume() : staging(2 * size_t(kTextureSize) * kTextureSize * kTextureSize, 0.0f) {
  GLint previous = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_3D, &previous);
  glGenTextures(1, &texture);
  glBindTexture(GL_TEXTURE_3D, texture);
  glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_3D, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
  glTexImage3D(GL_TEXTURE_3D, 0, GL_LUMINANCE_ALPHA32F_ARB, kTextureSize, kTextureSize, kTextureSize, 0,
               GL_LUMINANCE_ALPHA, GL_FLOAT, staging.data());
  glBindTexture(GL_TEXTURE_3D, static_cast<GLuint>(previous));
}

void SmokeVolume::findSmokeBounds(int n) {
  for (LayerBounds& layer : bounds) layer = {kTextureSize, -1, kTextureSize, -1};
  for (int z = 0; z < n; ++z) {
    LayerBounds& layer = bounds[size_t(z)];
    for (int y = 0; y < n; ++y) {
      const float* row = staging.data() + 2 * size_t((z * kTextureSize + y) * kTextureSize);
      for (int x = 0; x < n; ++x) {
        if (!(row[2 * x + 1] > 0.0f)) continue;
        layer.xLo = std::min(layer.xLo, x);
        layer.xHi = std::max(layer.xHi, x);
        layer.yLo = std::min(layer.yLo, y);
        layer.yHi = std::max(layer.yHi, y);
      }
    }
  }
}

SmokeVolume::~SmokeVolume() {
  if (texture) glDeleteTextures(1, &texture);
}

void SmokeVolume::draw(const FluidSolver& solver, int slices, float alpha) {
  solver.fillVolume(staging.data());
  glPushAttrib(GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT);
  glBindTexture(GL_TEXTURE_3D, texture);
  glTexSubImage3D(GL_TEXTURE_3D, 0, 0, 0, 0, kTextureSize, kTextureSize, solver.n, GL_LUMINANCE_ALPHA,
                  GL_FLOAT, staging.data());
  glPushMatrix();
  glTranslatef(-0.5f, -0.5f, -0.5f);
  glEnable(GL_DEPTH_TEST);
  glDepthMask(GL_FALSE);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glEnable(GL_TEXTURE_3D);
  glColor4f(1, 1, 1, alpha);
  const int n = solver.n;
  const float f = static_cast<float>(n) / kTextureSize;
  if (clipSlices) findSmokeBounds(n);
  glBegin(GL_QUADS);
  for (int i = 1; i <= slices; ++i) {
    const float g = static_cast<float>(i) / static_cast<float>(slices);
    float x0 = 0, x1 = 1, y0 = 0, y1 = 1;
    if (clipSlices) {
      // The filter reads the two layers around the slice's depth and, in each, the texels
      // around the sample: a texel k reaches samples within half a texel of its own span,
      // (k − 0.5) / n .. (k + 1.5) / n across the slice; a texel more each side keeps clear
      // of rounding.
      const int below = std::clamp(static_cast<int>(std::floor(static_cast<float>(n) * g - 0.5f)), 0, kTextureSize - 1);
      const int above = std::min(below + 1, kTextureSize - 1);
      const LayerBounds& a = bounds[size_t(below)];
      const LayerBounds& b = bounds[size_t(above)];
      const int xLo = std::min(a.xLo, b.xLo), xHi = std::max(a.xHi, b.xHi);
      const int yLo = std::min(a.yLo, b.yLo), yHi = std::max(a.yHi, b.yHi);
      if (xLo > xHi) continue;  // no smoke near this depth
      const float scale = 1.0f / static_cast<float>(n);
      x0 = std::max(0.0f, static_cast<float>(xLo - 1) * scale);
      x1 = std::min(1.0f, static_cast<float>(xHi + 2) * scale);
      y0 = std::max(0.0f, static_cast<float>(yLo - 1) * scale);
      y1 = std::min(1.0f, static_cast<float>(yHi + 2) * scale);
    }
    glTexCoord3f(f * x0, f * y0, f * g);
    glVertex3f(x0, y0, g);
    glTexCoord3f(f * x1, f * y0, f * g);
    glVertex3f(x1, y0, g);
    glTexCoord3f(f * x1, f * y1, f * g);
    glVertex3f(x1, y1, g);
    glTexCoord3f(f * x0, f * y1, f * g);
    glVertex3f(x0, y1, g);
  }
  glEnd();
  glPopMatrix();
  glBindTexture(GL_TEXTURE_3D, 0);
  glPopAttrib();
}

// [SECTION] Smoke

namespace {

constexpr int32_t kNoTable = Variable::kNoStringTable;

// Interior cells x, z in (n/2, 4n/6) and y 0..3 get 70 q.
void standaloneDensitySource(FluidSolver& s, float q) {
  const int n = s.n;
  for (int z = n / 2 + 1; z < 4 * n / 6; ++z)
    for (int y = 0; y <= 3; ++y)
      for (int x = n / 2 + 1; x < 4 * n / 6; ++x) s.densSrc[size_t(s.index(x, y, z))] = 70 * q;
}

// The jets under the smoke: cells (i, 1, j) for n/5 < i, j < (1.6 n)/2, pushing up by
// `up` × q and inwards by q per cell from the middle (or sideways by `sideways` q).
void jetVelocitySource(FluidSolver& s, float q, float up, bool sideways, float sidewaysScale) {
  const int n = s.n, half = n / 2;
  const int high = static_cast<int>(1.6f * static_cast<float>(n)) / 2;
  for (int j = n / 5 + 1; j < high; ++j)
    for (int i = n / 5 + 1; i < high; ++i) {
      const size_t c = size_t(s.index(i, 1, j));
      s.uSrc[c] = sideways ? sidewaysScale * q : q * static_cast<float>(half - i);
      s.vSrc[c] = up * q;
      s.wSrc[c] = q * static_cast<float>(half - j);
    }
}

void clearSources(FluidSolver& s, float sink) {
  std::fill(s.uSrc.begin(), s.uSrc.end(), 0.0f);
  std::fill(s.vSrc.begin(), s.vSrc.end(), 0.0f);
  std::fill(s.wSrc.begin(), s.wSrc.end(), 0.0f);
  std::fill(s.densSrc.begin(), s.densSrc.end(), sink);
  std::fill(s.solid.begin(), s.solid.end(), 0);
}

void markBox(FluidSolver& s, glm::ivec3 low, glm::ivec3 high) {
  low = glm::max(low, glm::ivec3(0));
  high = glm::min(high, glm::ivec3(s.n + 1));
  for (int z = low.z; z <= high.z; ++z)
    for (int y = low.y; y <= high.y; ++y)
      for (int x = low.x; x <= high.x; ++x) s.solid[size_t(s.index(x, y, z))] = 1;
}

}  // namespace

Smoke::Smoke(const std::string& name) : Effect(name) {
  Red.value = Green.value = Blue.value = Alpha.value = 1;
  registerVariable(&Red, "Red", kNoTable, Variable::kFloat, "red of the colour it draws with (0–1)");
  registerVariable(&Green, "Green", kNoTable, Variable::kFloat, "green of the colour (0–1)");
  registerVariable(&Blue, "Blue", kNoTable, Variable::kFloat, "blue of the colour (0–1)");
  registerVariable(&Alpha, "Alpha", kNoTable, Variable::kFloat, "alpha of the colour (0–1)");
}

void Smoke::start(uint32_t time) {
  previousTime = time;
  hasPrevious = true;
}

void Smoke::update(uint32_t) {}

void Smoke::simulate(uint32_t t) {
  // Demo time can jump back (a seek) or stall: a step longer than a frame or two would
  // blow the flow apart, and a negative one would run it backwards.
  const int64_t elapsed = hasPrevious ? int64_t(t) - int64_t(previousTime) : 0;
  const float dt = 0.002f * static_cast<float>(std::clamp<int64_t>(elapsed, 0, kMaxFrameMs));
  previousTime = t;
  hasPrevious = true;

  const float time = static_cast<float>(t);
  clearSources(solver, -0.002f);
  const float s = std::sin(time * 0.0033333333333333335f);
  if (s > 0.8f) {
    standaloneDensitySource(solver, (s - 0.8f) * static_cast<float>(kN) * 0.07f);
    jetVelocitySource(solver, 0.1f, 50, false, 0);
  } else {
    jetVelocitySource(solver, 1.0f, 50, false, 0);
  }
  const int e = kN / 2;
  const int y0 = e - static_cast<int>(-5 * std::sin(0.002f * time));
  markBox(solver, {e - 6, y0, e - 3}, {e + 6, y0 + 5, e + 19});
  solver.velocityStep(0, dt);
  solver.densityStep(0, dt);
}

void Smoke::render(uint32_t t) {
  Red.evaluate(t);
  Green.evaluate(t);
  Blue.evaluate(t);
  Alpha.evaluate(t);
  simulate(t);
  const float time = static_cast<float>(t);
  glPushAttrib(GL_ENABLE_BIT | GL_LINE_BIT | GL_CURRENT_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90, 1.33, 0.1, 100);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  gluLookAt(0, 0, 1.2, 0, 0, 0, 0, 1, 0);
  glRotatef(40 * std::sin(0.0006666666666666666f * time), 0, 1, 0);
  glRotatef(20 * std::sin(0.0005f * time + 2), 1, 0, 0);
  solver.computeShade(kLight);

  glDisable(GL_TEXTURE_2D);
  glColor4f(1, 1, 1, 1);
  glLineWidth(2);
  glPushMatrix();
  glTranslatef(-0.5f, -0.5f, -0.5f);
  static const float kCube[9][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 1, 1},
                                    {1, 1, 1}, {1, 0, 1}, {0, 0, 1}, {0, 0, 0}};
  glBegin(GL_LINE_STRIP);
  for (const auto& p : kCube) glVertex3fv(p);
  glEnd();
  glPopMatrix();
  volume.draw(solver, 3 * kN, 0.33333334f);
  glPopAttrib();
}

// [SECTION] SmokeObject

namespace {
constexpr const char* kObjectModule = "effects/SmokeObject";
}

SmokeObject::SmokeObject(const std::string& name, int n) : SceneObject(kId, name), solver(n, kObjectModule) {}

void SmokeObject::reset() {
  solver.clear();
  now = last = 0;
  accumulator = 0;
  simulatedTime = 0;
  obstacle = false;
  primed = false;
}

std::unique_ptr<SceneObject> SmokeObject::clone() const {
  assertTrue(false, kObjectModule, __LINE__);  // the smoke's fields are not copied
  return nullptr;
}

void SmokeObject::addSources(float simulatedMs) {
  const int n = solver.n, half = n / 2;
  const float s = std::sin(simulatedMs * 0.002857142857142857f);
  if (s > 0) {
    const float q = s * static_cast<float>(n * n * n) * 0.000009f;
    for (int z = half - 2; z <= half + 1; ++z)
      for (int y = 2; y <= 3; ++y)
        for (int x = half - 2; x <= half + 1; ++x) solver.densSrc[size_t(solver.index(x, y, z))] = 70 * q;
  }
  jetVelocitySource(solver, s > 0 ? 0.1f : 0.3f, 20, obstacle, 20);
}

void SmokeObject::markSolids() {
  if (!obstacle) return;
  const int half = solver.n / 2;
  markBox(solver, {half, half, half + 4}, {half + 4, half + 4, half + 8});
}

void SmokeObject::step() {
  clearSources(solver, densitySink);
  addSources(simulatedTime);
  markSolids();
  solver.velocityStep(viscosity, 0.04f);
  solver.densityStep(diffusion, 0.04f);
  simulatedTime += kStepMs;
}

void SmokeObject::animate(int frame, float fraction) {
  SceneObject::animate(frame, fraction);
  // The first time handed in after a reset is where the smoke starts: a demo time in the
  // hundreds of seconds would otherwise sit in the accumulator for good and run a step on
  // every frame, whatever the frame rate. Signed: a clock that went back adds nothing.
  if (!primed) {
    last = now;
    primed = true;
  }
  accumulator += std::max<int64_t>(int64_t(now) - int64_t(last), 0);
  last = now;
  if (accumulator < kStepMs) return;
  accumulator -= kStepMs;
  step();
}

void SmokeObject::drawGeometry() {
  glPushMatrix();
  glPushAttrib(GL_ENABLE_BIT);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  solver.computeShade(kLight);
  volume.draw(solver, 4 * solver.n, 0.25f);
  glPopAttrib();
  glPopMatrix();
}

SmokeJetObject::SmokeJetObject(const std::string& name, int n) : SmokeObject(name, n) {
  densitySink = -0.012f;
  solver.solidInBoundary = false;
}

void SmokeJetObject::addSources(float t) {
  const int n = solver.n;
  viscosity = 0.00001f;
  const float q = static_cast<float>(n * n * n) *
                  (((std::sin(t * 0.0033333333333333335f - 0.7853981625f) + 1) * 0.5f + 1) * 0.03f + t * 0.000001f) *
                  0.0001f;
  for (int z = 1; z <= 3; ++z)
    for (int y = 1; y <= 3; ++y)
      for (int x = 1; x <= 3; ++x) solver.densSrc[size_t(solver.index(x, y, z))] = 50 * q;
  const glm::vec3 d = glm::normalize(glm::vec3(1 + 0.28f * std::sin(0.005f * t + 2),
                                               1 + 0.25f * std::sin(0.0025f * t + 0.4f),
                                               1 + 0.3f * std::sin(0.0038461538461538464f * t + 1)));
  for (int z = 0; z <= 3; ++z)
    for (int y = 0; y <= 3; ++y)
      for (int x = 0; x <= 3; ++x) {
        const size_t c = size_t(solver.index(x, y, z));
        solver.uSrc[c] = 11.2f * d.x;
        solver.vSrc[c] = 11.2f * d.y;
        solver.wSrc[c] = 11.2f * d.z;
      }
}
