// Loop subdivision of the head mesh, for the lifelike look's rounder surface.
//
// The topology of the head never changes while it speaks, only the positions do; so the
// refined mesh is built once from the triangles (build), as a table that gives every refined
// vertex as a fixed weighted sum of the original vertices, and each frame only evaluates
// those sums and the normals (evaluate). Boundaries (the neck ring, the mouth) follow the
// boundary rules, so the lips' inner edges stay curves and the mouth stays open.
//
// Window thread only; build allocates, evaluate allocates nothing.
#pragma once

#include <array>
#include <vector>

namespace lifelike {

class LoopSurface {
 public:
  // faces: triangles as vertex subscripts 0..vertices-1, counter-clockwise seen from the
  // front. levels: 0 (the mesh itself) to 3. An edge shared by more than two triangles is
  // treated as a crease (edge rules of the boundary). Replaces what an earlier build made.
  void build(const std::vector<std::array<int, 3>>& faces, int vertices, int levels);

  // Positions of the original vertices (arrays of at least `vertices` entries, model units)
  // to the refined surface's positions and unit normals (area-weighted face normals; a
  // vertex whose faces cancel gets (0, 0, 1)).
  void evaluate(const double* x, const double* y, const double* z);

  int vertexCount() const { return static_cast<int>(starts.size()) - 1; }
  // Refined triangles, same winding as the original ones; the first `vertices` refined
  // vertices are the original vertices' new positions, in the same order.
  const std::vector<std::array<int, 3>>& faces() const { return refined; }
  // After evaluate: x, y, z per refined vertex (position and normal), single precision for
  // the vertex arrays of the drawing.
  const std::vector<float>& positions() const { return pos; }
  const std::vector<float>& normals() const { return nor; }

  // The refined position of one vertex from original positions, without a whole evaluate.
  std::array<double, 3> point(int refinedVertex, const double* x, const double* y,
                              const double* z) const;

 private:
  // Stencils in one flat table: refined vertex v is the sum over k in [starts[v],
  // starts[v+1]) of weights[k] * original vertex index[k].
  std::vector<int> starts, index;
  std::vector<double> weights;
  std::vector<std::array<int, 3>> refined;
  std::vector<float> pos, nor;
  std::vector<double> acc;
};

}  // namespace lifelike
