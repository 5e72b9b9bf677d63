// Fast base-2 logarithm working on the bit pattern of a double: the exponent field
// gives the integer part, a cubic on the mantissa in [1, 2) the fraction (error about
// 0.008). No library call, no allocation; results depend only on the input, so any
// thread may use its own object.
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
  // Kept for layout only: the high word is read and rewritten through std::bit_cast on a
  // local copy (no aliasing of the object's own storage), so neither is used; scratch
  // is 0.0 and scratchHigh is null after construction.
  double scratch;
  uint32_t* scratchHigh;
  double a3, a2, a1, a0;
};
