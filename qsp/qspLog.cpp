#include "qsp/qspLog.h"

#include <bit>

#include "qsp/qspSimd.h"

namespace {

uint32_t highWord(double v) { return static_cast<uint32_t>(std::bit_cast<uint64_t>(v) >> 32); }

double withHighWord(double v, uint32_t high) {
  const uint64_t low = std::bit_cast<uint64_t>(v) & 0xFFFFFFFFu;
  return std::bit_cast<double>((static_cast<uint64_t>(high) << 32) | low);
}

}  // namespace

// The masks come from the machine's own encodings of 1.0, 2.0 and -1.0 instead of
// literals: 1.0 carries the bias, 2.0 the one exponent bit 1.0 lacks, -1.0 the sign.
qspLog_c::qspLog_c()
    : a3(0.17002324109946), a2(-1.08202128066672), a1(3.06041833979037), a0(-2.14494090829643) {
  expBias = highWord(1.0);
  expMask = expBias | highWord(2.0);
  mantMask = ~(expMask | highWord(-1.0));
  mantShift = 0;
  for (uint32_t m = mantMask; m != 0; m >>= 1) ++mantShift;
  scratch = 0.0;
  scratchHigh = nullptr;
}

namespace {

// The object's fields, copied to locals for the loops: `out` may point anywhere, and
// the compiler would otherwise reload every coefficient after each store through it.
struct Params {
  uint32_t expMask, expBias, mantMask;
  int32_t mantShift;
  double a3, a2, a1, a0;
};

// No special cases: zero and subnormals read as exponent -1023, infinities and NaNs as
// 1024; the cubic then sees whatever mantissa bits they carry.
inline double log2Of(const Params& k, double v) {
  const uint32_t h = highWord(v);
  const int32_t e = static_cast<int32_t>((h & k.expMask) - k.expBias) >> k.mantShift;
  const double m = withHighWord(v, k.expBias | (h & k.mantMask));
  return ((k.a3 * m + k.a2) * m + k.a1) * m + k.a0 + static_cast<double>(e);
}

#ifdef QSP_HAVE_AVX2_PATH
// log2Of on four values. The high words are the odd 32-bit lanes: masking, the
// wrapping subtraction and the arithmetic shift act on them as on the scalar word; the
// exponents are then gathered and converted exactly, and the cubic rounds as the scalar
// one, operation by operation. (No fused multiply-add: the target enables AVX2 only.)
__attribute__((target("avx2"))) inline __m256d log2Of4(const Params& k, __m256d v) {
  const __m256i bits = _mm256_castpd_si256(v);
  const __m256i high = _mm256_and_si256(bits, _mm256_set1_epi64x(int64_t{k.expMask} << 32));
  const __m256i biased = _mm256_sub_epi32(high, _mm256_set1_epi64x(int64_t{k.expBias} << 32));
  const __m256i shifted = _mm256_sra_epi32(biased, _mm_cvtsi32_si128(k.mantShift));
  const __m256i oddLanes = _mm256_setr_epi32(1, 3, 5, 7, 1, 3, 5, 7);
  const __m256d e =
      _mm256_cvtepi32_pd(_mm256_castsi256_si128(_mm256_permutevar8x32_epi32(shifted, oddLanes)));
  const __m256i keep =
      _mm256_set1_epi64x(static_cast<int64_t>((uint64_t{k.mantMask} << 32) | 0xFFFFFFFFu));
  const __m256d m = _mm256_castsi256_pd(
      _mm256_or_si256(_mm256_and_si256(bits, keep), _mm256_set1_epi64x(int64_t{k.expBias} << 32)));
  __m256d r = _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(k.a3), m), _mm256_set1_pd(k.a2));
  r = _mm256_add_pd(_mm256_mul_pd(r, m), _mm256_set1_pd(k.a1));
  r = _mm256_add_pd(_mm256_mul_pd(r, m), _mm256_set1_pd(k.a0));
  return _mm256_add_pd(r, e);
}

// Four points at a time; each group of outputs is stored only after its eight input
// doubles are loaded, and later inputs lie beyond it, so in == out stays safe.
__attribute__((target("avx2"))) int cpxAbsLog2Avx2(const Params& k, const double* in, double* out,
                                                   int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m256d v0 = _mm256_loadu_pd(in + 2 * i);
    const __m256d v1 = _mm256_loadu_pd(in + 2 * i + 4);
    // [p0, p2, p1, p3] with p = re*re + im*im, then into order.
    const __m256d sums = _mm256_hadd_pd(_mm256_mul_pd(v0, v0), _mm256_mul_pd(v1, v1));
    const __m256d power = _mm256_permute4x64_pd(sums, 0b11011000);
    _mm256_storeu_pd(out + i, log2Of4(k, power));
  }
  return i;
}

__attribute__((target("avx2"))) int realAbsLog2Avx2(const Params& k, const double* in, double* out,
                                                    int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) _mm256_storeu_pd(out + i, log2Of4(k, _mm256_loadu_pd(in + i)));
  return i;
}
#endif

}  // namespace

void qspLog_c::RealAbsLog2(double* in, double* out, int n) {
  const Params k{expMask, expBias, mantMask, mantShift, a3, a2, a1, a0};
  int i = 0;
#ifdef QSP_HAVE_AVX2_PATH
  if (qspVectorKernels()) i = realAbsLog2Avx2(k, in, out, n);
#endif
  for (; i < n; ++i) out[i] = log2Of(k, in[i]);
}

void qspLog_c::CpxAbsLog2(double* in, double* out, int n) {
  const Params k{expMask, expBias, mantMask, mantShift, a3, a2, a1, a0};
  int i = 0;
#ifdef QSP_HAVE_AVX2_PATH
  if (qspVectorKernels()) i = cpxAbsLog2Avx2(k, in, out, n);
#endif
  for (; i < n; ++i) out[i] = log2Of(k, in[2 * i] * in[2 * i] + in[2 * i + 1] * in[2 * i + 1]);
}
