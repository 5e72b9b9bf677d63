#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "qsp/qspMFCC.h"
#include "speech/MemoryRecorder.h"
#include "speech/QspRecorder.h"
#include "speech/TempFile_beolv.h"
#include "speech/neuro.h"
#include "speech/pca_reconv.h"

namespace {

// The level given to a window of exact digital silence.
const double kSilentLevel = -100.0;

std::vector<float> constant(int n, float v) { return std::vector<float>(n, v); }

// Loud speech-like test signal: a few partials whose mix drifts over time, plus noise.
std::vector<float> voiced(int n, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 0.02);
  std::vector<float> v(n);
  for (int i = 0; i < n; ++i) {
    const double t = i / 48000.0;
    const double drift = 0.5 + 0.5 * std::sin(2 * M_PI * 3.0 * t);
    v[i] = static_cast<float>(0.3 * std::sin(2 * M_PI * 180.0 * t) +
                              0.2 * drift * std::sin(2 * M_PI * 900.0 * t) +
                              0.1 * (1 - drift) * std::sin(2 * M_PI * 2500.0 * t) + noise(rng));
  }
  return v;
}

std::vector<double> restShape() {
  double zero[6] = {};
  std::vector<double> r(30);
  pca_reconv(zero, r.data());
  return r;
}

// Analyses the first window of `s`.
struct OneWindow {
  explicit OneWindow(const std::vector<float>& s)
      : rec(s.data(), static_cast<int>(s.size())), qsp(&rec, 3) {
    EXPECT_TRUE(qsp.isNew());
    qsp.handleNew(out);
  }
  MemoryRecorder rec;
  QspRecorder qsp;
  double out[30];
};

TEST(FrameAnalysis, CepstraAreTenTimesTheMfcc) {
  const std::vector<float> s = voiced(1024, 1);
  OneWindow w(s);
  double frame[1024];
  for (int i = 0; i < 1024; ++i) frame[i] = s[i];
  qspMFCC_c mfcc(1024, 16, const_cast<double*>(g_fcs));
  double m[16];
  mfcc.GetMFCC(frame, m);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(w.qsp.cepstra[i], m[i] * 10.0) << i;
}

TEST(FrameAnalysis, LoudWindowPassesTheNetworkOutput) {
  const std::vector<float> s = constant(1024, 0.1f);
  OneWindow w(s);
  EXPECT_NEAR(w.qsp.level, 120.206, 5e-4);
  EXPECT_EQ(w.qsp.vol, 120);
  EXPECT_EQ(w.qsp.volume(), 120);
  double expected[6];
  neuro(w.qsp.cepstra, expected);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(w.qsp.netOut[k], expected[k]);
  double shape[30];
  pca_reconv(expected, shape);
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(w.qsp.shape[i], shape[i]);
    EXPECT_EQ(w.out[i], shape[i]);  // the first window is not smoothed
  }
}

TEST(FrameAnalysis, MiddlingWindowIsScaledByLevel) {
  const std::vector<float> s = constant(1024, 0.01f);
  OneWindow w(s);
  EXPECT_NEAR(w.qsp.level, 80.206, 5e-4);
  EXPECT_EQ(w.qsp.vol, 80);
  EXPECT_NEAR(w.qsp.level / 200.0, 0.40103, 5e-6);
  double expected[6];
  neuro(w.qsp.cepstra, expected);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(w.qsp.netOut[k], (w.qsp.level / 200.0) * expected[k]);
}

TEST(FrameAnalysis, QuietWindowGivesTheRestShape) {
  const std::vector<float> s = constant(1024, 0.001f);
  OneWindow w(s);
  EXPECT_NEAR(w.qsp.level, 40.206, 5e-4);
  EXPECT_EQ(w.qsp.vol, 40);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(w.qsp.netOut[k], 0.0);
  const std::vector<double> rest = restShape();
  for (int i = 0; i < 30; ++i) EXPECT_EQ(w.out[i], rest[i]);
}

