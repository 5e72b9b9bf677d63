#include "speech/QspRecorder.h"

#include <cmath>

#include "speech/TempFile_beolv.h"
#include "speech/neuro.h"
#include "speech/pca_reconv.h"

namespace {

constexpr int kBands = 16;
constexpr int kScores = 6;
constexpr int kShape = 30;

// Level given to a window of exact digital silence, see the header.
constexpr double kSilentLevel = -100.0;

// Marks a history row that has not been filled yet.
constexpr double kEmpty = -1.0;

}  // namespace

QspRecorder::QspRecorder(AbsRecorder* source_, int historyLength_)
    // qspMFCC_c takes a non-const pointer but only reads the edges during construction.
    : source(source_),
      mfcc(source_->windowsize(), kBands, const_cast<double*>(g_fcs)),
      windowLen(source_->windowsize()),
      cepstra(new double[kBands]),
      frame(new double[windowLen]),
      netOut(new double[kScores]),
      historyLength(historyLength_ > 0 ? historyLength_ : 0),
      history(new double[historyLength][kShape]),
      shape(new double[kShape]) {
  for (int r = 0; r < historyLength; ++r)
    for (int i = 0; i < kShape; ++i) history[r][i] = kEmpty;
}

QspRecorder::~QspRecorder() {
  delete[] shape;
  delete[] history;
  delete[] netOut;
  delete[] frame;
  delete[] cepstra;
}

bool QspRecorder::isNew() { return source->isNew(); }

void QspRecorder::handleNew(double* out) {
  if (!source->isNew()) return;
  source->handleNew(frame);

  // Level from the raw samples, before any window.
  double energy = 0.0;
  for (int i = 0; i < windowLen; ++i) energy += frame[i] * frame[i];
  if (!std::isfinite(energy)) {
    // A NaN or infinite sample: nothing in this window can be trusted, and a NaN
    // must never reach the FAP conversion or the mesh.
    for (int i = 0; i < windowLen; ++i) frame[i] = 0.0;
    energy = 0.0;
  }
  level = energy > 0.0 ? 20.0 * std::log10(energy) + 100.0 : kSilentLevel;

  mfcc.GetMFCC(frame, cepstra);
  for (int i = 0; i < kBands; ++i) cepstra[i] = cepstra[i] * 10.0;
  vol = static_cast<int>(level);
  neuro(cepstra, netOut);

  // Level gate: loud windows pass, middling ones are scaled by level/200 (0.25 up to
  // just under 0.5), quiet ones give the rest shape.
  if (vol <= 99)
    for (int i = 0; i < kScores; ++i) netOut[i] = (level / 200.0) * netOut[i];
  if (vol <= 49)
    for (int i = 0; i < kScores; ++i) netOut[i] = netOut[i] * 0.0;
  // Finite samples far beyond the float range can overflow the spectrum; whatever the
  // network makes of that, the shape stays at rest.
  for (int i = 0; i < kScores; ++i)
    if (std::isnan(netOut[i])) netOut[i] = 0.0;

  pca_reconv(netOut, shape);

  // Until the oldest row is filled, pass the shape through unsmoothed.
  if (historyLength == 0 || history[historyLength - 1][0] == kEmpty) {
    for (int i = 0; i < kShape; ++i) out[i] = shape[i];
  } else {
    for (int i = 0; i < kShape; ++i) {
      double s = shape[i];
      for (int r = 0; r < historyLength; ++r) s += history[r][i];
      out[i] = s / (historyLength + 1);
    }
  }

  for (int r = historyLength - 1; r > 0; --r)
    for (int i = 0; i < kShape; ++i) history[r][i] = history[r - 1][i];
  if (historyLength > 0)
    for (int i = 0; i < kShape; ++i) history[0][i] = shape[i];
}
