// The analysis of the live modes beyond the designed run: one libzarvo stream at 48 kHz
// (the library every program analyses through), giving the FAPs the "&Artikuláció" item
// asks for, switched at once while a mode runs. Frames wait here, each with the mode's own
// sample number of its window's end, until the mode draws them. Window thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "sending/outlets.h"
#include "zarvo/zarvo.h"

namespace live {

// Where the modes send what they draw (zarvo --vmc, --osc); null: nowhere. Set by main
// before the window exists, not owned.
extern sending::Outlets* outlets;

// One analysed window as a mode draws it.
struct Frame {
  int faps[76];     // indexed by FAP number: 3 and 51..60 set
  int volume;       // vol, the zoom's input
  int64_t end;      // the mode's 48 kHz sample just past the window
  zarvo_frame all;  // the library's frame, every output when sent (outlets), else the FAPs
};

// Sends the frame a mode has just drawn to the outlets, when there are any. Window thread.
void sendDrawn(const Frame& f);

class Analysis {
 public:
  // Allocates the stream and room for kFrames frames; ok() false when the library cannot.
  // With outlets every output is analysed, and the designed FAPs then wait for the
  // recogniser's look-ahead, if it has one (none today).
  Analysis();
  ~Analysis();
  Analysis(const Analysis&) = delete;
  Analysis& operator=(const Analysis&) = delete;

  bool ok() const { return stream != nullptr; }

  // Samples following those pushed before; `end` is the mode's number of the sample just
  // past the last of them. Frames that became ready are taken in at once.
  void push(const float* samples, long n, int64_t end);
  // The end of the input: the frames the look-ahead held become ready.
  void finish();

  // The oldest frame waiting, or null.
  const Frame* front() const { return waiting > 0 ? &frames[first] : nullptr; }
  // Takes the oldest frame into f; false when none waits.
  bool next(Frame& f);
  // The newest frame whose window has been heard by 48 kHz sample `heard` (its last sample
  // at or before it); the older ones due are passed over and counted in *passed. False when
  // none is due.
  bool due(int64_t heard, Frame& f, int* passed);
  // Frames dropped because more than kFrames waited (a mode that stopped drawing).
  int dropped() const { return lost; }

  static constexpr int kFrames = 256;

 private:
  void take();  // every frame the stream has ready

  zarvo_stream* stream = nullptr;
  int64_t pushed = 0;
  int64_t ends[64] = {};  // the mode's end of stream window j, at j % 64
  std::vector<Frame> frames;
  int first = 0, waiting = 0, lost = 0;
  zarvo_frame frame{};
};

}  // namespace live
