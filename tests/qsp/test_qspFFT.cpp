#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "qsp/qspFFT.h"
#include "qsp/qspFFTcore.h"
#include "tests/qsp/dft.h"
#include "tests/qsp/reference.h"

namespace {

using qsptest::cplx;
using qsptest::log2i;
using qsptest::rev;

// The spectrum of N real samples from the direct sum, bins 0..N/2.
std::vector<cplx> realSpectrum(const std::vector<double>& x) {
  std::vector<cplx> z(x.begin(), x.end());
  std::vector<cplx> X = qsptest::directDFT(z);
  X.resize(x.size() / 2 + 1);
  return X;
}

class RealFFT : public ::testing::Test {
 protected:
  qspFFT_c fft;
};

TEST_F(RealFFT, MatchesDirectDftNaturalOrder) {
  for (int N = 4; N <= 4096; N *= 2) {
    std::vector<double> x = qsptest::randomSignal(N, 600 + N);
    const std::vector<cplx> X = realSpectrum(x);
    fft.RealFFT(x.data(), N);
    const double tol = qsptest::fftTolerance(N);
    ASSERT_NEAR(x[0], static_cast<double>(X[0].real()), tol) << N;
    ASSERT_EQ(x[1], 0.0) << N;
    for (int k = 1; k < N / 2; ++k) {
      ASSERT_NEAR(x[2 * k], static_cast<double>(X[k].real()), tol) << N << " " << k;
      ASSERT_NEAR(x[2 * k + 1], static_cast<double>(X[k].imag()), tol) << N << " " << k;
    }
  }
}

TEST_F(RealFFT, MatchesDirectDftPackedBitReversed) {
  for (int N = 4; N <= 4096; N *= 2) {
    const int n = N / 2;
    std::vector<double> x = qsptest::randomSignal(N, 700 + N);
    const std::vector<cplx> X = realSpectrum(x);
    fft.RealFFTbitr(x.data(), N);
    const double tol = qsptest::fftTolerance(N);
    ASSERT_NEAR(x[0], static_cast<double>(X[0].real()), tol) << N;
    ASSERT_NEAR(x[1], static_cast<double>(X[n].real()), tol) << N;
    for (int p = 1; p < n; ++p) {
      const cplx want = X[rev(p, log2i(n))];
      ASSERT_NEAR(x[2 * p], static_cast<double>(want.real()), tol) << N << " " << p;
      ASSERT_NEAR(x[2 * p + 1], static_cast<double>(want.imag()), tol) << N << " " << p;
    }
  }
}

TEST_F(RealFFT, ImpulseConstantAlternating) {
  for (int N = 4; N <= 4096; N *= 2) {
    std::vector<double> x(N, 0.0);
    x[0] = 1.0;
    fft.RealFFT(x.data(), N);
    for (int k = 0; k < N / 2; ++k) {
      ASSERT_EQ(x[2 * k], 1.0) << N << " " << k;
      ASSERT_EQ(x[2 * k + 1], 0.0) << N << " " << k;
    }

    const double v = 0.375;
    std::vector<double> c(N, v);
    fft.RealFFT(c.data(), N);
    ASSERT_EQ(c[0], N * v) << N;
    for (int i = 1; i < N; ++i) ASSERT_NEAR(c[i], 0.0, 1e-13) << N << " " << i;
    c.assign(N, v);
    fft.RealFFTbitr(c.data(), N);
    ASSERT_EQ(c[0], N * v) << N;
    ASSERT_EQ(c[1], 0.0) << N;

    std::vector<double> a(N);
    for (int i = 0; i < N; ++i) a[i] = (i % 2 == 0) ? v : -v;
    std::vector<double> b = a;
    fft.RealFFTbitr(a.data(), N);
    ASSERT_EQ(a[0], 0.0) << N;
    ASSERT_EQ(a[1], N * v) << N;
    for (int i = 2; i < N; ++i) ASSERT_NEAR(a[i], 0.0, 1e-13) << N << " " << i;
    fft.RealFFT(b.data(), N);
    ASSERT_EQ(b[1], 0.0) << N;
  }
}

TEST_F(RealFFT, InversesGiveBackTheSignal) {
  for (int N = 4; N <= 4096; N *= 2) {
    const std::vector<double> orig = qsptest::randomSignal(N, 800 + N);
    std::vector<double> x = orig;
    fft.RealFFTbitr(x.data(), N);
    fft.RealIFFTbitr(x.data(), N);
    for (int i = 0; i < N; ++i) ASSERT_NEAR(x[i], orig[i], 1e-14) << N << " " << i;

    // RealIFFT takes the packed spectrum in natural order.
    x = orig;
    fft.RealFFTbitr(x.data(), N);
    qspCpxBitrev(x.data(), N / 2);
    fft.RealIFFT(x.data(), N);
    for (int i = 0; i < N; ++i) ASSERT_NEAR(x[i], orig[i], 1e-14) << N << " " << i;

    // RealFFT drops the Nyquist bin; putting it back makes the spectrum invertible.
    x = orig;
    double nyquist = 0.0;
    for (int i = 0; i < N; ++i) nyquist += (i % 2 == 0) ? orig[i] : -orig[i];
    fft.RealFFT(x.data(), N);
    x[1] = nyquist;
    fft.RealIFFT(x.data(), N);
    for (int i = 0; i < N; ++i) ASSERT_NEAR(x[i], orig[i], 1e-14) << N << " " << i;
  }
}

TEST_F(RealFFT, BitIdenticalToTheDefinedArithmetic) {
  for (bool vector : {false, true}) {
    const qspref::VectorPathScope path(vector);
    for (int N = 4; N <= 4096; N *= 2) {
      const std::vector<double> orig = qsptest::randomSignal(N, 900 + N);
      std::vector<double> x = orig, y = orig;
      fft.RealFFT(x.data(), N);
      qspref::realFFT(y.data(), fft.costable, N);
      ASSERT_EQ(0, std::memcmp(x.data(), y.data(), sizeof(double) * N)) << N << vector;
    }
  }
}

TEST(Hamming, SmallSizes) {
  qspFFT_c fft;
  double w2[2];
  fft.Hamming(w2, 2);
  // 0.54 - 0.46 rounds to 0.08000000000000002.
  EXPECT_NEAR(w2[0], 0.08, 1e-9);
  EXPECT_EQ(w2[1], 1.0);
  double w4[4];
  fft.Hamming(w4, 4);
  EXPECT_NEAR(w4[0], 0.08, 1e-9);
  EXPECT_NEAR(w4[1], 0.54, 1e-15);
  EXPECT_EQ(w4[2], 1.0);
  EXPECT_EQ(w4[3], w4[1]);
}

TEST(Hamming, PeriodicAndSymmetricForAllSizes) {
  qspFFT_c fft;
  const long double pi = 3.141592653589793238462643383279502884L;
  for (int N = 2; N <= 4096; N *= 2) {
    std::vector<double> w(N + 1, -5.0);
    fft.Hamming(w.data(), N);
    EXPECT_EQ(w[N], -5.0) << "wrote past N = " << N;
    EXPECT_EQ(w[0], 0.54 - 0.46);
    EXPECT_EQ(w[N / 2], 1.0);
    for (int k = 0; k < N; ++k) {
      const double want = static_cast<double>(0.54L - 0.46L * std::cos(2 * pi * k / N));
      ASSERT_NEAR(w[k], want, 4e-16) << N << " " << k;
      if (k > 0) {
        ASSERT_EQ(w[k], w[N - k]) << N << " " << k;
      }
    }
  }
}

TEST(RealDCT, ImpulseAndConstant) {
  qspFFT_c fft;
  const double pi = 3.141592653589793;
  for (int M = 1; M <= 1024; M *= 2) {
    std::vector<double> scratch(4 * M);
    std::vector<double> x(M, 0.0);
    x[0] = 1.0;
    fft.RealDCT(x.data(), scratch.data(), M);
    EXPECT_EQ(x[0], 0.7071067811865476) << M;
    for (int m = 1; m < M; ++m)
      ASSERT_NEAR(x[m], std::cos(pi * m / (2 * M)), 1e-15) << M << " " << m;

    const double v = -1.25;
    x.assign(M, v);
    fft.RealDCT(x.data(), scratch.data(), M);
    EXPECT_NEAR(x[0], M * v / std::sqrt(2.0), 1e-12 * M) << M;
    for (int m = 1; m < M; ++m) ASSERT_NEAR(x[m], 0.0, 1e-12) << M << " " << m;
  }
}

TEST(RealDCT, MatchesDirectCosineSum) {
  qspFFT_c fft;
  const long double pi = 3.141592653589793238462643383279502884L;
  for (int M = 1; M <= 1024; M *= 2) {
    std::vector<double> x = qsptest::randomSignal(M, 1000 + M);
    std::vector<double> scratch(4 * M + 1, 42.0);
    std::vector<long double> want(M);
    for (int m = 0; m < M; ++m) {
      long double s = 0;
      for (int k = 0; k < M; ++k)
        s += x[k] * std::cos(pi * ((static_cast<long>(m) * (2 * k + 1)) % (4 * M)) / (2 * M));
      want[m] = (m == 0) ? s / std::sqrt(2.0L) : s;
    }
    fft.RealDCT(x.data(), scratch.data(), M);
    EXPECT_EQ(scratch[4 * M], 42.0) << "scratch overrun, M = " << M;
    const double tol = qsptest::fftTolerance(4 * M);
    for (int m = 0; m < M; ++m)
      ASSERT_NEAR(x[m], static_cast<double>(want[m]), tol) << M << " " << m;
  }
}

TEST(RealFFTDeath, SizesOutsideTheLimitsAbort) {
  qspFFT_c fft;
  std::vector<double> x(8192, 0.0);
  EXPECT_DEATH(fft.RealFFT(x.data(), 2), "RealFFT: unsupported size 2");
  EXPECT_DEATH(fft.RealFFTbitr(x.data(), 8192), "unsupported size 8192");
  EXPECT_DEATH(fft.RealIFFT(x.data(), 1000), "unsupported size 1000");
  EXPECT_DEATH(fft.RealIFFTbitr(x.data(), 0), "unsupported size 0");
  EXPECT_DEATH(fft.Hamming(x.data(), 1), "Hamming: unsupported size 1");
  EXPECT_DEATH(fft.RealDCT(x.data(), x.data() + 4096, 2048), "RealDCT: unsupported size 2048");
  EXPECT_DEATH(fft.RealDCT(x.data(), x.data() + 4096, 13), "unsupported size 13");
}

}  // namespace
