#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "qsp/qspCostable.h"
#include "tests/qsp/dft.h"

namespace {

using qsptest::rev;

// Distance in units in the last place between two finite doubles of the same sign.
long ulpDistance(double a, double b) {
  if (a == b) return 0;
  long steps = 0;
  double lo = std::fmin(a, b);
  const double hi = std::fmax(a, b);
  while (lo < hi && steps < 100) {
    lo = std::nextafter(lo, hi);
    ++steps;
  }
  return steps;
}

std::vector<double> filledTable() {
  std::vector<double> t(qspCostableSize + 2, 7.0);
  qspFillCostable(t.data());
  return t;
}

TEST(Costable, PublishedEntries) {
  const std::vector<double> t = filledTable();
  EXPECT_EQ(t[0], 1.0);
  EXPECT_EQ(t[1], 0.0);
  // cos pi/2 is the rounded double, not an exact zero.
  EXPECT_EQ(t[2], 6.123233995736766e-17);
  EXPECT_EQ(t[3], 1.0);
  const double pi = 3.141592653589793;
  const int order[] = {0, 4, 2, 6, 1, 5, 3, 7};  // pairs 0..7 in eighths of pi
  for (int p = 0; p < 8; ++p) {
    EXPECT_LE(ulpDistance(t[2 * p], std::cos(pi * order[p] / 8)), 1) << p;
    EXPECT_LE(ulpDistance(t[2 * p + 1], std::sin(pi * order[p] / 8)), 1) << p;
  }
  EXPECT_LE(ulpDistance(t[4094], -0.9999988234517019), 1);
  EXPECT_LE(ulpDistance(t[4095], 0.0015339801862850493), 1);
  // Exactly 4096 doubles are written.
  EXPECT_EQ(t[4096], 7.0);
  EXPECT_EQ(t[4097], 7.0);
}

// The angle is the double pi * k / 2048 (so cos pi/2 is 6.1e-17, not 0); its cosine and
// sine, evaluated in long double, must round to the entries within one unit in the last
// place.
TEST(Costable, AllPairsWithinOneUlp) {
  const std::vector<double> t = filledTable();
  for (int p = 0; p < 2048; ++p) {
    const double angle = 3.141592653589793 * rev(p, 11) / 2048;
    const long double th = angle;
    ASSERT_LE(ulpDistance(t[2 * p], static_cast<double>(std::cos(th))), 1) << p;
    ASSERT_LE(ulpDistance(t[2 * p + 1], static_cast<double>(std::sin(th))), 1) << p;
  }
}

// The property the transforms rely on: the first G pairs are e^{i pi rev(g)/G} for a
// G-group stage, for every power of two G.
TEST(Costable, PrefixServesEverySize) {
  const std::vector<double> t = filledTable();
  for (int bits = 0, G = 1; G <= 2048; ++bits, G *= 2) {
    for (int g = 0; g < G; ++g) {
      const double angle = 3.141592653589793 * rev(g, bits) / G;
      const long double th = angle;
      ASSERT_LE(ulpDistance(t[2 * g], static_cast<double>(std::cos(th))), 1) << G << " " << g;
      ASSERT_LE(ulpDistance(t[2 * g + 1], static_cast<double>(std::sin(th))), 1) << G << " " << g;
    }
  }
}

}  // namespace
