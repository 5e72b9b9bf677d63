#include "qsp/qspLog.h"

#include <bit>

namespace {

uint32_t highWord(double v)
{
    return static_cast<uint32_t>(std::bit_cast<uint64_t>(v) >> 32);
}

double withHighWord(double v, uint32_t high)
{
    const uint64_t low = std::bit_cast<uint64_t>(v) & 0xFFFFFFFFu;
    return std::bit_cast<double>((static_cast<uint64_t>(high) << 32) | low);
}

}  // namespace

// The masks come from the machine's own encodings of 1.0, 2.0 and -1.0 instead of
// literals: 1.0 carries the bias, 2.0 the one exponent bit 1.0 lacks, -1.0 the sign.
qspLog_c::qspLog_c()
    : a3(0.17002324109946), a2(-1.08202128066672), a1(3.06041833979037),
      a0(-2.14494090829643)
{
    expBias = highWord(1.0);
    expMask = expBias | highWord(2.0);
    mantMask = ~(expMask | highWord(-1.0));
    mantShift = 0;
    for (uint32_t m = mantMask; m != 0; m >>= 1)
        ++mantShift;
    scratch = 0.0;
    scratchHigh = nullptr;
}

// No special cases: zero and subnormals read as exponent -1023, infinities and NaNs as
// 1024; the cubic then sees whatever mantissa bits they carry.
void qspLog_c::RealAbsLog2(double* in, double* out, int n)
{
    for (int i = 0; i < n; ++i) {
        const uint32_t h = highWord(in[i]);
        const int32_t e = static_cast<int32_t>((h & expMask) - expBias) >> mantShift;
        const double m = withHighWord(in[i], expBias | (h & mantMask));
        out[i] = ((a3 * m + a2) * m + a1) * m + a0 + static_cast<double>(e);
    }
}

void qspLog_c::CpxAbsLog2(double* in, double* out, int n)
{
    for (int i = 0; i < n; ++i) {
        const double v = in[2 * i] * in[2 * i] + in[2 * i + 1] * in[2 * i + 1];
        const uint32_t h = highWord(v);
        const int32_t e = static_cast<int32_t>((h & expMask) - expBias) >> mantShift;
        const double m = withHighWord(v, expBias | (h & mantMask));
        out[i] = ((a3 * m + a2) * m + a1) * m + a0 + static_cast<double>(e);
    }
}
