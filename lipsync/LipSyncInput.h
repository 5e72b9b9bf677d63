// Fills a lipsync::WindowInput from the speech analysis of one window. Header-only, so that
// speech/ stays unaware of lip sync and every caller copies the same fields.
#pragma once
#include <algorithm>

#include "lipsync/LipSync.h"
#include "speech/QspRecorder.h"

namespace lipsync {

// analyser: right after its handleNew; points: the 30 doubles handleNew wrote; faps: the 76
// entries pixels2FAPs made of them; index: the window's number.
inline void fillWindowInput(const QspRecorder& analyser, const double* points, const int* faps,
                            long long index, WindowInput& in) {
  in.index = index;
  in.level = analyser.level;
  in.vol = analyser.volume();
  std::copy(analyser.cepstra, analyser.cepstra + 16, in.cepstra);
  std::copy(analyser.netOut, analyser.netOut + 6, in.scores);
  std::copy(points, points + 30, in.points);
  std::copy(faps, faps + 76, in.faps);
}

}  // namespace lipsync
