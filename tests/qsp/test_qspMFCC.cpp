#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <vector>

#include "qsp/qspFFT.h"
#include "qsp/qspLog.h"
#include "qsp/qspMFCC.h"
#include "tests/qsp/dft.h"

// Counts every allocation made through operator new in this test program, so a test
// can prove that a call allocates nothing.
namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
// The sanitizer runtime supplies its own array forms, so these are replaced as well.
void* operator new[](std::size_t size) { return operator new(size); }
// GCC cannot tell that these frees pair with the mallocs above.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

// Mel-spaced edges from 70 Hz to 7000 Hz as fractions of 24000 Hz (48 kHz sampling).
double kEdges[18] = {0.002916666666666669, 0.007570276202186544, 0.01289888049227519,
                     0.0190003858858039,   0.02598689980962926,  0.03398679060044547,
                     0.04314704611024121,  0.05363597442174658,  0.06564629629609264,
                     0.07939868617248916,  0.09514582678130087,  0.1131770518688972,
                     0.1338236623384595,   0.157465013484094,    0.1845354851634605,
                     0.2155324629770022,   0.2510254770978289,   0.2916666666666667};

struct BandRow {
  double lo, centre, hi;
  int first, mid, end;
  double norm;
};

const BandRow kBands[16] = {
    {1.4933, 3.8760, 6.6042, 2, 4, 7, 3.82149e-4},
    {3.8760, 6.6042, 9.7282, 4, 7, 10, 3.33741e-4},
    {6.6042, 9.7282, 13.3053, 7, 10, 14, 2.91465e-4},
    {9.7282, 13.3053, 17.4012, 10, 14, 18, 2.54544e-4},
    {13.3053, 17.4012, 22.0913, 14, 18, 23, 2.22300e-4},
    {17.4012, 22.0913, 27.4616, 18, 23, 28, 1.94140e-4},
    {22.0913, 27.4616, 33.6109, 23, 28, 34, 1.69548e-4},
    {27.4616, 33.6109, 40.6521, 28, 34, 41, 1.48070e-4},
    {33.6109, 40.6521, 48.7147, 34, 41, 49, 1.29314e-4},
    {40.6521, 48.7147, 57.9467, 41, 49, 58, 1.12933e-4},
    {48.7147, 57.9467, 68.5177, 49, 58, 69, 9.86275e-5},
    {57.9467, 68.5177, 80.6221, 58, 69, 81, 8.61340e-5},
    {68.5177, 80.6221, 94.4822, 69, 81, 95, 7.52230e-5},
    {80.6221, 94.4822, 110.3526, 81, 95, 111, 6.56942e-5},
    {94.4822, 110.3526, 128.5250, 95, 111, 129, 5.73725e-5},
    {110.3526, 128.5250, 149.3333, 111, 129, 150, 5.01049e-5},
};

const double kLog2Zero = -1022.99652060807;

// Half a unit in the sixth significant digit of a printed value.
double sixDigitTolerance(double v) {
  return 0.5e-5 * std::pow(10.0, std::floor(std::log10(std::fabs(v)))) * 1.01;
}

// Weight of bin j in a band with edges lo < centre < hi in bins, by its definition.
double triangleWeight(const BandRow& b, int j) {
  if (j <= b.lo || j >= b.hi) return 0.0;
  return j <= b.centre ? (j - b.lo) / (b.centre - b.lo) : (b.hi - j) / (b.hi - b.centre);
}

TEST(Band, EdgeAndCentreBins) {
  triangband_c band;
  // Edges at bins 2, 4 and 6 exactly.
  band.Reset(0.25, 0.5, 0.75, 8, 1.0);
  EXPECT_EQ(band.first, 3);
  EXPECT_EQ(band.mid, 5);
  EXPECT_EQ(band.end, 7);
  EXPECT_EQ(band.norm, 1.0 / 32.0);
  const double want[9] = {0, 0, 0, 0.5, 1.0, 0.5, 0.0, 0, 0};
  for (int j = 0; j < 9; ++j) {
    double spectrum[9] = {0};
    spectrum[j] = 1.0;
    EXPECT_EQ(band.DotProduct(spectrum), want[j] / 32.0) << j;
  }
  band.Reset(0.25, 0.5, 0.75, 8, 3.0);
  EXPECT_EQ(band.norm, 3.0 / 32.0);
}

