#include "lifelike/life.h"

#include <algorithm>
#include <cmath>

namespace lifelike {

namespace {

constexpr double kPi = 3.14159265358979323846;

double square(double s) {
  s = std::clamp(s, 0.0, 1.0);
  return s * s;
}

double ease(double s) {
  s = std::clamp(s, 0.0, 1.0);
  return s * s * (3.0 - 2.0 * s);
}

// Sway: each axis sums three incommensurate slow sines (periods in seconds), so the motion
// never visibly repeats; amplitudes in degrees (a degree or two, the largest about y).
constexpr double kPeriods[3] = {7.3, 11.9, 17.3};
constexpr double kSway[3] = {0.9, 1.4, 0.6};  // pitch, yaw, roll
constexpr double kSwayIn = 1.5;               // seconds to grow from still at the start

// Nod: a smooth bump (zero slope at both ends) peaking kNodRise after the stressed window.
constexpr double kNodRise = 0.18, kNodMax = 1.6;

}  // namespace

Life::Life(uint64_t seed) : state(seed ^ 0x9e3779b97f4a7c15ULL) {
  for (double& p : phases) p = 2.0 * kPi * uniform();
}

// splitmix64: the same numbers on every platform and library, unlike std's distributions.
double Life::uniform() {
  uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1.0p-53;
}

void Life::scheduleBlink(double after) {
  if (!secondPending && uniform() < 1.0 / 6.0) {
    secondPending = true;
    nextBlink = after + kDoubleGap;
    return;
  }
  secondPending = false;
  nextBlink = after + kMinGap + (kMaxGap - kMinGap) * uniform();
}

const LifePose& Life::step(double t, int volume) {
  if (!started || t < last) {
    started = true;
    start = t;
    phase = Phase::open;
    secondPending = false;
    nextBlink = t + 1.0 + 3.0 * uniform();  // the first blink comes soon after the start
    level = previous = -100.0;
    nodStart = -1e9;
  }
  const double dt = t - last;
  last = t;

  // Blink. The phases advance as far as this frame's time reaches; the closed phase is
  // timed from the first frame that shows it, so no frame rate skips it.
  for (bool moved = true; moved;) {
    moved = false;
    switch (phase) {
      case Phase::open:
        if (t >= nextBlink) {
          phase = Phase::closing;
          phaseStart = nextBlink;
          ++blinkCount;
          moved = true;
        }
        break;
      case Phase::closing:
        if (t >= phaseStart + kClosing) {
          phase = Phase::closed;
          phaseStart = t;
        }
        break;
      case Phase::closed:
        if (t >= phaseStart + kClosed) {
          phase = Phase::opening;
          phaseStart += kClosed;
          moved = true;
        }
        break;
      case Phase::opening:
        if (t >= phaseStart + kOpening) {
          phase = Phase::open;
          scheduleBlink(phaseStart + kOpening);
          moved = true;
        }
        break;
    }
  }
  switch (phase) {
    case Phase::open: pose.lids = 0.0; break;
    // The lids speed up as they close and slow down as they open, so that they are shut
    // only in the closed phase, not for a while around it.
    case Phase::closing: pose.lids = std::min(0.95, square((t - phaseStart) / kClosing)); break;
    case Phase::closed: pose.lids = 1.0; break;
    case Phase::opening:
      pose.lids = std::min(0.95, square(1.0 - (t - phaseStart) / kOpening));
      break;
  }

  // Sway, grown in smoothly from the start so the head does not jump.
  const double grow = ease((t - start) / kSwayIn);
  double* axes[3] = {&pose.pitch, &pose.yaw, &pose.roll};
  for (int a = 0; a < 3; ++a) {
    double s = 0.0;
    for (int k = 0; k < 3; ++k)
      s += std::sin(2.0 * kPi * t / kPeriods[(a + k) % 3] + phases[3 * a + k]) / 3.0;
    *axes[a] = grow * kSway[a] * s * 1.6;
  }

  // Nod: a window clearly louder than the recent speech, rising, starts a nod unless one
  // is still under way; its size grows with how much louder it is.
  const double v = std::max(-100.0, static_cast<double>(volume));
  const double since = t - nodStart;
  if (v > -60.0 && v > level + 12.0 && v > previous && since > 0.45) {
    nodStart = t;
    nodSize = std::min(kNodMax, 0.6 + (v - level - 12.0) * 0.04);
    ++nodCount;
  }
  // The mean follows speech over about a second and forgets pauses over ten.
  level += (1.0 - std::exp(-dt / (v > -60.0 ? 1.0 : 10.0))) * (v - level);
  previous = v;
  const double u = (t - nodStart) / kNodRise;
  pose.pitch += u >= 0.0 && u < 6.0 ? nodSize * u * u * std::exp(2.0 * (1.0 - u)) : 0.0;
  return pose;
}

}  // namespace lifelike
