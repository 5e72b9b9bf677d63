// Life between words: blinks, a slow idle sway of the head and a small nod on stressed
// syllables, as a pure function of time and loudness. Driven once per shown frame by the
// modes beyond the designed run (continuous mode, playback, the video tool); the same seed,
// frame times and levels give the same motion, so a video is reproducible.
//
// No GL, no allocation after construction. One instance per mode run, on the window thread
// (the video tool: its own thread).
#pragma once

#include <cstdint>

namespace lifelike {

// What a frame shows of life: how far the upper lids are closed, and the head's turn about
// its neck, degrees (pitch > 0 tips the face down, yaw > 0 turns it to the face's left,
// roll > 0 tilts it towards the face's right shoulder).
struct LifePose {
  double lids = 0.0;  // 0 open .. 1 closed (the lids meet)
  double pitch = 0.0, yaw = 0.0, roll = 0.0;
};

class Life {
 public:
  static constexpr uint64_t kSeed = 0x5a6172766fULL;

  explicit Life(uint64_t seed = kSeed);

  // The pose of a frame shown at `seconds` (from any origin; frames in increasing time,
  // any spacing) for a window of level `volume` (the analysis' level: -100 and below is
  // silence). A blink that reaches its closed phase shows it closed in at least the first
  // frame after, however far apart the frames are; it stays closed for kClosed seconds.
  const LifePose& step(double seconds, int volume);

  int blinks() const { return blinkCount; }  // blinks begun so far
  int nods() const { return nodCount; }      // nods begun so far

  // Blink shape, seconds: the lids close in kClosing, stay closed kClosed from the first
  // closed frame, and open in kOpening; blinks begin 2 to 6 s apart, a sixth of them
  // followed by a second one kDoubleGap after.
  static constexpr double kClosing = 0.05, kClosed = 0.02, kOpening = 0.08;  // 150 ms
  static constexpr double kMinGap = 2.0, kMaxGap = 6.0, kDoubleGap = 0.12;

 private:
  double uniform();  // [0, 1)
  void scheduleBlink(double after);

  uint64_t state;
  LifePose pose;
  bool started = false;
  double start = 0.0, last = 0.0;
  // blink
  enum class Phase { open, closing, closed, opening } phase = Phase::open;
  double nextBlink = 0.0, phaseStart = 0.0;
  bool secondPending = false;
  int blinkCount = 0;
  // sway: three slow sines per axis, phases from the seed
  double phases[9];
  // nod
  double level = -100.0;  // slow mean of the speech level
  double previous = -100.0;
  double nodStart = -1e9, nodSize = 0.0;
  int nodCount = 0;
};

}  // namespace lifelike
