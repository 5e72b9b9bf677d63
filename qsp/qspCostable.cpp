#include "qsp/qspCostable.h"

#include <cmath>
#include <numbers>

namespace {

// 11 bits: the table's 2048 angles pi*k/2048, k = 0..2047.
constexpr int kTableBits = 11;

int reverseBits(int v, int bits) {
  int r = 0;
  for (int b = 0; b < bits; ++b) {
    r = (r << 1) | (v & 1);
    v >>= 1;
  }
  return r;
}

}  // namespace

void qspFillCostable(double* table) {
  const int pairs = qspCostableSize / 2;
  for (int p = 0; p < pairs; ++p) {
    // pi/2048 is exact as a scaling of the double pi, so each angle is rounded once.
    const double theta = std::numbers::pi * reverseBits(p, kTableBits) / pairs;
    table[2 * p] = std::cos(theta);
    table[2 * p + 1] = std::sin(theta);
  }
}
