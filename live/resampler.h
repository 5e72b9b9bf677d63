// The resampler of the live modes: libsoxr, one channel of float, high quality with a
// minimum-phase filter (the least delay, for real time), fed in blocks as audio arrives.
#pragma once

#include <soxr.h>

#include <string>

namespace live {

// A resampler from `from` Hz to `to` Hz, or null with *why set (Hungarian).
inline soxr_t newResampler(double from, double to, std::string* why) {
  soxr_error_t error = nullptr;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_MINIMUM_PHASE);
  soxr_t r = soxr_create(from, to, 1, &error, &io, &quality, nullptr);
  if (error == nullptr) return r;
  *why = std::string("az átmintavételezés nem indult el: ") + error;
  return nullptr;
}

}  // namespace live
