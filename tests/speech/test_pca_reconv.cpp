#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "speech/neuro.h"
#include "speech/pca_reconv.h"

namespace {

// The model's rest shape, point by point (horizontal, vertical), in pixels.
const double kRest[30] = {-31.237492,  -166.622567, -80.741180,  -147.784756, -57.321559,
                          -99.772589,  -1.131302,   -87.491443,  41.130136,   -97.698642,
                          78.333966,   -137.375489, 46.775090,   -159.096584, 5.091342,
                          -172.684662, -180.740703, -116.986637, -52.770730,  3.919003,
                          -1.978374,   20.514640,   52.770730,   -3.919003,   168.724217,
                          -123.021616, 10.559259,   -213.156582, 11.948538,   -270.665048};

TEST(Reconstruction, ZeroScoresGiveTheRestShape) {
  double in[6] = {};
  double out[30];
  pca_reconv(in, out);
  for (int i = 0; i < 30; ++i) EXPECT_NEAR(out[i], kRest[i], 5e-7) << "i=" << i;
}

TEST(Reconstruction, HalfFirstScoreOpensTheMouth) {
  // These six-place values sit on rounding half-way points.
  double in[6] = {0.5, 0, 0, 0, 0, 0};
  double out[30];
  pca_reconv(in, out);
  EXPECT_NEAR(out[15], -244.626104, 1e-6);
  EXPECT_NEAR(out[29], -336.772224, 1e-6);
  EXPECT_NEAR(out[1], -231.108997, 1e-6);
}

TEST(Reconstruction, NetworkOutputForZeroFeatures) {
  double in[6] = {0.543998, 0.008518, 0.019251, 0.025755, -0.005158, -0.005415};
  double out[30];
  pca_reconv(in, out);
  EXPECT_NEAR(out[0], -36.783379, 5e-7);
  EXPECT_NEAR(out[1], -236.333028, 5e-7);
  EXPECT_NEAR(out[29], -342.831649, 5e-7);

  // Chained to the unrounded network output the result moves by at most 7e-5.
  double features[16] = {};
  double scores[6];
  neuro(features, scores);
  double chained[30];
  pca_reconv(scores, chained);
  EXPECT_NEAR(chained[0], -36.783379, 7e-5);
  EXPECT_NEAR(chained[1], -236.333028, 7e-5);
  EXPECT_NEAR(chained[29], -342.831649, 7e-5);
}

TEST(Reconstruction, PointsNineAndElevenStayMirrored) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> u(-0.96016, 0.96016);
  for (int n = 0; n < 1000; ++n) {
    double in[6];
    for (double& v : in) v = u(rng);
    double out[30];
    pca_reconv(in, out);
    EXPECT_EQ(out[22], -out[18]);
    EXPECT_EQ(out[23], -out[19]);
  }
}

TEST(Reconstruction, DrivenDirectionsAreOrthonormal) {
  // Unit score k moves the shape by 303 times column k; the six columns are unit
  // length and mutually orthogonal to the precision of their six-place entries.
  double zero[6] = {};
  double rest[30];
  pca_reconv(zero, rest);
  double col[6][30];
  for (int k = 0; k < 6; ++k) {
    double in[6] = {};
    in[k] = 1.0;
    double out[30];
    pca_reconv(in, out);
    for (int i = 0; i < 30; ++i) col[k][i] = (out[i] - rest[i]) / 303.0;
  }
  for (int a = 0; a < 6; ++a) {
    for (int b = a; b < 6; ++b) {
      double dot = 0.0;
      for (int i = 0; i < 30; ++i) dot += col[a][i] * col[b][i];
      EXPECT_NEAR(dot, a == b ? 1.0 : 0.0, 2e-5) << a << "," << b;
    }
  }
}

}  // namespace
