// Keeps articulated poses to ones the head mesh holds. The program moves the mouth by FAPs,
// each moving its feature point's region, so where a voice or the articulation combines
// extreme values (the corners drawn far in while the jaw stays closed and the upper lip
// rises) a triangle at the lip corners can turn over, or stand on edge and show the camera
// its back (a dark spike at the corner). holdMesh measures the triangles that can come near
// that (lipsync/mesh_guard.h, from the shipped mesh) and, where one would keep less than a
// tenth of its neutral area facing the way it faced, or a corner triangle less than a
// fiftieth of its area facing the front or the live view, draws the corners (FAP 53, 54)
// less far in, just far enough; should that not suffice, the whole pose towards neutral.
// Poses that hold come out unchanged; the result is continuous in the input, so it adds no
// popping.
//
// Any thread; allocates nothing; about a microsecond.
#pragma once

namespace lipsync {

// The least share of its neutral area a triangle keeps, facing the same way (a corner
// triangle's share facing a view is scaled to this bound in lipsync/mesh_guard.h).
inline constexpr double kMeshLeast = 0.1;

// fap: the eleven FAP values of kSpeechFaps' order (3, 51..60), FAP units; changed in place
// where needed. Returns whether it changed them.
bool holdMesh(double* fap);

// The smallest measure of the guarded triangles in the pose fap (kSpeechFaps' order): the
// share s of its neutral area a triangle keeps facing the same way, or a corner triangle's
// share facing a view, scaled; below 0 a triangle has turned over or shows its back.
double meshLeast(const double* fap);

// The pose the head is drawn in for a FAP array (76 entries indexed by FAP number, FAP
// units): `out` gets a copy of `faps` with the eleven mouth FAPs (3, 51..60) brought into
// the articulation's box (kArticulatedLeast/Most) and held by holdMesh, rounded towards
// neutral. What a stream says stays as it is; only its drawing
// keeps the mesh whole, where a voice reaches a pose the mesh cannot take (the designed
// stream of some real voices does). Returns whether anything changed. faps and out may be
// the same array.
bool heldFaps(const int* faps, int* out);

}  // namespace lipsync