TEST(FrameAnalysis, GateBoundaryBetween99And100) {
  // 99.99: scaled by 0.49995.
  const double e = std::pow(10.0, (99.99 - 100.0) / 20.0);
  const std::vector<float> s = constant(1024, static_cast<float>(std::sqrt(e / 1024.0)));
  OneWindow w(s);
  EXPECT_NEAR(w.qsp.level, 99.99, 1e-5);
  EXPECT_EQ(w.qsp.vol, 99);
  EXPECT_NEAR(w.qsp.level / 200.0, 0.49995, 1e-7);
  double expected[6];
  neuro(w.qsp.cepstra, expected);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(w.qsp.netOut[k], (w.qsp.level / 200.0) * expected[k]);

  // 1/32 per sample makes the energy exactly 1: level 100, unscaled.
  const std::vector<float> s2 = constant(1024, 1.0f / 32.0f);
  OneWindow w2(s2);
  EXPECT_EQ(w2.qsp.level, 100.0);
  EXPECT_EQ(w2.qsp.vol, 100);
  neuro(w2.qsp.cepstra, expected);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(w2.qsp.netOut[k], expected[k]);
}

TEST(FrameAnalysis, LevelOf49And50) {
  // 49.9 truncates to 49 and is silenced; 50.1 passes, scaled by about a quarter.
  for (double target : {49.9, 50.1}) {
    const double e = std::pow(10.0, (target - 100.0) / 20.0);
    const std::vector<float> s = constant(1024, static_cast<float>(std::sqrt(e / 1024.0)));
    OneWindow w(s);
    EXPECT_NEAR(w.qsp.level, target, 1e-5);
    EXPECT_EQ(w.qsp.vol, static_cast<int>(target));
    double expected[6];
    neuro(w.qsp.cepstra, expected);
    for (int k = 0; k < 6; ++k)
      EXPECT_EQ(w.qsp.netOut[k], target < 50 ? 0.0 : (w.qsp.level / 200.0) * expected[k]);
  }
}

TEST(FrameAnalysis, LevelUsesTheRawSamples) {
  // Alternating signs, full scale: E = 1024, level 20 log10(1024) + 100 = 160.206.
  std::vector<float> s(1024);
  for (int i = 0; i < 1024; ++i) s[i] = (i % 2) ? 1.0f : -1.0f;
  OneWindow w(s);
  EXPECT_NEAR(w.qsp.level, 20.0 * std::log10(1024.0) + 100.0, 1e-12);
  EXPECT_EQ(w.qsp.vol, 160);
}

TEST(FrameAnalysis, FirstThreeWindowsPassThenMovingAverageOfFour) {
  const std::vector<float> s = voiced(1024 + 5 * 512, 2);
  MemoryRecorder rec(s.data(), static_cast<int>(s.size()));
  QspRecorder qsp(&rec, 3);
  double shapes[6][30], outs[6][30];
  for (int n = 0; n < 6; ++n) {
    ASSERT_TRUE(qsp.isNew());
    qsp.handleNew(outs[n]);
    for (int i = 0; i < 30; ++i) shapes[n][i] = qsp.shape[i];
    EXPECT_GE(qsp.vol, 100);
  }
  EXPECT_FALSE(qsp.isNew());
  // The signal changes, so the shapes differ and the average is not trivial.
  EXPECT_NE(shapes[0][1], shapes[3][1]);
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(outs[0][i], shapes[0][i]);
    EXPECT_EQ(outs[1][i], shapes[1][i]);
    EXPECT_EQ(outs[2][i], shapes[2][i]);
    EXPECT_EQ(outs[3][i], (shapes[3][i] + shapes[2][i] + shapes[1][i] + shapes[0][i]) / 4);
    EXPECT_EQ(outs[4][i], (shapes[4][i] + shapes[3][i] + shapes[2][i] + shapes[1][i]) / 4);
    EXPECT_EQ(outs[5][i], (shapes[5][i] + shapes[4][i] + shapes[3][i] + shapes[2][i]) / 4);
  }
}

