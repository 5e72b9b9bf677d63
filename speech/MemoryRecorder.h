// A recorder fed from memory instead of a microphone, for the offline tool, tests and
// benchmarks. It hands out windows exactly as the live recorder does: the first once
// windowSize samples have arrived, then one more for every `step` further samples, each
// window the windowSize samples ending at the newest full step. No audio library.
#pragma once
#include "speech/AbsRecorder.h"

class MemoryRecorder : public AbsRecorder {
 public:
  // samples: `count` mono float samples at sampleRate, owned by the caller and kept
  // alive and unchanged while this recorder exists. `arrived` of them count as already
  // recorded (all by default); arrive() makes more visible, as the audio callback would.
  // windowSize, step: in samples; 0 (or less) means one live audio buffer, 512.
  MemoryRecorder(const float* samples, int count, int windowSize = 1024, int step = 512,
                 int sampleRate = 48000, int arrived = -1);

  int start() override { return 0; }  // nothing to start; 0 is "no error"
  bool isNew() override;
  // If a window is ready: out[0..windowsize()-1] = that window, oldest sample first,
  // converted to double, and the read position moves on by one step. Otherwise out is
  // left untouched. Allocates nothing.
  void handleNew(double* out) override;

  // Makes n more samples visible (never beyond count).
  void arrive(int n);

  // Number of windows handed out so far.
  int windowsRead() const;

  static constexpr int kBufferFrames = 512;  // the live recorder's frames per callback

  const float* source;
  int count;
  long long readPos;  // absolute sample just past the last window handed out
};
