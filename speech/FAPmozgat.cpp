#include "speech/FAPmozgat.h"

#include <algorithm>

#include "model/costav.h"
#include "model/mozgat.h"
#include "model/valtozok.h"

namespace {

// One FAP drives one feature point along one axis; the selectors are those of the apply
// pass, in MPEG-4's senses (positive opens the jaw, lowers the upper lip, raises the lower
// lip and the corners, stretches the corners outward). The outer-corner FAPs 53, 54, 59
// and 60 move the regions of the inner corners FP 2.4 and 2.5, which carry the corners.
struct Move {
  int fap;
  int fp;
  bool mouthWidth;  // unit MW, else MNS
  int dx, dy, dz;
};
constexpr Move kMoves[11] = {
    {3, 201, false, 0, -1, 0},  {51, 801, false, 0, -1, 0}, {52, 802, false, 0, 1, 0},
    {53, 204, true, 1, 0, 0},   {54, 205, true, -1, 0, 0},  {55, 805, false, 0, -1, 0},
    {56, 806, false, 0, -1, 0}, {57, 807, false, 0, 1, 0},  {58, 808, false, 0, 1, 0},
    {59, 204, false, 0, 1, 0},  {60, 205, false, 0, 1, 0},
};

}  // namespace

void FAPmozgat(const int* faps, int sense) {
  for (const Move& m : kMoves) {
    const double amount = static_cast<double>(faps[m.fap]) * (m.mouthWidth ? MW : MNS);
    mozgat(m.fp, amount, sense * m.dx, sense * m.dy, sense * m.dz);
  }
}

// A float32 source in [-1, 1] reaches at most level 160 and a real microphone's noise floor
// lies far above -200, so the clamp changes nothing for real audio (exact digital silence
// comes as level -100). It keeps the frustum positive for any level, and a window of a few
// subnormal samples (volume down to -1694) from throwing the head back to nearly its
// start-up size.
double FAPzoom(int volume) {
  const int v = std::clamp(volume, -200, 200);
  return (200 - v) / 10000.0 + 0.5;
}

void FAPkeret(int volume) {
  toly = kKeretToly;
  rotx = kKeretRotx;
  d = FAPzoom(volume);
}
