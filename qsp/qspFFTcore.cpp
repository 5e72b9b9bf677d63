#include "qsp/qspFFTcore.h"

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qsp/qspCheck.h"
#include "qsp/qspSimd.h"

void qspFault(const char* where, const char* problem, int value) {
  std::fprintf(stderr, "qsp: %s: %s %d\n", where, problem, value);
  std::abort();
}

namespace {

// Decided once at start-up. Should a transform run from another unit's static
// initialiser before this is set, it takes the portable loops, whose results are the
// same.
#ifdef QSP_HAVE_AVX2_PATH
bool cpuHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}
std::atomic<bool> g_vector{cpuHasAvx2()};
#else
std::atomic<bool> g_vector{false};
#endif

bool useVector() { return g_vector.load(std::memory_order_relaxed); }

// The forward stages in plain loops; see qspCpxFFT.
void cpxFFTportable(double* x, const double* table, int n) {
  for (int groups = 1, half = n / 2; half >= 1; groups *= 2, half /= 2) {
    for (int g = 0; g < groups; ++g) {
      const double wr = table[2 * g];
      const double wi = table[2 * g + 1];
      double* a = x + 4 * half * g;
      double* b = a + 2 * half;
      for (int k = 0; k < 2 * half; k += 2) {
        const double tr = b[k] * wr + b[k + 1] * wi;
        const double ti = b[k + 1] * wr - b[k] * wi;
        b[k] = a[k] - tr;
        b[k + 1] = a[k + 1] - ti;
        a[k] = a[k] + tr;
        a[k + 1] = a[k + 1] + ti;
      }
    }
  }
}

#ifdef QSP_HAVE_AVX2_PATH
// Twiddle conj(w) for two lanes: real parts [wr, wr, ...] and imaginary parts with the
// sign of the imaginary lanes flipped, [wi, -wi, ...].
struct Twiddle2 {
  __m256d wrr;
  __m256d wiv;
};

__attribute__((target("avx2"))) inline Twiddle2 broadcastTwiddle(const double* pair) {
  const __m256d negImag = _mm256_set_pd(-0.0, 0.0, -0.0, 0.0);
  return {_mm256_set1_pd(pair[0]), _mm256_xor_pd(_mm256_set1_pd(pair[1]), negImag)};
}

// Two neighbouring table pairs, one per 128-bit lane.
__attribute__((target("avx2"))) inline Twiddle2 neighbourTwiddles(const double* pairs) {
  const __m256d negImag = _mm256_set_pd(-0.0, 0.0, -0.0, 0.0);
  const __m256d w = _mm256_loadu_pd(pairs);
  return {_mm256_movedup_pd(w), _mm256_xor_pd(_mm256_permute_pd(w, 0b1111), negImag)};
}

// The butterfly of cpxFFTportable on two complex points per register, [re, im, re, im].
// Lane by lane: t.re = b.re*wr + b.im*wi, t.im = b.im*wr + b.re*(-wi); negating a factor
// negates the product exactly and x + (-y) is x - y, so every result is the portable
// loop's to the bit. (No fused multiply-add: the target enables AVX2 only.)
__attribute__((target("avx2"))) inline void butterfly2(__m256d& a, __m256d& b, Twiddle2 w) {
  const __m256d bSwapped = _mm256_permute_pd(b, 0b0101);
  const __m256d t = _mm256_add_pd(_mm256_mul_pd(b, w.wrr), _mm256_mul_pd(bSwapped, w.wiv));
  b = _mm256_sub_pd(a, t);
  a = _mm256_add_pd(a, t);
}

