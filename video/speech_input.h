// A speech recording as the video tool reads it: its samples for the sound track and its
// analysed windows for the mouth. Stand-in until the project's audio-file reader arrives:
// raw little-endian float32, mono, 48000 Hz only, held in memory.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "speech/MemoryRecorder.h"
#include "speech/QspRecorder.h"

struct AnalysedWindow {
  long index = 0;  // 0 for the window of samples 0..1023, then one per 512 samples
  double level = 0.0;
  int volume = 0;
  int faps[76] = {};
};

class SpeechInput {
 public:
  bool open(const std::string& path, std::string& problem);
  // Up to n samples of the sound, in order; 0 at the end.
  long read(float* out, long n);
  // The next analysed window; false after the last.
  bool next(AnalysedWindow& w);
  double seconds() const { return samples_.size() / 48000.0; }

 private:
  std::vector<float> samples_;
  std::size_t readPos_ = 0;
  long windows_ = 0;
  std::unique_ptr<MemoryRecorder> recorder_;
  std::unique_ptr<QspRecorder> analyser_;
};

// The analysis window a frame shows: the one whose centre is nearest the frame's time
// k / fps (window i covers samples 512 i .. 512 i + 1023, centre 512 (i + 1)).
long frameWindow(long k, int fps);