TEST(FrameAnalysis, MinusOneInTheOldestRowMeansEmpty) {
  const std::vector<float> s = voiced(1024 + 4 * 512, 3);
  MemoryRecorder rec(s.data(), static_cast<int>(s.size()));
  QspRecorder qsp(&rec, 3);
  for (int r = 0; r < 3; ++r)
    for (int i = 0; i < 30; ++i) EXPECT_EQ(qsp.history[r][i], -1.0);
  double out[30];
  for (int n = 0; n < 3; ++n) qsp.handleNew(out);
  const double second = qsp.history[1][0];
  qsp.history[2][0] = -1.0;  // a shape value that happens to be exactly -1.0
  qsp.handleNew(out);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(out[i], qsp.shape[i]);
  // History moved on by one row all the same.
  EXPECT_EQ(qsp.history[2][0], second);
  EXPECT_EQ(qsp.history[0][5], qsp.shape[5]);
}

TEST(FrameAnalysis, HistoryLengthOneAndZero) {
  const std::vector<float> s = voiced(1024 + 2 * 512, 4);
  {
    MemoryRecorder rec(s.data(), static_cast<int>(s.size()));
    QspRecorder qsp(&rec, 1);
    double out[30], first[30];
    qsp.handleNew(out);
    for (int i = 0; i < 30; ++i) first[i] = qsp.shape[i];
    qsp.handleNew(out);
    for (int i = 0; i < 30; ++i) EXPECT_EQ(out[i], (qsp.shape[i] + first[i]) / 2);
  }
  {
    MemoryRecorder rec(s.data(), static_cast<int>(s.size()));
    QspRecorder qsp(&rec, 0);
    double out[30];
    for (int n = 0; n < 3; ++n) {
      qsp.handleNew(out);
      for (int i = 0; i < 30; ++i) EXPECT_EQ(out[i], qsp.shape[i]);
    }
  }
}

TEST(FrameAnalysis, NoNewWindowLeavesEverythingAlone) {
  const std::vector<float> s = constant(1024, 0.1f);
  OneWindow w(s);
  EXPECT_FALSE(w.qsp.isNew());
  double out[30];
  for (double& v : out) v = 4.5;
  w.qsp.vol = 12345;
  w.qsp.handleNew(out);
  for (double v : out) EXPECT_EQ(v, 4.5);
  EXPECT_EQ(w.qsp.vol, 12345);
  EXPECT_EQ(w.qsp.history[1][0], -1.0);
}

void expectSilent(const QspRecorder& qsp, const double* out) {
  EXPECT_EQ(qsp.level, kSilentLevel);
  EXPECT_EQ(qsp.vol, -100);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(qsp.netOut[k], 0.0);
  for (int i = 0; i < 16; ++i) EXPECT_TRUE(std::isfinite(qsp.cepstra[i]));
  const std::vector<double> rest = restShape();
  for (int i = 0; i < 30; ++i) EXPECT_EQ(out[i], rest[i]) << i;
  // The live loop's zoom stays positive and finite.
  const double d = (200 - qsp.volume()) / 10000.0 + 0.5;
  EXPECT_NEAR(d, 0.53, 1e-12);
}

TEST(FrameAnalysis, DigitalSilenceIsQuietAndFinite) {
  const std::vector<float> s = constant(1024, 0.0f);
  OneWindow w(s);
  expectSilent(w.qsp, w.out);
}

TEST(FrameAnalysis, FaintestFloatWindowKeepsItsExactLevel) {
  // One sample at the smallest subnormal float: energy 2^-298, exact in double.
  const double faintest = -298.0 * 20.0 * std::log10(2.0) + 100.0;
  std::vector<float> s(1024, 0.0f);
  s[100] = std::numeric_limits<float>::denorm_min();
  OneWindow w(s);
  EXPECT_NEAR(w.qsp.level, faintest, 1e-9);
  EXPECT_EQ(w.qsp.vol, -1694);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(w.qsp.netOut[k], 0.0);
  // Two such samples: twice the energy, 6.02 higher.
  s[200] = std::numeric_limits<float>::denorm_min();
  OneWindow w2(s);
  EXPECT_NEAR(w2.qsp.level - faintest, 20.0 * std::log10(2.0), 1e-9);
}

