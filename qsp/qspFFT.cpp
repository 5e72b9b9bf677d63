#include "qsp/qspFFT.h"

#include <cstring>

#include "qsp/qspCheck.h"
#include "qsp/qspCostable.h"
#include "qsp/qspFFTcore.h"

qspFFT_c::qspFFT_c() {
  costable = new double[qspCostableSize];
  qspFillCostable(costable);
}

qspFFT_c::~qspFFT_c() { delete[] costable; }

void qspFFT_c::RealFFT(double* x, int N) {
  qspCheckSize("RealFFT", N, 4, 4096);
  RealFFTbitr(x, N);
  qspCpxBitrev(x, N / 2);
  // Natural-order callers read x[0..1] as the complex bin 0, whose imaginary part is 0.
  x[1] = 0.0;
}

void qspFFT_c::RealFFTbitr(double* x, int N) {
  qspCheckSize("RealFFTbitr", N, 4, 4096);
  qspCpxFFT(x, costable, N / 2);
  qspCpxFFT2Real(x, costable, N / 2);
}

void qspFFT_c::RealIFFT(double* x, int N) {
  qspCheckSize("RealIFFT", N, 4, 4096);
  qspCpxBitrev(x, N / 2);
  RealIFFTbitr(x, N);
}

void qspFFT_c::RealIFFTbitr(double* x, int N) {
  qspCheckSize("RealIFFTbitr", N, 4, 4096);
  qspRealFFT2Cpx(x, costable, N / 2);
  qspCpxIFFT(x, costable, N / 2);
}

// The first N/2 table pairs, brought to natural order, are e^{2 pi i k/N}: the window
// needs no cosine call and matches the transforms' own twiddles.
void qspFFT_c::Hamming(double* w, int N) {
  qspCheckSize("Hamming", N, 2, 4096);
  std::memcpy(w, costable, sizeof(double) * N);
  qspCpxBitrev(w, N / 2);
  // Ascending k reads the cosine at w[2k] before anything writes there (2k >= k).
  for (int k = 0; k < N / 2; ++k) w[k] = 0.54 - 0.46 * w[2 * k];
  for (int k = 1; k < N / 2; ++k) w[N - k] = w[k];
  w[N / 2] = 1.0;
}

// Placing x[k] at odd position 2k+1 of a zero signal of length 4M turns bin m of its
// real FFT into sum_k x[k] e^{-i pi m (2k+1)/(2M)}, whose real part is the type-II
// cosine sum.
void qspFFT_c::RealDCT(double* x, double* scratch, int M) {
  qspCheckSize("RealDCT", M, 1, 1024);
  std::memset(scratch, 0, sizeof(double) * 4 * M);
  for (int k = 0; k < M; ++k) scratch[2 * k + 1] = x[k];
  RealFFT(scratch, 4 * M);
  for (int m = 0; m < M; ++m) x[m] = scratch[2 * m];
  x[0] = x[0] * 0.7071067811865476;
}
