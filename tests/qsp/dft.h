// Independent references for the transform tests: direct O(N^2) sums in long double,
// bit reversal by definition, and seeded random signals.
#pragma once
#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace qsptest {

using cplx = std::complex<long double>;

inline int log2i(int n) {
  int b = 0;
  while ((1 << b) < n) ++b;
  return b;
}

inline int rev(int k, int bits) {
  int r = 0;
  for (int b = 0; b < bits; ++b) r |= ((k >> b) & 1) << (bits - 1 - b);
  return r;
}

// X[k] = sum_j z[j] e^{-2 pi i jk/n}; the exponent is reduced mod n before the cosine.
inline std::vector<cplx> directDFT(const std::vector<cplx>& z) {
  const int n = static_cast<int>(z.size());
  const long double pi = 3.141592653589793238462643383279502884L;
  std::vector<cplx> tw(n);
  for (int m = 0; m < n; ++m) tw[m] = cplx(std::cos(2 * pi * m / n), -std::sin(2 * pi * m / n));
  std::vector<cplx> out(n);
  for (int k = 0; k < n; ++k) {
    cplx s = 0;
    for (int j = 0; j < n; ++j) s += z[j] * tw[(static_cast<long>(j) * k) % n];
    out[k] = s;
  }
  return out;
}

// Uniform values in [-1, 1), the same sequence for the same seed.
inline std::vector<double> randomSignal(int count, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  std::vector<double> v(count);
  for (double& s : v) s = dist(gen);
  return v;
}

// Error allowed against the direct sum for unit-range inputs: radix-2 rounding grows
// with log2 n stages on values of size sqrt(n).
inline double fftTolerance(int n) {
  return 4e-16 * std::sqrt(static_cast<double>(n)) * (log2i(n) + 2) * 4;
}

}  // namespace qsptest
