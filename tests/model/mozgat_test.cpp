// Moves of feature points: the weighted region move, the selector order, undo, the teeth
// displacement and the codes that name no point.
#include "model/mozgat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "model/modellbeolv.h"
#include "tests/model/model_fixture.h"

namespace model_test {
namespace {

const int kCodes[19] = {201, 202, 203, 204, 205, 206, 207, 208, 209, 210,
                        801, 802, 803, 804, 805, 806, 807, 808, 909};
const int kDirs[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};

class Move : public ::testing::Test {
 protected:
  void SetUp() override {
    reset_model();
    random_mesh(42);
    tavolsag();
  }
};

double* axis(int a) { return a == 0 ? hdx : a == 1 ? hdy : hdz; }

// Along the chosen axis each region vertex moves by its weight times the amount, the
// pivot by exactly the amount; every other coordinate stays bit for bit.
TEST_F(Move, RegionMovesByWeightAlongOneAxis) {
  const double amount = 2.5;  // dyadic: the pivot's new coordinate is exact
  for (const Region& r : kRegions)
    for (int dir = 0; dir < 6; ++dir) {
      SCOPED_TRACE(::testing::Message() << r.code << " dir " << dir);
      const Pose before = Pose::now();
      mozgat(r.code, amount, kDirs[dir][0], kDirs[dir][1], kDirs[dir][2]);
      const int a = dir / 2;
      const double sign = dir % 2 ? -1.0 : 1.0;
      const double* old[3] = {before.x.data(), before.y.data(), before.z.data()};
      EXPECT_EQ(axis(a)[r.pivot], old[a][r.pivot] + sign * amount);
      for (int v = 0; v < 348; ++v) {
        const int e = slot(r, v);
        for (int b = 0; b < 3; ++b) {
          if (b == a && e >= 0)
            ASSERT_NEAR(axis(b)[v] - old[b][v], sign * r.tav[e] * amount, 1e-12) << v;
          else
            ASSERT_EQ(axis(b)[v], old[b][v]) << v << " axis " << b;
        }
      }
      EXPECT_EQ(Pose::now().teeth, before.teeth);
      before.restore();
    }
}

TEST_F(Move, ChinPivotMovesExactlyAndRimStays) {
  const Region& r = region(201);
  int far = 0;
  for (int e = 0; e < r.n; ++e)
    if (r.tav[e] == 0.0) far = r.index[e];
  ASSERT_NE(far, 0) << "no rim vertex with weight 0";
  const double y136 = hdy[136], yfar = hdy[far];
  mozgat(201, 0.75, 0, -1, 0);
  EXPECT_EQ(hdy[136], y136 - 0.75);
  EXPECT_EQ(hdy[far], yfar);
}

// Each selector triple against the single-selector call it must equal, worked out by hand.
TEST_F(Move, FirstSelectorThatHoldsDecides) {
  struct Case {
    int sel[3];
    int canonical[3];
  };
  const Case cases[] = {
      {{1, 1, 0}, {1, 0, 0}},   {{0, 2, -1}, {0, 0, -1}}, {{-1, 1, 1}, {-1, 0, 0}},
      {{2, -1, 1}, {0, -1, 0}}, {{1, -1, -1}, {1, 0, 0}}, {{-2, 0, 1}, {0, 0, 1}},
      {{0, 0, 0}, {0, 0, 0}},   {{5, 7, -3}, {0, 0, 0}},  {{-1, -1, 0}, {-1, 0, 0}}};
  for (int fp : {201, 802, 909})
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message()
                   << fp << ": " << c.sel[0] << ',' << c.sel[1] << ',' << c.sel[2]);
      const Pose before = Pose::now();
      mozgat(fp, 1.25, c.sel[0], c.sel[1], c.sel[2]);
      const Pose got = Pose::now();
      before.restore();
      mozgat(fp, 1.25, c.canonical[0], c.canonical[1], c.canonical[2]);
      EXPECT_EQ(got, Pose::now());
      if (c.canonical[0] == 0 && c.canonical[1] == 0 && c.canonical[2] == 0)
        EXPECT_EQ(got, before);
      else
        EXPECT_FALSE(got == before);
      before.restore();
    }
}

