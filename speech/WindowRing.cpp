#include "speech/WindowRing.h"

#include <algorithm>

WindowRing::WindowRing(int capacity)
    : AbsRecorder(48000, 1, 1, kStep, kWindow, kStep),
      ring(static_cast<std::size_t>(std::max(capacity, kWindow + kStep)), 0.0f) {}

// Both copies go in at most two pieces: up to the end of the ring, then from its start.
void WindowRing::push(const float* samples, long count) {
  const int64_t size = static_cast<int64_t>(ring.size());
  if (count > size) {  // only the newest `size` samples can still be read
    samples += count - size;
    written += count - size;
    count = static_cast<long>(size);
  }
  const int64_t at = written % size;
  const int64_t first = std::min<int64_t>(count, size - at);
  std::copy(samples, samples + first, ring.begin() + at);
  std::copy(samples + first, samples + count, ring.begin());
  written += count;
}

float* WindowRing::space(long* room) {
  const int64_t at = written % static_cast<int64_t>(ring.size());
  *room = static_cast<long>(static_cast<int64_t>(ring.size()) - at);
  return ring.data() + at;
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
  const float* from = ring.data() + (end - kWindow) % size;
  const int first = static_cast<int>(std::min<int64_t>(kWindow, ring.data() + size - from));
  for (int i = 0; i < first; ++i) out[i] = from[i];
  for (int i = first; i < kWindow; ++i) out[i] = ring[static_cast<std::size_t>(i - first)];
  readEnd = end;
}
