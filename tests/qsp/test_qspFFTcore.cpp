#include <gtest/gtest.h>

#include <complex>
#include <cstring>
#include <vector>

#include "qsp/qspCostable.h"
#include "qsp/qspFFTcore.h"
#include "tests/qsp/dft.h"
#include "tests/qsp/reference.h"

namespace {

using qsptest::cplx;
using qsptest::log2i;
using qsptest::rev;

class FFTcore : public ::testing::Test {
 protected:
  FFTcore() : table(qspCostableSize) { qspFillCostable(table.data()); }
  std::vector<double> table;
};

std::vector<cplx> asComplex(const std::vector<double>& x) {
  std::vector<cplx> z(x.size() / 2);
  for (size_t k = 0; k < z.size(); ++k) z[k] = cplx(x[2 * k], x[2 * k + 1]);
  return z;
}

TEST_F(FFTcore, ForwardMatchesDirectDftInBitReversedOrder) {
  for (int n = 1; n <= 4096; n *= 2) {
    std::vector<double> x = qsptest::randomSignal(2 * n, 100 + n);
    const std::vector<cplx> X = qsptest::directDFT(asComplex(x));
    qspCpxFFT(x.data(), table.data(), n);
    const double tol = qsptest::fftTolerance(n);
    for (int p = 0; p < n; ++p) {
      const cplx want = X[rev(p, log2i(n))];
      ASSERT_NEAR(x[2 * p], static_cast<double>(want.real()), tol) << n << " " << p;
      ASSERT_NEAR(x[2 * p + 1], static_cast<double>(want.imag()), tol) << n << " " << p;
    }
  }
}

TEST_F(FFTcore, InverseMatchesDirectInverseDft) {
  for (int n = 1; n <= 4096; n *= 2) {
    // A spectrum in bit-reversed order goes in; natural-order samples, scaled by 1/n,
    // come out. The inverse sum is conj(DFT(conj X)) / n.
    std::vector<double> x = qsptest::randomSignal(2 * n, 200 + n);
    std::vector<cplx> Xc(n);
    for (int p = 0; p < n; ++p) Xc[rev(p, log2i(n))] = std::conj(cplx(x[2 * p], x[2 * p + 1]));
    const std::vector<cplx> s = qsptest::directDFT(Xc);
    qspCpxIFFT(x.data(), table.data(), n);
    const double tol = qsptest::fftTolerance(n) / n;
    for (int k = 0; k < n; ++k) {
      ASSERT_NEAR(x[2 * k], static_cast<double>(s[k].real() / n), tol) << n << " " << k;
      ASSERT_NEAR(x[2 * k + 1], static_cast<double>(-s[k].imag() / n), tol) << n << " " << k;
    }
  }
}

TEST_F(FFTcore, InverseUndoesForwardForAllSizes) {
  for (int n = 1; n <= 4096; n *= 2) {
    const std::vector<double> orig = qsptest::randomSignal(2 * n, 300 + n);
    std::vector<double> x = orig;
    qspCpxFFT(x.data(), table.data(), n);
    qspCpxIFFT(x.data(), table.data(), n);
    for (int i = 0; i < 2 * n; ++i) ASSERT_NEAR(x[i], orig[i], 1e-14) << n << " " << i;
  }
}

TEST_F(FFTcore, TwoAndOnePoint) {
  double x[4] = {1.5, -2.0, 0.25, 3.0};
  qspCpxFFT(x, table.data(), 2);
  EXPECT_EQ(x[0], 1.75);
  EXPECT_EQ(x[1], 1.0);
  EXPECT_EQ(x[2], 1.25);
  EXPECT_EQ(x[3], -5.0);
  qspCpxIFFT(x, table.data(), 2);
  EXPECT_EQ(x[0], 1.5);
  EXPECT_EQ(x[1], -2.0);
  EXPECT_EQ(x[2], 0.25);
  EXPECT_EQ(x[3], 3.0);

  double one[2] = {0.5, -0.75};
  qspCpxFFT(one, table.data(), 1);
  qspCpxIFFT(one, table.data(), 1);
  qspCpxBitrev(one, 1);
  EXPECT_EQ(one[0], 0.5);
  EXPECT_EQ(one[1], -0.75);
}

TEST_F(FFTcore, BitrevOfEightSwapsOneFourAndThreeSix) {
  double x[16];
  for (int i = 0; i < 16; ++i) x[i] = i;
  qspCpxBitrev(x, 8);
  const int want[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  for (int p = 0; p < 8; ++p) {
    EXPECT_EQ(x[2 * p], 2 * want[p]) << p;
    EXPECT_EQ(x[2 * p + 1], 2 * want[p] + 1) << p;
  }
}

TEST_F(FFTcore, BitrevIsTheReversalAndItsOwnInverse) {
  // Beyond 2^17 points the reversal takes a different route (no small table).
  for (int n = 1; n <= (1 << 19); n *= 2) {
    std::vector<double> x(2 * n);
    for (int i = 0; i < 2 * n; ++i) x[i] = i;
    qspCpxBitrev(x.data(), n);
    for (int p = 0; p < n; ++p) {
      ASSERT_EQ(x[2 * p], 2.0 * rev(p, log2i(n))) << n << " " << p;
      ASSERT_EQ(x[2 * p + 1], 2.0 * rev(p, log2i(n)) + 1) << n << " " << p;
    }
    qspCpxBitrev(x.data(), n);
    for (int i = 0; i < 2 * n; ++i) ASSERT_EQ(x[i], i) << n;
  }
}

// For n = 2 the split and its inverse work on the two points only; nothing after them
// is read or written.
TEST_F(FFTcore, SplitOfTwoPointsTouchesOnlyThem) {
  double x[8] = {3.0, 1.0, 2.0, 5.0, -9.0, -9.0, -9.0, -9.0};
  qspCpxFFT2Real(x, table.data(), 2);
  EXPECT_EQ(x[0], 4.0);
  EXPECT_EQ(x[1], 2.0);
  EXPECT_EQ(x[2], 2.0);
  EXPECT_EQ(x[3], -5.0);
  for (int i = 4; i < 8; ++i) EXPECT_EQ(x[i], -9.0);
  qspRealFFT2Cpx(x, table.data(), 2);
  EXPECT_EQ(x[0], 3.0);
  EXPECT_EQ(x[1], 1.0);
  EXPECT_EQ(x[2], 2.0);
  EXPECT_EQ(x[3], 5.0);
  for (int i = 4; i < 8; ++i) EXPECT_EQ(x[i], -9.0);
}

TEST_F(FFTcore, SplitInverseUndoesSplit) {
  for (int n = 2; n <= 2048; n *= 2) {
    const std::vector<double> orig = qsptest::randomSignal(2 * n, 400 + n);
    std::vector<double> x = orig;
    qspCpxFFT2Real(x.data(), table.data(), n);
    qspRealFFT2Cpx(x.data(), table.data(), n);
    for (int i = 0; i < 2 * n; ++i) ASSERT_NEAR(x[i], orig[i], 1e-15) << n << " " << i;
  }
}

// Any reordering of the arithmetic (vector lanes, fused multiply-add, reassociation)
// changes low bits; these compare against the loop-by-loop transcription bit for bit,
// on the portable loops and on the vector loops where the processor has them.
TEST_F(FFTcore, BitIdenticalToTheDefinedArithmetic) {
  for (bool vector : {false, true}) {
    const qspref::VectorPathScope path(vector);
    for (int n = 1; n <= 4096; n *= 2) {
      const std::vector<double> orig = qsptest::randomSignal(2 * n, 500 + n);
      std::vector<double> x = orig, y = orig;
      const size_t bytes = sizeof(double) * 2 * n;
      qspCpxFFT(x.data(), table.data(), n);
      qspref::cpxFFT(y.data(), table.data(), n);
      ASSERT_EQ(0, std::memcmp(x.data(), y.data(), bytes)) << "fft " << n << vector;
      qspCpxIFFT(x.data(), table.data(), n);
      qspref::cpxIFFT(y.data(), table.data(), n);
      ASSERT_EQ(0, std::memcmp(x.data(), y.data(), bytes)) << "ifft " << n << vector;
      qspCpxBitrev(x.data(), n);
      qspref::bitrev(y.data(), n);
      ASSERT_EQ(0, std::memcmp(x.data(), y.data(), bytes)) << "bitrev " << n << vector;
      if (n < 2 || n > 2048) continue;
      qspCpxFFT2Real(x.data(), table.data(), n);
      qspref::fft2real(y.data(), table.data(), n);
      ASSERT_EQ(0, std::memcmp(x.data(), y.data(), bytes)) << "split " << n << vector;
      qspRealFFT2Cpx(x.data(), table.data(), n);
      qspref::real2fft(y.data(), table.data(), n);
      ASSERT_EQ(0, std::memcmp(x.data(), y.data(), bytes)) << "merge " << n << vector;
    }
  }
}

using FFTcoreDeath = FFTcore;

TEST_F(FFTcoreDeath, SizesOutsideTheTableAbort) {
  std::vector<double> x(2 * 8192, 0.0);
  EXPECT_DEATH(qspCpxFFT(x.data(), table.data(), 3), "qspCpxFFT: unsupported size 3");
  EXPECT_DEATH(qspCpxFFT(x.data(), table.data(), 8192), "unsupported size 8192");
  EXPECT_DEATH(qspCpxIFFT(x.data(), table.data(), 0), "unsupported size 0");
  EXPECT_DEATH(qspCpxFFT2Real(x.data(), table.data(), 1), "unsupported size 1");
  EXPECT_DEATH(qspRealFFT2Cpx(x.data(), table.data(), 4096), "unsupported size 4096");
  EXPECT_DEATH(qspCpxBitrev(x.data(), 6), "unsupported size 6");
  EXPECT_DEATH(qspCpxBitrev(x.data(), -4), "unsupported size -4");
}

}  // namespace
