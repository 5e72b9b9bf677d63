// Draws video frames of the head with the program's own drawing code (render/) on the
// offscreen backend: with the axes and on white, the same pixels the window shows for the
// same viewer state.
//
// One drawer per process: it owns the offscreen window system, one window of the frame's
// size and its OpenGL context, and it sets the program-wide viewer state (rotation, pan,
// zoom, light, mode) for every frame. The mesh must be loaded with its weights computed
// (modellbetolt, model/modellbeolv.h). Everything runs on the calling thread.
#pragma once

#include <optional>
#include <string>

#include "platform/offscreen.h"

// Where the camera stands (--camera).
enum class View {
  live,     // the live mode's framing: raised 42 units, turned 20 degrees about x, zoom
            // from the loudness of the window shown; in the lifelike look its framing of
            // the whole face (lifelike::portrait)
  front,    // the whole head as the program starts: no pan, no turn, zoom 0.7
  turned,   // as front, the head turned 45 degrees to its right about the middle of the skull
  profile,  // as front, turned 90 degrees: the head's left side
};

// The drawing modes of the viewer's "Nézet" menu.
enum class Mode { points, wire, poly, smooth };

// designed: the program's drawing as it is; lifelike: the polygon models in the lifelike
// look (lifelike/look.h), with blinks, sway and nods from the frame's time and loudness.
enum class Style { designed, lifelike };

// How every frame of a clip looks.
struct Look {
  View view = View::live;
  Mode mode = Mode::poly;
  Style style = Style::designed;
  double zoom = 1.0;           // magnification over the view's own framing, > 0
  std::optional<double> tilt;  // degrees about the screen's x axis instead of the view's
                               // own (live 20, the others 0); positive shows more of the top
  bool axes = false;           // the viewer's coordinate axes and rotation marker
  float background[3] = {1.0f, 1.0f, 1.0f};  // red, green, blue in [0, 1]; the viewer's white
};

class FrameDrawer {
 public:
  // width, height: the frame in pixels (1..4096 each). The head is drawn in the centred
  // square of the shorter side (the window's viewport is square too); the rest is the
  // background. On failure ok() is false and problem() says why.
  FrameDrawer(int width, int height, const Look& look);
  ~FrameDrawer();
  FrameDrawer(const FrameDrawer&) = delete;
  FrameDrawer& operator=(const FrameDrawer&) = delete;

  bool ok() const { return ok_; }
  const std::string& problem() const { return problem_; }

  // Poses the mouth from faps (76 entries indexed by FAP number, as pixels2FAPs gives; a
  // pose the mesh cannot take is drawn held, lipsync::heldFaps),
  // sets the view (volume: the shown window's level, used by View::live), draws one frame,
  // shows it and takes the pose back. The result is the picture shown: width x height
  // RGBA, rows from the top, alpha 255 where the head is drawn and 0 on the background; it
  // stays valid until the next call. `seconds`: the frame's time in the clip, which the
  // lifelike look's life follows (frames in increasing time).
  const offscreen::Image& draw(const int* faps, int volume, double seconds = 0.0);

  // The part of draw() that only waits for the picture and copies it into the image
  // draw() returns, without drawing anything new: the read-back alone, for timing.
  const offscreen::Image& readBack();

 private:
  void frame(double pivotZ);
  int width_, height_;
  Look look_;
  bool ok_ = false;
  std::string problem_;
  HWND window_ = nullptr;
};
