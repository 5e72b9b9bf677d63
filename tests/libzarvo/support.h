// What the library's tests share: a speech-like signal and a whole run through one stream.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "zarvo/zarvo.h"

namespace zarvo_test {

// Seconds of a voice-like signal at `rate`: harmonics of a gliding pitch under moving
// formant-like envelopes, hiss bursts, and pauses of exact silence, so every part of the
// analysis and of the lip sync moves. Deterministic.
inline std::vector<float> voice(int rate, double seconds) {
  std::vector<float> s(static_cast<size_t>(rate * seconds));
  uint32_t noise = 12345;
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    const double phase = std::fmod(t, 1.3);
    if (phase > 1.1) continue;  // a pause
    noise = noise * 1664525u + 1013904223u;
    const double hiss = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 0.3;
    if (phase > 0.9) {
      s[i] = static_cast<float>(hiss);
      continue;
    }
    const double f0 = 110.0 + 30.0 * std::sin(2.0 * t);
    double v = 0.0;
    for (int h = 1; h <= 12; ++h)
      v += std::sin(2.0 * M_PI * f0 * h * t) / h * (1.0 + std::sin(3.0 * t + h * 0.7 * phase));
    s[i] = static_cast<float>(0.08 * v * (0.3 + std::fabs(std::sin(9.0 * t))) + 0.05 * hiss);
  }
  return s;
}

// Every frame of `samples` (frames * channels values) pushed in blocks of `block` sample
// frames and flushed; fails the calling test (returns what it has) on any error.
template <typename T>
std::vector<zarvo_frame> run(const zarvo_options& o, const std::vector<T>& samples, int64_t block) {
  int error = 0;
  zarvo_stream* s = zarvo_stream_create(&o, &error);
  std::vector<zarvo_frame> out;
  if (s == nullptr) return out;
  zarvo_frame f{};
  f.struct_size = sizeof f;
  const int64_t frames = static_cast<int64_t>(samples.size()) / o.channels;
  for (int64_t at = 0; at < frames;) {
    const int64_t n = std::min(block, frames - at);
    int64_t took;
    if constexpr (sizeof(T) == 2)
      took = zarvo_stream_push_int16(s, samples.data() + at * o.channels, n);
    else
      took = zarvo_stream_push_float(s, samples.data() + at * o.channels, n);
    if (took < 0) break;
    at += took;
    while (zarvo_stream_pull(s, &f) == 1) out.push_back(f);
  }
  zarvo_stream_flush(s);
  while (zarvo_stream_pull(s, &f) == 1) out.push_back(f);
  zarvo_stream_destroy(s);
  return out;
}

inline zarvo_options options(int rate, int channels = 1, int articulate = 1) {
  zarvo_options o;
  zarvo_options_init(&o);
  o.rate = rate;
  o.channels = channels;
  o.articulate = articulate;
  return o;
}

}  // namespace zarvo_test
