#include "speech/InfiniteRecorder.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

namespace {

// Frames from `from` to `to` on the 32-bit frame clock. The counters wrap after 2^32
// frames (about 24.9 hours at 48000 Hz); differences stay right while they are below 2^31.
int32_t framesBetween(int32_t from, int32_t to) {
  return static_cast<int32_t>(static_cast<uint32_t>(to) - static_cast<uint32_t>(from));
}

int32_t advanceFrames(int32_t pos, int64_t frames) {
  return static_cast<int32_t>(static_cast<uint32_t>(pos) + static_cast<uint32_t>(frames));
}

int ringIndex(int64_t frame, int ringFrames) {
  int64_t r = frame % ringFrames;
  return static_cast<int>(r < 0 ? r + ringFrames : r);
}

// ALSA and JACK report every probe of a device that is not there (dozens of lines on a
// machine without a sound card) straight to stderr. Those lines say nothing a user can act
// on; the failures that matter reach us as PortAudio results, which we report ourselves.
// ZARVO_AUDIO_DEBUG=1 in the environment lets the library lines through again.
bool g_audioDebug = false;

void alsaMessage(const char* file, int line, const char* function, int err, const char* fmt, ...) {
  if (!g_audioDebug) return;
  std::fprintf(stderr, "ALSA lib %s:%d:(%s) ", file, line, function);
  va_list args;
  va_start(args, fmt);
  std::vfprintf(stderr, fmt, args);
  va_end(args);
  if (err != 0) std::fprintf(stderr, ": %s", snd_strerror(err));
  std::fputc('\n', stderr);
}

void jackMessage(const char* text) {
  if (g_audioDebug) std::fprintf(stderr, "JACK: %s\n", text);
}

}  // namespace

// JACK is looked up at run time rather than linked: PortAudio may or may not have been
// built with it, and when it was, libjack is already in the process through PortAudio.
void silenceAudioLibraries() {
  static std::once_flag once;
  std::call_once(once, [] {
    const char* debug = std::getenv("ZARVO_AUDIO_DEBUG");
    g_audioDebug = debug != nullptr && debug[0] != '\0' && debug[0] != '0';
    snd_lib_error_set_handler(alsaMessage);
    using JackSetter = void (*)(void (*)(const char*));
    for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
      if (void* sym = dlsym(RTLD_DEFAULT, name)) {
        reinterpret_cast<JackSetter>(sym)(jackMessage);
      }
    }
  });
}

namespace {

void reportFailure(const char* call, PaError err) {
  std::fprintf(stderr, "zarvo: audio input: %s: %s", call, Pa_GetErrorText(err));
  if (err == paUnanticipatedHostError) {
    const PaHostErrorInfo* host = Pa_GetLastHostErrorInfo();
    if (host != nullptr && host->errorText != nullptr && host->errorText[0] != '\0') {
      std::fprintf(stderr, " (%s)", host->errorText);
    }
  }
  std::fputc('\n', stderr);
}

}  // namespace

int infiniteRecordCallback(const void* input, void* /*output*/, unsigned long frameCount,
                           const PaStreamCallbackTimeInfo* /*timeInfo*/,
                           PaStreamCallbackFlags statusFlags, void* userData) {
  paTestData* data = static_cast<paTestData*>(userData);
  if (statusFlags & paInputOverflow) {
    const int32_t n = data->inputOverflows.load(std::memory_order_relaxed);
    data->inputOverflows.store(n + 1, std::memory_order_relaxed);
  }
  const int64_t ringFrames = data->ringFrames;
  const int channels = data->channels;
  const int64_t count = static_cast<int64_t>(frameCount);
  const int32_t writePos = data->writePos.load(std::memory_order_relaxed);

  if (input != nullptr) {
    // Pairs with the reader's acquire fence: a reader that sees any sample of this call
    // also sees every counter value published before it, which is how it detects that
    // its window was overwritten while it copied.
    std::atomic_thread_fence(std::memory_order_release);
    const float* in = static_cast<const float*>(input);
    // Of a buffer longer than the ring only its last ringFrames frames survive.
    const int64_t skip = count > ringFrames ? count - ringFrames : 0;
    int64_t pos = (writePos + skip) % ringFrames;
    for (int64_t f = skip; f < count; ++f) {
      for (int c = 0; c < channels; ++c) {
        std::atomic_ref<float>(data->samples[pos * channels + c])
            .store(in[f * channels + c], std::memory_order_relaxed);
      }
      if (++pos == ringFrames) pos = 0;
    }
  }

  const int32_t block = data->blockIndex.load(std::memory_order_relaxed);
  if (writePos + count >= static_cast<int64_t>(data->blockFrames) * (block + 1)) {
    data->blockIndex.store((block + 1) % data->numBlocks, std::memory_order_relaxed);
  }
  data->writePos.store(static_cast<int32_t>((writePos + count) % ringFrames),
                       std::memory_order_relaxed);
  data->lastBufferNs.store(steadyNs(), std::memory_order_relaxed);
  const int32_t recorded = data->framesRecorded.load(std::memory_order_relaxed);
  data->framesRecorded.store(advanceFrames(recorded, count), std::memory_order_release);
  return paContinue;
}