// n >= 4. The same butterflies as the portable loops, in an order that keeps data in
// registers: two stages at a time (a group of stage s with quarters Q0..Q3 runs
// (Q0,Q2), (Q1,Q3) with twiddle g, then (Q0,Q1) with 2g and (Q2,Q3) with 2g+1 of stage
// s+1), two points per register. Each butterfly still sees exactly the operands it sees
// stage by stage, so the results do not change. The last two stages (2 and 1 points
// per half-group) run together on four points of one group, the lanes of the last
// stage taking the neighbouring twiddles 2g and 2g+1.
__attribute__((target("avx2"))) void cpxFFTavx2(double* x, const double* table, int n) {
  int groups = 1;
  int half = n / 2;
  if (std::countr_zero(static_cast<uint32_t>(n)) % 2 == 1) {
    // An odd stage count: one single stage first (n >= 8 here, so half >= 4).
    const Twiddle2 w = broadcastTwiddle(table);
    for (int k = 0; k < 2 * half; k += 4) {
      __m256d a = _mm256_loadu_pd(x + k);
      __m256d b = _mm256_loadu_pd(x + 2 * half + k);
      butterfly2(a, b, w);
      _mm256_storeu_pd(x + k, a);
      _mm256_storeu_pd(x + 2 * half + k, b);
    }
    groups = 2;
    half /= 2;
  }
  for (; half >= 4; groups *= 4, half /= 4) {
    const int quarter = 2 * (half / 2);  // doubles per quarter
    for (int g = 0; g < groups; ++g) {
      const Twiddle2 w1 = broadcastTwiddle(table + 2 * g);
      const Twiddle2 w2a = broadcastTwiddle(table + 4 * g);
      const Twiddle2 w2b = broadcastTwiddle(table + 4 * g + 2);
      double* q0 = x + 4 * half * g;
      for (int k = 0; k < quarter; k += 4) {
        __m256d v0 = _mm256_loadu_pd(q0 + k);
        __m256d v1 = _mm256_loadu_pd(q0 + quarter + k);
        __m256d v2 = _mm256_loadu_pd(q0 + 2 * quarter + k);
        __m256d v3 = _mm256_loadu_pd(q0 + 3 * quarter + k);
        butterfly2(v0, v2, w1);
        butterfly2(v1, v3, w1);
        butterfly2(v0, v1, w2a);
        butterfly2(v2, v3, w2b);
        _mm256_storeu_pd(q0 + k, v0);
        _mm256_storeu_pd(q0 + quarter + k, v1);
        _mm256_storeu_pd(q0 + 2 * quarter + k, v2);
        _mm256_storeu_pd(q0 + 3 * quarter + k, v3);
      }
    }
  }
  // half == 2: points 4g..4g+3 form group g of the next-to-last stage.
  for (int g = 0; g < groups; ++g) {
    double* p = x + 8 * g;
    __m256d v0 = _mm256_loadu_pd(p);      // points 0, 1
    __m256d v1 = _mm256_loadu_pd(p + 4);  // points 2, 3
    butterfly2(v0, v1, broadcastTwiddle(table + 2 * g));
    __m256d a = _mm256_permute2f128_pd(v0, v1, 0x20);  // points 0, 2
    __m256d b = _mm256_permute2f128_pd(v0, v1, 0x31);  // points 1, 3
    butterfly2(a, b, neighbourTwiddles(table + 4 * g));
    _mm256_storeu_pd(p, _mm256_permute2f128_pd(a, b, 0x20));
    _mm256_storeu_pd(p + 4, _mm256_permute2f128_pd(a, b, 0x31));
  }
}
#endif

}  // namespace

bool qspVectorKernels() { return useVector(); }

void qspSetVectorKernels(bool on) {
#ifdef QSP_HAVE_AVX2_PATH
  g_vector.store(on && cpuHasAvx2(), std::memory_order_relaxed);
#else
  (void)on;
#endif
}

// Radix-2 stages, natural order in, bit-reversed order out: stage s has 2^s groups and
// group g multiplies its lower half by conj(table pair g) = e^{-i pi rev(g)/2^s} before
// the sum and difference. Taking the twiddles in bit-reversed group order is what lets
// the output come out bit-reversed with no reordering pass.
void qspCpxFFT(double* x, double* table, int n) {
  qspCheckSize("qspCpxFFT", n, 1, 4096);
#ifdef QSP_HAVE_AVX2_PATH
  if (n >= 4 && useVector()) {
    cpxFFTavx2(x, table, n);
    return;
  }
#endif
  cpxFFTportable(x, table, n);
}

// The forward stages run backwards; halving in every stage gives the 1/n overall.
void qspCpxIFFT(double* x, double* table, int n) {
  qspCheckSize("qspCpxIFFT", n, 1, 4096);
  for (int groups = n / 2, half = 1; groups >= 1; groups /= 2, half *= 2) {
    for (int g = 0; g < groups; ++g) {
      const double wr = table[2 * g];
      const double wi = table[2 * g + 1];
      double* a = x + 4 * half * g;
      double* b = a + 2 * half;
      for (int k = 0; k < 2 * half; k += 2) {
        a[k] = (a[k] + b[k]) * 0.5;
        a[k + 1] = (a[k + 1] + b[k + 1]) * 0.5;
        // Built from the halved a, so d is (old a - b) / 2.
        const double dr = a[k] - b[k];
        const double di = a[k + 1] - b[k + 1];
        b[k] = wr * dr - wi * di;
        b[k + 1] = wr * di + wi * dr;
      }
    }
  }
}

