// The sound of an analysed input written beside its lip sync (zarvo-fap --audio-out), for
// the tools that take the animation and the sound as two files: exactly the samples the
// analysis saw, 48000 Hz mono, as 16-bit PCM WAV, so the file's time 0 is the animation's.
// Written safely like every output (a temporary beside the target, renamed when complete).
// One thread.
#pragma once

#include <memory>
#include <string>

#include "fapfile/OutputFile.h"

class AudioOut {
 public:
  // Null with *problem set when the file cannot be created.
  static std::unique_ptr<AudioOut> create(const std::string& path, std::string* problem);
  ~AudioOut();  // without commit(): the temporary is removed
  AudioOut(const AudioOut&) = delete;
  AudioOut& operator=(const AudioOut&) = delete;

  // n samples at 48000 Hz, full scale +-1 (beyond is clipped, NaN and infinities become 0).
  bool write(const float* samples, long n);
  // Completes the WAV header and renames the file into place.
  bool commit(std::string* problem);
  const std::string& problem() const { return problem_; }

 private:
  AudioOut() = default;
  std::unique_ptr<OutputFile> file_;
  struct SndFile;
  SndFile* snd_ = nullptr;
  std::string problem_;
};