PaDeviceIndex InfiniteRecorder::chosenInput = paNoDevice;

InfiniteRecorder::InfiniteRecorder(int sampleRate_, int numBlocks_, int numChannels_,
                                   int framesPerBuffer_, int windowSize_, int step_)
    : AbsRecorder(sampleRate_, numBlocks_, numChannels_, framesPerBuffer_, windowSize_, step_) {
  buildRing();
  if (ringUsable) openStream();
}

InfiniteRecorder::InfiniteRecorder(const Choice& choice_, int sampleRate_, int numBlocks_,
                                   int numChannels_, int framesPerBuffer_, int windowSize_,
                                   int step_)
    : AbsRecorder(sampleRate_, numBlocks_, numChannels_, framesPerBuffer_, windowSize_, step_),
      choice(choice_) {
  // The format decides the ring's layout, so it is found before the ring is built.
  PaStreamParameters in{};
  if (choice.anyFormat && initialize() && pickFormat(&in)) {
    numChannels = in.channelCount;
    data.channels = numChannels;
  }
  buildRing();
  if (ringUsable) openStream();
}

InfiniteRecorder::InfiniteRecorder(WithoutAudio, int sampleRate_, int numBlocks_, int numChannels_,
                                   int framesPerBuffer_, int windowSize_, int step_)
    : AbsRecorder(sampleRate_, numBlocks_, numChannels_, framesPerBuffer_, windowSize_, step_) {
  buildRing();
  if (ringUsable) lastError = paNotInitialized;
}

InfiniteRecorder::~InfiniteRecorder() {
  stop();
  if (paInitialized) Pa_Terminate();
  delete[] data.samples;
}

void InfiniteRecorder::buildRing() {
  data.numBlocks = numBlocks;
  data.blockFrames = step;
  ringFrames = data.ringFrames = step * numBlocks;
  ringSamples = ringFrames * numChannels;

  // The newest window must survive one more callback, or a lagging reader could never
  // be given an intact window.
  ringUsable = numBlocks > 0 && numChannels > 0 && framesPerBuffer > 0 && windowSize > 0 &&
               step > 0 && ringFrames - windowSize - framesPerBuffer >= step - 1;
  if (!ringUsable) {
    lastError = paBufferTooSmall;
    return;
  }
  data.samples = new (std::nothrow) float[ringSamples];
  if (data.samples == nullptr) {
    std::printf("Could not allocate record array.\n");
    std::exit(1);
  }
  resetRing();
}

// Counters and ring as before the first callback. Only while no stream runs.
void InfiniteRecorder::resetRing() {
  data.writePos.store(0, std::memory_order_relaxed);
  data.blockIndex.store(0, std::memory_order_relaxed);
  data.framesRecorded.store(0, std::memory_order_relaxed);
  data.lastBufferNs.store(0, std::memory_order_relaxed);
  data.inputOverflows.store(0, std::memory_order_relaxed);
  readPos = windowSize - step;
  ringCursor = ringIndex(readPos, ringFrames);
  lastBlock = -1;
  for (int i = 0; i < ringSamples; ++i) data.samples[i] = 0.0f;
}

bool InfiniteRecorder::initialize() {
  if (paInitialized) return true;
  silenceAudioLibraries();
  lastError = Pa_Initialize();
  if (lastError != paNoError) {
    reportFailure("Pa_Initialize", lastError);
    return false;
  }
  paInitialized = true;
  return true;
}

