// A recording through libzarvo, frame by frame, for the programs that analyse files
// (zarvo-fap, zarvo-render): an AudioReader's 48 kHz samples are pushed into one library
// stream and its frames taken out in order. The stream does not resample (the reader
// already has), takes NaN and infinite samples as the analysis of a window takes them
// (digital silence), and its designed FAPs are the live analysis' own.
//
// One thread; nothing allocated per frame (the stream and the buffer come with the object).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audiofile/AudioReader.h"
#include "zarvo/zarvo.h"

class FileFrames {
 public:
  // reader: not owned; must outlive this object and is read only through it. articulate:
  // the articulated FAPs instead of the designed ones; outputs: ZARVO_OUTPUT_* bits.
  FileFrames(AudioReader& reader, bool articulate, unsigned outputs);
  ~FileFrames();
  FileFrames(const FileFrames&) = delete;
  FileFrames& operator=(const FileFrames&) = delete;

  // The next frame into f (struct_size set here) and true; false at the end of the input or
  // on an error, and from then on. failed() tells them apart.
  bool next(zarvo_frame& f);

  // Hands every block of samples read (48000 Hz mono) to `sink` before it is analysed; a
  // sink that returns false stops the input there, as an error ("the samples were not
  // taken"). zarvo-fap writes the sound beside its output so.
  void tap(std::function<bool(const float*, long)> sink) { tapSink = std::move(sink); }

  bool failed() const { return !why.empty(); }
  const std::string& problem() const { return why; }
  long long windows() const { return count; }

  // faps of a frame as the 76-entry array indexed by FAP number that drawing and the FAP
  // file take (3 and 51..60 set, the rest 0).
  static void fapArray(const zarvo_frame& f, int* faps76);

 private:
  bool refill();  // reads and pushes until a frame is ready or the input ended

  AudioReader& reader;
  zarvo_stream* stream = nullptr;
  std::vector<float> block;
  long have = 0, pushed = 0;  // samples in block, and pushed of them
  bool ended = false, flushed = false;
  long long count = 0;
  std::string why;
  std::function<bool(const float*, long)> tapSink;
};
