// In-place radix-2 transforms over interleaved complex doubles (re, im, re, im, ...).
// None of them allocates; `table` is the twiddle table of qspCostable.h (read only), `x`
// the caller's array of 2n doubles. Any thread; no shared state. Sizes must be powers of
// two within the stated ranges: any other size is a programming error and aborts the
// process with a message on standard error, before a byte is touched.
#pragma once

// Forward DFT of n complex points (1..4096), unscaled, kernel e^{-2 pi i jk/n}.
// Input in natural order, output in bit-reversed order.
void qspCpxFFT(double* x, double* table, int n);

// Exact inverse of qspCpxFFT: input bit-reversed, output natural, scaled by 1/n.
void qspCpxIFFT(double* x, double* table, int n);

// Swaps n complex points between natural and bit-reversed order (its own inverse).
void qspCpxBitrev(double* x, int n);

// Turns the bit-reversed qspCpxFFT output of 2n real samples (viewed as n complex points)
// into their packed half spectrum, still bit-reversed: x[0] = X[0], x[1] = X[n]. n: 2..2048.
void qspCpxFFT2Real(double* x, double* table, int n);

// Exact inverse of qspCpxFFT2Real.
void qspRealFFT2Cpx(double* x, double* table, int n);
