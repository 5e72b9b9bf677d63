// The AVX2 loops must give the portable loops' results to the bit, for every size and
// for the special values the logarithm passes through unchecked.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "qsp/qspCostable.h"
#include "qsp/qspFFT.h"
#include "qsp/qspFFTcore.h"
#include "qsp/qspLog.h"
#include "qsp/qspMFCC.h"
#include "qsp/qspSimd.h"
#include "tests/qsp/dft.h"

namespace {

// Runs f once on the portable path and once on the vector path (where the processor
// has one) over copies of the same input, and returns both outputs.
template <class F>
std::pair<std::vector<double>, std::vector<double>> bothPaths(const std::vector<double>& in, F f)
{
    const bool had = qspVectorKernels();
    std::vector<double> portable = in, vector = in;
    qspSetVectorKernels(false);
    f(portable.data());
    qspSetVectorKernels(true);
    f(vector.data());
    qspSetVectorKernels(had);
    return {portable, vector};
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), sizeof(double) * a.size()) == 0;
}

TEST(VectorPath, SwitchesOffAndBackOn)
{
    const bool had = qspVectorKernels();
    qspSetVectorKernels(false);
    EXPECT_FALSE(qspVectorKernels());
    qspSetVectorKernels(true);
    EXPECT_EQ(qspVectorKernels(), had);
    RecordProperty("vector_path", had ? "avx2" : "portable");
}

TEST(VectorPath, TransformsAgreeToTheBit)
{
    qspFFT_c fft;
    double* t = fft.costable;
    for (int n = 1; n <= 4096; n *= 2) {
        const std::vector<double> in = qsptest::randomSignal(2 * n, 1100 + n);
        auto [a, b] = bothPaths(in, [&](double* x) { qspCpxFFT(x, t, n); });
        ASSERT_TRUE(sameBits(a, b)) << "qspCpxFFT " << n;
        std::tie(a, b) = bothPaths(in, [&](double* x) { qspCpxIFFT(x, t, n); });
        ASSERT_TRUE(sameBits(a, b)) << "qspCpxIFFT " << n;
        std::tie(a, b) = bothPaths(in, [&](double* x) { qspCpxBitrev(x, n); });
        ASSERT_TRUE(sameBits(a, b)) << "qspCpxBitrev " << n;
        if (n >= 2 && n <= 2048) {
            std::tie(a, b) = bothPaths(in, [&](double* x) { qspCpxFFT2Real(x, t, n); });
            ASSERT_TRUE(sameBits(a, b)) << "qspCpxFFT2Real " << n;
            std::tie(a, b) = bothPaths(in, [&](double* x) { qspRealFFT2Cpx(x, t, n); });
            ASSERT_TRUE(sameBits(a, b)) << "qspRealFFT2Cpx " << n;
        }
        if (2 * n >= 4 && 2 * n <= 4096) {
            std::tie(a, b) = bothPaths(in, [&](double* x) { fft.RealFFT(x, 2 * n); });
            ASSERT_TRUE(sameBits(a, b)) << "RealFFT " << 2 * n;
        }
    }
}

TEST(VectorPath, LogarithmsAgreeToTheBitIncludingSpecialValues)
{
    qspLog_c lg;
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> in = {0.0, -0.0, 1.0, -4.0, inf, -inf,
                              std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::denorm_min(),
                              std::nextafter(std::numeric_limits<double>::min(), 0.0),
                              std::numeric_limits<double>::max(), 1e-300, 3e200, 0.5};
    for (double v : qsptest::randomSignal(300, 1200))
        in.push_back(v * std::pow(10.0, 40 * v));
    // Odd lengths too, so the scalar tail after the groups of four runs as well.
    for (int n : {1, 3, 4, 7, static_cast<int>(in.size()) / 2}) {
        auto [a, b] = bothPaths(in, [&](double* x) { lg.CpxAbsLog2(x, x, n); });
        ASSERT_TRUE(sameBits(a, b)) << "CpxAbsLog2 " << n;
        std::tie(a, b) = bothPaths(in, [&](double* x) { lg.RealAbsLog2(x, x + in.size() - n, n); });
        ASSERT_TRUE(sameBits(a, b)) << "RealAbsLog2 " << n;
    }
}

TEST(VectorPath, MfccAgreesToTheBit)
{
    double edges[18];
    for (int k = 0; k < 18; ++k)
        edges[k] = 0.003 + 0.017 * k;
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