TEST_F(Move, NegativeAmountEqualsOppositeDirection) {
  for (int fp : kCodes)
    for (int a = 0; a < 3; ++a) {
      SCOPED_TRACE(fp);
      const Pose before = Pose::now();
      mozgat(fp, -0.3, a == 0, a == 1, a == 2);
      const Pose neg = Pose::now();
      before.restore();
      mozgat(fp, 0.3, -(a == 0), -(a == 1), -(a == 2));
      EXPECT_EQ(neg, Pose::now());
      before.restore();
    }
}

TEST_F(Move, OppositeMoveUndoesEveryPointAndDirection) {
  p909move[0] = 0.1;
  const Pose start = Pose::now();
  for (int fp : kCodes)
    for (int dir = 0; dir < 6; ++dir) {
      SCOPED_TRACE(::testing::Message() << fp << " dir " << dir);
      const int* s = kDirs[dir];
      mozgat(fp, 0.7 * 0.029 * 343, s[0], s[1], s[2]);  // a jaw FAP of 343 times MNS
      ASSERT_FALSE(Pose::now() == start);
      mozgat(fp, 0.7 * 0.029 * 343, -s[0], -s[1], -s[2]);
      const Pose back = Pose::now();
      for (int v = 0; v < 348; ++v) {
        ASSERT_NEAR(back.x[v], start.x[v], 1e-12) << v;
        ASSERT_NEAR(back.y[v], start.y[v], 1e-12) << v;
        ASSERT_NEAR(back.z[v], start.z[v], 1e-12) << v;
      }
      for (int t = 0; t < 3; ++t) ASSERT_NEAR(back.teeth[t], start.teeth[t], 1e-12);
    }
}

TEST_F(Move, OverlappingRegionsAddUp) {
  const Region& in = region(202);
  const Region& out = region(801);
  const Pose before = Pose::now();
  mozgat(202, 1.0, 0, 1, 0);
  EXPECT_EQ(hdy[223], before.y[223] + 1.0);
  mozgat(801, 1.0, 0, 1, 0);
  for (int e = 0; e < in.n; ++e) {
    const int v = in.index[e];
    SCOPED_TRACE(v);
    ASSERT_GE(slot(out, v), 0);
    EXPECT_NEAR(hdy[v] - before.y[v], in.tav[e] + out.tav[slot(out, v)], 1e-12);
  }
}

TEST_F(Move, CodesThatNameNoPointChangeNothing) {
  const Pose before = Pose::now();
  for (int fp : {0, 1, 200, 211, 301, 800, 809, 900, 908, 910, 999, -201, 2010})
    for (const auto& s : kDirs) mozgat(fp, 3.0, s[0], s[1], s[2]);
  EXPECT_EQ(Pose::now(), before);
}

TEST_F(Move, BeforeWeightsOnlyTheTeethMove) {
  reset_model();
  random_mesh(42);
  const Pose before = Pose::now();
  for (int fp : kCodes)
    for (const auto& s : kDirs) mozgat(fp, 3.0, s[0], s[1], s[2]);
  mozgat(909, 1.5, 0, 1, 0);
  const Pose after = Pose::now();
  EXPECT_EQ(after.x, before.x);
  EXPECT_EQ(after.y, before.y);
  EXPECT_EQ(after.z, before.z);
  EXPECT_EQ(after.teeth[1], 1.5);
}

// A repaint rereads the mesh and the weights: the vertex moves vanish, the teeth stay.
TEST_F(Move, TeethMoveSurvivesARereadThatUndoesVertexMoves) {
  ScratchDir dir;
  std::ostringstream s;
  s.precision(17);
  for (int i = 0; i < kVertexCount; ++i)
    s << i << ' ' << hdx[i] << ' ' << hdy[i] << ' ' << hdz[i] << '\n';
  ScratchDir::write("vertex.txt", s.str());
  const Pose rest = Pose::now();

  mozgat(909, 1.5, 0, 1, 0);
  EXPECT_EQ(p909move[0], 0.0);
  EXPECT_EQ(p909move[1], 1.5);
  EXPECT_EQ(p909move[2], 0.0);
  Pose teeth_only = rest;
  teeth_only.teeth[1] = 1.5;
  EXPECT_EQ(Pose::now(), teeth_only);

  mozgat(201, 4.0, 0, -1, 0);
  mozgat(805, 1.0, 1, 0, 0);
  ASSERT_FALSE(Pose::now() == teeth_only);
  vertexbeolv();
  facebeolv();
  tavolsag();
  EXPECT_EQ(Pose::now(), teeth_only);
}

}  // namespace
}  // namespace model_test
