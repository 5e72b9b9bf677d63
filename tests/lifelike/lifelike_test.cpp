// The lifelike look's pure parts: Loop subdivision against hand-worked values, and the life
// of blinks, sway and nods against the rhythm and limits it promises.
#include <gtest/gtest.h>

#include <cmath>

#include "lifelike/life.h"
#include "lifelike/subdivision.h"

namespace {

using lifelike::Life;
using lifelike::LoopSurface;

TEST(LoopSurface, OneLevelGivesLoopsVertexAndEdgePoints) {
  // An octahedron: every vertex has valence 4 (weight 3/32 each neighbour); every edge
  // point is 3/8 of its ends and 1/8 of the two opposite vertices.
  const double x[6] = {1, -1, 0, 0, 0, 0}, y[6] = {0, 0, 1, -1, 0, 0}, z[6] = {0, 0, 0, 0, 1, -1};
  const std::vector<std::array<int, 3>> faces = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4},
                                                 {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
  LoopSurface s;
  s.build(faces, 6, 1);
  ASSERT_EQ(s.faces().size(), 32u);
  ASSERT_EQ(s.vertexCount(), 6 + 12);
  const auto top = s.point(4, x, y, z);
  EXPECT_DOUBLE_EQ(top[2], 0.625);
  EXPECT_DOUBLE_EQ(top[0], 0.0);
  s.evaluate(x, y, z);
  bool edgeFound = false;
  for (int v = 6; v < s.vertexCount(); ++v) {
    const float* p = &s.positions()[3 * v];
    if (std::abs(p[0] - 0.375f) < 1e-6f && std::abs(p[2] - 0.375f) < 1e-6f) edgeFound = true;
    // the winding kept: every normal points out of the solid
    const float* n = &s.normals()[3 * v];
    EXPECT_GT(p[0] * n[0] + p[1] * n[1] + p[2] * n[2], 0.0f) << v;
  }
  EXPECT_TRUE(edgeFound);
}

TEST(LoopSurface, BoundaryFollowsTheBoundaryRulesAndTwoLevelsCompose) {
  const double x[3] = {0, 1, 0}, y[3] = {0, 0, 1}, z[3] = {0, 0, 0};
  LoopSurface s;
  s.build({{0, 1, 2}}, 3, 1);
  const auto corner = s.point(0, x, y, z);  // 3/4 itself + 1/8 each boundary neighbour
  EXPECT_DOUBLE_EQ(corner[0], 0.125);
  EXPECT_DOUBLE_EQ(corner[1], 0.125);
  s.build({{0, 1, 2}}, 3, 2);
  EXPECT_EQ(s.faces().size(), 16u);
  // the second level applies the same rule to the first level's points
  const auto twice = s.point(0, x, y, z);
  EXPECT_DOUBLE_EQ(twice[0], 0.75 * 0.125 + 0.125 * (0.5 + 0.0));
  EXPECT_DOUBLE_EQ(twice[1], 0.75 * 0.125 + 0.125 * (0.0 + 0.5));
}

TEST(Life, BlinksComeEveryTwoToSixSecondsAndAlwaysShowClosed) {
  for (double fps : {93.75, 30.0, 5.0}) {
    Life life;
    int closedRuns = 0;
    bool wasClosed = false;
    double lastStart = -1.0, shortestGap = 1e9, longestGap = 0.0;
    int begun = 0;
    for (int k = 0; k < 120 * fps; ++k) {
      const double t = k / fps;
      const bool closed = life.step(t, -100).lids == 1.0;
      if (life.blinks() > begun) {
        if (lastStart >= 0 && life.blinks() == begun + 1) {
          shortestGap = std::min(shortestGap, t - lastStart);
          longestGap = std::max(longestGap, t - lastStart);
        }
        begun = life.blinks();
        lastStart = t;
      }
      closedRuns += closed && !wasClosed;
      wasClosed = closed;
    }
    SCOPED_TRACE(fps);
    EXPECT_EQ(closedRuns, life.blinks());  // no blink skipped, however sparse the frames
    EXPECT_GE(life.blinks(), 120 / 6);
    EXPECT_LE(life.blinks(), 120 / 2 * 1.5);
    EXPECT_GE(shortestGap, 0.1);  // a double blink at the least
    EXPECT_LE(longestGap, Life::kMaxGap + 0.5);
  }
}

TEST(Life, SwayIsSmallAndSmoothNodsFollowStressAndSeedsRepeat) {
  Life a, b, other(7);
  double worst = 0.0, step = 0.0, previous = 0.0;
  bool differs = false;
  for (int k = 0; k < 3000; ++k) {
    const double t = k / 100.0;
    const int volume = (k / 40) % 2 ? 40 : -30;  // syllables every 0.4 s
    const lifelike::LifePose pa = a.step(t, volume);
    EXPECT_EQ(pa.pitch, b.step(t, volume).pitch);
    differs |= other.step(t, volume).yaw != pa.yaw;
    worst = std::max(worst, std::abs(pa.yaw));
    if (k > 0) step = std::max(step, std::abs(pa.pitch - previous));
    previous = pa.pitch;
  }
  EXPECT_TRUE(differs);
  EXPECT_LE(worst, 2.5);
  EXPECT_LE(step, 0.2);  // degrees in 10 ms: no jerk
  EXPECT_GE(a.nods(), 10);
  Life quiet;
  for (int k = 0; k < 3000; ++k) quiet.step(k / 100.0, 20);  // loud but steady
  EXPECT_LE(quiet.nods(), 1);
}

}  // namespace
