// Microphone capture for the continuous mode: overlapping windows of 48000 Hz mono samples,
// whatever the device can deliver. A device that captures at 48000 Hz feeds the analysis
// straight from the recorder's ring, as the designed run does; any other rate is opened as
// it is and resampled to 48000 Hz here, on the window thread (libsoxr, streaming, real-time
// quality), never in the audio callback. A stereo-only device is averaged to mono by the
// recorder.
//
// It also watches the stream: health() tells when the device stopped delivering, delivers
// impossibly fast (a device that went away), or PortAudio reports the stream inactive.
// Window thread only (the recorder's callback runs on PortAudio's thread).
#pragma once

#include <soxr.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "speech/AbsRecorder.h"
#include "speech/InfiniteRecorder.h"
#include "speech/WindowRing.h"

namespace live {

class Capture : public AbsRecorder {
 public:
  static constexpr int kRate = 48000, kWindow = WindowRing::kWindow, kStep = WindowRing::kStep,
                       kBuffer = 512;

  // Opens (not starts) `device` (paNoDevice: the program's input device), at `rate` when
  // the device can (other rates are tried after it; anything but 48000 is resampled). On
  // failure ok() is false and problem() says why in Hungarian.
  explicit Capture(PaDeviceIndex device = paNoDevice, int rate = kRate);
  ~Capture() override;

  bool ok() const { return opened; }
  const std::string& problem() const { return why; }
  int deviceRate() const { return recorder->sampleRate; }
  int deviceChannels() const { return recorder->numChannels; }
  bool resampling() const { return soxr != nullptr; }

  int start() override;  // PortAudio's result; problem() says why when not paNoError
  bool isNew() override;
  void handleNew(double* out) override;  // as InfiniteRecorder::handleNew, at 48000 Hz

  // Windows lost because the reader fell behind, and callbacks that reported lost input.
  int skippedWindows() const;
  int inputOverflows() const { return recorder->inputOverflows(); }
  // Absolute 48 kHz frame just past the last window handed out.
  int64_t windowEnd() const;

  // Milliseconds until the next window is expected (0: one is ready or overdue).
  int msUntilNextWindow();

  // Empty while the stream is healthy; else why it died (Hungarian, for the user).
  std::string health();

  // Ends the capture. A device that stopped delivering may hold PortAudio's thread in a read
  // that never returns; closing its stream would then wait for ever. Such a stream is left
  // open and its recorder (whose ring the thread may still write) is never freed: a few
  // kilobytes, once per device that hangs, against a program that hangs.
  void finish();

  InfiniteRecorder& device() { return *recorder; }

 private:
  void pull();  // resamples what the device delivered into the 48 kHz ring

  std::unique_ptr<InfiniteRecorder> recorder;
  bool opened = false;
  std::string why;
  // Resampling path: device blocks in, 48 kHz samples out into `ring`.
  soxr_t soxr = nullptr;
  std::vector<double> block;  // one device block, as the recorder hands it out
  std::vector<float> in, out;
  WindowRing ring;  // the resampled 48 kHz samples
  // Health watch.
  int64_t startNs = 0, lastChangeNs = 0;
  bool stalled = false;
  int32_t lastFrames = 0;
  int64_t framesSeen = 0;
};

}  // namespace live
