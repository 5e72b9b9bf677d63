#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "qsp/qspLog.h"

namespace {

double log2Of(qspLog_c& lg, double v) {
  double out = 12345.0;
  lg.RealAbsLog2(&v, &out, 1);
  return out;
}

TEST(Log, MasksComeOutAsTheIeeeLayout) {
  qspLog_c lg;
  EXPECT_EQ(lg.expMask, 0x7FF00000u);
  EXPECT_EQ(lg.expBias, 0x3FF00000u);
  EXPECT_EQ(lg.mantShift, 20);
  EXPECT_EQ(lg.mantMask, 0x000FFFFFu);
  EXPECT_EQ(lg.a3, 0.17002324109946);
  EXPECT_EQ(lg.a2, -1.08202128066672);
  EXPECT_EQ(lg.a1, 3.06041833979037);
  EXPECT_EQ(lg.a0, -2.14494090829643);
}

TEST(Log, ReferenceValues) {
  qspLog_c lg;
  EXPECT_NEAR(log2Of(lg, 1.0), 0.00347939192668, 1e-14);
  EXPECT_NEAR(log2Of(lg, 2.0), 1.00347939192668, 1e-14);
  EXPECT_NEAR(log2Of(lg, 8.0), 3.00347939192668, 1e-14);
  EXPECT_NEAR(log2Of(lg, 0.5), -0.99652060807332, 1e-14);
  EXPECT_NEAR(log2Of(lg, -4.0), 2.00347939192668, 1e-14);
  EXPECT_NEAR(log2Of(lg, 1.5), 0.58496716, 1e-8);
  EXPECT_NEAR(log2Of(lg, 3.0), 1.58496716, 1e-8);
  // Just below 2 the cubic approaches 1.00799658: the step down at the power of two.
  EXPECT_NEAR(log2Of(lg, std::nextafter(2.0, 0.0)), 1.00799658, 1e-8);
}

TEST(Log, ZeroSubnormalInfinityNaN) {
  qspLog_c lg;
  EXPECT_NEAR(log2Of(lg, 0.0), -1022.99652060807, 1e-10);
  EXPECT_NEAR(log2Of(lg, -0.0), -1022.99652060807, 1e-10);
  // Subnormals read as exponent -1023 with their raw mantissa bits: the smallest one
  // has mantissa 1 + 2^-52, the largest almost 2.
  EXPECT_NEAR(log2Of(lg, std::numeric_limits<double>::denorm_min()), -1022.99652060807, 1e-10);
  EXPECT_NEAR(log2Of(lg, std::nextafter(std::numeric_limits<double>::min(), 0.0)),
              -1023.0 + 1.00799658, 1e-8);
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_NEAR(log2Of(lg, inf), 1024.00347939192668, 1e-10);
  EXPECT_NEAR(log2Of(lg, -inf), 1024.00347939192668, 1e-10);
  // The default quiet NaN has mantissa bits 1000...0, i.e. m = 1.5.
  EXPECT_NEAR(log2Of(lg, std::numeric_limits<double>::quiet_NaN()), 1024.58496716, 1e-8);
}

TEST(Log, ErrorStaysWithinTheCubicsBound) {
  qspLog_c lg;
  std::vector<double> in, out;
  for (double v = 1e-300; v < 1e300; v *= 1.37) in.push_back(v);
  out.resize(in.size());
  lg.RealAbsLog2(in.data(), out.data(), static_cast<int>(in.size()));
  for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(out[i], std::log2(in[i]), 0.0081) << in[i];
}

TEST(Log, ComplexIsLogOfPowerInPlace) {
  qspLog_c lg;
  // (3, 4): power 25; (0, 0): zero; (-0.5, 0): 0.25; (1e-3, -2e-3): 5e-6.
  std::vector<double> buf = {3.0, 4.0, 0.0, 0.0, -0.5, 0.0, 1e-3, -2e-3};
  const double power[4] = {25.0, 0.0, 0.25, 1e-3 * 1e-3 + 2e-3 * 2e-3};
  std::vector<double> want(4);
  for (int i = 0; i < 4; ++i) want[i] = log2Of(lg, power[i]);
  lg.CpxAbsLog2(buf.data(), buf.data(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(buf[i], want[i]) << i;
  EXPECT_NEAR(want[0], std::log2(25.0), 0.008);
  EXPECT_NEAR(want[1], -1022.99652060807, 1e-10);
  EXPECT_NEAR(want[2], -2.0 + 0.00347939192668, 1e-14);
  // The rest of the buffer (points' old storage past n entries) is left alone.
  EXPECT_EQ(buf[4], -0.5);
  EXPECT_EQ(buf[7], -2e-3);
}

}  // namespace
