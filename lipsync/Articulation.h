// The articulated animation: the analysed FAPs corrected by the visemes where the eye needs
// it. Each viseme has a target pose (values of the eleven FAPs the speech analysis gives)
// and, per group of FAPs (the jaw with the lower lip, the corners' width, the upper lip),
// how far it pulls towards that target:
//
//   viseme  pose                                        pulls
//   sil     the rest shape of a quiet window             every group fully
//   PP      the rest shape: lips together                 jaw and upper lip fully, width part
//   FF      lower lip up against the upper teeth         jaw most, upper lip, width a little
//   TH..RR  consonants: the analysed mouth a little       a third of the way; CH and RR
//           nearer closed (CH, RR: rounded)               round the corners more
//   aa      jaw wide open                                jaw fully
//   E, ih   corners spread; ih nearly closed             jaw, width
//   oh, ou  corners drawn in; ou nearly closed           jaw, width
//
// The poses lie on the lines along which the analysis itself moves the FAPs of each group
// over real voices (the lower lip and the corners' height follow the jaw, the upper lip's
// sides follow its middle), so every pose is one the analysis could give and the mesh is
// made for. A viseme acts with min(1, gain * weight); where several act, their pulls share
// out at most the whole way. The vowels pull the jaw group together, towards their poses'
// jaw averaged by their weights. Then the closure: as silence + p/b/m come to outweigh the
// vowels (their share of the two and the five vowels from 0.25 to 0.5, once they reach
// 0.03), the lips go to rest whatever else pulls (a closure is all or nothing to the eye). The
// result follows a first-order smoothing: 0.75 of the way per window while the mouth opens
// or changes, 0.85 (up to all of it for a sure closure) while it closes, as lips shut fast;
// the opening rises by at most 500 FAP units a window.
// It stays inside the box of values the head mesh is fitted for, and inside what the mesh
// holds there (lipsync/MeshGuard.h: no triangle turns over). Values in FAP units
// (ints), arrays indexed by FAP number (76 entries, only 3 and 51..60 are touched).
//
// One per voice; one thread at a time; allocates nothing.
#pragma once

#include "lipsync/LipSync.h"

namespace lipsync {

class Articulation {
 public:
  Articulation() { reset(); }

  // A new utterance: the smoothing starts from the next window's value, exactly as in a new
  // articulation (the last utterance's values would round it differently).
  void reset() {
    started = false;
    for (double& v : value) v = 0.0;
  }

  // faps: the analysed window's 76 FAPs; level: its level; visemes: its kVisemeCount weights.
  // Writes the articulated 76 FAPs to out (every entry; out may not alias faps).
  void apply(const int* faps, double level, const float* visemes, int* out);

 private:
  bool started = false;
  double value[11] = {};
};

// The box of FAP values the articulation keeps to, per FAP of kSpeechFaps' order (3, 51..60).
extern const int kArticulatedLeast[11];
extern const int kArticulatedMost[11];

}  // namespace lipsync
