#include "live/player.h"

#include <algorithm>

#include "live/resampler.h"
#include "speech/AbsRecorder.h"
#include "speech/InfiniteRecorder.h"

namespace live {

namespace {

constexpr unsigned long kBuffer = 512;

}  // namespace

int Player::callback(const void*, void* output, unsigned long frames,
                     const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags, void* user) {
  Shared* s = static_cast<Shared*>(user);
  float* out = static_cast<float*>(output);
  const int64_t taken = s->takenFrames.load(std::memory_order_relaxed);
  const int64_t ready = s->pushedFrames.load(std::memory_order_acquire) - taken;
  const int64_t n = std::min<int64_t>(static_cast<int64_t>(frames), ready);

  const uint32_t seq = s->seq.load(std::memory_order_relaxed);
  s->seq.store(seq + 1, std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_release);
  s->bufferStart.store(taken, std::memory_order_relaxed);
  // When the buffer is heard, relative to now; the window thread has only its own clock
  // (asking PortAudio for the stream time would take the device's lock on some hosts).
  const double ahead = time != nullptr && time->outputBufferDacTime > 0.0
                           ? std::max(0.0, time->outputBufferDacTime - time->currentTime)
                           : 0.0;
  s->bufferDac.store(static_cast<double>(steadyNs()) / 1e9 + ahead, std::memory_order_relaxed);
  s->seq.store(seq + 2, std::memory_order_release);

  const int channels = s->channels;
  for (int64_t i = 0; i < n; ++i) {
    const float v = s->ring[(taken + i) % s->ringFrames];
    for (int c = 0; c < channels; ++c) out[i * channels + c] = v;
  }
  for (int64_t i = n * channels; i < static_cast<int64_t>(frames) * channels; ++i) out[i] = 0.0f;
  if (n < static_cast<int64_t>(frames) && !s->ended.load(std::memory_order_relaxed)) {
    // Less than a buffer ready before the end of the sound: an underrun.
    const int32_t u = s->underruns.load(std::memory_order_relaxed);
    s->underruns.store(u + 1, std::memory_order_relaxed);
  }
  s->takenFrames.store(taken + n, std::memory_order_release);
  return paContinue;
}

Player::Player(int device) {
  silenceAudioLibraries();
  PaError err = Pa_Initialize();
  if (err != paNoError) {
    why = Pa_GetErrorText(err);
    return;
  }
  paInitialized = true;
  const PaDeviceIndex index = device >= 0 ? device : Pa_GetDefaultOutputDevice();
  const PaDeviceInfo* info = index == paNoDevice ? nullptr : Pa_GetDeviceInfo(index);
  if (info == nullptr || info->maxOutputChannels < 1) {
    why = "nincs hangkimeneti eszköz";
    return;
  }
  PaStreamParameters out{};
  out.device = index;
  out.sampleFormat = paFloat32;
  out.suggestedLatency = info->defaultLowOutputLatency;
  err = paInvalidChannelCount;
  for (double r : {static_cast<double>(kRate), info->defaultSampleRate, 44100.0}) {
    for (int channels : {1, 2}) {
      if (channels > info->maxOutputChannels || r <= 0) continue;
      out.channelCount = channels;
      err = Pa_IsFormatSupported(nullptr, &out, r);
      if (err != paFormatIsSupported) continue;
      rate = static_cast<int>(r);
      shared.channels = channels;
      goto found;
    }
  }
  why = std::string("a hangkimenet nem nyitható meg: ") + Pa_GetErrorText(err);
  return;
found:
  ring.assign(static_cast<std::size_t>(rate), 0.0f);  // one second
  shared.ring = ring.data();
  shared.ringFrames = static_cast<int64_t>(ring.size());
  if (rate != kRate) {
    soxr = newResampler(kRate, rate, &why);
    if (soxr == nullptr) return;
  }
  err = Pa_OpenStream(&stream, nullptr, &out, rate, kBuffer, paClipOff, callback, &shared);
  if (err != paNoError) {
    stream = nullptr;
    why = std::string("a hangkimenet nem nyitható meg: ") + Pa_GetErrorText(err);
  }
}

Player::~Player() {
  if (stream != nullptr) Pa_CloseStream(stream);
  if (paInitialized) Pa_Terminate();
  if (soxr != nullptr) soxr_delete(soxr);
}

bool Player::start() {
  started = true;
  silentStartNs = steadyNs();
  if (stream == nullptr) return true;
  const PaError err = Pa_StartStream(stream);
  if (err == paNoError) return true;
  why = std::string("a hangkimenet nem indul el: ") + Pa_GetErrorText(err);
  Pa_CloseStream(stream);
  stream = nullptr;
  return false;
}

long Player::room() const {
  if (stream == nullptr) return 1 << 20;  // silent: no ring to fill
  const int64_t queued = shared.pushedFrames.load(std::memory_order_relaxed) -
                         shared.takenFrames.load(std::memory_order_acquire);
  const int64_t free = shared.ringFrames - queued - 64;  // room for the resampler's spill
  return free <= 0 ? 0 : static_cast<long>(free * kRate / rate);
}

void Player::push(const float* samples, long count) {
  from48Pushed += count;
  if (stream == nullptr) return;
  const float* src = samples;
  std::size_t n = static_cast<std::size_t>(count);
  if (soxr != nullptr) {
    converted.resize(static_cast<std::size_t>(count) * rate / kRate + 64);
    std::size_t done = 0;
    soxr_process(soxr, samples, n, nullptr, converted.data(), converted.size(), &done);
    src = converted.data();
    n = done;
  }
  const int64_t pushed = shared.pushedFrames.load(std::memory_order_relaxed);
  for (std::size_t i = 0; i < n; ++i)
    ring[static_cast<std::size_t>((pushed + static_cast<int64_t>(i)) % shared.ringFrames)] = src[i];
  shared.pushedFrames.store(pushed + static_cast<int64_t>(n), std::memory_order_release);
}

void Player::finish() {
  if (stream != nullptr && soxr != nullptr) {
    // What the resampler still holds.
    converted.resize(4096);
    std::size_t done = 0;
    soxr_process(soxr, nullptr, 0, nullptr, converted.data(), converted.size(), &done);
    const int64_t pushed = shared.pushedFrames.load(std::memory_order_relaxed);
    done = std::min<std::size_t>(done, static_cast<std::size_t>(room()));
    for (std::size_t i = 0; i < done; ++i)
      ring[static_cast<std::size_t>((pushed + static_cast<int64_t>(i)) % shared.ringFrames)] =
          converted[i];
    shared.pushedFrames.store(pushed + static_cast<int64_t>(done), std::memory_order_release);
  }
  shared.ended.store(true, std::memory_order_relaxed);
}

int64_t Player::devicePosition() {
  int64_t start = 0;
  double dac = 0.0;
  for (;;) {
    const uint32_t before = shared.seq.load(std::memory_order_acquire);
    start = shared.bufferStart.load(std::memory_order_relaxed);
    dac = shared.bufferDac.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if ((before & 1) == 0 && shared.seq.load(std::memory_order_relaxed) == before) break;
  }
  const int64_t taken = shared.takenFrames.load(std::memory_order_acquire);
  if (taken == 0) return 0;
  // The sample heard now, on the steady clock at the device's rate, anchored where the host
  // says the first sample reached the speaker (the newest buffer's outputBufferDacTime, less
  // the samples taken before it). A device takes buffers in bursts, so counting what it
  // took would jump; the clock does not. It never runs ahead of what the device was given:
  // after an underrun it waits there and goes on from the new anchor.
  const double now = static_cast<double>(steadyNs()) / 1e9;
  if (!clockSet) {
    anchor = dac - static_cast<double>(start) / rate;
    clockSet = true;
  }
  int64_t device = static_cast<int64_t>((now - anchor) * rate);
  if (device > taken) {
    anchor = now - static_cast<double>(taken) / rate;
    device = taken;
  }
  lastDevice = std::max(lastDevice, device);
  return lastDevice;
}

int64_t Player::position() {
  if (!started) return 0;
  if (stream == nullptr)
    return std::min<int64_t>(from48Pushed, (steadyNs() - silentStartNs) * kRate / 1'000'000'000);
  const int64_t device = devicePosition();
  return std::min<int64_t>(from48Pushed, rate == kRate ? device : device * kRate / rate);
}

bool Player::drained() {
  if (stream == nullptr) return position() >= from48Pushed;
  const int64_t pushed = shared.pushedFrames.load(std::memory_order_relaxed);
  return shared.takenFrames.load(std::memory_order_acquire) >= pushed &&
         devicePosition() >= pushed - 1;
}

std::string Player::health() {
  if (stream == nullptr || !started) return {};
  const int64_t taken = shared.takenFrames.load(std::memory_order_acquire);
  const int64_t now = steadyNs();
  if (taken != lastTaken) {
    lastTaken = taken;
    lastTakenNs = now;
    return {};
  }
  if (taken < shared.pushedFrames.load(std::memory_order_relaxed) &&
      now - lastTakenNs > 2'000'000'000) {
    isStalled = true;
    return "a hangkimenet nem veszi át a hangot";
  }
  return {};
}

void Player::stop() {
  if (stream != nullptr && Pa_IsStreamActive(stream) == 1) Pa_AbortStream(stream);
}

}  // namespace live
