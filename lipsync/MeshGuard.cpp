#include "lipsync/MeshGuard.h"

#include <algorithm>
#include <cmath>

#include "lipsync/Articulation.h"
#include "lipsync/mesh_guard.h"
#include "speech/TempFile_beolv.h"

namespace lipsync {

namespace {

using mesh::kCorner;
using mesh::kMeasure;
using mesh::kMeasures;
using mesh::kMeasureTriangle;
using mesh::kTriangles;
using mesh::kVertices;

struct V3 {
  double x, y, z;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 cross(V3 a, V3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double dot(const double* n, V3 a) { return n[0] * a.x + n[1] * a.y + n[2] * a.z; }

// The guarded vertices moved by fap (from neutral when neutral is set, else the move alone).
void place(const double* fap, bool neutral, V3* out) {
  for (int v = 0; v < kVertices; ++v) {
    double p[3] = {0.0, 0.0, 0.0};
    if (neutral) std::copy(mesh::kNeutral[v], mesh::kNeutral[v] + 3, p);
      // Unrolled, each FAP's axis is a constant: the sums stay in registers.
#pragma GCC unroll 11
    for (int k = 0; k < 11; ++k) p[mesh::kAxis[k]] += fap[k] * mesh::kMove[v][k];
    out[v] = {p[0], p[1], p[2]};
  }
}

// The largest t in [0, 1] such that every measure stays above kMeshLeast all the way from the
// pose base to base + t * dir; -1 when base itself does not. On that way a measure is a
// quadratic in t (a posed normal is the cross product of two edges, each linear in t).
double largest(const double* base, const double* dir) {
  V3 a[kVertices], b[kVertices];
  place(base, true, a);
  place(dir, false, b);
  // Per triangle, its posed normal's coefficients in t: n(t) = n0 + t n1 + t^2 n2.
  V3 n0[kTriangles], n1[kTriangles], n2[kTriangles];
  for (int i = 0; i < kTriangles; ++i) {
    const int* c = kCorner[i];
    const V3 da = a[c[1]] - a[c[0]], ea = a[c[2]] - a[c[0]];
    const V3 db = b[c[1]] - b[c[0]], eb = b[c[2]] - b[c[0]];
    n0[i] = cross(da, ea);
    n1[i] = cross(da, eb) + cross(db, ea);
    n2[i] = cross(db, eb);
  }
  double t = 1.0;
  for (int m = 0; m < kMeasures; ++m) {
    const int i = kMeasureTriangle[m];
    const double c0 = dot(kMeasure[m], n0[i]) - kMeshLeast;
    if (c0 <= 0.0) return -1.0;
    const double c1 = dot(kMeasure[m], n1[i]);
    const double c2 = dot(kMeasure[m], n2[i]);
    if (c0 + t * (c1 + t * c2) > 0.0 && (c2 <= 0.0 || c1 >= 0.0 || -c1 / (2.0 * c2) >= t))
      continue;  // stays above on [0, t]: positive at both ends, and no dip between them
    // The smallest positive root of c2 t^2 + c1 t + c0 (c0 > 0), by the stable formula.
    double disc = c1 * c1 - 4.0 * c2 * c0;
    if (disc < 0.0) {
      if (c0 + t * (c1 + t * c2) > 0.0) continue;  // a dip that stays above
      disc = 0.0;                                  // rounding: it does reach it
    }
    const double q = -0.5 * (c1 + std::copysign(std::sqrt(disc), c1));
    double root = t;
    if (q != 0.0) {
      const double r1 = c0 / q, r2 = c2 != 0.0 ? q / c2 : -1.0;
      if (r1 > 0.0) root = std::min(root, r1);
      if (r2 > 0.0) root = std::min(root, r2);
    }
    t = std::min(t, root);
  }
  return t;
}

// FAP 53 and 54 in kSpeechFaps' order: how far the corners draw in. (Bringing their rise,
// 59 and 60, back as well parts the lips at the corners of a rounded mouth.)
constexpr int kCorners[2] = {3, 4};

}  // namespace

double meshLeast(const double* fap) {
  V3 p[kVertices];
  place(fap, true, p);
  V3 n[kTriangles];
  for (int i = 0; i < kTriangles; ++i) {
    const int* c = kCorner[i];
    n[i] = cross(p[c[1]] - p[c[0]], p[c[2]] - p[c[0]]);
  }
  double least = 1.0;
  for (int m = 0; m < kMeasures; ++m)
    least = std::min(least, dot(kMeasure[m], n[kMeasureTriangle[m]]));
  return least;
}

bool holdMesh(double* fap) {
  if (meshLeast(fap) > kMeshLeast) return false;
  // A root is where s reaches the least share: stop a hair before it.
  constexpr double kShort = 0.999;
  double base[11], corners[11] = {};
  std::copy(fap, fap + 11, base);
  for (int k : kCorners) corners[k] = fap[k], base[k] = 0.0;
  const double t = largest(base, corners);
  if (t >= 0.0) {
    for (int k : kCorners) fap[k] *= t * kShort;
    return true;
  }
  // The pose holds not even with the corners in their neutral place: all of it towards
  // neutral, which holds.
  const double zero[11] = {};
  const double u = std::max(0.0, largest(zero, fap)) * kShort;
  for (int k = 0; k < 11; ++k) fap[k] *= u;
  return true;
}

bool heldFaps(const int* faps, int* out) {
  if (out != faps) std::copy(faps, faps + 76, out);
  // Into the articulation's box first: beyond it the corners draw in past their
  // neighbours (a spike at each corner, though no triangle turns over yet).
  double pose[11];
  bool changed = false;
  for (int k = 0; k < 11; ++k) {
    const int v = std::clamp(faps[kSpeechFaps[k]], kArticulatedLeast[k], kArticulatedMost[k]);
    changed |= v != faps[kSpeechFaps[k]];
    pose[k] = v;
  }
  changed |= holdMesh(pose);
  for (int k = 0; k < 11; ++k) out[kSpeechFaps[k]] = static_cast<int>(std::trunc(pose[k]));
  return changed;
}

}  // namespace lipsync
