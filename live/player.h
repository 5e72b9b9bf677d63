// Sound output for the playback: 48000 Hz mono samples pushed by the window thread are
// played through a PortAudio output stream (the chosen or the default output device), and
// the window thread can ask which sample is being heard now, to show the picture of a
// window when its last sample plays.
//
// Hand-over (one writer, one reader, no lock): the window thread writes samples into a ring
// and publishes them with a release store of `pushedFrames`; the callback copies what is
// there into the device buffer (silence where nothing is: an underrun, counted), then
// publishes how many samples it took and when the first of them reaches the speaker
// (PortAudio's outputBufferDacTime) under a sequence count. A device that cannot play
// 48000 Hz is opened at its own rate, resampled here on the window thread (libsoxr); one
// that has no mono gets the sample on each of its channels.
//
// Without an output device the same clock runs silently on the steady clock, so the
// picture keeps real-time pace.
#pragma once

#include <portaudio.h>
#include <soxr.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace live {

class Player {
 public:
  static constexpr int kRate = 48000;

  // Opens `device` (-1: the default output device). ok() false: no device or it cannot be
  // opened; problem() says why (Hungarian) and the player runs silently.
  explicit Player(int device);
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  bool ok() const { return stream != nullptr; }
  const std::string& problem() const { return why; }

  // Starts the clock (and the sound). False when the stream would not start (problem()).
  bool start();
  // Samples that fit into the ring now (48 kHz).
  long room() const;
  // Queues samples for playing; at most room().
  void push(const float* samples, long count);
  // Nothing more will be pushed: what the resampler holds goes out, and a short last
  // buffer is no underrun.
  void finish();
  // 48 kHz sample being heard now: 0 before the first, at most what was pushed.
  int64_t position();
  // Every pushed sample has been played.
  bool drained();
  // Stops the sound at once.
  void stop();
  // Empty while the device takes the sound; else why not (Hungarian). A device that took
  // nothing for two seconds while sound was waiting has stalled: its stream may hold
  // PortAudio's thread in a write that never returns, so a stalled player must not be closed
  // or destroyed (the caller leaves it, a few kilobytes, rather than hang).
  std::string health();
  bool stalled() const { return isStalled; }

  int underruns() const { return shared.underruns.load(std::memory_order_relaxed); }
  int deviceRate() const { return rate; }

  // The callback's view, public so that a test can drive the callback directly.
  struct Shared {
    float* ring = nullptr;  // ringFrames device-rate mono samples
    int64_t ringFrames = 0;
    int channels = 1;
    std::atomic<int64_t> pushedFrames{0};  // written by the window thread
    std::atomic<int64_t> takenFrames{0};   // written by the callback
    // Published per callback under seq (odd while writing): samples taken before this
    // buffer, and when its first frame reaches the speaker (steady clock, seconds).
    std::atomic<uint32_t> seq{0};
    std::atomic<int64_t> bufferStart{0};
    std::atomic<double> bufferDac{0.0};
    std::atomic<int32_t> underruns{0};
    std::atomic<bool> ended{false};  // set by the window thread after the last push
  };
  static int callback(const void* input, void* output, unsigned long frames,
                      const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags,
                      void* user);

 private:
  int64_t devicePosition();  // device frame being heard now
  int64_t from48Pushed = 0;  // 48 kHz samples pushed

  PaStream* stream = nullptr;
  bool paInitialized = false;
  std::string why;
  int rate = kRate;
  Shared shared;
  std::vector<float> ring;
  soxr_t soxr = nullptr;
  std::vector<float> converted;
  int64_t silentStartNs = 0;  // the clock without a device
  int64_t lastTaken = -1, lastTakenNs = 0;
  bool isStalled = false;
  // The smoothed device clock (devicePosition).
  bool clockSet = false;
  double anchor = 0.0;  // stream time at which device frame 0 was heard
  int64_t lastDevice = 0;
  bool started = false;
};

}  // namespace live
