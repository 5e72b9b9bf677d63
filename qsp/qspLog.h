// Fast base-2 logarithm working on the bit pattern of a double: the exponent field
// gives the integer part, a cubic on the mantissa in [1, 2) the fraction (error about
// 0.008). No library call.
#pragma once
#include <cstdint>

class qspLog_c {
public:
    qspLog_c();
    qspLog_c(const qspLog_c&) = delete;
    qspLog_c& operator=(const qspLog_c&) = delete;

    // out[i] ~ log2 |in[i]|, i = 0..n-1.
    void RealAbsLog2(double* in, double* out, int n);
    // in: n interleaved complex points; out[i] ~ log2(re^2 + im^2). in == out is allowed.
    void CpxAbsLog2(double* in, double* out, int n);

    uint32_t expMask;
    uint32_t expBias;
    int32_t mantShift;
    uint32_t mantMask;
    double scratch;
    uint32_t* scratchHigh;  // unused when the high word is accessed through bit_cast
    double a3, a2, a1, a0;
};
