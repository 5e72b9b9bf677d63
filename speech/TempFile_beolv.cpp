#include "speech/TempFile_beolv.h"

#include <cmath>

// Mel-spaced edges: m_k = mel(70) + k (mel(7000) - mel(70)) / 17 with
// mel(f) = 2595 log10(1 + f/700), converted back to Hz and divided by 24000.
const double g_fcs[18] = {
    0.002916666666666669, 0.007570276202186544, 0.01289888049227519, 0.0190003858858039,
    0.02598689980962926,  0.03398679060044547,  0.04314704611024121, 0.05363597442174658,
    0.06564629629609264,  0.07939868617248916,  0.09514582678130087, 0.1131770518688972,
    0.1338236623384595,   0.157465013484094,    0.1845354851634605,  0.2155324629770022,
    0.2510254770978289,   0.2916666666666667,
};

const int neutralpixels[30] = {
    -37,  -181,  // 0 outer lower lip, right of middle (FP 8.8)
    -86,  -153,  // 1 right lip corner (FP 8.4)
    -63,  -98,   // 2 outer upper lip, right of middle (FP 8.6)
    -3,   -85,   // 3 outer upper lip, middle (FP 8.1)
    42,   -96,   // 4 outer upper lip, left of middle (FP 8.5)
    78,   -143,  // 5 left lip corner (FP 8.3)
    46,   -173,  // 6 outer lower lip, left of middle (FP 8.7)
    1,    -189,  // 7 outer lower lip, middle (FP 8.2)
    -183, -119,  // 8
    -53,  4,     // 9
    -2,   20,    // 10
    53,   -4,    // 11
    169,  -128,  // 12
    6,    -227,  // 13
    8,    -285,  // 14 bottom of the chin (FP 2.1)
};

namespace {

// Keeps 15 * distance inside int, so the integer products below cannot overflow.
constexpr double kMaxDistance = 1e8;

int pixelDistance(int neutral, double point) {
  double d = neutral - point;
  if (std::isnan(d)) return 0;  // converting NaN to int would be undefined
  if (d > kMaxDistance) d = kMaxDistance;
  if (d < -kMaxDistance) d = -kMaxDistance;
  return static_cast<int>(d);  // truncation toward zero: under one pixel counts as none
}

// The lower-lip factor is not an integer; the product is truncated toward zero.
int lowerLip(int d) { return static_cast<int>(-12.5 * d); }

}  // namespace

void pixels2FAPs(double* points, int* faps) {
  int d[30];
  for (int k = 0; k < 30; ++k) d[k] = pixelDistance(neutralpixels[k], points[k]);
  for (int n = 0; n < 76; ++n) faps[n] = 0;
  // Pixels to FAP units: 10 per pixel for the jaw and the horizontal corner moves, 15
  // for the upper lip and the vertical corner moves, 12.5 for the lower lip.
  faps[3] = 10 * d[29];
  faps[51] = 15 * d[7];
  faps[52] = lowerLip(d[15]);
  faps[53] = -10 * d[10];
  faps[54] = 10 * d[2];
  faps[55] = 15 * d[9];
  faps[56] = 15 * d[5];
  faps[57] = lowerLip(d[13]);
  faps[58] = lowerLip(d[1]);
  faps[59] = -15 * d[11];
  faps[60] = -15 * d[3];
}
