// The viseme recogniser: from what the speech analysis computes for each window (the 16
// coefficients, the level, the six gated shape scores, the smoothed lip points) and a few
// windows of context, the weights of the 15 visemes of kVisemeNames. Its constants are
// fitted offline (tools/) and compiled in.
//
// One per voice; one thread at a time. The constructor sets everything up; push, flush and
// reset allocate nothing.
#pragma once

#include "lipsync/LipSync.h"

namespace lipsync {

class VisemeRecogniser {
 public:
  VisemeRecogniser();
  ~VisemeRecogniser();
  VisemeRecogniser(const VisemeRecogniser&) = delete;
  VisemeRecogniser& operator=(const VisemeRecogniser&) = delete;

  // Forgets the context (a new utterance).
  void reset();

  // Takes window `in` (windows in order). Once window in.index - kLookahead has all the
  // context it needs, writes its kVisemeCount weights (>= 0, summing to 1) to `weights` and
  // returns true; false while the look-ahead is still filling.
  bool push(const WindowInput& in, float* weights);

  // End of input: the weights of the windows still held back, one per call, oldest first;
  // false when none is left.
  bool flush(float* weights);

  struct State;  // private to the implementation

 private:
  State* s;
};

}  // namespace lipsync
