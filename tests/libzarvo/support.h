// What the library's tests and benchmarks share: a speech-like signal and runs of a stream.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "zarvo/zarvo.h"

namespace zarvo_test {

// Seconds of a voice-like signal at `rate`: harmonics of a gliding pitch under moving
// envelopes, hiss, and pauses of exact silence, so every part of the analysis and of the
// lip sync moves. Deterministic.
inline std::vector<float> voice(int rate, double seconds) {
  std::vector<float> s(static_cast<size_t>(rate * seconds));
  uint32_t noise = 12345;
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / rate, phase = std::fmod(t, 1.3);
    noise = noise * 1664525u + 1013904223u;
    const double hiss = (static_cast<double>(noise >> 8) / (1 << 24) - 0.5) * 0.3;
    double v = 0.0;
    for (int h = 1; h <= 12; ++h)
      v += std::sin(2 * M_PI * (110 + 30 * std::sin(2 * t)) * h * t) / h *
           (1 + std::sin(3 * t + h * 0.7 * phase));
    s[i] = phase > 1.1 ? 0.0f
           : phase > 0.9
               ? static_cast<float>(hiss)
               : static_cast<float>(0.08 * v * (0.3 + std::fabs(std::sin(9 * t))) + 0.05 * hiss);
  }
  return s;
}

// Every frame of samples (interleaved, `channels` per frame) pushed into s in blocks of
// `block` sample frames, pulled as they come, then (flush) the rest.
template <typename T>
std::vector<zarvo_frame> feed(zarvo_stream* s, const std::vector<T>& samples, int channels,
                              int64_t block, bool flush = true) {
  std::vector<zarvo_frame> out;
  zarvo_frame f{};
  f.struct_size = sizeof f;
  const int64_t frames = static_cast<int64_t>(samples.size()) / channels;
  for (int64_t at = 0, took = 0; at < frames && took >= 0; at += took) {
    const T* from = samples.data() + at * channels;
    const int64_t n = std::min(block, frames - at);
    if constexpr (sizeof(T) == 2)
      took = zarvo_stream_push_int16(s, from, n);
    else
      took = zarvo_stream_push_float(s, from, n);
    while (zarvo_stream_pull(s, &f) == 1) out.push_back(f);
  }
  if (flush) zarvo_stream_flush(s);
  while (zarvo_stream_pull(s, &f) == 1) out.push_back(f);
  return out;
}

// The same through a new stream with options o.
template <typename T>
std::vector<zarvo_frame> run(const zarvo_options& o, const std::vector<T>& samples, int64_t block) {
  zarvo_stream* s = zarvo_stream_create(&o, nullptr);
  if (s == nullptr) return {};
  std::vector<zarvo_frame> out = feed(s, samples, o.channels, block);
  zarvo_stream_destroy(s);
  return out;
}

inline zarvo_options options(int rate, int channels = 1, int articulate = 1,
                             unsigned outputs = ZARVO_OUTPUT_ALL) {
  zarvo_options o;
  zarvo_options_init(&o);
  o.rate = rate;
  o.channels = channels;
  o.articulate = articulate;
  o.outputs = outputs;
  return o;
}

}  // namespace zarvo_test
