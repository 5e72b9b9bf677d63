// Frame analysis: turns each new window of an AbsRecorder into one smoothed lip shape
// (15 points in pixels) and a loudness figure. Runs on the thread that polls it (the
// window thread in live mode); owns its buffers, not the recorder.
//
// Per window: energy level, 16 MFCCs scaled by 10, the fixed network (six scores), a
// level gate (quiet windows give the rest shape), the shape reconstruction, and a moving
// average over the current and the last historyLength shapes.
//
// A window of exact digital silence (energy 0) has no logarithm; it is given level -100
// and vol -100: quiet, so it is gated to the rest shape, and in live mode its zoom is
// (200 + 100) / 10000 + 0.5 = 0.53, beside the 0.52 of a near-silent room, so pauses
// in the audio do not make the head jump. Every window with non-zero energy keeps its
// exact level. A window holding a NaN or infinite sample is analysed as digital silence.
// Hence level and vol are always finite, vol lies in [-1694, 6265] (200 - vol cannot
// overflow), and every output value is finite.
#pragma once
#include "qsp/qspMFCC.h"
#include "speech/AbsRecorder.h"

class QspRecorder {
 public:
  // source: not owned, must outlive this object; its windowsize() must be a power of
  // two, 4..4096. historyLength: past shapes averaged in (3 in live mode; 0 or less
  // turns smoothing off). Allocates every buffer the analysis will ever use.
  QspRecorder(AbsRecorder* source, int historyLength);
  ~QspRecorder();
  QspRecorder(const QspRecorder&) = delete;
  QspRecorder& operator=(const QspRecorder&) = delete;

  bool isNew();  // source->isNew()

  // Analyses the source's next window and writes 30 doubles (15 points, pixels, entry
  // 2p horizontal, 2p+1 vertical) into the caller's out[0..29]. If the source has no
  // new window, out and all state are left untouched. Allocates nothing.
  void handleNew(double* out);

  int volume() const { return vol; }  // vol of the last analysed window

  AbsRecorder* source;
  qspMFCC_c mfcc;  // frames of source->windowsize() samples, 16 bands, g_fcs
  int windowLen;
  double* cepstra;     // 16: MFCCs of the current window, times 10
  double* frame;       // windowLen: the current window, then MFCC work space
  double level = 0.0;  // 20 log10(sum of squared samples) + 100
  double* netOut;      // 6: network output, then gated
  int vol = 0;         // level truncated toward zero
  int historyLength;
  double (*history)[30];  // historyLength rows, row 0 the most recent; -1.0 = empty
  double* shape;          // 30: reconstruction of the current window
};
