// One voice's analysis behind the C interface: samples in at any rate and channel count,
// averaged and resampled (Resampling), cut into windows by the live mode's WindowRing, each
// window through the live analysis (QspRecorder, history 3, and pixels2FAPs) and, when
// visemes or articulated FAPs are wanted, through the lip sync (lipsync::LipSync); the
// frames wait in a queue for pulling.
//
// The arguments are checked by the C interface (api.cpp) before they get here. The
// constructor allocates everything (it throws std::bad_alloc, or std::runtime_error when the
// resampler cannot be set up); nothing else allocates. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "libzarvo/resampling.h"
#include "lipsync/LipSync.h"
#include "speech/QspRecorder.h"
#include "speech/WindowRing.h"
#include "zarvo/zarvo.h"

namespace zarvo {

class Stream {
 public:
  explicit Stream(const zarvo_options& options);
  ~Stream();
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  // As zarvo_stream_push_*: sample frames taken, or ZARVO_E_FLUSHED, ZARVO_E_INTERNAL.
  int64_t push(const float* samples, int64_t frames);
  int64_t push(const int16_t* samples, int64_t frames);
  // The oldest ready frame into `out` (every field but struct_size); false when none.
  bool pull(zarvo_frame& out);
  void flush();
  void reset();
  void setArticulate(bool on) { articulate = on; }
  bool failed() const { return broken; }  // libsoxr failed: nothing more comes
  int channelCount() const { return channels; }

 private:
  template <typename T>
  int64_t take(const T* samples, int64_t frames);
  void pieceDone();  // the full piece into the ring, its windows analysed
  void toRing(const float* samples, int n);
  void analyse();  // every complete window in the ring
  void window();   // the next one
  void emit(const lipsync::Frame& f, bool fromSync);
  void advanceEnd();  // as much of a flush as the queue has room for
  bool syncWanted() const;

  const int rate, channels;
  const unsigned outputs;
  bool articulate;

  // Input: pieces of one size (the resampler's, or a hop at 48 kHz), so that when a window
  // becomes ready does not depend on how the caller cut the input.
  std::unique_ptr<Resampling> resampling;  // null at 48000 Hz
  std::vector<float> hop;                  // the piece at 48000 Hz
  int hopFilled = 0;
  std::vector<float> out;  // the resampler's output of one piece
  int64_t taken = 0;       // sample frames since the start (create or reset)

  WindowRing ring;
  QspRecorder analyser;
  // Windows ending at or before this ring position belong to the input before a reset.
  int64_t skipUntil = 0;
  std::vector<double> scratch;  // a skipped window
  double points[30] = {};
  int faps[76] = {};
  int64_t windows = 0;

  lipsync::LipSync sync;
  bool syncOn = false;
  lipsync::WindowInput input{};
  lipsync::Frame frame{};

  std::vector<zarvo_frame> queue;  // a ring of frames
  size_t head = 0, queued = 0;

  enum class Phase { taking, ending, ended } phase = Phase::taking;
  bool broken = false;
};

}  // namespace zarvo
