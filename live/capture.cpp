#include "live/capture.h"

#include <algorithm>

#include "live/resampler.h"
#include "speech/AbsRecorder.h"

namespace live {

namespace {

// The raw ring of a resampled device: blocks of one callback, handed out without overlap.
constexpr int kRawBlocks = 16;
// The ring of a 48 kHz device, in hops: the designed run's 5 let the window thread fall only
// 21 ms behind before windows are lost; 32 allow 309 ms, so a busy machine (the capture
// thread, or the device, held up and then delivering a burst) or a slow message (a repaint
// reading the mesh files) costs no window, only a moment of catching up.
constexpr int kBlocks = 32;
// A device that delivered nothing for this long has stopped.
constexpr int64_t kSilentNs = 2'000'000'000;
// A device ahead of the wall clock by this much audio is gone (a working one never is).
constexpr double kAheadSeconds = 1.0;

std::string openProblem(PaError err) {
  switch (err) {
    case paDeviceUnavailable: return "nincs hangbemeneti eszköz";
    case paInvalidDevice: return "a választott eszköz nem hangbemenet";
    case paInvalidChannelCount:
    case paInvalidSampleRate:
    case paSampleFormatNotSupported: return "az eszköz egyik ismert formátumban sem tud felvenni";
    default: return Pa_GetErrorText(err);
  }
}

}  // namespace

Capture::Capture(PaDeviceIndex device, int askRate)
    : AbsRecorder(kRate, kBlocks, 1, kBuffer, kWindow, kStep) {
  const InfiniteRecorder::Choice choice{device, true};
  recorder =
      std::make_unique<InfiniteRecorder>(choice, askRate, kBlocks, 1, kBuffer, kWindow, kStep);
  if (recorder->stream != nullptr && recorder->sampleRate != kRate) {
    // The device's own rate: take raw blocks of one callback and resample them.
    const int rate = recorder->sampleRate;
    recorder.reset();
    recorder =
        std::make_unique<InfiniteRecorder>(choice, rate, kRawBlocks, 1, kBuffer, kBuffer, kBuffer);
    if (recorder->stream != nullptr && recorder->sampleRate == rate) {
      soxr = newResampler(rate, kRate, &why);
      if (soxr == nullptr) return;
      block.resize(kBuffer);
      in.resize(kBuffer);
      out.resize(static_cast<std::size_t>(kBuffer) * kRate / std::min(rate, kRate) + 64);
    }
  }
  if (recorder->stream == nullptr) {
    why = openProblem(recorder->lastError);
    return;
  }
  opened = true;
}

Capture::~Capture() {
  finish();
  if (soxr != nullptr) soxr_delete(soxr);
}

void Capture::finish() {
  if (!recorder) return;
  if (stalled) {
    static_cast<void>(recorder.release());  // deliberately never closed nor freed: see finish()
    return;
  }
  recorder->stop();
}

int Capture::start() {
  const int err = recorder->start();
  if (err != paNoError) {
    why = openProblem(err);
    return err;
  }
  startNs = lastChangeNs = steadyNs();
  lastFrames = recorder->data.framesRecorded.load(std::memory_order_acquire);
  framesSeen = 0;
  return err;
}

void Capture::pull() {
  while (recorder->isNew()) {
    recorder->handleNew(block.data());
    std::transform(block.begin(), block.end(), in.begin(),
                   [](double x) { return static_cast<float>(x); });
    std::size_t done = 0;
    soxr_process(soxr, in.data(), in.size(), nullptr, out.data(), out.size(), &done);
    ring.push(out.data(), static_cast<long>(done));
  }
}

bool Capture::isNew() {
  if (soxr == nullptr) return recorder->isNew();
  pull();
  return ring.isNew();
}

void Capture::handleNew(double* dst) {
  if (soxr == nullptr) {
    recorder->handleNew(dst);
    return;
  }
  pull();
  ring.handleNew(dst);
}

int Capture::skippedWindows() const {
  return (recorder ? recorder->skippedWindows() : 0) + ring.skipped();
}

int64_t Capture::windowEnd() const {
  return soxr == nullptr ? static_cast<int64_t>(recorder->readPos) : ring.windowEnd();
}

int Capture::msUntilNextWindow() {
  if (isNew()) return 0;
  const int64_t last = recorder->data.lastBufferNs.load(std::memory_order_relaxed);
  if (last == 0) return 5;  // nothing delivered yet
  const int64_t period = int64_t{recorder->framesPerBuffer} * 1'000'000'000 / recorder->sampleRate;
  const int64_t left = last + period - steadyNs();
  return static_cast<int>(std::clamp<int64_t>(left / 1'000'000 + 1, 1, 20));
}

std::string Capture::health() {
  PaStream* s = static_cast<PaStream*>(recorder->stream);
  if (s == nullptr) return "a hangfolyam bezárult";
  const PaError active = Pa_IsStreamActive(s);
  if (active < 0) return Pa_GetErrorText(active);
  if (active == 0) return "a hangfolyam leállt";
  const int64_t now = steadyNs();
  const int32_t frames = recorder->data.framesRecorded.load(std::memory_order_acquire);
  if (frames != lastFrames) {
    framesSeen += static_cast<uint32_t>(frames) - static_cast<uint32_t>(lastFrames);
    lastFrames = frames;
    lastChangeNs = now;
  } else if (now - lastChangeNs > kSilentNs) {
    stalled = true;
    return "az eszköz nem ad több hangot";
  }
  // More sound than time has passed: a driver that no longer waits for a device, as when
  // the device was unplugged or its connection closed (ALSA's file plugin at the end of its
  // input does exactly that).
  const double audioSeconds = static_cast<double>(framesSeen) / recorder->sampleRate;
  if (audioSeconds - (now - startNs) / 1e9 > kAheadSeconds)
    return "a hangbemeneti eszköz megszűnt (eltávolították vagy lezárták), már nem ad valódi "
           "hangot";
  return {};
}

}  // namespace live
