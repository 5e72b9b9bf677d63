// Choice between the portable loops and the x86 AVX2 loops of the hot transforms
// (internal to zarvo_qsp and its tests).
//
// Both paths perform the same multiplies and adds on the same operands in the same
// order, so their results are identical to the bit; the vector path only does two
// butterflies per instruction. It is used when the processor has AVX2.
#pragma once

// x86 builds carry both paths; elsewhere only the portable loops exist.
#if defined(__x86_64__)
#include <immintrin.h>
#define QSP_HAVE_AVX2_PATH 1
#endif

// True when the AVX2 loops are in use.
bool qspVectorKernels();

// Tests switch the vector path off (false) to run the portable loops on an AVX2 machine,
// and back on (true; ignored where AVX2 is missing). Not meant to be called while
// another thread is transforming.
void qspSetVectorKernels(bool on);
