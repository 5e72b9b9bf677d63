#include "lipsync/Articulation.h"

#include <algorithm>
#include <cmath>

#include "lipsync/MeshGuard.h"
#include "speech/TempFile_beolv.h"

namespace lipsync {

namespace {

// Speech moves the eleven FAPs in three groups: the jaw (FAP 3) carries the lower lip
// (52, 57, 58) and the corners' height (59, 60) with it; the upper lip (51) carries its
// sides (55, 56); the two corners stretch together (53 + 54, the width). Over real voices
// the analysis keeps each group within a few tens of FAP units of these lines, so a pose
// built on them is one the analysis could have given, and one the mesh is made for.
struct Line {
  double at, per;
};
constexpr Line kLowerLip[5] = {{8.1, -1.266},
                               {7.8, -1.052},
                               {5.0, -1.149},
                               {0.6, -0.479},
                               {-0.4, -0.511}};                  // 52, 57, 58, 59, 60 from the jaw
constexpr Line kUpperSides[2] = {{24.0, 0.737}, {33.2, 0.938}};  // 55, 56 from 51

struct Pose {
  double fap[11];  // kSpeechFaps' order
};

// The pose of jaw j, corner width w (FAP 53 + FAP 54) and upper lip u; the corners keep the
// rest shape's slant (53 - 54 = 50).
constexpr Pose pose(double j, double w, double u) {
  return {{j, u, kLowerLip[0].at + kLowerLip[0].per * j, (w + 50.0) / 2.0, (w - 50.0) / 2.0,
           kUpperSides[0].at + kUpperSides[0].per * u, kUpperSides[1].at + kUpperSides[1].per * u,
           kLowerLip[1].at + kLowerLip[1].per * j, kLowerLip[2].at + kLowerLip[2].per * j,
           kLowerLip[3].at + kLowerLip[3].per * j, kLowerLip[4].at + kLowerLip[4].per * j}};
}

// The rest shape the analysis gives a quiet window: lips together.
constexpr Pose kRest = {{-140, 30, 200, 0, -50, 15, 15, 162, 175, 75, 75}};
// f and v: the lower lip up against the upper teeth, the jaw a little open, the upper lip
// a little raised.
constexpr Pose kLipToTeeth = {{-40, 10, 190, 0, -50, 0, 0, 150, 160, 60, 60}};

struct Target {
  double gain;  // the viseme acts with min(1, gain * weight)
  Pose pose;
  double jaw, width, upper;  // pull on the jaw group, the corners, the upper lip (0..1); the
                             // vowels pull the jaw together instead (kVowelJawGain)
};

// Order kVisemeNames.
constexpr Target kTargets[kVisemeCount] = {
    {1.5, kRest, 1.0, 1.0, 1.0},                // sil
    {1.6, kRest, 1.0, 0.6, 1.0},                // PP
    {1.5, kLipToTeeth, 0.9, 0.4, 0.7},          // FF
    {1.0, pose(120, -60, 20), 0.3, 0.2, 0.3},   // TH
    {1.0, pose(120, -40, 30), 0.3, 0.2, 0.3},   // DD
    {1.0, pose(200, -60, 30), 0.3, 0.2, 0.3},   // kk
    {1.2, pose(100, -300, 20), 0.4, 0.6, 0.3},  // CH
    {1.2, pose(20, 100, 20), 0.5, 0.4, 0.3},    // SS
    {1.0, pose(150, -60, 30), 0.3, 0.2, 0.3},   // nn
    {1.2, pose(120, -300, 30), 0.4, 0.6, 0.3},  // RR
    {2.0, pose(700, -60, 30), 0.0, 0.5, 0.4},   // aa
    {2.0, pose(360, 200, 20), 0.0, 0.8, 0.4},   // E
    {2.0, pose(60, 260, 10), 0.0, 0.8, 0.4},    // ih
    {2.0, pose(380, -380, 30), 0.0, 0.9, 0.4},  // oh
    {2.0, pose(150, -480, 30), 0.0, 0.9, 0.4},  // ou
};

// Which pull moves each FAP (kSpeechFaps' order): 0 jaw, 1 width, 2 upper lip.
constexpr int kGroup[11] = {0, 2, 0, 1, 1, 2, 2, 0, 0, 0, 0};

// Per window, the articulated value moves this share of the way to its new aim: a light
// smoothing while the mouth opens or changes shape...
constexpr double kFollow = 0.75;
// ... and most of the way at once while it closes: lips shut fast, and the recogniser only
// hears a closure once it has begun. A sure closure (below) is reached in one window.
constexpr double kFollowClosing = 0.85;
// The mouth opens by at most this much a window (FAP units of the opening, jaw less both
// lips' middles: 14.5 model units, a wide-open vowel's opening in about four windows), so
// that it never pops open from one frame to the next.
constexpr double kOpeningRiseMost = 500.0;

// The lips close, whatever the other visemes pull towards, as silence and p/b/m together
// come to outweigh the vowels: their share of silence + p/b/m + the five vowels rising from
// kClosureFrom to kClosureFull, once silence + p/b/m reach kClosureLeast. A closure is all
// or nothing to the eye, and a recogniser that hears one is seldom wrong; weighed against
// the vowels rather than alone, it closes the vowels of voices the recogniser was not fitted
// on less often.
constexpr double kClosureLeast = 0.03, kClosureFrom = 0.25, kClosureFull = 0.5;
// The vowels' visemes are the last five: aa E ih oh ou.
constexpr int kFirstVowel = 10;
// The jaw group does not follow each vowel's pull on its own but the vowels together: their
// poses' jaw averaged by their weights, with min(1, kVowelJawGain * the vowels' weight).
// Which vowel it is the recogniser tells apart better than whether it is one: held against
// each other, the vowels keep open above close for voices it was not fitted on too.
constexpr double kVowelJawGain = 6.0;
// How much of the corners' width a closure takes back to rest (lips pressed keep some of
// the vowel's spread or rounding).
constexpr double kClosureWidth = 0.5;

// The opening (jaw less both lips' middles) of FAP values in kSpeechFaps' order.
double opening(const double* f) { return f[0] - f[1] - f[2]; }

}  // namespace

// The range speech reaches in every FAP, the box the head mesh is fitted for; but the
// corners draw in (FAP 53, 54) no further than the mesh holds while the jaw stays nearly
// closed and the upper lip rises, as in a rounded vowel: further in, the triangles at the
// corners turn over (tools/lipsync/folds.py over the real voices of the lip-sync corpus:
// 0.2 % of the distinct articulated FAP vectors folded with the box's -260 and -310, 43 of
// 528956 with these, most with the jaw wide open and the corners stretched; holdMesh then
// keeps those few from folding).
const int kArticulatedLeast[11] = {-140, -150,  -1250, -170, -220, -90,
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
  const double shut = visemes[0] + visemes[1];
  double vowels = 0.0;
  for (int v = kFirstVowel; v < kVisemeCount; ++v) vowels += visemes[v];
  const double closure =
      shut < kClosureLeast
          ? 0.0
          : std::clamp((shut / (shut + vowels) - kClosureFrom) / (kClosureFull - kClosureFrom), 0.0,
                       1.0);
  // The vowels move the jaw together: towards their poses' jaw averaged by their weights.
  double vowelJaw = 0.0;
  for (int v = kFirstVowel; v < kVisemeCount; ++v) vowelJaw += visemes[v] * kTargets[v].pose.fap[0];
  const Pose jawTo = pose(vowels > 0.0 ? vowelJaw / vowels : 0.0, 0.0, 0.0);
  const double jawPull = std::min(1.0, kVowelJawGain * vowels);
  double aim[11];
  for (int k = 0; k < 11; ++k) {
    const double analysed = faps[kSpeechFaps[k]];
    aim[k] = analysed;
    for (int v = 0; v < kVisemeCount; ++v) {
      const Target& t = kTargets[v];
      const double pull = kGroup[k] == 0 ? t.jaw : kGroup[k] == 1 ? t.width : t.upper;
      aim[k] += share * act[v] * pull * (t.pose.fap[k] - analysed);
    }
    if (kGroup[k] == 0) aim[k] += jawPull * (jawTo.fap[k] - aim[k]);
    aim[k] += closure * (kGroup[k] == 1 ? kClosureWidth : 1.0) * (kRest.fap[k] - aim[k]);
  }
  const double follow = !started ? 1.0
                        : opening(aim) < opening(value)
                            ? kFollowClosing + (1.0 - kFollowClosing) * closure
                            : kFollow;
  double step[11];
  for (int k = 0; k < 11; ++k) step[k] = follow * (aim[k] - value[k]);
  const double rise = opening(step);
  const double slow = started && rise > kOpeningRiseMost ? kOpeningRiseMost / rise : 1.0;
  double held[11];
  for (int k = 0; k < 11; ++k) {
    value[k] += slow * step[k];
    held[k] = std::clamp(value[k], double(kArticulatedLeast[k]), double(kArticulatedMost[k]));
  }
  holdMesh(held);
  std::fill(out, out + 76, 0);
  for (int k = 0; k < 11; ++k) out[kSpeechFaps[k]] = static_cast<int>(std::lround(held[k]));
  started = true;
}

}  // namespace lipsync
