// Keeps articulated poses to ones the head mesh holds. The program moves the mouth by FAPs,
// each moving its feature point's region, so where a voice or the articulation combines
// extreme values (the corners drawn far in while the jaw stays closed and the upper lip
// rises) a triangle at the lip corners can turn over. holdMesh measures the triangles that can
// come near that (lipsync/mesh_guard.h, from the shipped mesh) and, where one would keep less
// than a tenth of its neutral area facing the way it faced, brings the corners (FAP 53, 54,
// 59, 60) towards their neutral place just far enough; should that not suffice, the whole
// pose towards neutral. Poses that hold come out unchanged; the result is continuous in the
// input, so it adds no popping.
//
// Any thread; allocates nothing; about a microsecond.
#pragma once

namespace lipsync {

// The least share of its neutral area a triangle keeps, facing the same way.
inline constexpr double kMeshLeast = 0.1;

// fap: the eleven FAP values of kSpeechFaps' order (3, 51..60), FAP units; changed in place
// where needed. Returns whether it changed them.
bool holdMesh(double* fap);

// The smallest share s of its neutral area, facing the same way, that any guarded triangle
// keeps in the pose fap (kSpeechFaps' order); below 0 a triangle has turned over.
double meshLeast(const double* fap);

}  // namespace lipsync
