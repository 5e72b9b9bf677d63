#include "speech/MemoryRecorder.h"

MemoryRecorder::MemoryRecorder(const float* samples, int count_, int windowSize_, int step_,
                               int sampleRate_, int arrived)
    : AbsRecorder(sampleRate_, 0, 1, kBufferFrames, windowSize_ > 0 ? windowSize_ : 0,
                  step_ > 0 ? step_ : 0),
      source(samples),
      count(count_ > 0 ? count_ : 0) {
  // Same start as the live recorder: the first window ends at sample windowSize.
  readPos = static_cast<long long>(windowSize) - step;
  data.channels = 1;
  data.blockFrames = step;
  data.samples = nullptr;  // not a ring: windows are read straight from `source`
  data.framesRecorded.store(arrived < 0 || arrived > count ? count : arrived,
                            std::memory_order_relaxed);
}

bool MemoryRecorder::isNew() {
  return data.framesRecorded.load(std::memory_order_acquire) >= readPos + step;
}

void MemoryRecorder::handleNew(double* out) {
  if (!isNew()) return;
  readPos += step;
  const float* w = source + (readPos - windowSize);
  for (int i = 0; i < windowSize; ++i) out[i] = w[i];
}

void MemoryRecorder::arrive(int n) {
  long long total = data.framesRecorded.load(std::memory_order_relaxed);
  total += n > 0 ? n : 0;
  if (total > count) total = count;
  data.framesRecorded.store(static_cast<int>(total), std::memory_order_release);
}

int MemoryRecorder::windowsRead() const {
  return static_cast<int>((readPos - (static_cast<long long>(windowSize) - step)) / step);
}
