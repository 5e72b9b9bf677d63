#include "libzarvo/resampling.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <string>

namespace zarvo {

Resampling::Resampling(int rate_) : rate(rate_) {
  std::string problem;
  soxr = Resampler::create(rate_, &problem);
  if (!soxr) throw std::runtime_error(problem);
  const int64_t common = std::gcd(rate, int64_t{Resampler::kRate});
  period = rate / common;
  periodOut = Resampler::kRate / common;
  // About a millisecond; never below 16 samples, where the cost of a call would dominate.
  piece.assign(static_cast<size_t>(std::max<int64_t>(16, (rate + 500) / 1000)), 0.0f);
  scratch.assign(kMostOut, 0.0f);
  startAfter(kWarmSeconds);
}

bool Resampling::run(float* out, int* made) {
  size_t used = 0, n = 0;
  if (!soxr->process(piece.data(), piece.size(), &used, out, kMostOut, &n)) return false;
  fed += static_cast<int64_t>(used);
  filled = 0;
  // Output positions before the signal's first sample, or past its end, are not its.
  const int64_t first = produced;
  produced += static_cast<int64_t>(n);
  const int64_t from = std::max(first, origin48);
  const int64_t to = end48 >= 0 ? std::min(produced, end48) : produced;
  *made = static_cast<int>(std::max<int64_t>(0, to - from));
  if (*made > 0 && from > first) std::memmove(out, out + (from - first), *made * sizeof(float));
  return true;
}

bool Resampling::convert(float* out, int* made) { return run(out, made); }

bool Resampling::finish(float* out, int* made, bool* failed) {
  *made = 0;
  *failed = false;
  if (end48 < 0) {
    // round(signal * 48000 / rate), the length libsoxr gives a whole input, in integers.
    end48 = origin48 + (signal * 2 * Resampler::kRate + rate) / (2 * rate);
  }
  if (produced >= end48) return false;
  std::fill(piece.begin() + filled, piece.end(), 0.0f);
  if (!run(out, made)) {
    *failed = true;
    return false;
  }
  return true;
}

void Resampling::startAfter(double seconds) {
  // The samples of the piece so far are cleared with the rest.
  const int64_t at = fed + filled;
  std::fill(piece.begin(), piece.end(), 0.0f);
  const int64_t zeros = static_cast<int64_t>(std::ceil(seconds * static_cast<double>(rate)));
  origin = (at + zeros + period - 1) / period * period;
  origin48 = origin / period * periodOut;
  end48 = -1;
  signal = 0;
  // Whole pieces of zeros up to the origin; what is left of it stays in the piece.
  while (fed + size() <= origin) {
    int made = 0;
    std::fill(piece.begin(), piece.end(), 0.0f);
    if (!run(scratch.data(), &made)) throw std::runtime_error(soxr->problem());
  }
  filled = static_cast<int>(origin - fed);
  std::fill(piece.begin(), piece.end(), 0.0f);
}

}  // namespace zarvo
