#include "effects/MarchingCubes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <immintrin.h>

#include "base/Error.h"
#include "base/Parallel.h"
#include "resources/Texture.h"

namespace {
constexpr const char* kModule = "effects/mc";
}

// [SECTION] Polygoniser

namespace marching {

const uint8_t kEdgeCorners[12][2] = {{0, 1}, {0, 2}, {1, 3}, {2, 3}, {0, 4}, {1, 5},
                                     {2, 6}, {3, 7}, {4, 5}, {4, 6}, {5, 7}, {6, 7}};

// Rows 10–126 were made by one rule: on each face of the cube join the crossed edges, two
// inside corners that face each other diagonally being cut off one by one (as rows 6 and 9
// do); the joined edges close into loops, and each loop is a fan of triangles.
const int8_t kTriangleTable[128][15] = {
    {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 0
    {4, 0, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 1
    {5, 2, 0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 2
    {5, 4, 2, 4, 2, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 3
    {6, 1, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 4
    {4, 6, 0, 6, 0, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 5
    {2, 0, 5, 3, 1, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 6
    {3, 2, 6, 2, 6, 5, 6, 5, 4, -1, -1, -1, -1, -1, -1},  // 7
    {7, 3, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 8
    {0, 1, 4, 2, 3, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 9
    {0, 5, 7, 0, 7, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 10
    {1, 4, 5, 1, 5, 7, 1, 7, 3, -1, -1, -1, -1, -1, -1},  // 11
    {1, 6, 7, 1, 7, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 12
    {0, 4, 6, 0, 6, 7, 0, 7, 2, -1, -1, -1, -1, -1, -1},  // 13
    {0, 5, 7, 0, 7, 6, 0, 6, 1, -1, -1, -1, -1, -1, -1},  // 14
    {4, 6, 7, 4, 7, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 15
    {4, 9, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 16
    {0, 8, 9, 0, 9, 1, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 17
    {0, 5, 2, 4, 9, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 18
    {1, 9, 8, 1, 8, 5, 1, 5, 2, -1, -1, -1, -1, -1, -1},  // 19
    {1, 6, 3, 4, 9, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 20
    {0, 8, 9, 0, 9, 6, 0, 6, 3, -1, -1, -1, -1, -1, -1},  // 21
    {0, 5, 2, 1, 6, 3, 4, 9, 8, -1, -1, -1, -1, -1, -1},  // 22
    {2, 5, 8, 2, 8, 9, 2, 9, 6, 2, 6, 3, -1, -1, -1},  // 23
    {2, 7, 3, 4, 9, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 24
    {0, 8, 9, 0, 9, 1, 2, 7, 3, -1, -1, -1, -1, -1, -1},  // 25
    {0, 5, 7, 0, 7, 3, 4, 9, 8, -1, -1, -1, -1, -1, -1},  // 26
    {1, 9, 8, 1, 8, 5, 1, 5, 7, 1, 7, 3, -1, -1, -1},  // 27
    {1, 6, 7, 1, 7, 2, 4, 9, 8, -1, -1, -1, -1, -1, -1},  // 28
    {0, 8, 9, 0, 9, 6, 0, 6, 7, 0, 7, 2, -1, -1, -1},  // 29
    {0, 5, 7, 0, 7, 6, 0, 6, 1, 4, 9, 8, -1, -1, -1},  // 30
    {5, 7, 6, 5, 6, 9, 5, 9, 8, -1, -1, -1, -1, -1, -1},  // 31
    {5, 10, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 32
    {0, 4, 1, 5, 10, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 33
    {0, 8, 10, 0, 10, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 34
    {1, 4, 8, 1, 8, 10, 1, 10, 2, -1, -1, -1, -1, -1, -1},  // 35
    {1, 6, 3, 5, 10, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 36
    {0, 4, 6, 0, 6, 3, 5, 10, 8, -1, -1, -1, -1, -1, -1},  // 37
    {0, 8, 10, 0, 10, 2, 1, 6, 3, -1, -1, -1, -1, -1, -1},  // 38
    {2, 10, 8, 2, 8, 4, 2, 4, 6, 2, 6, 3, -1, -1, -1},  // 39
    {2, 7, 3, 5, 10, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 40
    {0, 4, 1, 2, 7, 3, 5, 10, 8, -1, -1, -1, -1, -1, -1},  // 41
    {0, 8, 10, 0, 10, 7, 0, 7, 3, -1, -1, -1, -1, -1, -1},  // 42
    {1, 4, 8, 1, 8, 10, 1, 10, 7, 1, 7, 3, -1, -1, -1},  // 43
    {1, 6, 7, 1, 7, 2, 5, 10, 8, -1, -1, -1, -1, -1, -1},  // 44
    {0, 4, 6, 0, 6, 7, 0, 7, 2, 5, 10, 8, -1, -1, -1},  // 45
    {0, 8, 10, 0, 10, 7, 0, 7, 6, 0, 6, 1, -1, -1, -1},  // 46
    {4, 6, 7, 4, 7, 10, 4, 10, 8, -1, -1, -1, -1, -1, -1},  // 47
    {4, 9, 10, 4, 10, 5, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 48
    {0, 5, 10, 0, 10, 9, 0, 9, 1, -1, -1, -1, -1, -1, -1},  // 49
    {0, 4, 9, 0, 9, 10, 0, 10, 2, -1, -1, -1, -1, -1, -1},  // 50
    {1, 9, 10, 1, 10, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 51
    {1, 6, 3, 4, 9, 10, 4, 10, 5, -1, -1, -1, -1, -1, -1},  // 52
    {0, 5, 10, 0, 10, 9, 0, 9, 6, 0, 6, 3, -1, -1, -1},  // 53
    {0, 4, 9, 0, 9, 10, 0, 10, 2, 1, 6, 3, -1, -1, -1},  // 54
    {2, 10, 9, 2, 9, 6, 2, 6, 3, -1, -1, -1, -1, -1, -1},  // 55
    {2, 7, 3, 4, 9, 10, 4, 10, 5, -1, -1, -1, -1, -1, -1},  // 56
    {0, 5, 10, 0, 10, 9, 0, 9, 1, 2, 7, 3, -1, -1, -1},  // 57
    {0, 4, 9, 0, 9, 10, 0, 10, 7, 0, 7, 3, -1, -1, -1},  // 58
    {1, 9, 10, 1, 10, 7, 1, 7, 3, -1, -1, -1, -1, -1, -1},  // 59
    {1, 6, 7, 1, 7, 2, 4, 9, 10, 4, 10, 5, -1, -1, -1},  // 60
    {0, 5, 10, 0, 10, 9, 0, 9, 6, 0, 6, 7, 0, 7, 2},  // 61
    {0, 4, 9, 0, 9, 10, 0, 10, 7, 0, 7, 6, 0, 6, 1},  // 62
    {6, 9, 10, 6, 10, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 63
    {6, 9, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 64
    {0, 4, 1, 6, 9, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 65
    {0, 5, 2, 6, 9, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 66
    {1, 4, 5, 1, 5, 2, 6, 9, 11, -1, -1, -1, -1, -1, -1},  // 67
    {1, 9, 11, 1, 11, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 68
    {0, 4, 9, 0, 9, 11, 0, 11, 3, -1, -1, -1, -1, -1, -1},  // 69
    {0, 5, 2, 1, 9, 11, 1, 11, 3, -1, -1, -1, -1, -1, -1},  // 70
    {2, 5, 4, 2, 4, 9, 2, 9, 11, 2, 11, 3, -1, -1, -1},  // 71
    {2, 7, 3, 6, 9, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 72
    {0, 4, 1, 2, 7, 3, 6, 9, 11, -1, -1, -1, -1, -1, -1},  // 73
    {0, 5, 7, 0, 7, 3, 6, 9, 11, -1, -1, -1, -1, -1, -1},  // 74
    {1, 4, 5, 1, 5, 7, 1, 7, 3, 6, 9, 11, -1, -1, -1},  // 75
    {1, 9, 11, 1, 11, 7, 1, 7, 2, -1, -1, -1, -1, -1, -1},  // 76
    {0, 4, 9, 0, 9, 11, 0, 11, 7, 0, 7, 2, -1, -1, -1},  // 77
    {0, 5, 7, 0, 7, 11, 0, 11, 9, 0, 9, 1, -1, -1, -1},  // 78
    {4, 9, 11, 4, 11, 7, 4, 7, 5, -1, -1, -1, -1, -1, -1},  // 79
    {4, 6, 11, 4, 11, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 80
    {0, 8, 11, 0, 11, 6, 0, 6, 1, -1, -1, -1, -1, -1, -1},  // 81
    {0, 5, 2, 4, 6, 11, 4, 11, 8, -1, -1, -1, -1, -1, -1},  // 82
    {1, 6, 11, 1, 11, 8, 1, 8, 5, 1, 5, 2, -1, -1, -1},  // 83
    {1, 4, 8, 1, 8, 11, 1, 11, 3, -1, -1, -1, -1, -1, -1},  // 84
    {0, 8, 11, 0, 11, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 85
    {0, 5, 2, 1, 4, 8, 1, 8, 11, 1, 11, 3, -1, -1, -1},  // 86
    {2, 5, 8, 2, 8, 11, 2, 11, 3, -1, -1, -1, -1, -1, -1},  // 87
    {2, 7, 3, 4, 6, 11, 4, 11, 8, -1, -1, -1, -1, -1, -1},  // 88
    {0, 8, 11, 0, 11, 6, 0, 6, 1, 2, 7, 3, -1, -1, -1},  // 89
    {0, 5, 7, 0, 7, 3, 4, 6, 11, 4, 11, 8, -1, -1, -1},  // 90
    {1, 6, 11, 1, 11, 8, 1, 8, 5, 1, 5, 7, 1, 7, 3},  // 91
    {1, 4, 8, 1, 8, 11, 1, 11, 7, 1, 7, 2, -1, -1, -1},  // 92
    {0, 8, 11, 0, 11, 7, 0, 7, 2, -1, -1, -1, -1, -1, -1},  // 93
    {0, 5, 7, 0, 7, 11, 0, 11, 8, 0, 8, 4, 0, 4, 1},  // 94
    {5, 7, 11, 5, 11, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 95
    {5, 10, 8, 6, 9, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 96
    {0, 4, 1, 5, 10, 8, 6, 9, 11, -1, -1, -1, -1, -1, -1},  // 97
    {0, 8, 10, 0, 10, 2, 6, 9, 11, -1, -1, -1, -1, -1, -1},  // 98
    {1, 4, 8, 1, 8, 10, 1, 10, 2, 6, 9, 11, -1, -1, -1},  // 99
    {1, 9, 11, 1, 11, 3, 5, 10, 8, -1, -1, -1, -1, -1, -1},  // 100
    {0, 4, 9, 0, 9, 11, 0, 11, 3, 5, 10, 8, -1, -1, -1},  // 101
    {0, 8, 10, 0, 10, 2, 1, 9, 11, 1, 11, 3, -1, -1, -1},  // 102
    {2, 10, 8, 2, 8, 4, 2, 4, 9, 2, 9, 11, 2, 11, 3},  // 103
    {2, 7, 3, 5, 10, 8, 6, 9, 11, -1, -1, -1, -1, -1, -1},  // 104
    {0, 4, 1, 2, 7, 3, 5, 10, 8, 6, 9, 11, -1, -1, -1},  // 105
    {0, 8, 10, 0, 10, 7, 0, 7, 3, 6, 9, 11, -1, -1, -1},  // 106
    {1, 4, 8, 1, 8, 10, 1, 10, 7, 1, 7, 3, 6, 9, 11},  // 107
    {1, 9, 11, 1, 11, 7, 1, 7, 2, 5, 10, 8, -1, -1, -1},  // 108
    {0, 4, 9, 0, 9, 11, 0, 11, 7, 0, 7, 2, 5, 10, 8},  // 109
    {0, 8, 10, 0, 10, 7, 0, 7, 11, 0, 11, 9, 0, 9, 1},  // 110
    {4, 9, 11, 4, 11, 7, 4, 7, 10, 4, 10, 8, -1, -1, -1},  // 111
    {4, 6, 11, 4, 11, 10, 4, 10, 5, -1, -1, -1, -1, -1, -1},  // 112
    {0, 5, 10, 0, 10, 11, 0, 11, 6, 0, 6, 1, -1, -1, -1},  // 113
    {0, 4, 6, 0, 6, 11, 0, 11, 10, 0, 10, 2, -1, -1, -1},  // 114
    {1, 6, 11, 1, 11, 10, 1, 10, 2, -1, -1, -1, -1, -1, -1},  // 115
    {1, 4, 5, 1, 5, 10, 1, 10, 11, 1, 11, 3, -1, -1, -1},  // 116
    {0, 5, 10, 0, 10, 11, 0, 11, 3, -1, -1, -1, -1, -1, -1},  // 117
    {0, 4, 1, 0, 1, 3, 0, 3, 11, 0, 11, 10, 0, 10, 2},  // 118
    {2, 10, 11, 2, 11, 3, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 119
    {2, 7, 3, 4, 6, 11, 4, 11, 10, 4, 10, 5, -1, -1, -1},  // 120
    {0, 5, 10, 0, 10, 11, 0, 11, 6, 0, 6, 1, 2, 7, 3},  // 121
    {0, 4, 6, 0, 6, 11, 0, 11, 10, 0, 10, 7, 0, 7, 3},  // 122
    {1, 6, 11, 1, 11, 10, 1, 10, 7, 1, 7, 3, -1, -1, -1},  // 123
    {1, 4, 5, 1, 5, 10, 1, 10, 11, 1, 11, 7, 1, 7, 2},  // 124
    {0, 5, 10, 0, 10, 11, 0, 11, 7, 0, 7, 2, -1, -1, -1},  // 125
    {0, 4, 1, 7, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 126
    {7, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1},  // 127
};

int cubeIndex(const float corner[8], float iso) {
  int index = 0;
  for (int k = 0; k < 8; ++k)
    if (corner[k] > iso) index |= 1 << k;
  return index & 128 ? ~index & 255 : index;
}

namespace {

// Where cell corner k sits in the volume, as offsets added to the cell's first point.
struct CellLayout {
  int pointOffset[8];
  CellLayout(int nx, int ny) {
    for (int k = 0; k < 8; ++k)
      pointOffset[k] = ((k >> 2) & 1) * nx * ny + ((k >> 1) & 1) * nx + (k & 1);
  }
};

// Emits the triangles of one cell (case `index`) from vertex `at` on; returns the vertex
// count afterwards. A triangle that does not fit whole is not begun, nor any after it
// (`full` tells the caller to stop).
int emitCell(const Volume& v, const CellLayout& layout, float iso, int ix, int iy, int iz,
             int index, const Mesh& mesh, int at, bool& full) {
  const int8_t* row = kTriangleTable[index];
  const int base = (iz * v.ny + iy) * v.nx + ix;
  const bool withNormals = mesh.normals && v.gradient[0];
  for (int t = 0; t < 15 && row[t] >= 0; t += 3) {
    if (at + 3 > mesh.capacity) {
      full = true;
      return at;
    }
    bool marked = false;
    for (int e = 0; e < 3; ++e) {
      const int a = kEdgeCorners[row[t + e]][0], b = kEdgeCorners[row[t + e]][1];
      const int pa = base + layout.pointOffset[a], pb = base + layout.pointOffset[b];
      const float va = v.values[pa], vb = v.values[pb];
      const float cornerA[3] = {static_cast<float>(ix + (a & 1)) - v.originX,
                                static_cast<float>(iy + ((a >> 1) & 1)) - v.originY,
                                -static_cast<float>(iz + ((a >> 2) & 1))};
      const float cornerB[3] = {static_cast<float>(ix + (b & 1)) - v.originX,
                                static_cast<float>(iy + ((b >> 1) & 1)) - v.originY,
                                -static_cast<float>(iz + ((b >> 2) & 1))};
      float* p = mesh.positions + 3 * at;
      float* n = withNormals ? mesh.normals + 3 * at : nullptr;
      // A corner on (or all but on) the iso level, or an edge too flat to interpolate,
      // snaps the vertex to a corner.
      int snap = -1;
      if (std::fabs(iso - va) < 0.001f || std::fabs(va - vb) < 0.001f) snap = 0;
      else if (std::fabs(iso - vb) < 0.001f) snap = 1;
      if (snap >= 0) {
        const float* c = snap == 0 ? cornerA : cornerB;
        const int point = snap == 0 ? pa : pb;
        for (int i = 0; i < 3; ++i) p[i] = c[i];
        if (n)
          for (int i = 0; i < 3; ++i) n[i] = v.gradient[i][point];
      } else {
        const float mu = (iso - va) / (vb - va);
        for (int i = 0; i < 3; ++i) p[i] = cornerA[i] + mu * (cornerB[i] - cornerA[i]);
        if (n) {
          const float m = std::clamp(mu, 0.0f, 1.0f);
          for (int i = 0; i < 3; ++i) {
            const float na = v.gradient[i][pa], nb = v.gradient[i][pb];
            n[i] = na + m * (nb - na);
          }
        }
      }
      ++at;
      if ((va > iso && vb > iso) || (va < iso && vb < iso)) marked = true;
    }
    if (marked) at -= 3;  // both ends on one side: not a crossing, the triangle goes again
  }
  return at;
}

int caseOfCell(const Volume& v, const CellLayout& layout, float iso, int ix, int iy, int iz) {
  const int base = (iz * v.ny + iy) * v.nx + ix;
  float corner[8];
  for (int k = 0; k < 8; ++k) corner[k] = v.values[base + layout.pointOffset[k]];
  return cubeIndex(corner, iso);
}

}  // namespace

int polygoniseReference(const Volume& v, float iso, const Mesh& mesh) {
  const CellLayout layout(v.nx, v.ny);
  int count = 0;
  bool full = false;
  for (int iy = 0; iy < v.ny - 1; ++iy)
    for (int ix = 0; ix < v.nx - 1; ++ix)
      for (int iz = v.nz - 2; iz >= 0; --iz) {
        const int index = caseOfCell(v, layout, iso, ix, iy, iz);
        if (index == 0) continue;
        count = emitCell(v, layout, iso, ix, iy, iz, index, mesh, count, full);
        if (full) return count;
      }
  return count;
}

Polygoniser::Polygoniser(int nx, int ny, int nz)
    : nx(nx), ny(ny), nz(nz), above(size_t(nx) * size_t(ny) * size_t(nz)) {}

int Polygoniser::run(const Volume& v, float iso, const Mesh& mesh) {
  assertTrue(v.nx == nx && v.ny == ny && v.nz == nz, kModule, __LINE__);  // scratch sized for another shape
  // One byte per point for "above the level", in a flat branch-free loop the compiler
  // widens; a cell's index is then eight byte loads and shifts instead of eight float
  // compares. (Splitting this work over both cores cost more in hand-over than it saved.)
  const int points = nx * ny * nz;
  for (int i = 0; i < points; ++i) above[size_t(i)] = v.values[i] > iso ? 1 : 0;
  const CellLayout layout(nx, ny);
  const int plane = nx * ny;
  int count = 0;
  bool full = false;
  for (int iy = 0; iy < ny - 1; ++iy)
    for (int ix = 0; ix < nx - 1; ++ix)
      for (int iz = nz - 2; iz >= 0; --iz) {
        const uint8_t* p = &above[size_t((iz * ny + iy) * nx + ix)];
        int index = p[0] | p[1] << 1 | p[nx] << 2 | p[nx + 1] << 3 | p[plane] << 4 |
                    p[plane + 1] << 5 | p[plane + nx] << 6 | p[plane + nx + 1] << 7;
        if (index & 128) index = ~index & 255;
        if (index == 0) continue;
        count = emitCell(v, layout, iso, ix, iy, iz, index, mesh, count, full);
        if (full) return count;
      }
  return count;
}

}  // namespace marching

// [SECTION] Metaball field

namespace {

constexpr int kN = MetaballField::kSize;
constexpr int kPlane = kN * kN;
constexpr float kHalf = 19;
// 3.14 / 180: the rotations' degree, a little short of π / 180.
constexpr double kDegree = 0.017444444444444446;
// Closer than 0.05 to a centre a ball gives a fixed value and its gradient a fixed divisor.
constexpr float kNearSq = 0.0025f;

struct Ball {
  double x, y, z;
  float strength;
  double rx, ry, rz;
};
constexpr Ball kBallTable[MetaballField::kBalls] = {
    {6, 7, 8, 800, 0, 1.5, 1.5},  {1, -5, -6, 800, 1, 1.5, 0},   {-9, 1, 7, 800, 1.5, -1, 0},
    {-3, 3, 1, 400, 0.5, 0, 0},   {0, 0, 0, 400, 0, 0.5, 0},     {1, 0, 0, 400, 0, 0, 0.5},
};

using v4f = float __attribute__((vector_size(16)));
using v4i = int32_t __attribute__((vector_size(16)));

inline v4f load(const float* p) {
  v4f v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void store(float* p, v4f v) { std::memcpy(p, &v, sizeof v); }
inline v4f select(v4i mask, v4f yes, v4f no) {
  v4i a, b;
  std::memcpy(&a, &yes, sizeof a);
  std::memcpy(&b, &no, sizeof b);
  const v4i r = (mask & a) | (~mask & b);
  v4f out;
  std::memcpy(&out, &r, sizeof out);
  return out;
}
inline v4f fastInverseSqrt4(v4f x) {
  v4i i;
  std::memcpy(&i, &x, sizeof i);
  i = 0x5f3759df - (i >> 1);
  v4f y;
  std::memcpy(&y, &i, sizeof y);
  return y * (1.5f - 0.5f * x * y * y);
}

}  // namespace

float fastInverseSqrt(float x) {
  int32_t i;
  std::memcpy(&i, &x, sizeof i);
  i = 0x5f3759df - (i >> 1);
  float y;
  std::memcpy(&y, &i, sizeof y);
  return y * (1.5f - 0.5f * x * y * y);
}

float ballContribution(float strength, float r2) {
  return r2 < kNearSq ? strength * 0.05f : strength * fastInverseSqrt(r2);
}

MetaballField::MetaballField()
    : field(kPoints), gradient{std::vector<float>(kPoints), std::vector<float>(kPoints),
                               std::vector<float>(kPoints)},
      planeX(kPlane), planeY(kPlane) {
  for (int iy = 0; iy < kN; ++iy)
    for (int ix = 0; ix < kN; ++ix) {
      planeX[size_t(iy * kN + ix)] = static_cast<float>(ix) - kHalf;
      planeY[size_t(iy * kN + ix)] = static_cast<float>(iy) - kHalf;
    }
  animate(0);
  moveBalls();
}

void MetaballField::animate(float t) {
  angleBases = glm::dvec3(2.5 * t, 2.0 * t, 3.0 * t);
  offsets[3].x = 10 * std::sin(0.4f * t);
  offsets[4].y = 12 * std::sin(0.15384616f * t);
  offsets[4].z = 10 * std::sin(0.6666667f * t);
  offsets[5].z = 12 * std::sin(0.5f * t);
}

void MetaballField::moveBalls() {
  for (int b = 0; b < kBalls; ++b) {
    const Ball& ball = kBallTable[b];
    double x = ball.x + offsets[size_t(b)].x, y = ball.y + offsets[size_t(b)].y,
           z = ball.z + offsets[size_t(b)].z;
    const double alpha = ball.rx * angleBases.x * kDegree;
    const double beta = ball.ry * angleBases.y * kDegree;
    const double gamma = ball.rz * angleBases.z * kDegree;
    double a = y * std::cos(alpha) - z * std::sin(alpha);
    z = y * std::sin(alpha) + z * std::cos(alpha);
    y = a;
    a = x * std::cos(beta) + z * std::sin(beta);
    z = -x * std::sin(beta) + z * std::cos(beta);
    x = a;
    a = x * std::cos(gamma) - y * std::sin(gamma);
    y = x * std::sin(gamma) + y * std::cos(gamma);
    x = a;
    centres[size_t(b)] = glm::dvec3(x, y, z);
  }
}

void MetaballField::computeReference() {
  for (int iz = 0; iz < kN; ++iz)
    for (int iy = 0; iy < kN; ++iy)
      for (int ix = 0; ix < kN; ++ix) {
        const float qx = static_cast<float>(ix) - kHalf, qy = static_cast<float>(iy) - kHalf,
                    qz = static_cast<float>(iz) - kHalf;
        float f = 0, gx = 0, gy = 0, gz = 0;
        for (int b = 0; b < kBalls; ++b) {
          const float s = kBallTable[b].strength;
          const float dx = qx - static_cast<float>(centres[size_t(b)].x);
          const float dy = qy - static_cast<float>(centres[size_t(b)].y);
          const float dz = qz - static_cast<float>(centres[size_t(b)].z);
          const float r2 = dx * dx + dy * dy + dz * dz;
          f += ballContribution(s, r2);
          const float k = s * 10000.0f / std::max(r2, kNearSq);
          gx += dx * k;
          gy += dy * k;
          gz += dz * k;
        }
        const size_t i = size_t((iz * kN + iy) * kN + ix);
        field[i] = f;
        gradient[0][i] = gx;
        gradient[1][i] = gy;
        gradient[2][i] = gz;
      }
}

namespace {

// What one plane's loop needs of the balls.
struct PlaneBalls {
  float cx[MetaballField::kBalls], cy[MetaballField::kBalls], dz[MetaballField::kBalls],
      dzSq[MetaballField::kBalls];
};

// Points [first, last) of a plane, four at a time.
void fieldPoints4(const PlaneBalls& pb, const float* planeX, const float* planeY, int first,
                  int last, float* field, float* gradX, float* gradY, float* gradZ) {
  const v4f nearSq = {kNearSq, kNearSq, kNearSq, kNearSq};
  for (int k = first; k < last; k += 4) {
    const v4f qx = load(planeX + k), qy = load(planeY + k);
    v4f f = {0, 0, 0, 0}, gx = f, gy = f, gz = f;
    for (int b = 0; b < MetaballField::kBalls; ++b) {
      const float s = kBallTable[b].strength;
      const v4f dx = qx - pb.cx[b], dy = qy - pb.cy[b];
      const v4f r2 = dx * dx + dy * dy + pb.dzSq[b];
      const v4i close = r2 < nearSq;
      f += select(close, v4f{} + s * 0.05f, s * fastInverseSqrt4(r2));
      const v4f k4 = (s * 10000.0f) / select(close, nearSq, r2);
      gx += dx * k4;
      gy += dy * k4;
      gz += pb.dz[b] * k4;
    }
    store(field + k, f);
    store(gradX + k, gx);
    store(gradY + k, gy);
    store(gradZ + k, gz);
  }
}

// The same eight at a time, for processors with 256-bit vectors; returns where it stopped
// (the last few points are left to the four-wide loop). The same operations in the same
// order, so the same floats.
__attribute__((target("avx2"))) int fieldPoints8(const PlaneBalls& pb, const float* planeX,
                                                 const float* planeY, int count, float* field,
                                                 float* gradX, float* gradY, float* gradZ) {
  const __m256 nearSq = _mm256_set1_ps(kNearSq);
  const __m256 half = _mm256_set1_ps(0.5f), threeHalves = _mm256_set1_ps(1.5f);
  const __m256i magic = _mm256_set1_epi32(0x5f3759df);
  int k = 0;
  for (; k + 8 <= count; k += 8) {
    const __m256 qx = _mm256_loadu_ps(planeX + k), qy = _mm256_loadu_ps(planeY + k);
    __m256 f = _mm256_setzero_ps(), gx = f, gy = f, gz = f;
    for (int b = 0; b < MetaballField::kBalls; ++b) {
      const float s = kBallTable[b].strength;
      const __m256 dx = _mm256_sub_ps(qx, _mm256_set1_ps(pb.cx[b]));
      const __m256 dy = _mm256_sub_ps(qy, _mm256_set1_ps(pb.cy[b]));
      const __m256 r2 = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(dx, dx), _mm256_mul_ps(dy, dy)),
                                      _mm256_set1_ps(pb.dzSq[b]));
      const __m256i bits = _mm256_sub_epi32(magic, _mm256_srai_epi32(_mm256_castps_si256(r2), 1));
      __m256 y = _mm256_castsi256_ps(bits);
      y = _mm256_mul_ps(y, _mm256_sub_ps(threeHalves,
                                         _mm256_mul_ps(_mm256_mul_ps(_mm256_mul_ps(half, r2), y), y)));
      const __m256 close = _mm256_cmp_ps(r2, nearSq, _CMP_LT_OQ);
      f = _mm256_add_ps(f, _mm256_blendv_ps(_mm256_mul_ps(_mm256_set1_ps(s), y),
                                            _mm256_set1_ps(s * 0.05f), close));
      const __m256 k8 = _mm256_div_ps(_mm256_set1_ps(s * 10000.0f), _mm256_blendv_ps(r2, nearSq, close));
      gx = _mm256_add_ps(gx, _mm256_mul_ps(dx, k8));
      gy = _mm256_add_ps(gy, _mm256_mul_ps(dy, k8));
      gz = _mm256_add_ps(gz, _mm256_mul_ps(_mm256_set1_ps(pb.dz[b]), k8));
    }
    _mm256_storeu_ps(field + k, f);
    _mm256_storeu_ps(gradX + k, gx);
    _mm256_storeu_ps(gradY + k, gy);
    _mm256_storeu_ps(gradZ + k, gz);
  }
  return k;
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");

}  // namespace

void MetaballField::computePlanes(int firstZ, int lastZ) {
  PlaneBalls pb;
  for (int b = 0; b < kBalls; ++b) {
    pb.cx[b] = static_cast<float>(centres[size_t(b)].x);
    pb.cy[b] = static_cast<float>(centres[size_t(b)].y);
  }
  for (int iz = firstZ; iz < lastZ; ++iz) {
    const float qz = static_cast<float>(iz) - kHalf;
    for (int b = 0; b < kBalls; ++b) {
      pb.dz[b] = qz - static_cast<float>(centres[size_t(b)].z);
      pb.dzSq[b] = pb.dz[b] * pb.dz[b];
    }
    const size_t at = size_t(iz) * kPlane;
    float* out[4] = {&field[at], &gradient[0][at], &gradient[1][at], &gradient[2][at]};
    // 1444 points a plane: a multiple of four.
    const int done = kHasAvx2 ? fieldPoints8(pb, planeX.data(), planeY.data(), kPlane, out[0],
                                             out[1], out[2], out[3])
                              : 0;
    fieldPoints4(pb, planeX.data(), planeY.data(), done, kPlane, out[0], out[1], out[2], out[3]);
  }
}

void MetaballField::compute() {
  parallelFor(kN, 1, [this](int first, int last) { computePlanes(first, last); });
}

marching::Volume MetaballField::volume() const {
  marching::Volume v;
  v.values = field.data();
  for (int c = 0; c < 3; ++c) v.gradient[c] = gradient[size_t(c)].data();
  v.nx = v.ny = v.nz = kN;
  v.originX = v.originY = kHalf;
  return v;
}

// [SECTION] MarchingCubes

MarchingCubes::MarchingCubes()
    : SceneObject(kId, "HelloKitty"),
      positions(3 * size_t(kVertexCapacity)),
      normals(3 * size_t(kVertexCapacity)) {
  TextureManager& textures = TextureManager::instance();
  envTexture = textures.getTexture("data/textures/envmap.jpg", "", GL_TEXTURE_2D, 0);
  metalTexture = textures.getTexture("data/textures/metal24.jpg", "", GL_TEXTURE_2D, 0);
  assertTrue(envTexture != nullptr && metalTexture != nullptr, kModule, __LINE__);  // both pictures must load
}

MarchingCubes::~MarchingCubes() = default;

void MarchingCubes::animate(int frame, float fraction) {
  SceneObject::animate(frame, fraction);
  balls.animate(static_cast<float>(frame));
}

std::unique_ptr<SceneObject> MarchingCubes::clone() const {
  assertTrue(false, kModule, __LINE__);  // one surface per scene: it is never copied
  return nullptr;
}

void MarchingCubes::buildSurface() {
  balls.moveBalls();
  balls.compute();
  vertexCount = polygoniser.run(balls.volume(), MetaballField::kIsoLevel,
                                {positions.data(), normals.data(), kVertexCapacity});
}

void MarchingCubes::drawGeometry() {
  buildSurface();
  drawSurface();
}

void MarchingCubes::drawSurface() {
  if (coordCapacity < vertexCount) {
    envCoords.assign(2 * size_t(vertexCount), 0.0f);
    planarCoords.assign(2 * size_t(vertexCount), 0.0f);
    coordCapacity = vertexCount;
  }
  float m[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, m);
  parallelFor(vertexCount, 2048, [&](int first, int last) {
    for (int i = first; i < last; ++i) {
      float* n = &normals[3 * size_t(i)];
      const float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      if (length > 0)
        for (int c = 0; c < 3; ++c) n[c] /= length;
      envCoords[2 * size_t(i)] = (m[0] * n[0] + m[4] * n[1] + m[8] * n[2] + 1) * 0.5f;
      envCoords[2 * size_t(i) + 1] = (m[1] * n[0] + m[5] * n[1] + m[9] * n[2] + 1) * 0.5f;
      planarCoords[2 * size_t(i)] = positions[3 * size_t(i)] * 0.1f;
      planarCoords[2 * size_t(i) + 1] = positions[3 * size_t(i) + 2] * -0.1f;
    }
  });
  if (vertexCount == 0) return;

  // The scene goes on drawing after this object: what is switched here comes back as found.
  glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_DEPTH_BUFFER_BIT);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glDisable(GL_CULL_FACE);
  glActiveTexture(GL_TEXTURE0);
  glClientActiveTexture(GL_TEXTURE0);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, 0, envCoords.data());
  if (metalTexture) metalTexture->bind();
  glEnable(GL_TEXTURE_2D);
  glActiveTexture(GL_TEXTURE1);
  glClientActiveTexture(GL_TEXTURE1);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glTexCoordPointer(2, GL_FLOAT, 0, planarCoords.data());
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_ADD);
  if (envTexture) envTexture->bind();
  glEnable(GL_TEXTURE_2D);
  glEnableClientState(GL_VERTEX_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, positions.data());
  glDrawArrays(GL_TRIANGLES, 0, vertexCount);
  glDisable(GL_TEXTURE_2D);
  glClientActiveTexture(GL_TEXTURE0);
  glActiveTexture(GL_TEXTURE0);
  glDisable(GL_TEXTURE_2D);
  glPopClientAttrib();
  glPopAttrib();
}
