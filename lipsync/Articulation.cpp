#include "lipsync/Articulation.h"

#include <algorithm>
#include <cmath>

namespace lipsync {

namespace {

constexpr int kFaps[11] = {3, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60};

// The rest shape the analysis gives a quiet window.
constexpr double kRest[11] = {-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75};

struct Target {
  double gain;      // the viseme acts with min(1, gain * weight)
  double pose[11];  // FAP values, kFaps' order
  double pull[11];  // 0: leaves the FAP alone .. 1: sets it to the pose
};

// Order kVisemeNames.
constexpr Target kTargets[kVisemeCount] = {
    // sil
    {1.6, {-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},
    // PP
    {1.8, {-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75}, {1, 1, 1, .4, .4, 1, 1, 1, 1, .6, .6}},
    // FF
    {1.5,
     {-60, 0, 180, 20, -30, -10, -10, 140, 150, 60, 60},
     {.8, .6, 1, .3, .3, .6, .6, 1, 1, .5, .5}},
    // TH
    {1.0, {60, 10, 0, 20, -30, 10, 10, 0, 0, 0, 0}, {.3, .3, .3, .2, .2, .3, .3, .3, .3, .2, .2}},
    // DD
    {1.0, {60, 10, 0, 20, -30, 10, 10, 0, 0, 0, 0}, {.3, .3, .3, .2, .2, .3, .3, .3, .3, .2, .2}},
    // kk
    {1.0,
     {100, 10, -100, 20, -30, 10, 10, -100, -100, -50, -50},
     {.3, .3, .3, .2, .2, .3, .3, .3, .3, .2, .2}},
    // CH
    {1.0,
     {40, 0, 40, -120, -150, 0, 0, 20, 20, 20, 20},
     {.3, .3, .3, .5, .5, .3, .3, .3, .3, .2, .2}},
    // SS
    {1.0,
     {0, 10, 80, 60, 30, 10, 10, 60, 60, 30, 30},
     {.4, .3, .4, .3, .3, .3, .3, .4, .4, .2, .2}},
    // nn
    {1.0, {60, 10, 0, 20, -30, 10, 10, 0, 0, 0, 0}, {.3, .3, .3, .2, .2, .3, .3, .3, .3, .2, .2}},
    // RR
    {1.0,
     {60, 10, 0, -120, -150, 10, 10, 0, 0, 0, 0},
     {.3, .3, .3, .5, .5, .3, .3, .3, .3, .2, .2}},
    // aa
    {1.2,
     {600, -40, -600, 60, 30, -20, -20, -500, -550, -250, -250},
     {.8, .5, .8, .3, .3, .5, .5, .8, .8, .6, .6}},
    // E
    {1.2,
     {350, -20, -350, 120, 100, -10, -10, -300, -320, -150, -150},
     {.6, .4, .6, .8, .8, .4, .4, .6, .6, .4, .4}},
    // ih
    {1.2,
     {150, 0, -100, 140, 120, 0, 0, -80, -90, -50, -50},
     {.6, .4, .6, .8, .8, .4, .4, .6, .6, .4, .4}},
    // oh
    {1.2,
     {400, -20, -380, -180, -210, -10, -10, -320, -340, -170, -170},
     {.6, .4, .6, .9, .9, .4, .4, .6, .6, .4, .4}},
    // ou
    {1.2,
     {120, 0, -60, -220, -250, 0, 0, -50, -60, -40, -40},
     {.6, .4, .6, .9, .9, .4, .4, .6, .6, .4, .4}},
};

// Per window, the articulated value moves this share of the way to its new aim.
constexpr double kFollow = 0.55;

}  // namespace

const int kArticulatedLeast[11] = {-140, -150,  -1250, -260, -310, -90,
                                   -120, -1037, -1137, -510, -510};
const int kArticulatedMost[11] = {1020, 105, 200, 150, 160, 195, 270, 162, 175, 75, 75};

void Articulation::apply(const int* faps, double /*level*/, const float* visemes, int* out) {
  double act[kVisemeCount];
  double total = 0.0;
  for (int v = 0; v < kVisemeCount; ++v) {
    act[v] = std::min(1.0, kTargets[v].gain * visemes[v]);
    total += act[v];
  }
  const double share = total > 1.0 ? 1.0 / total : 1.0;
  std::fill(out, out + 76, 0);
  for (int k = 0; k < 11; ++k) {
    const double analysed = faps[kFaps[k]];
    double aim = analysed;
    for (int v = 0; v < kVisemeCount; ++v)
      aim += share * act[v] * kTargets[v].pull[k] * (kTargets[v].pose[k] - analysed);
    value[k] = started ? value[k] + kFollow * (aim - value[k]) : aim;
    const double held =
        std::clamp(value[k], double(kArticulatedLeast[k]), double(kArticulatedMost[k]));
    out[kFaps[k]] = static_cast<int>(std::lround(held));
  }
  started = true;
  (void)kRest;
}

}  // namespace lipsync
