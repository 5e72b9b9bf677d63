// Real-signal transforms, window and cosine transform on one owned twiddle table.
// Arrays are the caller's, worked on in place; no call allocates. One object per thread
// (the calls only read `costable`, so sharing one between threads is also safe). Sizes
// outside the stated ranges, or not powers of two, abort with a message on standard
// error: they are programming errors, and going on would write outside the arrays.
#pragma once

class qspFFT_c {
 public:
  qspFFT_c();  // allocates and fills costable (4096 doubles)
  ~qspFFT_c();
  qspFFT_c(const qspFFT_c&) = delete;
  qspFFT_c& operator=(const qspFFT_c&) = delete;

  // Forward real FFT of N samples (4..4096), in place, natural order:
  // x[0] = X[0], x[1] = 0.0, then (Re X[k], Im X[k]) for k = 1..N/2-1.
  void RealFFT(double* x, int N);
  // Forward real FFT, packed (x[1] = X[N/2]) and left in bit-reversed order.
  void RealFFTbitr(double* x, int N);
  // Inverse of the packed spectrum in natural order (x[1] = X[N/2]); includes 1/N.
  void RealIFFT(double* x, int N);
  // Inverse of RealFFTbitr.
  void RealIFFTbitr(double* x, int N);

  // Writes the periodic Hamming window 0.54 - 0.46 cos(2 pi k / N) into w[0..N-1],
  // N a power of two, 2..4096.
  void Hamming(double* w, int N);
  // Type-II cosine transform of x[0..M-1] in place (M = 1..1024, a power of two), not
  // orthonormal; x[0] is scaled by 1/sqrt(2). scratch: caller-owned, 4*M doubles.
  void RealDCT(double* x, double* scratch, int M);

  double* costable = nullptr;
};
