#include "live/window_ring.h"

#include <algorithm>

namespace live {

WindowRing::WindowRing(int capacity)
    : AbsRecorder(48000, 1, 1, kStep, kWindow, kStep),
      ring(static_cast<std::size_t>(std::max(capacity, kWindow + kStep)), 0.0f) {}

void WindowRing::push(const float* samples, long count) {
  const int64_t size = static_cast<int64_t>(ring.size());
  for (long i = 0; i < count; ++i) ring[(written + i) % size] = samples[i];
  written += count;
}

void WindowRing::handleNew(double* out) {
  if (!isNew()) return;
  const int64_t size = static_cast<int64_t>(ring.size());
  int64_t end = readEnd + kStep;
  if (written - end > size - kWindow) {  // overwritten already: the newest window instead
    const int64_t newest = readEnd + (written - readEnd) / kStep * kStep;
    skippedWindows += static_cast<int>((newest - end) / kStep);
    end = newest;
  }
  for (int i = 0; i < kWindow; ++i) out[i] = ring[(end - kWindow + i) % size];
  readEnd = end;
}

}  // namespace live
