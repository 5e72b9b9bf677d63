// A plain, loop-by-loop transcription of the toolkit's arithmetic, used to prove that
// the library (whatever its loop structure or vector width) rounds exactly the same
// way: every product and sum in the same order, compared bit for bit.
#pragma once
#include <utility>

#include "qsp/qspSimd.h"

namespace qspref {

// Selects the vector or the portable loops for one scope and restores the previous
// choice on leaving it, also when a failed ASSERT leaves early.
class VectorPathScope {
 public:
  explicit VectorPathScope(bool vector) : had_(qspVectorKernels()) { qspSetVectorKernels(vector); }
  ~VectorPathScope() { qspSetVectorKernels(had_); }
  VectorPathScope(const VectorPathScope&) = delete;
  VectorPathScope& operator=(const VectorPathScope&) = delete;

 private:
  bool had_;
};

inline void cpxFFT(double* x, const double* t, int n) {
  for (int G = 1; 2 * G <= n; G *= 2) {
    const int half = n / (2 * G);
    for (int g = 0; g < G; ++g) {
      const double wr = t[2 * g], wi = t[2 * g + 1];
      for (int a = 2 * half * g; a < 2 * half * g + half; ++a) {
        const int b = a + half;
        const double tr = x[2 * b] * wr + x[2 * b + 1] * wi;
        const double ti = x[2 * b + 1] * wr - x[2 * b] * wi;
        x[2 * b] = x[2 * a] - tr;
        x[2 * b + 1] = x[2 * a + 1] - ti;
        x[2 * a] = x[2 * a] + tr;
        x[2 * a + 1] = x[2 * a + 1] + ti;
      }
    }
  }
}

inline void cpxIFFT(double* x, const double* t, int n) {
  for (int G = n / 2; G >= 1; G /= 2) {
    const int half = n / (2 * G);
    for (int g = 0; g < G; ++g) {
      const double wr = t[2 * g], wi = t[2 * g + 1];
      for (int a = 2 * half * g; a < 2 * half * g + half; ++a) {
        const int b = a + half;
        x[2 * a] = (x[2 * a] + x[2 * b]) * 0.5;
        x[2 * a + 1] = (x[2 * a + 1] + x[2 * b + 1]) * 0.5;
        const double dr = x[2 * a] - x[2 * b];
        const double di = x[2 * a + 1] - x[2 * b + 1];
        x[2 * b] = wr * dr - wi * di;
        x[2 * b + 1] = wr * di + wi * dr;
      }
    }
  }
}

inline void bitrev(double* x, int n) {
  int j = 0;
  for (int i = 1; i <= n - 2; ++i) {
    int bit = n / 2;
    while (j & bit) {
      j &= ~bit;
      bit /= 2;
    }
    j |= bit;
    if (i < j) {
      std::swap(x[2 * i], x[2 * j]);
      std::swap(x[2 * i + 1], x[2 * j + 1]);
    }
  }
}

inline void fft2real(double* x, const double* t, int n) {
  const double old1 = x[1];
  x[0] = x[0] + x[1];
  x[1] = x[0] - 2 * old1;
  x[3] = -x[3];
  for (int B = 2; B <= n / 2; B *= 2) {
    int q = 2 * B - 1;
    for (int p = B; p < 3 * B / 2; ++p, --q) {
      const double wr = t[2 * p], wi = t[2 * p + 1];
      const double sr = (x[2 * p] + x[2 * q]) * 0.5;
      const double si = (x[2 * p + 1] + x[2 * q + 1]) * 0.5;
      const double dr = sr - x[2 * q];
      const double di = si - x[2 * q + 1];
      const double v = -(wr * dr + wi * si);
      const double u = wr * si - wi * dr;
      x[2 * p] = sr + u;
      x[2 * p + 1] = v + di;
      x[2 * q] = sr - u;
      x[2 * q + 1] = v - di;
    }
  }
}

inline void real2fft(double* x, const double* t, int n) {
  const double old1 = x[1];
  x[0] = (x[0] + x[1]) * 0.5;
  x[1] = x[0] - old1;
  x[3] = -x[3];
  for (int B = 2; B <= n / 2; B *= 2) {
    int q = 2 * B - 1;
    for (int p = B; p < 3 * B / 2; ++p, --q) {
      const double wr = t[2 * p], wi = t[2 * p + 1];
      const double sr = (x[2 * p] + x[2 * q]) * 0.5;
      const double si = (x[2 * p + 1] + x[2 * q + 1]) * 0.5;
      const double dr = sr - x[2 * q];
      const double di = si - x[2 * q + 1];
      const double v = wr * dr - wi * si;
      const double u = wr * si + wi * dr;
      x[2 * p] = sr - u;
      x[2 * p + 1] = v + di;
      x[2 * q] = sr + u;
      x[2 * q + 1] = v - di;
    }
  }
}

inline void realFFT(double* x, const double* t, int N) {
  cpxFFT(x, t, N / 2);
  fft2real(x, t, N / 2);
  bitrev(x, N / 2);
  x[1] = 0.0;
}

}  // namespace qspref
