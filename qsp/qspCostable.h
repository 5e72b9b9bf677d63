// The twiddle table shared by every transform of the toolkit.
#pragma once

// Number of doubles in the table: 2048 (cos, sin) pairs.
inline constexpr int qspCostableSize = 4096;

// Writes 4096 doubles: pair p = (cos, sin) of pi * rev11(p) / 2048, p = 0..2047, where
// rev11 reverses 11 bits. The first G pairs (G a power of two <= 2048) are the twiddles
// e^{i*pi*rev_log2G(g)/G} of a G-group radix-2 stage, so one table serves all sizes.
void qspFillCostable(double* table);
