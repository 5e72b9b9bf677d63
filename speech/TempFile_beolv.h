// The speech pipeline's tables and the conversion of lip-point positions to MPEG-4 FAPs.
// Everything here is pure: no audio library, no drawing, no state between calls.
#pragma once

// Band edges of the MFCC front end as fractions of half the sample rate: 18 edges for 16
// mel-spaced bands from 70 Hz to 7000 Hz at 48000 Hz sampling. Read only.
extern const double g_fcs[18];

// The 15 lip and chin points of the neutral face, in pixels, laid out like a point vector
// (entry 2p horizontal, 2p+1 vertical, growing upward). Read only.
extern const int neutralpixels[30];

// points: 30 doubles, the point vector (15 points in pixels, layout above), read only.
// faps: 76 ints indexed by MPEG-4 FAP number; all 76 are overwritten: FAPs 3 and 51..60
// from the points' distances to neutralpixels, every other entry 0. Units: FAP units.
// Each distance is truncated toward zero to whole pixels first. A distance that is NaN
// counts as 0 and one beyond +-1e8 pixels is clamped there, so no input can make the
// conversion to int undefined; the analyser never produces such points (it stays within
// a few hundred pixels and is always finite). Caller-owned arrays; allocates nothing.
void pixels2FAPs(double* points, int* faps);

// The FAPs pixels2FAPs sets, in ascending order: those the FAP writer sets in every frame,
// zarvo-fap's FAP columns, the library's faps[] and the lip sync's pose arrays, in this order.
inline constexpr int kSpeechFaps[11] = {3, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60};
