#include "qsp/qspMFCC.h"

#include "qsp/qspCheck.h"
#include "qsp/qspFFT.h"
#include "qsp/qspLog.h"
#include "qsp/qspSimd.h"

void triangband_c::Reset(double lo, double centre, double hi, int scale, double gain) {
  lo = lo * scale;
  centre = centre * scale;
  hi = hi * scale;
  // A bin exactly on the low edge has weight 0 and is left out; one exactly on the
  // centre stays in the rising half with weight 1.
  first = static_cast<int>(lo) + 1;
  mid = static_cast<int>(centre) + 1;
  end = static_cast<int>(hi) + 1;
  upSlope = 1.0 / (centre - lo);
  downSlope = 1.0 / (centre - hi);
  upStart = (first - lo) * upSlope;
  downStart = (mid - hi) * downSlope;
  // Width in bins times scale: the bands are normalised by that product, so wider
  // (higher) bands are damped more than by their width alone.
  norm = gain / ((hi - lo) * scale);
}

double triangband_c::DotProduct(double* spectrum) {
  // The weights advance by repeated addition; recomputing them per bin would round
  // differently.
  double s = 0.0;
  double w = upStart;
  for (int j = first; j < mid; ++j) {
    s += spectrum[j] * w;
    w += upSlope;
  }
  w = downStart;
  for (int j = mid; j < end; ++j) {
    s += spectrum[j] * w;
    w += downSlope;
  }
  return norm * s;
}

namespace {

[[noreturn]] void badEdges(int band) {
  qspFault("qspMFCC_c", "edges out of order or outside the spectrum at band", band);
}

void releaseBuffers(qspMFCC_c& m) {
  delete m.fft;
  delete m.log;
  delete[] m.window;
  delete[] m.dctScratch;
  delete[] m.bands;
  m.fft = nullptr;
  m.log = nullptr;
  m.window = nullptr;
  m.dctScratch = nullptr;
  m.bands = nullptr;
}

}  // namespace

qspMFCC_c::qspMFCC_c(int frameLen, int numBands, double* edges)
    : frameLen(frameLen), numBands(numBands) {
  qspCheckSize("qspMFCC_c frame length", frameLen, 4, 4096);
  // The cosine transform runs as a real FFT of 4 * numBands points.
  qspCheckSize("qspMFCC_c band count", numBands, 1, 1024);
  // Every band must lie inside the log spectrum, bins 0 .. N/2-1, with rising edges;
  // anything else would read outside the frame or give infinite slopes. Written so
  // that NaN edges fail too. (N/2 is a power of two, so the last band ends below bin
  // N/2 exactly when its high edge is below 1.0.)
  const int half = frameLen / 2;
  if (!(edges[0] >= 0.0)) badEdges(0);
  for (int k = 0; k <= numBands; ++k)
    if (!(edges[k] < edges[k + 1])) badEdges(k);
  if (!(edges[numBands + 1] < 1.0)) badEdges(numBands - 1);

  try {
    fft = new qspFFT_c;
    log = new qspLog_c;
    window = new double[frameLen];
    fft->Hamming(window, frameLen);
    bands = new triangband_c[numBands];
    for (int k = 0; k < numBands; ++k)
      bands[k].Reset(edges[k], edges[k + 1], edges[k + 2], half, 1.0);
    dctScratch = new double[4 * numBands];
  } catch (...) {
    // Whatever was allocated before the failure goes back before the caller sees it.
    releaseBuffers(*this);
    throw;
  }
}

qspMFCC_c::~qspMFCC_c() { releaseBuffers(*this); }

namespace {

#ifdef QSP_HAVE_AVX2_PATH
// frame[i] * window[i], four at a time: the same products.
__attribute__((target("avx2"))) void applyWindowAvx2(double* frame, const double* window, int n) {
  for (int i = 0; i < n; i += 4)
    _mm256_storeu_pd(frame + i,
                     _mm256_mul_pd(_mm256_loadu_pd(frame + i), _mm256_loadu_pd(window + i)));
}
#endif

void applyWindow(double* frame, const double* window, int n) {
#ifdef QSP_HAVE_AVX2_PATH
  if (qspVectorKernels()) {
    applyWindowAvx2(frame, window, n);  // n is a power of two >= 4
    return;
  }
#endif
  for (int i = 0; i < n; ++i) frame[i] = frame[i] * window[i];
}

}  // namespace

// The bands weight the log power, not the power: log first, then the triangle sums.
void qspMFCC_c::GetMFCC(double* frame, double* out) {
  applyWindow(frame, window, frameLen);
  fft->RealFFT(frame, frameLen);
  log->CpxAbsLog2(frame, frame, frameLen / 2);
  for (int k = 0; k < numBands; ++k) out[k] = bands[k].DotProduct(frame);
  fft->RealDCT(out, dctScratch, numBands);
}
