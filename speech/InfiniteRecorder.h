// Microphone capture on PortAudio v19: one mono float32 input stream on the default input
// device feeds a ring of samples (callback thread); the window thread takes overlapping
// analysis windows out of it.
//
// Hand-over contract (one writer, one reader, no lock):
//   writer  infiniteRecordCallback, on PortAudio's thread: stores the samples, then
//           publishes them with a release store of data.framesRecorded.
//   reader  isNew/handleNew, on one other thread: acquires data.framesRecorded, copies the
//           window, then checks that the writer has not reached the window meanwhile.
// Samples go through relaxed atomic accesses (plain moves on common hardware), so a reader
// that is preempted in the middle of a copy gets a detectably stale window, never a data
// race. A reader that falls behind loses windows; it is never handed overwritten samples.
//
// Failure: no input device, Pa_Initialize, Pa_GetDeviceInfo or Pa_OpenStream failing leave
// `stream` null; start() and stop() are then harmless and isNew() stays false.
//
// Device: the program's input device (chosenInput, set once at start-up from the command
// line), else PortAudio's default input device; or one named in a Choice.
#pragma once
#include <portaudio.h>

#include <cstdint>

#include "speech/AbsRecorder.h"

// The PortAudio stream callback. `userData` is the recorder's paTestData; `input` holds
// frameCount frames of data->channels interleaved floats, or is null when the device gave
// no input (the counters then advance and the ring keeps its content). A paInputOverflow
// status is counted in data->inputOverflows; output and time info are not used. Always
// returns paContinue. Allocates, locks and prints nothing, so tests may call it directly
// with synthetic buffers.
int infiniteRecordCallback(const void* input, void* output, unsigned long frameCount,
                           const PaStreamCallbackTimeInfo* timeInfo,
                           PaStreamCallbackFlags statusFlags, void* userData);

// Keeps ALSA's and JACK's probing chatter off stderr (ZARVO_AUDIO_DEBUG=1 lets it through).
// Call before Pa_Initialize; the recorder does so itself.
void silenceAudioLibraries();

class InfiniteRecorder : public AbsRecorder {
 public:
  // Builds the ring (step * numBlocks frames, zeroed) and opens, but does not start, the
  // input stream: sampleRate Hz, numChannels float32 channels, framesPerBuffer frames per
  // callback. windowSize/step 0 mean framesPerBuffer. The ring must hold a window plus
  // one callback's frames plus one hop (the live mode uses (48000, 5, 1, 512, 1024, 512):
  // 2560 >= 1024 + 512 + 512). A failed ring allocation prints
  // "Could not allocate record array." on stdout and exits with status 1.
  // Window thread; the object must not move while the stream exists.
  InfiniteRecorder(int sampleRate, int numBlocks, int numChannels, int framesPerBuffer,
                   int windowSize, int step);

  // Which device to open and what it may be opened with.
  struct Choice {
    PaDeviceIndex device = paNoDevice;  // paNoDevice: the program's input device
    // When the device cannot capture numChannels channels at sampleRate: try two channels
    // (averaged to mono), then other rates (its default rate first); `sampleRate` and
    // `numChannels` then say what was opened, and the caller resamples.
    bool anyFormat = false;
  };
  // As above, on the chosen device. With anyFormat the ring is built for the format found.
  InfiniteRecorder(const Choice& choice, int sampleRate, int numBlocks, int numChannels,
                   int framesPerBuffer, int windowSize, int step);

  // The same ring and counters without touching the audio library: no stream is ever
  // opened and the ring is fed by calling infiniteRecordCallback with &data.
  struct WithoutAudio {};
  InfiniteRecorder(WithoutAudio, int sampleRate, int numBlocks, int numChannels,
                   int framesPerBuffer, int windowSize, int step);

  // Closes the stream if still open, shuts PortAudio down if it was initialised, frees
  // the ring (in that order, so no callback can run into freed memory).
  ~InfiniteRecorder() override;

  // Starts capturing and returns the PortAudio result: paNoError once running (at once when
  // it already runs). After stop() it opens a fresh stream first, with the counters and the
  // ring as at construction. When no stream can be had it returns why (never paNoError).
  int start() override;

  // A window beyond the last one handed out is complete in the ring. Never blocks.
  bool isNew() override;

  // When isNew(): writes the next window, windowsize() samples as doubles (the mean of
  // the channels per frame), oldest first, into out[0..windowsize()-1] and advances by one
  // hop. When the reader has fallen so far behind that this window may already be
  // overwritten, it skips ahead to the newest complete window instead and counts the
  // windows passed over. When not isNew(): leaves out untouched.
  void handleNew(double* out) override;

  // Windows passed over because the reader fell behind, since construction.
  int skippedWindows() const { return skipped; }
  // Callbacks that reported lost input (device overflow) since the stream was opened.
  int inputOverflows() const { return data.inputOverflows.load(std::memory_order_relaxed); }
  bool running() const { return isRunning; }
  PaDeviceIndex device() const { return openedDevice; }  // paNoDevice until opened

  // The program's input device for every recorder not given one (paNoDevice: PortAudio's
  // default input device). Set before the first recorder is made.
  static PaDeviceIndex chosenInput;

  PaError lastError = paNoError;  // result of the last PortAudio call, or why none was made
  int lastBlock = -1;             // ring block where the last window handed out starts
  int readPos = 0;                // absolute frame just past the last window handed out

 protected:
  void closeStream() override;  // Pa_CloseStream; stop() calls it only when stream != null

 private:
  void buildRing();
  void resetRing();
  bool initialize();
  // Device and format per `choice`; false (lastError set) when none can be had.
  bool pickFormat(PaStreamParameters* in);
  void openStream();

  Choice choice;
  bool ringUsable = false;  // geometry valid and ring allocated
  bool paInitialized = false;
  bool isRunning = false;
  bool closedByStop = false;  // a stream was open and stop() closed it
  PaDeviceIndex openedDevice = paNoDevice;
  int ringCursor = 0;  // ring frame of absolute frame readPos
  int skipped = 0;
};