namespace {

// Every byte with its bits in reverse order.
constexpr auto kReversedByte = [] {
  std::array<uint8_t, 256> t{};
  for (int v = 0; v < 256; ++v)
    for (int b = 0; b < 8; ++b) t[v] |= static_cast<uint8_t>(((v >> b) & 1) << (7 - b));
  return t;
}();

uint32_t reverse32(uint32_t v) {
  return (uint32_t{kReversedByte[v & 0xFF]} << 24) |
         (uint32_t{kReversedByte[(v >> 8) & 0xFF]} << 16) |
         (uint32_t{kReversedByte[(v >> 16) & 0xFF]} << 8) | uint32_t{kReversedByte[v >> 24]};
}

void swapPoints(double* p, double* q) {
  double t[2];
  std::memcpy(t, p, sizeof t);
  std::memcpy(p, q, sizeof t);
  std::memcpy(q, t, sizeof t);
}

// Split the b index bits as i = (A, m, C): A the top and C the bottom lowBits =
// floor(b/2) bits, m the middle bit when b is odd. Then rev(i) = (rev C, m, rev A), and
// i < rev(i) exactly when A < rev C. `mid` is the middle bit's value (0 when b is even);
// `reverse` reverses lowBits bits.
template <class Reverse>
void swapReversedPairs(double* x, int lowBits, uint32_t mid, Reverse reverse) {
  const int aShift = lowBits + (mid != 0);
  for (uint32_t c = 0; c < (1u << lowBits); ++c) {
    const uint32_t rc = reverse(c);
    const uint32_t jHigh = rc << aShift;
    for (uint32_t a = 0; a < rc; ++a) {
      const uint32_t i = (a << aShift) | c;
      const uint32_t j = jHigh | reverse(a);
      swapPoints(x + 2 * i, x + 2 * j);
      if (mid) swapPoints(x + 2 * (i | mid), x + 2 * (j | mid));
    }
  }
}

}  // namespace

// Each point i < rev(i) trades places with rev(i): the final order is that of the
// classic loop with a carried reversed counter, but the pairs are enumerated directly,
// without its branches (which follow no pattern a predictor can learn).
void qspCpxBitrev(double* x, int n) {
  qspCheckSize("qspCpxBitrev", n, 1, 1 << 30);
  const int bits = std::countr_zero(static_cast<uint32_t>(n));
  const int lowBits = bits / 2;
  const uint32_t mid = (bits & 1) ? (1u << lowBits) : 0;
  if (lowBits == 0) return;
  if (lowBits <= 8) {
    // Up to 2^17 points: the reversals of the low half fit a small table.
    uint16_t low[256];
    for (uint32_t v = 0; v < (1u << lowBits); ++v)
      low[v] = static_cast<uint16_t>(kReversedByte[v] >> (8 - lowBits));
    swapReversedPairs(x, lowBits, mid, [&low](uint32_t v) -> uint32_t { return low[v]; });
  } else {
    swapReversedPairs(x, lowBits, mid,
                      [lowBits](uint32_t v) { return reverse32(v) >> (32 - lowBits); });
  }
}

