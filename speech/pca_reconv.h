// Principal-component reconstruction of the lower-face shape from six component scores.
// Pure function: no state, reentrant, callable from any thread.
#pragma once

// in: 6 normalised scores of components 0..5 (network outputs, within [-0.96016, 0.96016],
// possibly scaled down or zeroed by the level gate), read only.
// out: receives 30 doubles, 15 points in pixels: out[2p] horizontal (growing toward the
// face's left), out[2p+1] vertical (growing upward), origin midway between points 9 and
// 11. All zeros give the rest shape. Caller-owned, non-overlapping. Allocates nothing.
void pca_reconv(double* in, double* out);
