// The frame loop of the video tool: a speech recording (or an MPEG-4 FAP file) in, a clip
// out. Frame k shows time k / fps. From speech, it takes the analysis window whose centre
// is nearest that time (fapWindowForFrame, the FAP file's rule); from a FAP file, the
// file's frame nearest that time. The mouth is posed on the head and drawn by the
// program's drawing code (FrameDrawer), then handed to the sink with the sound read so
// far. Nothing is collected: memory stays the same whatever the length.
//
// A FAP file with its sound: the clip ends with the shorter of the two, and a note says
// so when they differ by a frame of the file or more.
#pragma once

#include <string>
#include <vector>

#include "video/drawer.h"

inline Look lifelikeLook() {
  Look look;
  look.style = Style::lifelike;
  return look;
}

struct RenderJob {
  std::string input;   // a speech recording, or a FAP file (name ending in .fap)
  std::string audio;   // with a FAP file: the sound (optional); also gives the live zoom
  std::string output;  // clip.mp4, clip.webm, clip.gif, or a PNG pattern such as
                       // frames/%05d.png
  int fps = 0;         // 0: 30, or a FAP file's own rate (refused unless a whole 1..240)
  int width = 720, height = 720;
  Look look = lifelikeLook();  // zarvo-render draws the lifelike look unless told otherwise
  bool transparent = false;    // PNG frames with the background transparent
  bool articulate = true;      // the articulated FAPs of the speech; false: the designed ones
  bool progress = false;
};

// Wall-clock seconds per stage of a render, for the benchmark and --stats.
struct RenderFigures {
  long frames = 0;
  int fps = 0;
  double clipSeconds = 0.0;  // length of the clip
  double analysis = 0.0;     // reading and analysing the recording (and the FAP file)
  double drawing = 0.0;      // posing, drawing and reading back the pictures
  double conversion = 0.0;   // pictures to the encoder's pixel format
  double encoding = 0.0;     // encoding (sound and pictures) and writing
  double total = 0.0;
  std::vector<std::string> notes;  // one line each: what the user should hear of a
                                   // finished render (lengths that differed, files removed)
};

// True when `path` names a FAP file rather than a speech recording (its extension).
bool isFapFile(const std::string& path);

// True when `path` names numbered PNG frames rather than a clip file (its extension).
bool isPngPattern(const std::string& path);

// Renders `job`. True when the output is complete under its final name(s); otherwise
// false, `problem` holds one line and nothing of the output is left on disk. It stops so
// too between two frames once stopRequested() (fapfile/StopSignal.h).
bool render(const RenderJob& job, RenderFigures& figures, std::string& problem);
