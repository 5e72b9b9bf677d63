// The speaker's log that zarvo-feeder --sink-log writes: a line "first ns" for each chunk of
// 512 samples the fed speaker played, `first` its first sample in the played stream and `ns`
// the steady clock (CLOCK_MONOTONIC) when the speaker took it, the moment it played. Read by the
// playback test and by the latency tool to tell which sample was being heard when a frame was
// shown.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

struct SinkChunk {
  int64_t first;  // first sample of the chunk in the played stream
  int64_t ns;     // when it played
};

inline std::vector<SinkChunk> readSinkLog(const std::string& path) {
  std::vector<SinkChunk> v;
  FILE* f = std::fopen(path.c_str(), "r");
  long long a, b;
  while (f != nullptr && std::fscanf(f, "%lld %lld", &a, &b) == 2) v.push_back({a, b});
  if (f != nullptr) std::fclose(f);
  return v;
}

// The sample being heard at `ns`: the chunk that began playing last before it, plus the time since
// then at 48000 Hz (at most one chunk). None before the first chunk.
inline std::optional<double> sampleHeardAt(const std::vector<SinkChunk>& chunks, int64_t ns) {
  const auto c = std::upper_bound(chunks.begin(), chunks.end(), ns,
                                  [](int64_t t, const SinkChunk& k) { return t < k.ns; });
  if (c == chunks.begin()) return std::nullopt;
  const SinkChunk& k = *std::prev(c);
  return k.first + std::min(512.0, (ns - k.ns) * 48000.0 / 1e9);
}