TEST(FrameAnalysis, NonFiniteSamplesAreTreatedAsSilence) {
  const float bad[] = {std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity(),
                       -std::numeric_limits<float>::infinity()};
  for (float b : bad) {
    std::vector<float> s = voiced(1024, 5);
    s[517] = b;
    OneWindow w(s);
    expectSilent(w.qsp, w.out);
  }
}

TEST(FrameAnalysis, BrokenWindowsInsideSpeechKeepEveryOutputFinite) {
  std::vector<float> s = voiced(1024 + 40 * 512, 6);
  for (int i = 3000; i < 3100; ++i) s[i] = std::numeric_limits<float>::quiet_NaN();
  for (int i = 9000; i < 9010; ++i) s[i] = std::numeric_limits<float>::infinity();
  for (int i = 14000; i < 16000; ++i) s[i] = 0.0f;
  MemoryRecorder rec(s.data(), static_cast<int>(s.size()));
  QspRecorder qsp(&rec, 3);
  double out[30];
  int faps[76];
  int n = 0;
  while (qsp.isNew()) {
    qsp.handleNew(out);
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(std::isfinite(out[i])) << "window " << n;
    pixels2FAPs(out, faps);
    ++n;
  }
  EXPECT_EQ(n, 41);
}

// Hands out one window of a constant double, a value no float32 source can deliver.
class ConstantSource : public AbsRecorder {
 public:
  explicit ConstantSource(double v) : AbsRecorder(48000, 5, 1, 512, 1024, 512), value(v) {}
  int start() override { return 0; }
  bool isNew() override { return !done; }
  void handleNew(double* out) override {
    for (int i = 0; i < 1024; ++i) out[i] = (i % 3 == 0) ? value : -value;
    done = true;
  }
  double value;
  bool done = false;
};

TEST(FrameAnalysis, SamplesBeyondTheFloatRangeStillGiveFiniteShapes) {
  // 1e152: finite energy but an overflowing spectrum; 1e200: infinite energy.
  for (double v : {1e152, 1e200, 1e300}) {
    ConstantSource src(v);
    QspRecorder qsp(&src, 3);
    double out[30];
    qsp.handleNew(out);
    EXPECT_TRUE(std::isfinite(qsp.level)) << v;
    EXPECT_LE(qsp.vol, 6265);
    for (int k = 0; k < 6; ++k) EXPECT_TRUE(std::isfinite(qsp.netOut[k])) << v;
    for (int i = 0; i < 30; ++i) EXPECT_TRUE(std::isfinite(out[i])) << v;
    int faps[76];
    pixels2FAPs(out, faps);
  }
}

TEST(FrameAnalysis, QuietWindowsGiveTheRestFaps) {
  // Jaw at -140, lips between 15 and 200: the model's rest shape against neutral.
  const std::vector<float> s = constant(1024 + 4 * 512, 0.001f);
  MemoryRecorder rec(s.data(), static_cast<int>(s.size()));
  QspRecorder qsp(&rec, 3);
  double out[30];
  int faps[76];
  const int expected[][2] = {{3, -140}, {51, 30},  {52, 200}, {53, 0},  {54, -50}, {55, 15},
                             {56, 15},  {57, 162}, {58, 175}, {59, 75}, {60, 75}};
  for (int n = 0; n < 5; ++n) {
    qsp.handleNew(out);
    pixels2FAPs(out, faps);
    for (const auto& e : expected) EXPECT_EQ(faps[e[0]], e[1]) << "window " << n << " FAP " << e[0];
  }
}

TEST(FrameAnalysis, SpeechMovesTheJaw) {
  const std::vector<float> s = voiced(1024 + 20 * 512, 8);
  MemoryRecorder rec(s.data(), static_cast<int>(s.size()));
  QspRecorder qsp(&rec, 3);
  double out[30];
  int faps[76];
  int moved = 0;
  while (qsp.isNew()) {
    qsp.handleNew(out);
    pixels2FAPs(out, faps);
    if (faps[3] != -140) ++moved;
  }
  EXPECT_GT(moved, 0);
}

}  // namespace
