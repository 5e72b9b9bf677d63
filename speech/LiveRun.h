// What the live mode leaves behind besides the picture: the program's log stream, the
// figures of the last run, and an optional observer of every frame it shows (tests and
// the latency benchmark). All of it belongs to the window thread.
#pragma once
#include <cstdint>
#include <fstream>

// "log.txt" in the working directory, opened (and so emptied) by static initialisation,
// closed by static destruction. Each live run writes three flushed full stops and nothing
// else; if the file cannot be created the stream stays failed and the writes are dropped.
extern std::ofstream flog;

struct LiveRunFigures {
  int polls = 0;           // polls made (1000 per run)
  int windows = 0;         // windows analysed, each drawn as one frame
  int skippedWindows = 0;  // windows the recorder passed over because the loop fell behind
  int lastVolume = 0;      // volume() of the last analysed window (valid if windows > 0)
};
// Figures of the most recent completed run; all zero before the first.
extern LiveRunFigures lastLiveRun;

// One frame of the live mode, reported right after it was shown (buffers swapped) and
// before the mouth pose is taken back.
struct LiveFrame {
  int window;              // 0 for the first window of the run
  int32_t endFrame;        // absolute frame just past the window (recorder clock)
  int32_t framesRecorded;  // frames the callback had delivered when the window was taken
  int64_t bufferNs;        // steady_clock ns when the callback finished its latest buffer
  int volume;              // the window's level as an int
  double d;                // zoom the frame was drawn with
};
// Called once per frame shown when not null; must return quickly. When framesRecorded
// equals endFrame, bufferNs is the time the window became complete.
extern void (*liveFrameShown)(const LiveFrame& frame);

// How a window's FAPs (76 entries by FAP number) are drawn, when not null: it writes the pose
// to draw into `drawn` and leaves `faps` alone. The run still reports and keeps the FAPs it
// computed; only the picture changes. The program sets it so that a voice reaching a pose
// the mesh cannot take is drawn as near as the mesh holds; null draws the FAPs as they are.
extern void (*liveFapsDrawn)(const int* faps, int* drawn);
