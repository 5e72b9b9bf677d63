// Our head speaking as binary glTF 2.0 (.glb), for 3-D tools:
//
//   scene   one node "Zarvo head" with the head mesh; scale animated
//   mesh    the neutral head (347 vertices, 632 triangles, positions in metres: a model
//           unit is taken as a millimetre), one material, and one morph target per FAP the
//           speech moves, named after the FAP ("fap3_open_jaw", ..., "fap60_raise_r_cornerlip")
//   anim.   one animation: per analysis window a key at the window's centre (seconds,
//           LINEAR), its weights channel holding the window's FAP values / kFapsPerWeight and
//           its scale channel the live framing's zoom (1 in digital silence, louder closer)
//
// Why the targets reproduce every frame: the live deformation (FAPmozgat) moves each
// feature point's region by the FAP value times its unit times fixed weights, and the
// moves of the eleven FAPs add up. So the mesh of any frame is the neutral mesh plus the
// sum over the FAPs of value times the move of one FAP unit; target k is the move of
// kFapsPerWeight units of FAP k, measured once by FAPmozgat itself. A weight of 1 is 1000
// FAP units rather than 1 because Blender holds shape-key values within +-10.
//
// Memory: the mesh and its targets (about 50 kB) and two temporary files that the keys go
// to as they come; the header, which holds their count, is written at the end, and then
// the keys are copied out behind it. Memory stays flat however long the input. Keys must
// stay apart in single precision, which holds for recordings up to 2^17 s (36 h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "export/Export.h"
#include "model/valtozok.h"

struct HeadMorphs {
  static constexpr double kMetresPerUnit = 0.001;
  static constexpr double kFapsPerWeight = 1000.0;
  float neutral[kVertexCount * 3];          // x, y, z per vertex, metres
  std::uint16_t triangles[kFaceCount * 3];  // vertex subscripts, the mesh's winding
  // targets[k]: the move of kFapsPerWeight units of FAP zarvo_fap_number(k), metres.
  float targets[ZARVO_FAPS][kVertexCount * 3];
};

// Measures the morphs on the mesh in the model arrays (read, weights computed), through
// FAPmozgat, and leaves the arrays exactly as they were. Uses the program-wide model: call
// on the one thread that owns it, before any other thread starts drawing or deforming.
void measureHeadMorphs(HeadMorphs& m);

// Reads the head (modellbetolt over the program's folders) and measures it. False with
// `problem` set when the mesh cannot be read.
bool loadHeadMorphs(HeadMorphs& m, std::string& problem);

// The zoom of the live framing for a window of volume `vol`, as a scale: 1 at the level of
// digital silence, 1.05 at the loudest a float source reaches (level 160).
float headScale(int vol);

// The writer. morphs: not owned, unchanged while the writer lives (writers on several
// threads may share one). name: the animation's name.
std::unique_ptr<FrameExport> makeGltfExport(const HeadMorphs& morphs, const std::string& name,
                                            std::string* problem);