TEST(Band, TableOfTheSixteenBandsFor1024) {
  for (int k = 0; k < 16; ++k) {
    triangband_c band;
    band.Reset(kEdges[k], kEdges[k + 1], kEdges[k + 2], 512, 1.0);
    const BandRow& r = kBands[k];
    EXPECT_EQ(band.first, r.first) << k;
    EXPECT_EQ(band.mid, r.mid) << k;
    EXPECT_EQ(band.end, r.end) << k;
    EXPECT_NEAR(band.norm, r.norm, sixDigitTolerance(r.norm)) << k;
    // The edges in bins, recovered from the stored starts and slopes.
    const double lo = band.first - band.upStart / band.upSlope;
    const double centre = lo + 1.0 / band.upSlope;
    const double hi = centre - 1.0 / band.downSlope;
    EXPECT_NEAR(lo, r.lo, 5.1e-5) << k;
    EXPECT_NEAR(centre, r.centre, 5.1e-5) << k;
    EXPECT_NEAR(hi, r.hi, 5.1e-5) << k;
    for (int j = 0; j < 160; ++j) {
      std::vector<double> spectrum(512, 0.0);
      spectrum[j] = 1.0;
      const BandRow exact = {kEdges[k] * 512, kEdges[k + 1] * 512, kEdges[k + 2] * 512, 0, 0, 0, 0};
      ASSERT_NEAR(band.DotProduct(spectrum.data()), band.norm * triangleWeight(exact, j), 1e-18)
          << k << " " << j;
    }
  }
}

// Band values of a spectrum that is kLog2Zero everywhere: the constant times norm times
// the band's weight sum.
std::vector<double> zeroFrameBandValues() {
  std::vector<double> values(16);
  for (int k = 0; k < 16; ++k) {
    const BandRow b = {kEdges[k] * 512, kEdges[k + 1] * 512, kEdges[k + 2] * 512, 0, 0, 0, 0};
    double weights = 0.0;
    for (int j = 0; j < 512; ++j) weights += triangleWeight(b, j);
    const double norm = 1.0 / ((b.hi - b.lo) * 512);
    values[k] = kLog2Zero * norm * weights;
  }
  return values;
}

std::vector<double> directDCT(const std::vector<double>& b) {
  const int M = static_cast<int>(b.size());
  const double pi = 3.141592653589793;
  std::vector<double> out(M);
  for (int m = 0; m < M; ++m) {
    double s = 0.0;
    for (int k = 0; k < M; ++k) s += b[k] * std::cos(pi * m * (2 * k + 1) / (2 * M));
    out[m] = m == 0 ? s / std::sqrt(2.0) : s;
  }
  return out;
}

TEST(MFCC, AllZeroFrame) {
  qspMFCC_c mfcc(1024, 16, kEdges);
  std::vector<double> frame(1024, 0.0);
  double out[16];
  mfcc.GetMFCC(frame.data(), out);
  EXPECT_NEAR(out[0], -11.311453, 1e-6);
  EXPECT_NEAR(out[1], -0.012654, 1e-6);
  for (int j = 0; j < 512; ++j) ASSERT_NEAR(frame[j], kLog2Zero, 1e-10) << j;
  const std::vector<double> want = directDCT(zeroFrameBandValues());
  for (int m = 0; m < 16; ++m) EXPECT_NEAR(out[m], want[m], 1e-10) << m;
}

std::vector<double> sineFrame(double amplitude) {
  std::vector<double> frame(1024);
  for (int i = 0; i < 1024; ++i)
    frame[i] = amplitude * std::sin(2 * 3.141592653589793 * 1000 * i / 48000);
  return frame;
}

TEST(MFCC, SineOf1000Hz) {
  qspMFCC_c mfcc(1024, 16, kEdges);
  std::vector<double> frame = sineFrame(0.1);
  double out[16];
  mfcc.GetMFCC(frame.data(), out);
  EXPECT_NEAR(out[0], -0.089460, 1e-6);
  EXPECT_NEAR(out[1], 0.032262, 1e-6);
  EXPECT_NEAR(out[2], -0.013110, 1e-6);
  EXPECT_NEAR(out[3], -0.013512, 1e-6);
}

// Doubling the samples adds exactly one octave of power (2.0 in log2) to every bin.
TEST(MFCC, DoublingTheFrameRaisesEveryBandByTwiceItsWeight) {
  qspMFCC_c mfcc(1024, 16, kEdges);
  std::vector<double> a = sineFrame(0.1), b = sineFrame(0.2);
  double outA[16], outB[16];
  mfcc.GetMFCC(a.data(), outA);
  mfcc.GetMFCC(b.data(), outB);
  std::vector<double> rise = zeroFrameBandValues();
  for (double& r : rise) r = r / kLog2Zero * 2.0;
  const std::vector<double> want = directDCT(rise);
  for (int m = 0; m < 16; ++m) EXPECT_NEAR(outB[m] - outA[m], want[m], 1e-12) << m;
}

