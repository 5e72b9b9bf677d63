#include "lifelike/subdivision.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>

namespace lifelike {

namespace {

using Stencil = std::vector<std::pair<int, double>>;  // (vertex of the level before, weight)

// One level of Loop's scheme on `faces` over `n` vertices: the stencils of the new vertices
// in terms of the old ones, and the new faces. Old vertex i stays vertex i; edge points
// follow.
void refineOnce(const std::vector<std::array<int, 3>>& faces, int n, std::vector<Stencil>& out,
                std::vector<std::array<int, 3>>& next) {
  std::map<std::pair<int, int>, int> edgeIndex;  // undirected edge -> its number
  std::vector<std::pair<int, int>> edges;
  std::vector<std::vector<int>> opposite;  // per edge: the third vertex of each face on it
  auto edgeOf = [&](int a, int b) {
    const auto key = std::minmax(a, b);
    auto [it, fresh] = edgeIndex.try_emplace(key, static_cast<int>(edges.size()));
    if (fresh) {
      edges.push_back(key);
      opposite.emplace_back();
    }
    return it->second;
  };
  std::vector<std::array<int, 3>> faceEdges(faces.size());
  for (size_t f = 0; f < faces.size(); ++f)
    for (int k = 0; k < 3; ++k) {
      const int a = faces[f][k], b = faces[f][(k + 1) % 3], c = faces[f][(k + 2) % 3];
      const int e = edgeOf(a, b);
      opposite[e].push_back(c);
      faceEdges[f][k] = e;
    }

  // Neighbours of each vertex, and its neighbours along boundary (or crease) edges.
  std::vector<std::vector<int>> ring(n), rim(n);
  for (size_t e = 0; e < edges.size(); ++e) {
    const auto [a, b] = edges[e];
    ring[a].push_back(b);
    ring[b].push_back(a);
    if (opposite[e].size() != 2) {
      rim[a].push_back(b);
      rim[b].push_back(a);
    }
  }

  out.assign(n + edges.size(), {});
  for (int v = 0; v < n; ++v) {
    Stencil& s = out[v];
    if (ring[v].empty()) {
      s = {{v, 1.0}};  // used by no triangle: stays where it is
    } else if (rim[v].size() == 2) {
      s = {{v, 0.75}, {rim[v][0], 0.125}, {rim[v][1], 0.125}};
    } else if (!rim[v].empty()) {
      s = {{v, 1.0}};  // a corner of the boundary: kept
    } else {
      const double k = static_cast<double>(ring[v].size());
      // Warren's weights: Loop's own for the regular valence 6, simpler elsewhere and as
      // smooth in practice.
      const double beta = k > 3 ? 3.0 / (8.0 * k) : 3.0 / 16.0;
      s = {{v, 1.0 - k * beta}};
      for (int u : ring[v]) s.push_back({u, beta});
    }
  }
  for (size_t e = 0; e < edges.size(); ++e) {
    const auto [a, b] = edges[e];
    Stencil& s = out[n + e];
    if (opposite[e].size() == 2)
      s = {{a, 0.375}, {b, 0.375}, {opposite[e][0], 0.125}, {opposite[e][1], 0.125}};
    else
      s = {{a, 0.5}, {b, 0.5}};
  }

  next.clear();
  next.reserve(faces.size() * 4);
  for (size_t f = 0; f < faces.size(); ++f) {
    const auto [a, b, c] = faces[f];
    const int ab = n + faceEdges[f][0], bc = n + faceEdges[f][1], ca = n + faceEdges[f][2];
    next.push_back({a, ab, ca});
    next.push_back({ab, b, bc});
    next.push_back({ca, bc, c});
    next.push_back({ab, bc, ca});
  }
}

}  // namespace

void LoopSurface::build(const std::vector<std::array<int, 3>>& faces, int vertices, int levels) {
  // Every vertex starts as itself; each level's stencils are composed with the ones before,
  // so the result refers to the original vertices only.
  std::vector<Stencil> total(vertices);
  for (int v = 0; v < vertices; ++v) total[v] = {{v, 1.0}};
  refined = faces;
  std::vector<double> scratch(vertices, 0.0);
  std::vector<char> marked(vertices, 0);
  std::vector<int> touched;
  for (int level = 0; level < levels; ++level) {
    std::vector<Stencil> step;
    std::vector<std::array<int, 3>> next;
    refineOnce(refined, static_cast<int>(total.size()), step, next);
    std::vector<Stencil> composed(step.size());
    for (size_t v = 0; v < step.size(); ++v) {
      touched.clear();
      for (const auto& [u, w] : step[v])
        for (const auto& [o, wo] : total[u]) {
          if (!marked[o]) {
            marked[o] = 1;
            touched.push_back(o);
          }
          scratch[o] += w * wo;
        }
      for (int o : touched) {
        composed[v].push_back({o, scratch[o]});
        scratch[o] = 0.0;
        marked[o] = 0;
      }
    }
    total = std::move(composed);
    refined = std::move(next);
  }
  starts.assign(1, 0);
  index.clear();
  weights.clear();
  for (const Stencil& s : total) {
    for (const auto& [o, w] : s) {
      index.push_back(o);
      weights.push_back(w);
    }
    starts.push_back(static_cast<int>(index.size()));
  }
  pos.assign(3 * total.size(), 0.0f);
  nor.assign(3 * total.size(), 0.0f);
  acc.assign(3 * total.size(), 0.0);
}

std::array<double, 3> LoopSurface::point(int v, const double* x, const double* y,
                                         const double* z) const {
  std::array<double, 3> p{0.0, 0.0, 0.0};
  for (int k = starts[v]; k < starts[v + 1]; ++k) {
    p[0] += weights[k] * x[index[k]];
    p[1] += weights[k] * y[index[k]];
    p[2] += weights[k] * z[index[k]];
  }
  return p;
}

void LoopSurface::evaluate(const double* x, const double* y, const double* z) {
  const int n = vertexCount();
  for (int v = 0; v < n; ++v) {
    const std::array<double, 3> p = point(v, x, y, z);
    for (int c = 0; c < 3; ++c) {
      pos[3 * v + c] = static_cast<float>(p[c]);
      acc[3 * v + c] = 0.0;
    }
  }
  // The cross product is twice the triangle's area long: summed unnormalised, it weights
  // every face by its area.
  for (const auto& f : refined) {
    const float* a = &pos[3 * f[0]];
    const float* b = &pos[3 * f[1]];
    const float* c = &pos[3 * f[2]];
    const double ux = b[0] - a[0], uy = b[1] - a[1], uz = b[2] - a[2];
    const double wx = c[0] - a[0], wy = c[1] - a[1], wz = c[2] - a[2];
    const double nx = uy * wz - uz * wy, ny = uz * wx - ux * wz, nz = ux * wy - uy * wx;
    for (int k : f) {
      acc[3 * k] += nx;
      acc[3 * k + 1] += ny;
      acc[3 * k + 2] += nz;
    }
  }
  for (int v = 0; v < n; ++v) {
    const double l = std::sqrt(acc[3 * v] * acc[3 * v] + acc[3 * v + 1] * acc[3 * v + 1] +
                               acc[3 * v + 2] * acc[3 * v + 2]);
    for (int c = 0; c < 3; ++c)
      nor[3 * v + c] = l > 0.0 ? static_cast<float>(acc[3 * v + c] / l) : (c == 2 ? 1.0f : 0.0f);
  }
}

}  // namespace lifelike
