// The frame loop of the video tool: a speech recording in, a clip out. Every frame k
// shows time k / fps: the mouth of the analysis window whose centre is nearest that time,
// posed on the head and drawn by the program's drawing code (FrameDrawer), then handed
// to the sink with the sound read so far. Nothing is collected: memory stays the same
// whatever the length.
#pragma once

#include <atomic>
#include <string>

#include "video/drawer.h"

struct RenderJob {
  std::string input;   // the speech recording
  std::string output;  // clip.mp4, or a PNG pattern such as frames/%05d.png
  int fps = 30;
  int width = 720, height = 720;
  View view = View::live;
  Mode mode = Mode::poly;
  bool progress = false;
};

// Wall-clock seconds per stage of a render, for the benchmark and --stats.
struct RenderFigures {
  long frames = 0;
  double clipSeconds = 0.0;  // length of the sound
  double analysis = 0.0;     // reading and analysing the recording
  double drawing = 0.0;      // posing, drawing and reading back the pictures
  double conversion = 0.0;   // pictures to the encoder's pixel format
  double encoding = 0.0;     // encoding (sound and pictures) and writing
  double total = 0.0;
};

// Set (from a signal handler) to stop a render early; it then leaves nothing behind.
extern std::atomic<bool> renderStop;

// Renders `job`. True when the output is complete under its final name(s); otherwise
// false, `problem` holds one line and nothing of the output is left on disk.
bool render(const RenderJob& job, RenderFigures& figures, std::string& problem);
