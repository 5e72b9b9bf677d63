// Resampling to the analysis rate, for every input that does not come at 48000 Hz: libsoxr,
// one channel of float, high quality (20-bit) with a linear-phase filter, so output sample k
// lies at time k / 48000 s of the input whatever its rate, on the calling thread only. The
// file reader and the library's streams (libzarvo/) both resample through this one set-up.
//
// libsoxr's output does not depend on how the input is cut into calls; the total for n
// input samples is round(n * 48000 / rate). It grows its buffers as it goes, during the
// first second or two of a stream and again for a new pattern of call sizes, so a caller that
// must not allocate feeds it pieces of one size after a warm-up (libzarvo/resampling.h).
//
// One object per input; one thread at a time.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct soxr;

class Resampler {
 public:
  static constexpr int kRate = 48000;  // the rate of every output sample

  // A resampler from `fromRate` Hz; null with *problem set (when not null) if libsoxr
  // refuses it. Allocates.
  static std::unique_ptr<Resampler> create(double fromRate, std::string* problem);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  // Takes up to n samples at `in` (not null) and writes up to `room` output samples to
  // `out`; *used and *made say how many. False on a libsoxr error (problem() says it).
  bool process(const float* in, size_t n, size_t* used, float* out, size_t room, size_t* made);
  // The end of the input: writes what the filter still holds, up to `room`; *made is 0 once
  // everything is out. After it, process() may not be called again.
  bool drain(float* out, size_t room, size_t* made);

  const std::string& problem() const { return why; }

 private:
  explicit Resampler(soxr* handle) : s(handle) {}
  bool check(const char* error);

  soxr* s;
  std::string why;
};
