#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "speech/neuro.h"

namespace {

constexpr double A = 0.26037;
constexpr double B = 1.92033;
constexpr double C = 0.96016;

TEST(Activation, SaturatesExactlyAtAndBeyondTheKnees) {
  EXPECT_EQ(f(B), C);
  EXPECT_EQ(f(-B), -C);
  EXPECT_EQ(f(2.0), C);
  EXPECT_EQ(f(-100.0), -C);
  EXPECT_EQ(f(std::numeric_limits<double>::infinity()), C);
  EXPECT_EQ(f(-std::numeric_limits<double>::infinity()), -C);
  EXPECT_EQ(f(1e300), C);
}

TEST(Activation, StepAtZero) {
  EXPECT_NEAR(f(0.0), 0.0000020628, 5e-11);
  EXPECT_GT(f(0.0), 0.0);
  // -0.0 compares equal to 0 and so takes the upper branch.
  EXPECT_EQ(f(-0.0), f(0.0));
  EXPECT_NEAR(f(-1e-300), -0.0000020628, 5e-11);
  EXPECT_NEAR(f(1e-300) - f(-1e-300), 2 * (C - A * B * B), 1e-15);
}

TEST(Activation, NaNPropagates) {
  EXPECT_TRUE(std::isnan(f(std::numeric_limits<double>::quiet_NaN())));
}

TEST(Activation, SampleValues) {
  EXPECT_NEAR(f(0.5), 0.434905884881707, 1e-15);
  EXPECT_NEAR(f(1.0), 0.739624706981707, 1e-15);
  EXPECT_NEAR(f(-1.0), -0.739624706981707, 1e-15);
}

TEST(Activation, OddMonotoneAndBounded) {
  double prev = -C;
  for (int i = -3000; i <= 3000; ++i) {
    const double x = i * 0.001;
    const double y = f(x);
    EXPECT_LE(std::fabs(y), C);
    EXPECT_GE(y, prev) << "x=" << x;
    if (x != 0.0) {
      EXPECT_EQ(f(-x), -y) << "x=" << x;
    }
    prev = y;
  }
}

TEST(Network, AllZeroInput) {
  double in[16] = {};
  double out[6];
  neuro(in, out);
  const double expected[6] = {0.543998, 0.008518, 0.019251, 0.025755, -0.005158, -0.005415};
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(out[k], expected[k], 5e-7) << "out " << k;
}

TEST(Network, HiddenUnitsOfZeroInputAreTheActivatedBiases) {
  // With zero input each hidden sum is its bias alone.
  const double bias[10] = {-0.215947, 0.511701,  -0.12186, 0.254997, 1.15378,
                           -0.345843, -0.110912, 0.184427, 0.494751, -1.45578};
  const double hidden[10] = {-0.203806, 0.443525,  -0.117995, 0.238067, 0.807167,
                             -0.314700, -0.107710, 0.175572,  0.431016, -0.903970};
  for (int j = 0; j < 10; ++j) EXPECT_NEAR(f(bias[j]), hidden[j], 5e-7) << "h" << j;
}

TEST(Network, AllOneInput) {
  double in[16];
  for (double& v : in) v = 1.0;
  double out[6];
  neuro(in, out);
  const double expected[6] = {0.404510, -0.707719, -0.397159, 0.206277, -0.110584, -0.003430};
  for (int k = 0; k < 6; ++k) EXPECT_NEAR(out[k], expected[k], 5e-7) << "out " << k;
}

TEST(Network, FiniteInputGivesBoundedOutput) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-50.0, 50.0);
  for (int n = 0; n < 2000; ++n) {
    double in[16];
    for (double& v : in) v = u(rng);
    double out[6];
    neuro(in, out);
    for (int k = 0; k < 6; ++k) {
      EXPECT_TRUE(std::isfinite(out[k]));
      EXPECT_LE(std::fabs(out[k]), C);
    }
  }
}

TEST(Network, HugeInputsSaturateEveryHiddenUnit) {
  // Once every hidden sum is beyond the knees, only their signs matter: scaling the
  // input further changes no output bit.
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n = 0; n < 100; ++n) {
    double in1[16], in2[16];
    for (int i = 0; i < 16; ++i) {
      in1[i] = u(rng) * 1e9;
      in2[i] = in1[i] * 3.0;
    }
    double o1[6], o2[6];
    neuro(in1, o1);
    neuro(in2, o2);
    for (int k = 0; k < 6; ++k) EXPECT_EQ(o1[k], o2[k]);
  }
}

}  // namespace
