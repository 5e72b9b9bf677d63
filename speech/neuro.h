// The fixed feed-forward network that maps the 16 scaled cepstral coefficients of one
// audio window to six lip-shape component scores. Weights are constants of the program.
// Pure functions: no state, no globals written, reentrant, callable from any thread.
#pragma once

// Saturating odd activation: +-0.96016 beyond +-1.92033, a quadratic in between that meets
// the flat parts with zero slope. Its two halves do not quite meet at zero: f(0) and
// f(-0.0) are +2.0628e-6, f of a tiny negative number -2.0628e-6. NaN gives NaN.
double f(double x);

// in: 16 values (MFCC coefficients 0..15, each times 10), read only.
// out: receives exactly 6 values, each within [-0.96016, 0.96016] for finite input.
// Both arrays are owned by the caller and must not overlap. Allocates nothing.
void neuro(double* in, double* out);
