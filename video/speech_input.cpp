#include "video/speech_input.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "speech/TempFile_beolv.h"

bool SpeechInput::open(const std::string& path, std::string& problem) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    problem = path + ": " + std::strerror(errno);
    return false;
  }
  float buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, sizeof(float), 4096, f)) > 0) samples_.insert(samples_.end(), buf, buf + n);
  std::fclose(f);
  if (samples_.empty()) {
    problem = path + ": no samples";
    return false;
  }
  recorder_ = std::make_unique<MemoryRecorder>(samples_.data(), static_cast<int>(samples_.size()));
  analyser_ = std::make_unique<QspRecorder>(recorder_.get(), 3);
  return true;
}

long SpeechInput::read(float* out, long n) {
  const long take = std::min<long>(n, static_cast<long>(samples_.size() - readPos_));
  std::copy_n(samples_.data() + readPos_, take, out);
  readPos_ += take;
  return take;
}

bool SpeechInput::next(AnalysedWindow& w) {
  if (!analyser_->isNew()) return false;
  double points[30];
  analyser_->handleNew(points);
  w.index = windows_++;
  w.level = analyser_->level;
  w.volume = analyser_->volume();
  pixels2FAPs(points, w.faps);
  return true;
}

long frameWindow(long k, int fps) {
  // centre of window i in samples: 512 (i + 1); frame time in samples: 48000 k / fps.
  const long long num = 48000LL * k - 512LL * fps;  // (time - first centre) * fps
  const long long den = 512LL * fps;
  if (num <= 0) return 0;
  return static_cast<long>((2 * num + den) / (2 * den));
}
