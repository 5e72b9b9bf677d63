// A stream's input at its own rate turned into 48 kHz samples, allocating nothing after the
// constructor. libsoxr (through audiofile/Resampler, the file reader's set-up) grows its
// buffers while it learns the pattern of its calls, so it is fed only pieces of one size
// (about a millisecond of input), after a warm-up of two seconds of zeros that lets it
// reach every size it will need. Its output for the warm-up is dropped: the signal starts at
// an input position whose output position is a whole sample, and every later start (reset)
// is placed so too, after zeros that clear the filter's memory. The output then is libsoxr's
// resampling of the signal alone, up to float rounding, whatever came before.
//
// One per stream; the stream's thread.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audiofile/Resampler.h"

namespace zarvo {

class Resampling {
 public:
  // Output samples one piece gives at most (libsoxr releases its output in bursts: 7360
  // samples at 8 kHz, less at higher rates).
  static constexpr int kMostOut = 16384;

  // rate: the input's, 8000..192000 Hz, not 48000. Throws std::bad_alloc, or
  // std::runtime_error when libsoxr refuses the rate.
  explicit Resampling(int rate);

  int size() const { return static_cast<int>(piece.size()); }
  // The piece being filled: input samples go to next() and are counted by took(n).
  float* next() { return piece.data() + filled; }
  int room() const { return size() - filled; }
  void took(int n) {
    filled += n;
    signal += n;
  }

  // Resamples the full piece (room() == 0) into out (kMostOut floats); returns how many
  // output samples belong to the signal. False on a libsoxr error.
  bool convert(float* out, int* made);

  // The end of the signal: a piece of zeros after what was taken, then more, until the
  // output reaches the signal's length, round(samples * 48000 / rate). Each call resamples
  // one piece into out (kMostOut floats) and sets *made; returns false once the output is
  // complete (nothing written) or on an error (*failed).
  bool finish(float* out, int* made, bool* failed);

  // A new signal starts at the next sample taken: the piece's samples so far and what the
  // filter holds are cleared by zeros, and the output of the new signal begins with its
  // first sample.
  void restart() { startAfter(kClearSeconds); }

 private:
  static constexpr double kClearSeconds = 0.05;  // the filter reaches 12.5 ms at 8 kHz
  static constexpr double kWarmSeconds = 2.0;

  void startAfter(double seconds);
  bool run(float* out, int* made);  // the full piece through libsoxr

  std::unique_ptr<Resampler> soxr;
  std::vector<float> piece;
  std::vector<float> scratch;  // the output of zeros, dropped
  int filled = 0;
  int64_t rate, period, periodOut;   // an input period of `period` samples gives periodOut
  int64_t fed = 0;                   // samples handed to libsoxr, zeros included
  int64_t produced = 0;              // samples libsoxr gave
  int64_t origin = 0, origin48 = 0;  // the signal's first sample, in and out
  int64_t signal = 0;                // samples of the signal taken
  int64_t end48 = -1;                // the output position that ends the signal, once known
};

}  // namespace zarvo
