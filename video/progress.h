// The progress bar of a render on standard error: frames done, speed as a multiple of
// real time, and the time left when the clip's length is known. Redrawn in place at most
// ten times a second; shown only when standard error is a terminal.
#pragma once

#include <chrono>

class Progress {
 public:
  // clipSeconds: the clip's length, <= 0 when not known. fps: frames per second of video.
  Progress(bool show, double clipSeconds, int fps);
  // frames: frames finished so far.
  void update(long frames);
  // Draws the final state and ends the line.
  void finish(long frames);

 private:
  void draw(long frames);
  bool show_;
  double clipSeconds_;
  int fps_;
  std::chrono::steady_clock::time_point start_, last_;
  bool drawn_ = false;
};