namespace {

// One pair (p, q) of the forward split.
inline void splitPair(double* x, const double* table, int p, int q) {
  const double wr = table[2 * p];
  const double wi = table[2 * p + 1];
  const double br = x[2 * q];
  const double bi = x[2 * q + 1];
  const double sr = (x[2 * p] + br) * 0.5;
  const double si = (x[2 * p + 1] + bi) * 0.5;
  const double dr = sr - br;
  const double di = si - bi;
  const double v = -(wr * dr + wi * si);
  const double u = wr * si - wi * dr;
  x[2 * p] = sr + u;
  x[2 * p + 1] = v + di;
  x[2 * q] = sr - u;
  x[2 * q + 1] = v - di;
}

#ifdef QSP_HAVE_AVX2_PATH
// splitPair on (p, q) and (p+1, q-1) at once: lanes [p, p+1] against [q, q-1] (the q
// points are loaded as [q-1, q] and their halves exchanged). U holds
// [wr*si - wi*dr, wr*dr + wi*si]; negating its second lane gives [u, v] exactly as the
// scalar -(...) does, sign of zero included.
__attribute__((target("avx2"))) void splitBlockAvx2(double* x, const double* table, int B) {
  const __m256d half = _mm256_set1_pd(0.5);
  const __m256d negFirst = _mm256_set_pd(0.0, -0.0, 0.0, -0.0);
  const __m256d negSecond = _mm256_set_pd(-0.0, 0.0, -0.0, 0.0);
  for (int p = B, q = 2 * B - 1; p < B + B / 2; p += 2, q -= 2) {
    const __m256d a = _mm256_loadu_pd(x + 2 * p);
    const __m256d bRaw = _mm256_loadu_pd(x + 2 * (q - 1));
    const __m256d b = _mm256_permute2f128_pd(bRaw, bRaw, 0x01);
    const __m256d w = _mm256_loadu_pd(table + 2 * p);
    const __m256d wrr = _mm256_movedup_pd(w);
    const __m256d wiv = _mm256_xor_pd(_mm256_permute_pd(w, 0b1111), negFirst);
    const __m256d sum = _mm256_mul_pd(_mm256_add_pd(a, b), half);  // [sr, si]
    const __m256d dif = _mm256_sub_pd(sum, b);                     // [dr, di]
    const __m256d siDr = _mm256_shuffle_pd(sum, dif, 0b0101);
    const __m256d drSi = _mm256_shuffle_pd(dif, sum, 0b1010);
    const __m256d U = _mm256_add_pd(_mm256_mul_pd(wrr, siDr), _mm256_mul_pd(wiv, drSi));
    const __m256d uv = _mm256_xor_pd(U, negSecond);
    const __m256d y = _mm256_blend_pd(sum, uv, 0b1010);  // [sr, v]
    const __m256d z = _mm256_blend_pd(uv, dif, 0b1010);  // [u, di]
    _mm256_storeu_pd(x + 2 * p, _mm256_add_pd(y, z));
    const __m256d toQ = _mm256_sub_pd(y, z);
    _mm256_storeu_pd(x + 2 * (q - 1), _mm256_permute2f128_pd(toQ, toQ, 0x01));
  }
}
#endif

}  // namespace

// The 2n real samples were transformed as n complex points z[j] = x[2j] + i x[2j+1].
// With Z their DFT, the spectrum of the real signal is
//   X[k] = (Z[k] + conj Z[n-k]) / 2 - i e^{-i pi k/n} (Z[k] - conj Z[n-k]) / 2,
// so bins k and n-k are computed together. In bit-reversed order the partner of
// position p (index rev(p)) sits at the mirror position of p inside its block [B, 2B),
// and the twiddle e^{i pi rev(p)/n} is table pair p.
void qspCpxFFT2Real(double* x, double* table, int n) {
  qspCheckSize("qspCpxFFT2Real", n, 2, 2048);
  // X[0] and X[n] are both real; pack X[n] into the imaginary slot of bin 0.
  const double z0i = x[1];
  x[0] = x[0] + z0i;
  x[1] = x[0] - 2.0 * z0i;
  // Position 1 holds Z[n/2], whose partner is itself: X[n/2] = conj Z[n/2].
  x[3] = -x[3];
#ifdef QSP_HAVE_AVX2_PATH
  const bool vector = useVector();
#endif
  for (int B = 2; B < n; B *= 2) {
#ifdef QSP_HAVE_AVX2_PATH
    if (vector && B >= 4) {
      splitBlockAvx2(x, table, B);
      continue;
    }
#endif
    for (int p = B, q = 2 * B - 1; p < B + B / 2; ++p, --q) splitPair(x, table, p, q);
  }
}

void qspRealFFT2Cpx(double* x, double* table, int n) {
  qspCheckSize("qspRealFFT2Cpx", n, 2, 2048);
  const double xn = x[1];
  x[0] = (x[0] + xn) * 0.5;
  x[1] = x[0] - xn;
  x[3] = -x[3];
  for (int B = 2; B < n; B *= 2) {
    for (int p = B, q = 2 * B - 1; p < B + B / 2; ++p, --q) {
      const double wr = table[2 * p];
      const double wi = table[2 * p + 1];
      const double br = x[2 * q];
      const double bi = x[2 * q + 1];
      const double sr = (x[2 * p] + br) * 0.5;
      const double si = (x[2 * p + 1] + bi) * 0.5;
      const double dr = sr - br;
      const double di = si - bi;
      const double v = wr * dr - wi * si;
      const double u = wr * si + wi * dr;
      x[2 * p] = sr - u;
      x[2 * p + 1] = v + di;
      x[2 * q] = sr + u;
      x[2 * q + 1] = v - di;
    }
  }
}
