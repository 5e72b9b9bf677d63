#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "speech/TempFile_beolv.h"
#include "speech/pca_reconv.h"

namespace {

TEST(BandEdges, FollowTheMelRuleFrom70To7000Hz) {
  auto mel = [](double hz) { return 2595.0 * std::log10(1.0 + hz / 700.0); };
  const double lo = mel(70.0), hi = mel(7000.0);
  for (int k = 0; k < 18; ++k) {
    const double m = lo + k * (hi - lo) / 17.0;
    const double hz = 700.0 * (std::pow(10.0, m / 2595.0) - 1.0);
    EXPECT_NEAR(g_fcs[k], hz / 24000.0, 1e-14) << "k=" << k;
  }
  EXPECT_NEAR(g_fcs[0] * 24000.0, 70.0, 1e-9);
  EXPECT_NEAR(g_fcs[17] * 24000.0, 7000.0, 1e-9);
}

void neutralPoints(double* p) {
  for (int k = 0; k < 30; ++k) p[k] = neutralpixels[k];
}

TEST(Faps, NeutralPointsGiveNoFaps) {
  double p[30];
  neutralPoints(p);
  int faps[76];
  for (int& v : faps) v = 777;
  pixels2FAPs(p, faps);
  for (int n = 0; n < 76; ++n) EXPECT_EQ(faps[n], 0) << "FAP " << n;
}

TEST(Faps, LessThanOnePixelCountsAsNone) {
  double p[30];
  neutralPoints(p);
  int faps[76];
  p[7] = -85.9;
  pixels2FAPs(p, faps);
  EXPECT_EQ(faps[51], 0);
  p[7] = -84.1;
  pixels2FAPs(p, faps);
  EXPECT_EQ(faps[51], 0);
  p[7] = -86.0;
  pixels2FAPs(p, faps);
  EXPECT_EQ(faps[51], 15);
}

TEST(Faps, LowerLipTruncatesTowardZeroOnBothSides) {
  double p[30];
  neutralPoints(p);
  int faps[76];
  p[15] = -192.0;  // 3 pixels below neutral
  pixels2FAPs(p, faps);
  EXPECT_EQ(faps[52], -37);
  p[15] = -186.0;  // 3 pixels above
  pixels2FAPs(p, faps);
  EXPECT_EQ(faps[52], 37);
}

TEST(Faps, ChinDownOpensTheJaw) {
  double p[30];
  neutralPoints(p);
  int faps[76];
  p[29] = -295.5;
  pixels2FAPs(p, faps);
  EXPECT_EQ(faps[3], 100);
}

TEST(Faps, EachFapReadsItsOwnCoordinateWithItsFactor) {
  // Each point coordinate moved by +2.5 pixels (d = -2) and by -3.5 (d = 3).
  struct Case {
    int entry;
    int fap;
    int perMinusTwo;
    int perPlusThree;
  };
  const Case cases[] = {
      {29, 3, -20, 30}, {7, 51, -30, 45},  {15, 52, 25, -37}, {10, 53, 20, -30},
      {2, 54, -20, 30}, {9, 55, -30, 45},  {5, 56, -30, 45},  {13, 57, 25, -37},
      {1, 58, 25, -37}, {11, 59, 30, -45}, {3, 60, 30, -45},
  };
  for (const Case& c : cases) {
    double p[30];
    neutralPoints(p);
    int faps[76];
    p[c.entry] += 2.5;
    pixels2FAPs(p, faps);
    EXPECT_EQ(faps[c.fap], c.perMinusTwo) << "FAP " << c.fap;
    for (int n = 0; n < 76; ++n) {
      if (n != c.fap) {
        EXPECT_EQ(faps[n], 0) << "FAP " << n << " moved by entry " << c.entry;
      }
    }
    neutralPoints(p);
    p[c.entry] -= 3.5;
    pixels2FAPs(p, faps);
    EXPECT_EQ(faps[c.fap], c.perPlusThree) << "FAP " << c.fap;
  }
}

TEST(Faps, UnreadCoordinatesChangeNothing) {
  const int unread[] = {16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 0, 4, 6, 8, 12, 14, 28};
  for (int e : unread) {
    double p[30];
    neutralPoints(p);
    p[e] += 57.3;
    int faps[76];
    pixels2FAPs(p, faps);
    for (int n = 0; n < 76; ++n) EXPECT_EQ(faps[n], 0) << "entry " << e << " FAP " << n;
  }
}

TEST(Faps, RestShapeOfTheModel) {
  // Neutral minus rest, truncated, times the factors: for example the chin rests at
  // -270.665, 14.33 pixels above neutral -285, so FAP 3 = 10 * -14.
  double zero[6] = {};
  double rest[30];
  pca_reconv(zero, rest);
  int faps[76];
  pixels2FAPs(rest, faps);
  EXPECT_EQ(faps[3], -140);
  EXPECT_EQ(faps[51], 30);
  EXPECT_EQ(faps[52], 200);
  EXPECT_EQ(faps[53], 0);
  EXPECT_EQ(faps[54], -50);
  EXPECT_EQ(faps[55], 15);
  EXPECT_EQ(faps[56], 15);
  EXPECT_EQ(faps[57], 162);
  EXPECT_EQ(faps[58], 175);
  EXPECT_EQ(faps[59], 75);
  EXPECT_EQ(faps[60], 75);
}

TEST(Faps, NonFiniteAndHugeDistancesAreSafe) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  double p[30];
  neutralPoints(p);
  p[29] = nan;
  p[7] = -inf;    // infinitely far below: clamped
  p[15] = 1e300;  // far above: clamped
  p[3] = -3e9;    // beyond the int range
  int faps[76];
  pixels2FAPs(p, faps);
  EXPECT_EQ(faps[3], 0);
  EXPECT_EQ(faps[51], 1500000000);
  EXPECT_EQ(faps[52], 1250000000);
  EXPECT_EQ(faps[60], -1500000000);
  // Values below the clamp keep the exact arithmetic.
  neutralPoints(p);
  p[29] = -285.0 - 99999999.5;
  pixels2FAPs(p, faps);
  EXPECT_EQ(faps[3], 999999990);
}

}  // namespace
