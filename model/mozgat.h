// Deformation of the head: moves one feature point along one axis, with its region.
#pragma once

// Displacement of FP 9.9 (the teeth), model units; survives rereading the mesh.
extern double p909move[3];

// fp: FP code (201..210, 801..808, 909; others move nothing). amount: model units.
// Selectors tested in the order dx=1, dx=-1, dy=1, dy=-1, dz=1, dz=-1; the first that
// holds picks axis and sign; none holding moves nothing. Each region vertex moves by
// sign * weight * amount. Window thread only.
void mozgat(int fp, double amount, int dx, int dy, int dz);