TEST(MFCC, FrameKeepsTheLogPowerSpectrum) {
  qspMFCC_c mfcc(1024, 16, kEdges);
  std::vector<double> frame = qsptest::randomSignal(1024, 77);
  const double pi = 3.141592653589793;
  std::vector<qsptest::cplx> windowed(1024);
  for (int i = 0; i < 1024; ++i)
    windowed[i] = frame[i] * (0.54 - 0.46 * std::cos(2 * pi * i / 1024));
  const std::vector<qsptest::cplx> X = qsptest::directDFT(windowed);
  double out[16];
  mfcc.GetMFCC(frame.data(), out);
  for (int j = 1; j < 512; ++j)
    ASSERT_NEAR(frame[j], std::log2(static_cast<double>(std::norm(X[j]))), 0.0081) << j;
  // Bin 0 is real; the power is its square.
  EXPECT_NEAR(frame[0], std::log2(static_cast<double>(X[0].real() * X[0].real())), 0.0081);
}

// The logarithm reads NaN and infinity as exponent 1024, so broken samples give large
// but finite coefficients: no NaN comes out of GetMFCC.
TEST(MFCC, BrokenSamplesGiveFiniteCoefficients) {
  qspMFCC_c mfcc(1024, 16, kEdges);
  for (double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
    std::vector<double> frame = sineFrame(0.1);
    frame[100] = bad;
    double out[16];
    mfcc.GetMFCC(frame.data(), out);
    for (int m = 0; m < 16; ++m) EXPECT_TRUE(std::isfinite(out[m])) << bad << " " << m;
    // Every bin turns into the default NaN, whose log reads 1024 + cubic(1.5): the
    // all-zero frame's out[0] scaled by that level over the zero level.
    EXPECT_NEAR(out[0], -11.311453 * (1024.58496716 / kLog2Zero), 1e-5) << bad;
  }
}

TEST(MFCC, GetMFCCAllocatesNothing) {
  qspMFCC_c mfcc(1024, 16, kEdges);
  std::vector<double> frame = sineFrame(0.1);
  double out[16];
  const long before = g_allocations.load();
  for (int r = 0; r < 3; ++r) mfcc.GetMFCC(frame.data(), out);
  EXPECT_EQ(g_allocations.load(), before);
  // The counter does see allocations: the constructor makes six.
  const long beforeCtor = g_allocations.load();
  { qspMFCC_c other(1024, 16, kEdges); }
  EXPECT_EQ(g_allocations.load() - beforeCtor, 6);
}

TEST(MFCC, OtherSizesAndTheOwnedTables) {
  // Eight bands over the same edge table, 256-sample frames.
  qspMFCC_c mfcc(256, 8, kEdges);
  EXPECT_EQ(mfcc.frameLen, 256);
  EXPECT_EQ(mfcc.numBands, 8);
  EXPECT_EQ(mfcc.window[0], 0.54 - 0.46);
  EXPECT_EQ(mfcc.window[128], 1.0);
  EXPECT_EQ(mfcc.bands[7].end, static_cast<int>(kEdges[9] * 128) + 1);
  std::vector<double> frame(256, 0.0);
  double out[8];
  mfcc.GetMFCC(frame.data(), out);
  double sum = 0.0;
  for (int k = 0; k < 8; ++k) {
    std::vector<double> flat(128, kLog2Zero);
    sum += mfcc.bands[k].DotProduct(flat.data());
  }
  EXPECT_NEAR(out[0], sum / std::sqrt(2.0), 1e-12);
}

TEST(MFCCDeath, UnusableConfigurationsAbort) {
  EXPECT_DEATH(qspMFCC_c(1000, 16, kEdges), "frame length: unsupported size 1000");
  EXPECT_DEATH(qspMFCC_c(8192, 16, kEdges), "unsupported size 8192");
  EXPECT_DEATH(qspMFCC_c(1024, 13, kEdges), "band count: unsupported size 13");
  double swapped[18];
  for (int k = 0; k < 18; ++k) swapped[k] = kEdges[k];
  std::swap(swapped[5], swapped[6]);
  EXPECT_DEATH(qspMFCC_c(1024, 16, swapped), "out of order or outside the spectrum at band 5");
  double beyond[4] = {0.1, 0.5, 0.9, 1.0};
  EXPECT_DEATH(qspMFCC_c(1024, 2, beyond), "at band 1");
  double negative[4] = {-0.01, 0.5, 0.6, 0.7};
  EXPECT_DEATH(qspMFCC_c(1024, 2, negative), "at band 0");
  double notANumber[4] = {0.1, std::nan(""), 0.6, 0.7};
  EXPECT_DEATH(qspMFCC_c(1024, 2, notANumber), "at band 0");
}

}  // namespace
