// The AVX2 loops must give the portable loops' results to the bit, including the
// special values the logarithm passes through unchecked. (The transforms are compared
// on both paths against their transcription in test_qspFFTcore and test_qspFFT.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "qsp/qspLog.h"
#include "qsp/qspMFCC.h"
#include "qsp/qspSimd.h"
#include "tests/qsp/dft.h"
#include "tests/qsp/reference.h"

namespace {

// Runs f once on the portable path and once on the vector path (where the processor
// has one) over copies of the same input, and returns both outputs.
template <class F>
std::pair<std::vector<double>, std::vector<double>> bothPaths(const std::vector<double>& in, F f) {
  std::vector<double> portable = in, vector = in;
  {
    const qspref::VectorPathScope path(false);
    f(portable.data());
  }
  {
    const qspref::VectorPathScope path(true);
    f(vector.data());
  }
  return {portable, vector};
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), sizeof(double) * a.size()) == 0;
}

TEST(VectorPath, SwitchesOffAndBackOn) {
  const bool had = qspVectorKernels();
  {
    const qspref::VectorPathScope path(false);
    EXPECT_FALSE(qspVectorKernels());
  }
  EXPECT_EQ(qspVectorKernels(), had);
  {
    const qspref::VectorPathScope path(true);
    EXPECT_EQ(qspVectorKernels(), had);  // on only where the processor has AVX2
  }
  RecordProperty("vector_path", had ? "avx2" : "portable");
}

TEST(VectorPath, LogarithmsAgreeToTheBitIncludingSpecialValues) {
  qspLog_c lg;
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> in = {0.0,
                            -0.0,
                            1.0,
                            -4.0,
                            inf,
                            -inf,
                            std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::denorm_min(),
                            std::nextafter(std::numeric_limits<double>::min(), 0.0),
                            std::numeric_limits<double>::max(),
                            1e-300,
                            3e200,
                            0.5};
  for (double v : qsptest::randomSignal(300, 1200)) in.push_back(v * std::pow(10.0, 40 * v));
  // Odd lengths too, so the scalar tail after the groups of four runs as well.
  for (int n : {1, 3, 4, 7, static_cast<int>(in.size()) / 2}) {
    auto [a, b] = bothPaths(in, [&](double* x) { lg.CpxAbsLog2(x, x, n); });
    ASSERT_TRUE(sameBits(a, b)) << "CpxAbsLog2 " << n;
    std::tie(a, b) = bothPaths(in, [&](double* x) { lg.RealAbsLog2(x, x + in.size() - n, n); });
    ASSERT_TRUE(sameBits(a, b)) << "RealAbsLog2 " << n;
  }
}

TEST(VectorPath, MfccAgreesToTheBit) {
  double edges[18];
  for (int k = 0; k < 18; ++k) edges[k] = 0.003 + 0.017 * k;
  qspMFCC_c mfcc(1024, 16, edges);
  const std::vector<double> frame = qsptest::randomSignal(1024, 1300);
  auto [a, b] = bothPaths(frame, [&](double* x) {
    double out[16];
    mfcc.GetMFCC(x, out);
    std::memcpy(x, out, sizeof out);  // coefficients first, spectrum after
  });
  EXPECT_TRUE(sameBits(a, b));
}

}  // namespace
