// Mouth cues of the nine cartoon shapes (A closed, B slightly open, C open, D wide open,
// E slightly rounded, F puckered, G f/v, H l, X rest) in the layouts that 2-D lip-sync
// importers read: a cue is a stretch of time with one shape, written when the shape
// changes, not once per window.
//
// Times. Window i stands for the 10.67 ms around its centre, samples [512 i + 256,
// 512 i + 768) at 48000 Hz; the first window also for the time before it, the last for the
// time after it up to the end of the recording. So the cues cover the recording from 0 to
// its end without a gap, each cue ending where the next starts.
//
// Flicker. A run of windows shorter than kMinCueSamples (50 ms, a little more than a
// frame at 24 fps) is no cue of its own: its time goes to the shape that follows (the
// mouth moves a little early, as animators time it), or, at the very end, to the cue
// before it. Only the whole recording can make a shorter cue.
//
// Layouts (times in seconds with two decimals):
//   cues-tsv   "0.00\tX\n0.27\tB\n...": start and shape per cue, then the end with X
//   cues-json  {"metadata":{"soundFile":"...","duration":2.45},"mouthCues":[
//              {"start":0.00,"end":0.27,"value":"X"},...]}
//   cues-xml   <rhubarbResult><metadata><soundFile>..</soundFile><duration>..</duration>
//              </metadata><mouthCues><mouthCue start="0.00" end="0.27">X</mouthCue>...
//   cues-dat   "MohoSwitch1", then "frame shape" lines: frames counted from 1 at --fps, a
//              line at the first frame a cue shows (frame k shows the time (k - 1) / fps;
//              a cue that no frame shows has no line), and the frame after the end with X
#pragma once

#include <memory>
#include <string>

#include "export/Export.h"

// [start, end) in samples at 48000 Hz, and the shape.
struct MouthCue {
  long long start = 0, end = 0;
  char shape = 'X';
};

inline constexpr long long kMinCueSamples = 2400;  // 50 ms at 48000 Hz
inline constexpr char kAllShapes[] = "ABCDEFGHX";

// True for a shape set that can be asked for: A to F each once, and any of G, H, X.
bool validShapeSet(const std::string& shapes);

// The shapes of the windows in, the cues out, one cue held back at a time.
class CueTrack {
 public:
  // shapes: a valid shape set; the shapes not in it become X -> A, G -> B, H -> C.
  explicit CueTrack(const std::string& shapes = kAllShapes);

  // The shape of window `index` (0, 1, 2, ... in order). True with *done set when that
  // completed a cue.
  bool add(long long index, char shape, MouthCue* done);
  // The recording ended after `samples` samples: the last cues (0 to 2) into done[],
  // returns how many. With no window at all, one rest cue over the whole recording.
  int finish(long long samples, MouthCue done[2]);

 private:
  char map_[128];
  bool started_ = false, holding_ = false;
  MouthCue held_;  // complete, waiting in case the cue after it is absorbed into it
  MouthCue cur_;   // the cue being extended (end unknown)
};

enum class CueFormat { kTsv, kJson, kXml, kDat };

// The writer of one layout. soundFile: the input as named on the command line (json, xml);
// shapes: a valid shape set; fps: frames per second of cues-dat (24..100).
std::unique_ptr<FrameExport> makeCueExport(CueFormat format, const std::string& soundFile,
                                           const std::string& shapes, int fps,
                                           std::string* problem);
