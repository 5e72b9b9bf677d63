// The articulated animation: the analysed FAPs corrected by the visemes where the eye needs
// it. Each viseme has a target pose (values of the eleven FAPs the speech analysis gives)
// and, per FAP, how far it pulls towards that target:
//
//   viseme  pose                                        pulls
//   sil     the rest shape of a quiet window             every FAP fully: lips closed in
//                                                        pauses, room noise or not
//   PP      lips pressed together, jaw nearly closed      the opening (jaw, both lips) fully
//   FF      lower lip up under the upper teeth            lower lip, jaw; corners a little
//   TH..RR  consonants: the analysed mouth, a little      the opening part way
//           nearer closed
//   aa      jaw open                                     jaw and lower lip
//   E, ih   corners spread, mouth less open (ih)          corners, opening
//   oh, ou  corners drawn in, lips rounded (ou: small)    corners, opening
//
// A viseme acts with min(1, gain * weight), so a confident recogniser reaches the target;
// where several act, their pulls share out at most the whole way. The result follows a
// first-order smoothing of about a window and a half (no popping), and stays inside the box
// of values the head mesh is fitted for. Values in FAP units (ints), arrays indexed by FAP
// number (76 entries, only 3 and 51..60 are touched).
//
// One per voice; one thread at a time; allocates nothing.
#pragma once

#include "lipsync/LipSync.h"

namespace lipsync {

class Articulation {
 public:
  Articulation() { reset(); }

  // A new utterance: the smoothing starts from the next window's value.
  void reset() { started = false; }

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
