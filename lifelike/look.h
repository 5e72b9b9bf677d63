// The lifelike look, beyond the designed drawing: the head's surface subdivided each frame
// (rounder outline and cheeks), eyes with lids that blink, teeth that move with the jaw, and
// life between words (lifelike/life.h) in the modes that run beyond the designed one.
//
// Feature table:
//   surface   Loop subdivision, one level, of the posed mesh; normals from the refined
//             surface; the designed 347 vertices and 632 triangles are not touched
//   eyes      eyeballs (sclera, iris, pupil, a catch light) in front of the sockets of
//             vertices 5 and 9, looking at the camera within a natural range; upper and lower
//             lids fixed to the skull that close in a blink
//   teeth     an upper row fixed to the skull and a lower row moved by the jaw (FP 2.1's
//             pivot); both moved by p909move (FP 9.9); placed from the mouth's inner contour
//   life      blinks, idle sway and nods, only while a mode drives lifeStep
//   not       the point and wire models (drawn as designed), the axes and the marker
//
// Placement is derived from the mesh as loaded (meshLoaded), so another head with the same
// numbering gets its eyes and teeth in place. Everything runs on the thread that owns the
// rendering context (the window thread; the video tool's own thread).
#pragma once

#include <array>
#include <vector>

#include "lifelike/life.h"
#include "lifelike/subdivision.h"

namespace lifelike {

// The switch. On: the polygon model is drawn in this look (render's poly() hands its frame
// to lifelike); off: the designed drawing, untouched. Off at start.
void setOn(bool on);
bool isOn();

// Takes the arrays' current mesh as the neutral head: builds the refined surface and places
// eyes and teeth. Call after (re)reading the mesh, before posing it. A frame drawn with no
// neutral head taken, or after the unmoving vertices changed (another mesh), takes the mesh
// it finds as neutral. A mesh whose landmarks are missing (all at the origin) gets no eyes
// and no teeth.
void meshLoaded();

// Life: a mode starts it, steps it once per shown frame (seconds: the frame's time on any
// steady origin; volume: the shown window's level) and stops it at its end, which shows the
// still head again. Without a start the head is still with open eyes.
void lifeStart();
void lifeStep(double seconds, int volume);
void lifeStop();
const LifePose& lifePose();
const Life* life();  // the running mode's life, or nullptr

// The live modes' framing in this look, instead of the designed one (which shows the mouth
// and not the eyes): the whole face from the brow to the chin, seen a little from above,
// the zoom following the loudness as it does there, kPortraitZoom further out.
constexpr double kPortraitToly = 10.0, kPortraitRotx = 8.0, kPortraitZoom = 0.14;
// Sets toly, rotx and d (FAPzoom(volume) + kPortraitZoom) for a window of level `volume`.
void portrait(int volume);

// One whole frame in this look (clear, the view increments as the designed frame applies
// them, lights, head, swap). Called by render's poly() while the look is on.
void frame();
// The head alone in this look, lit, under the current model-view (what frame() draws
// between the view's turn and the swap), for a caller that clears and turns the view itself.
void head();

// ---- for the checker and the tests: geometry in model coordinates, without the head's
// turn (the turn is rigid and moves everything alike) ----

using Triangle = std::array<std::array<double, 3>, 3>;
// The teeth of the current pose (jaw from the arrays, p909move), counter-clockwise seen from
// outside the tooth. Empty when no neutral head is placed.
void teethTriangles(std::vector<Triangle>& out);
// The refined surface of the current arrays.
const LoopSurface& surface();
// The neutral head's eyeball centres (face's left, right) and radius; radius 0 when none.
struct EyePlacement {
  std::array<double, 3> centre[2];
  double radius = 0.0;
};
EyePlacement eyes();

}  // namespace lifelike
