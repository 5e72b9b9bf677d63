// The raised-cosine weights: exact values at known distances on synthetic regions, a
// brute-force reference on a random mesh, and the degenerate regions that must not
// divide by zero.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "tests/model/model_fixture.h"

namespace model_test {
namespace {

// Closed forms of (1 - cos(pi * (1 - r / s))) / 2 = (1 + cos(pi * r / s)) / 2.
const double kQuarter = 0.5 + std::numbers::sqrt2 / 4;                    // r = 1/4: 0.853553
const double kThreeQuarter = 0.5 - std::numbers::sqrt2 / 4;               // r = 3/4: 0.146447
const double kRim802 = (1 + std::sqrt(2 + std::numbers::sqrt2) / 2) / 2;  // r = 1, s = 8
const double kHalf802 = (1 + std::cos(std::numbers::pi / 16)) / 2;        // r = 1/2, s = 8

class Weights : public ::testing::Test {
 protected:
  void SetUp() override { reset_model(); }
};

// Puts the region's pivot at P and its k-th other vertex at distance dist[k] from P
// along one of the six axis directions (so every distance is exact).
const double P[3] = {10.0, -40.0, 5.0};
void place(const Region& r, const double* dist) {
  int k = 0;
  for (int e = 0; e < r.n; ++e) {
    const int v = r.index[e];
    hdx[v] = P[0];
    hdy[v] = P[1];
    hdz[v] = P[2];
    if (v == r.pivot) continue;
    const double s = k % 2 ? -1.0 : 1.0;
    double* axis = (k / 2) % 3 == 0 ? hdx : (k / 2) % 3 == 1 ? hdy : hdz;
    axis[v] += s * dist[k];
    ++k;
  }
}

TEST_F(Weights, KnownDistancesInEveryRegion) {
  for (const Region& r : kRegions) {
    SCOPED_TRACE(r.code);
    reset_model();
    // Rim twice (two equally far vertices), quarter, half, three quarters, then others
    // spread over (0, D); D = 8.
    double dist[40] = {8, 2, 4, 6, 8};
    for (int k = 5; k < 40; ++k) dist[k] = 0.125 * (1 + (k * 37) % 63);
    place(r, dist);
    tavolsag();

    const double* w = r.tav;
    auto at = [&](int k) {  // weight of the k-th non-pivot vertex
      int seen = 0;
      for (int e = 0; e < r.n; ++e)
        if (r.index[e] != r.pivot && seen++ == k) return w[e];
      ADD_FAILURE();
      return -1.0;
    };
    EXPECT_EQ(w[slot(r, r.pivot)], 1.0);
    if (r.spread == 1.0) {
      EXPECT_EQ(at(0), 0.0);
      EXPECT_EQ(at(4), 0.0);
      EXPECT_NEAR(at(1), kQuarter, 1e-12);
      EXPECT_NEAR(at(1), 0.853553, 5e-7);
      EXPECT_NEAR(at(2), 0.5, 1e-9);
      EXPECT_NEAR(at(3), kThreeQuarter, 1e-12);
      EXPECT_NEAR(at(3), 0.146447, 5e-7);
    } else {
      EXPECT_NEAR(at(0), kRim802, 1e-12);
      EXPECT_NEAR(at(0), 0.961940, 5e-7);
      EXPECT_EQ(at(0), at(4));
      EXPECT_NEAR(at(2), kHalf802, 1e-12);
      EXPECT_NEAR(at(2), 0.990393, 5e-7);
    }
    // Nearer never weighs less.
    for (int a = 0; a < r.n; ++a)
      for (int b = 0; b < r.n; ++b) {
        const double da = std::abs(hdx[r.index[a]] - P[0]) + std::abs(hdy[r.index[a]] - P[1]) +
                          std::abs(hdz[r.index[a]] - P[2]);
        const double db = std::abs(hdx[r.index[b]] - P[0]) + std::abs(hdy[r.index[b]] - P[1]) +
                          std::abs(hdz[r.index[b]] - P[2]);
        if (da < db) {
          EXPECT_GE(w[a], w[b]);
        }
      }
  }
}

// Every region computed independently from the current positions, in the rearranged
// closed form; a region must not inherit its maximum from the one before.
TEST_F(Weights, MatchBruteForceOnARandomMesh) {
  random_mesh(7);
  tavolsag();
  for (const Region& r : kRegions) {
    SCOPED_TRACE(r.code);
    double dist[40], far = 0.0;
    for (int e = 0; e < r.n; ++e) {
      dist[e] = std::hypot(hdx[r.pivot] - hdx[r.index[e]], hdy[r.pivot] - hdy[r.index[e]],
                           hdz[r.pivot] - hdz[r.index[e]]);
      far = std::max(far, dist[e]);
    }
    for (int e = 0; e < r.n; ++e)
      EXPECT_NEAR(r.tav[e], (1 + std::cos(std::numbers::pi * dist[e] / far / r.spread)) / 2, 1e-12);
  }
}

TEST_F(Weights, OverlappingRegionsWeighTheSharedVertexIndependently) {
  // All of 8.1 on pivot 184 at the origin but 223 at distance 2 and 166 at the rim, 8.
  hdx[223] = 2.0;
  hdx[166] = -8.0;
  tavolsag();
  const Region& r202 = region(202);
  const Region& r801 = region(801);
  EXPECT_EQ(r202.tav[slot(r202, 223)], 1.0);
  EXPECT_NEAR(r801.tav[slot(r801, 223)], kQuarter, 1e-12);
  EXPECT_EQ(r801.tav[slot(r801, 166)], 0.0);
  EXPECT_EQ(r801.tav[slot(r801, 184)], 1.0);
  // In 2.2 every other vertex sits at the origin, 2 from its pivot: all on the rim.
  EXPECT_EQ(r202.tav[slot(r202, 184)], 0.0);
}

TEST_F(Weights, RepeatableAndSideEffectFree) {
  random_mesh(11);
  p909move[1] = 1.5;
  const Pose before = Pose::now();
  tavolsag();
  double first[18][40];
  for (int k = 0; k < 18; ++k) std::copy_n(kRegions[k].tav, kRegions[k].n, first[k]);
  tavolsag();
  for (int k = 0; k < 18; ++k)
    for (int e = 0; e < kRegions[k].n; ++e) ASSERT_EQ(kRegions[k].tav[e], first[k][e]);
  EXPECT_EQ(Pose::now(), before);
}

// With no model read (all at the origin) or every vertex on one point the falloff is
// undefined; such regions get weight 0 everywhere, replacing any earlier weights.
TEST_F(Weights, DegenerateRegionsWeighZero) {
  tavolsag();
  for (const Region& r : kRegions)
    for (int e = 0; e < r.n; ++e) ASSERT_EQ(r.tav[e], 0.0) << r.code;

  random_mesh(3);
  tavolsag();
  for (int i = 0; i < kVertexCount; ++i) {
    hdx[i] = 1.0;
    hdy[i] = -2.0;
    hdz[i] = 3.0;
  }
  // Only region 2.1 spreads out; the others stay collapsed.
  hdx[0] += 4.0;
  tavolsag();
  for (const Region& r : kRegions) {
    SCOPED_TRACE(r.code);
    double sum = 0.0;
    for (int e = 0; e < r.n; ++e) sum += r.tav[e];
    if (r.code == 201)
      EXPECT_EQ(sum, r.n - 1.0);  // everyone on the pivot but the rim vertex 0
    else
      EXPECT_EQ(sum, 0.0);
  }
}

// Coordinates so large that the squared distances overflow must not produce NaN weights.
TEST_F(Weights, HugeCoordinatesKeepWeightsFinite) {
  random_mesh(5);
  for (int i = 0; i < kVertexCount; i += 2) hdx[i] = (i % 4 ? 1e300 : -1e300);
  tavolsag();
  for (const Region& r : kRegions)
    for (int e = 0; e < r.n; ++e) {
      ASSERT_TRUE(std::isfinite(r.tav[e])) << r.code;
      ASSERT_GE(r.tav[e], 0.0);
      ASSERT_LE(r.tav[e], 1.0);
    }
}

}  // namespace
}  // namespace model_test
