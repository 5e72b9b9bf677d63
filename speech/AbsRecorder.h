// The abstract audio source the frame analyser reads: a ring of float samples filled by
// one writer (the audio callback thread) and read as overlapping windows by one reader
// (the window thread). No PortAudio type appears here, so analysis code and the offline
// tool do not depend on the audio library.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>

// The clock of every latency and pacing figure: steady_clock in ns since its epoch (on Linux
// CLOCK_MONOTONIC, the clock the feeder stamps its log with). Safe in the audio callback.
inline int64_t steadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The record handed to the audio callback as user data. Single writer per counter: the
// callback thread writes writePos, blockIndex and framesRecorded; it publishes the
// samples of a buffer by a release store of framesRecorded, and the reader acquires it.
struct paTestData {
  std::atomic<int32_t> writePos{0};  // next ring frame the callback writes
  int32_t ringFrames = 0;            // ring length in frames = step * numBlocks
  float* samples = nullptr;          // ringFrames * channels floats
  int32_t channels = 0;
  int32_t numBlocks = 0;
  std::atomic<int32_t> blockIndex{0};  // 0..numBlocks-1
  int32_t blockFrames = 0;             // = step
  std::atomic<int32_t> framesRecorded{0};
  // steady_clock time (ns since its epoch) at which the callback finished storing its
  // latest buffer; written before framesRecorded is published. For latency figures only.
  std::atomic<int64_t> lastBufferNs{0};
  // Callbacks whose status said input was lost before it reached us (the device's buffer
  // overflowed). Written by the callback only.
  std::atomic<int32_t> inputOverflows{0};
};

class AbsRecorder {
 public:
  // windowSize 0 or step 0 mean framesPerBuffer.
  AbsRecorder(int sampleRate, int numBlocks, int numChannels, int framesPerBuffer, int windowSize,
              int step);
  virtual ~AbsRecorder();
  AbsRecorder(const AbsRecorder&) = delete;
  AbsRecorder& operator=(const AbsRecorder&) = delete;

  virtual int start() = 0;                  // starts delivery; returns the backend's code
  virtual bool isNew() = 0;                 // a window beyond the last handed out is ready
  virtual void handleNew(double* out) = 0;  // next window (windowsize() values), oldest first

  int windowsize() const { return windowSize; }
  void stop();  // closes the stream, if one is open

 protected:
  // Closes `stream`; called by stop() only when stream is not null.
  virtual void closeStream() {}

 public:
  int sampleRate;
  int numBlocks;
  int numChannels;
  int ringFrames = 0;
  int ringSamples = 0;
  int framesPerBuffer;
  int windowSize;
  int step;
  void* stream = nullptr;  // PortAudio's PaStream* (an opaque handle) when open
  paTestData data;
};
