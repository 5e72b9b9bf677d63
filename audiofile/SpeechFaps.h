// The live analysis run over a recording: an AudioReader's samples are cut into windows
// exactly as the live recorder cuts the microphone's (1024 samples, a new one every 512,
// the first once 1024 samples are in), and each window goes through the same QspRecorder
// (history 3) and pixels2FAPs as in live mode; the windows are cut by the live mode's own
// WindowRing. Streaming: the reader is read in blocks into the ring, so memory does not
// grow with the length of the input.
//
// One thread; no allocation per window (everything is allocated by the constructor).
#pragma once
#include <memory>
#include <string>

#include "audiofile/AudioReader.h"
#include "speech/WindowRing.h"

class QspRecorder;

// One analysed window, as the live mode would have drawn it.
struct AnalysedWindow {
  long long index;  // 0, 1, 2, ...: window i covers samples [512 i, 512 i + 1024) at 48 kHz
  double level;     // 20 log10(energy) + 100; -100 for exact digital silence
  int volume;       // level truncated toward zero (the live zoom's input)
  int faps[76];     // FAP array indexed by MPEG-4 FAP number: 3 and 51..60 set, the rest 0
};

class SpeechFaps {
 public:
  static constexpr int kWindow = WindowRing::kWindow;  // samples per window
  static constexpr int kHop = WindowRing::kStep;       // samples between window starts
  static constexpr int kHistory = 3;                   // shapes averaged in, as in live mode

  // reader: not owned; must outlive this object and is read only through it.
  explicit SpeechFaps(AudioReader& reader);
  ~SpeechFaps();
  SpeechFaps(const SpeechFaps&) = delete;
  SpeechFaps& operator=(const SpeechFaps&) = delete;

  // Analyses the next window into w and returns true; returns false at the end of the
  // input (a final part shorter than a hop gives no window, as in live mode) or when the
  // reader fails, and from then on. failed() tells the two apart.
  bool next(AnalysedWindow& w);

  bool failed() const;                 // next() stopped on a reader error
  const std::string& problem() const;  // the reader's problem() when failed()
  long long windows() const;           // windows analysed so far

  // The analyser and the 30 smoothed lip points of the window next() last gave (for what is
  // built on the analysis, such as lip sync); valid until the next call of next().
  const QspRecorder& analyser() const;
  const double* points() const;

  struct State;  // private to SpeechFaps.cpp

 private:
  std::unique_ptr<State> s;
};
