// Overlapping analysis windows (1024 samples, a new one every 512) over 48000 Hz mono
// samples that the window thread itself pushes in: the resampled microphone, the samples
// of a file being played, or a recording read by the offline analysis. Both sides on one
// thread; nothing is shared with a callback. A reader that falls more than the ring
// behind skips to the newest window.
#pragma once

#include <cstdint>
#include <vector>

#include "speech/AbsRecorder.h"

class WindowRing : public AbsRecorder {
 public:
  static constexpr int kWindow = 1024, kStep = 512;
  // capacity: samples kept, at least a window and a step.
  explicit WindowRing(int capacity = 16384);

  int start() override { return 0; }
  bool isNew() override { return written - readEnd >= kStep; }
  void handleNew(double* out) override;  // the next window, oldest sample first

  void push(const float* samples, long count);
  // Filling in place, for a source that reads into memory itself: space() is where the
  // next samples go, with *room set to how many fit before the ring's end; added(n)
  // takes in n of them (n <= *room), as push() would have.
  float* space(long* room);
  void added(long n) { written += n; }
  int64_t pushed() const { return written; }
  int64_t windowEnd() const { return readEnd; }              // just past the last window
  int64_t nextWindowEnd() const { return readEnd + kStep; }  // of the window to come
  int skipped() const { return skippedWindows; }

 private:
  std::vector<float> ring;
  int64_t written = 0;
  int64_t readEnd = kWindow - kStep;
  int skippedWindows = 0;
};
