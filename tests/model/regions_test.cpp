// The constant region tables: shape of every list and the overlaps between regions that
// the deformation relies on (inner lips ride on the outer lips, corners barely touch).
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <vector>

#include "tests/model/model_fixture.h"

namespace model_test {
namespace {

std::set<int> members(int code) {
  const Region& r = region(code);
  return std::set<int>(r.index, r.index + r.n);
}

std::set<int> common(int a, int b) {
  const std::set<int> sa = members(a), sb = members(b);
  std::set<int> out;
  std::set_intersection(sa.begin(), sa.end(), sb.begin(), sb.end(),
                        std::inserter(out, out.begin()));
  return out;
}

bool subset(int inner, int outer) {
  const std::set<int> si = members(inner), so = members(outer);
  return std::includes(so.begin(), so.end(), si.begin(), si.end());
}

TEST(RegionTables, PivotsAndLengths) {
  struct Expect {
    int code, pivot, n;
  };
  const Expect expect[18] = {{201, 136, 40}, {202, 223, 15}, {203, 203, 15}, {204, 11, 18},
                             {205, 42, 18},  {206, 10, 6},   {207, 43, 6},   {208, 242, 11},
                             {209, 344, 11}, {210, 126, 8},  {801, 184, 25}, {802, 194, 24},
                             {803, 66, 9},   {804, 76, 9},   {805, 93, 14},  {806, 106, 14},
                             {807, 190, 19}, {808, 307, 19}};
  for (int k = 0; k < 18; ++k) {
    SCOPED_TRACE(expect[k].code);
    EXPECT_EQ(kRegions[k].code, expect[k].code);
    EXPECT_EQ(kRegions[k].pivot, expect[k].pivot);
    EXPECT_EQ(kRegions[k].n, expect[k].n);
  }
}

TEST(RegionTables, ListsSortedUniqueInRangeWithPivot) {
  int entries = 0;
  std::set<int> distinct;
  for (const Region& r : kRegions) {
    SCOPED_TRACE(r.code);
    EXPECT_TRUE(std::is_sorted(r.index, r.index + r.n));
    EXPECT_EQ(std::adjacent_find(r.index, r.index + r.n), r.index + r.n) << "duplicate";
    for (int k = 0; k < r.n; ++k) {
      EXPECT_GE(r.index[k], 0);
      EXPECT_LT(r.index[k], kVertexCount);
    }
    EXPECT_GE(slot(r, r.pivot), 0) << "pivot not in its own list";
    entries += r.n;
    distinct.insert(r.index, r.index + r.n);
  }
  EXPECT_EQ(entries, 281);
  EXPECT_EQ(distinct.size(), 203u);
}

TEST(RegionTables, InnerLipsInsideOuterLips) {
  const int pairs[6][2] = {{202, 801}, {203, 802}, {206, 805}, {207, 806}, {208, 807}, {209, 808}};
  for (const auto& p : pairs) {
    SCOPED_TRACE(p[0]);
    EXPECT_TRUE(subset(p[0], p[1]));
    // Both pivots of a pair lie in both regions.
    EXPECT_GE(slot(region(p[1]), region(p[0]).pivot), 0);
    EXPECT_GE(slot(region(p[0]), region(p[1]).pivot), 0);
  }
  EXPECT_TRUE(subset(210, 201));
  EXPECT_GE(slot(region(201), 126), 0);
  EXPECT_EQ(slot(region(210), 136), -1);
}

TEST(RegionTables, CornersTouchNeighboursOnlyWhereExpected) {
  EXPECT_EQ(common(204, 805), (std::set<int>{88}));
  EXPECT_EQ(common(204, 807), (std::set<int>{13, 15}));
  EXPECT_EQ(common(205, 806), (std::set<int>{101}));
  EXPECT_EQ(common(205, 808), (std::set<int>{84, 85}));

  // Every other pair of regions either nests as listed above or shares nothing.
  const std::set<std::pair<int, int>> nested = {{201, 210}, {202, 801}, {203, 802}, {206, 805},
                                                {207, 806}, {208, 807}, {209, 808}, {204, 805},
                                                {204, 807}, {205, 806}, {205, 808}};
  for (const Region& a : kRegions)
    for (const Region& b : kRegions) {
      if (a.code >= b.code || nested.count({a.code, b.code})) continue;
      EXPECT_TRUE(common(a.code, b.code).empty()) << a.code << " and " << b.code;
    }
}

}  // namespace
}  // namespace model_test
