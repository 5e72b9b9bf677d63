// What the continuous mode and the playback share: the running/stop state behind
// eloModFut/eloModLeallit, serving the window between frames, waiting without spinning, and
// the framing of the head that the user's view commands keep adjusting. Window thread only.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32.h"

namespace live {

// Figures of the last mode that ran, for the tests and the measuring tools.
struct ModeFigures {
  int windows = 0;         // analysed windows drawn as frames
  int skippedWindows = 0;  // windows lost because the loop fell behind
  int inputOverflows = 0;  // callbacks that reported lost input
  int messages = 0;        // window messages served between frames
  int waits = 0;           // sleeps until a window was due or a message came
  std::string ended;       // why the stream died; empty when stopped by the user or the end
};
extern ModeFigures lastMode;

// One frame shown by a mode, reported right after the buffer swap, before the pose is taken
// back (tests and tools; must return quickly). `index` counts from 0 per mode run; `end` is
// the absolute 48 kHz sample just past the frame's window; `shownNs` the steady clock.
struct ModeFrame {
  int index;
  int64_t end;
  int volume;
  int64_t shownNs;
};
extern void (*modeFrameShown)(const ModeFrame& frame);

// The running state: Session's constructor marks a mode running (the menu item of `check`,
// when not 0, checked) and its destructor ends it.
class Session {
 public:
  Session(HWND hwnd, UINT check);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Serves every message waiting for the window. False when the mode must end: the user
  // asked, the window is gone, or the quit request came (it is posted again for the main
  // loop).
  bool serve();
  // Sleeps up to `ms` milliseconds, less when a message arrives.
  void wait(int ms);
  bool going() const;

  // The framing the designed run starts from (pan 42 up, turned 20 degrees about x, zoom
  // from the loudness), drawn once at rest; the user's turns, pans and zooms persist after.
  void frameStart();
  // Draws one frame of the pose `faps` (76 FAPs) at `volume`, then takes the pose back.
  // The zoom follows the loudness on top of the user's zoom clicks made during the mode.
  void frame(const int* faps, int volume, int64_t end);
  // The head at rest in the current view (the end of a mode).
  void rest();

 private:
  HWND hwnd;
  UINT check;
  double zoomOffset = 0.0;
  double lastZoom = 0.0;
  int frames = 0;
};

// One message box about a failed mode: caption, the text, exclamation icon.
void tell(HWND hwnd, const char* caption, const std::string& text);

}  // namespace live