bool InfiniteRecorder::pickFormat(PaStreamParameters* in) {
  PaDeviceIndex device = choice.device != paNoDevice ? choice.device : chosenInput;
  // No microphone is an ordinary state of a machine, not an error to shout about: the
  // live mode then simply draws nothing.
  if (device == paNoDevice) device = Pa_GetDefaultInputDevice();
  if (device == paNoDevice) {
    lastError = paDeviceUnavailable;
    return false;
  }
  const PaDeviceInfo* info = Pa_GetDeviceInfo(device);
  if (info == nullptr) {
    lastError = paInvalidDevice;
    reportFailure("Pa_GetDeviceInfo", lastError);
    return false;
  }
  *in = PaStreamParameters{};
  in->device = device;
  in->channelCount = numChannels;
  in->sampleFormat = paFloat32;
  in->suggestedLatency = info->defaultLowInputLatency;  // fewest buffers the device allows
  in->hostApiSpecificStreamInfo = nullptr;
  if (!choice.anyFormat) return true;

  // Our rate first; then the device's own, then common ones. Mono before stereo at each.
  const double rates[] = {static_cast<double>(sampleRate),
                          info->defaultSampleRate,
                          44100,
                          96000,
                          32000,
                          88200,
                          22050,
                          16000,
                          8000};
  PaError why = paInvalidChannelCount;
  for (double rate : rates) {
    if (rate <= 0) continue;
    for (int channels : {numChannels, 2}) {
      if (channels > info->maxInputChannels) continue;
      in->channelCount = channels;
      why = Pa_IsFormatSupported(in, nullptr, rate);
      if (why == paFormatIsSupported) {
        sampleRate = static_cast<int>(rate);
        return true;
      }
    }
  }
  lastError = why;
  return false;
}

void InfiniteRecorder::openStream() {
  if (!initialize()) return;
  PaStreamParameters in{};
  if (!pickFormat(&in)) return;
  if (in.channelCount != numChannels) {  // the ring was built for another format
    lastError = paInvalidChannelCount;
    return;
  }
  PaStream* opened = nullptr;
  lastError = Pa_OpenStream(&opened, &in, nullptr, static_cast<double>(sampleRate),
                            static_cast<unsigned long>(framesPerBuffer), paNoFlag,
                            infiniteRecordCallback, &data);
  if (lastError != paNoError) {
    reportFailure("Pa_OpenStream", lastError);
    return;
  }
  stream = opened;
  openedDevice = in.device;
}

int InfiniteRecorder::start() {
  if (isRunning) return paNoError;
  if (stream == nullptr) {
    // Never opened: lastError says why (reported once, when it failed). Closed by stop():
    // a fresh stream.
    if (!closedByStop) return lastError != paNoError ? lastError : paNotInitialized;
    closedByStop = false;
    resetRing();
    openStream();
    if (stream == nullptr) return lastError != paNoError ? lastError : paDeviceUnavailable;
  }
  lastError = Pa_StartStream(static_cast<PaStream*>(stream));
  if (lastError != paNoError) reportFailure("Pa_StartStream", lastError);
  isRunning = lastError == paNoError;
  return lastError;
}

void InfiniteRecorder::closeStream() {
  lastError = Pa_CloseStream(static_cast<PaStream*>(stream));
  if (lastError != paNoError) reportFailure("Pa_CloseStream", lastError);
  isRunning = false;
  closedByStop = true;
}

bool InfiniteRecorder::isNew() {
  if (!ringUsable) return false;
  const int32_t recorded = data.framesRecorded.load(std::memory_order_acquire);
  return framesBetween(readPos, recorded) >= step;
}

void InfiniteRecorder::handleNew(double* out) {
  if (!ringUsable) return;
  // Largest distance from the end of a window to the writer at which the window survives
  // a callback that may be running while it is copied.
  const int32_t maxLag = ringFrames - windowSize - framesPerBuffer;
  for (;;) {
    const int32_t recorded = data.framesRecorded.load(std::memory_order_acquire);
    const int32_t behind = framesBetween(readPos, recorded);
    if (behind < step) return;
    // The next window, or when that one may be overwritten already, the newest one.
    const int32_t hops = behind - step > maxLag ? behind / step : 1;
    const int32_t end = advanceFrames(readPos, static_cast<int64_t>(hops) * step);
    const int endCursor = ringIndex(ringCursor + static_cast<int64_t>(hops) * step, ringFrames);
    const int first = ringIndex(static_cast<int64_t>(endCursor) - windowSize, ringFrames);

    int pos = first;
    for (int i = 0; i < windowSize; ++i) {
      double sum = 0.0;
      for (int c = 0; c < numChannels; ++c) {
        sum += std::atomic_ref<float>(data.samples[pos * numChannels + c])
                   .load(std::memory_order_relaxed);
      }
      out[i] = numChannels == 1 ? sum : sum / numChannels;
      if (++pos == ringFrames) pos = 0;
    }

    std::atomic_thread_fence(std::memory_order_acquire);
    const int32_t after = data.framesRecorded.load(std::memory_order_relaxed);
    if (framesBetween(end, after) <= maxLag) {
      skipped += hops - 1;
      readPos = end;
      ringCursor = endCursor;
      lastBlock = first / step;
      return;
    }
    // The writer reached the window while it was being copied (the reader was
    // preempted for a whole hop): take the newest window instead.
  }
}
