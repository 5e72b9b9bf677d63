#include "audiofile/Resampler.h"

#include <soxr.h>

std::unique_ptr<Resampler> Resampler::create(double fromRate, std::string* problem) {
  soxr_error_t err = nullptr;
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);  // one thread: one core each
  soxr_t s = soxr_create(fromRate, kRate, 1, &err, nullptr, &quality, &runtime);
  if (s == nullptr || err != nullptr) {
    if (s != nullptr) soxr_delete(s);
    if (problem != nullptr) *problem = std::string("cannot resample: ") + (err ? err : "?");
    return nullptr;
  }
  return std::unique_ptr<Resampler>(new Resampler(s));
}

Resampler::~Resampler() { soxr_delete(s); }

bool Resampler::check(const char* error) {
  if (error == nullptr) return true;
  why = std::string("resampling error: ") + error;
  return false;
}

bool Resampler::process(const float* in, size_t n, size_t* used, float* out, size_t room,
                        size_t* made) {
  return check(soxr_process(s, in, n, used, out, room, made));
}

bool Resampler::drain(float* out, size_t room, size_t* made) {
  // A null input tells the resampler the input has ended, so it hands out its tail.
  return check(soxr_process(s, nullptr, 0, nullptr, out, room, made));
}
