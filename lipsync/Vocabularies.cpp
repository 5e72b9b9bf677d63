#include "lipsync/Vocabularies.h"

#include <algorithm>

namespace lipsync {

namespace {

enum Viseme { sil, PP, FF, TH, DD, kk, CH, SS, nn, RR, aa, E, ih, oh, ou };
enum Vowel { vAA, vIH, vOU, vEE, vOH };

constexpr float kVowelGain = 1.25f;

// Rest values of the articulated FAPs, and the travel of each over speech.
constexpr float kRest3 = -140, kRest53 = 0, kRest54 = -50, kRest55 = 15, kRest56 = 15,
                kRest57 = 162, kRest58 = 175, kRest59 = 75, kRest60 = 75;

// + 0.0f: a weight of -0 would be written "-0" by the exports and the streams.
float unit(float x) { return std::clamp(x, 0.0f, 1.0f) + 0.0f; }

}  // namespace

void vocabularies(Frame& f) {
  const float* w = f.visemes;
  const int* a = f.articulated;

  float* v = f.vowels;
  v[vAA] = w[aa] + 0.3f * (w[kk] + w[DD] + w[nn] + w[TH] + w[RR]);
  v[vIH] = w[ih] + 0.3f * (w[SS] + w[DD]);
  v[vOU] = w[ou] + 0.3f * (w[CH] + w[RR]);
  v[vEE] = w[E];
  v[vOH] = w[oh];
  for (int k = 0; k < kVowelCount; ++k) v[k] = unit(kVowelGain * v[k]);

  const float jaw = unit((a[3] - kRest3) / 900.0f);
  const float jawLip = (a[3] - kRest3) * 0.8f;  // how far the open jaw alone lowers the lip
  float* b = f.blendshapes;
  b[0] = jaw;                                        // jawOpen
  b[1] = std::min(jaw, w[PP]);                       // mouthClose
  b[2] = unit(w[oh] + 0.5f * w[ou] + 0.3f * w[CH]);  // mouthFunnel
  b[3] = unit(w[ou] + 0.4f * w[oh] + 0.3f * w[CH]);  // mouthPucker
  const float side = ((a[53] - kRest53) - (a[54] - kRest54)) / 400.0f;
  b[4] = unit(side);   // mouthLeft
  b[5] = unit(-side);  // mouthRight
  const float spread = 0.5f * (w[E] + w[ih]);
  b[6] = unit((a[59] - kRest59) / 150.0f + 0.3f * spread);  // mouthSmileLeft
  b[7] = unit((a[60] - kRest60) / 150.0f + 0.3f * spread);  // mouthSmileRight
  b[8] = unit((kRest59 - a[59] - 0.4f * jawLip) / 200.0f);  // mouthFrownLeft
  b[9] = unit((kRest60 - a[60] - 0.4f * jawLip) / 200.0f);  // mouthFrownRight
  b[10] = unit((a[53] - kRest53) / 200.0f);                 // mouthStretchLeft
  b[11] = unit((a[54] - kRest54) / 200.0f);                 // mouthStretchRight
  b[12] = unit(w[FF]);                                      // mouthRollLower
  b[13] = unit(0.3f * w[PP]);                               // mouthRollUpper
  b[14] = unit(0.6f * w[FF] + 0.3f * w[PP]);                // mouthShrugLower
  b[15] = unit(0.3f * w[FF]);                               // mouthShrugUpper
  b[16] = unit(w[PP]);                                      // mouthPressLeft
  b[17] = unit(w[PP]);                                      // mouthPressRight
  b[18] = unit((kRest57 - a[57] - jawLip) / 400.0f);        // mouthLowerDownLeft
  b[19] = unit((kRest58 - a[58] - jawLip) / 400.0f);        // mouthLowerDownRight
  b[20] = unit((kRest55 - a[55]) / 120.0f);                 // mouthUpperUpLeft
  b[21] = unit((kRest56 - a[56]) / 120.0f);                 // mouthUpperUpRight

  // Shapes in kShapeNames' order: A B C D E F G H X.
  float s[kShapeCount] = {};
  s[0] = w[PP];
  s[1] = w[TH] + w[DD] + w[kk] + w[CH] + w[SS] + w[ih];
  s[2] = w[E];
  (jaw > 0.5f ? s[3] : s[2]) += w[aa];
  s[4] = w[oh] + w[RR];
  s[5] = w[ou];
  s[6] = w[FF];
  s[7] = w[nn];
  s[8] = w[sil];
  f.shape = kShapeNames[std::max_element(s, s + kShapeCount) - s];
}

}  // namespace lipsync
